// The real program's title window under an X server: how it looks, and choosing a mode on it with
// the mouse or the keyboard.
#include <gtest/gtest.h>

#include <thread>

#include "tests/x11/screen.h"

using namespace xdriver;  // and its std::chrono_literals

namespace {

TEST_F(RealWindow, TitleLooksAsDesignedAndTheCloseBoxEndsTheProgram) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  expectTitleAsDesigned(desk, t, 1);
  desk.closeBox(t);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

TEST_F(RealWindow, MouseStartsAGameInTheTitlesPlaceAndPlays) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  Window g = gameInPlaceOf(t, 300, 156);
  ASSERT_NE(g, 0u);
  int gx, gy, w, h;
  desk.geometry(g, gx, gy, w, h);
  EXPECT_EQ(w, 756);
  ASSERT_TRUE(gameStarted(desk, g));
  Shot s = shoot(desk, g);
  EXPECT_TRUE(near(s.at(0, 0), {0, 0, 0}));
  EXPECT_EQ(number(s, 688, 192), 0);   // high score
  EXPECT_GE(number(s, 688, 96), 0);    // the score is readable (the zeka may already be caught)
  int shownTime = number(s, 688, 24);  // the clock has started to count down from 89
  EXPECT_GE(shownTime, 85);
  EXPECT_LE(shownTime, 89);
  auto before = findWobo(s);
  ASSERT_GE(before.first, 0);
  desk.key("Right", true);
  std::this_thread::sleep_for(300ms);
  desk.key("Right", false);
  // Let the frame that shows the move reach the screen.
  Desk::until([&] { return findWobo(shoot(desk, g)).first > before.first + 60; }, 1s);
  auto after = findWobo(shoot(desk, g));
  EXPECT_GT(after.first, before.first + 60);
  // Space pauses and shows "Pause"; space again resumes. Each press toggles once, at a person's
  // speed (about 150 ms down) and held long, and a flick shorter than one poll counts too.
  for (auto down : {150ms, 600ms, 0ms}) {
    SCOPED_TRACE(down.count());
    desk.key("space", true);
    std::this_thread::sleep_for(down);
    desk.key("space", false);
    ASSERT_TRUE(Desk::until([&] { return pauseShown(shoot(desk, g)); }, 2s));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(pauseShown(shoot(desk, g)));  // still paused: the press did not flip it back
    desk.key("space", true);
    std::this_thread::sleep_for(down);
    desk.key("space", false);
    ASSERT_TRUE(Desk::until([&] { return !pauseShown(shoot(desk, g), true); }, 2s));
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(pauseShown(shoot(desk, g), true));  // and the resuming press paused nothing
  }
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

TEST_F(RealWindow, TabAndEnterChooseAMode) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  for (int i = 0; i < 3; ++i) desk.tap("Tab");
  desk.tap("Return");
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  ASSERT_TRUE(gameStarted(desk, g));
  EXPECT_EQ(digitAt(shoot(desk, g), 688, 24), 5);  // mode d counts down from 59
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

}  // namespace
