// The real program's keys under an X server: what reaches which window, an arrow held while
// another window has the focus, and the paused frame kept on the screen.
#include <gtest/gtest.h>

#include <thread>

#include "tests/x11/screen.h"

using namespace xdriver;  // and its std::chrono_literals

namespace {

// Keys pressed on the title belong to it: the Space that clicks the focused mode button does not
// pause the game it starts, and an arrow tapped on the title moves nothing.
TEST_F(RealWindow, KeysPressedOnTheTitleDoNotReachTheGame) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  desk.tap("Right");
  desk.key("space", true);  // pushes the focused first mode button in...
  std::this_thread::sleep_for(150ms);
  desk.key("space", false);  // ...and clicks it
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  ASSERT_TRUE(gameStarted(desk, g));
  // Time for a key that leaked from the title to move the wobo or pause the game.
  std::this_thread::sleep_for(400ms);
  Shot s = shoot(desk, g);
  EXPECT_FALSE(pauseShown(s, true));
  // At its start place: the field starts 1 px in and the body 3 px into the sprite.
  EXPECT_EQ(findWobo(s), (std::pair{1 + 300 + 3, 1 + 150 + 3}));
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

TEST_F(RealWindow, ArrowHeldForAnotherWindowStillMoves) {
  Window g = startGame(300, 188);
  ASSERT_NE(g, 0u);
  desk.focusThief();
  auto before = findWobo(shoot(desk, g));
  ASSERT_GE(before.first, 0);
  desk.key("Left", true);
  std::this_thread::sleep_for(300ms);
  desk.key("Left", false);
  // Let the frame that shows the move reach the screen.
  Desk::until([&] { return findWobo(shoot(desk, g)).first < before.first - 60; }, 1s);
  auto after = findWobo(shoot(desk, g));
  EXPECT_LT(after.first, before.first - 60);
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

// Covered and uncovered while paused, the window shows its last frame again.
TEST_F(RealWindow, ThePausedFrameSurvivesBeingCovered) {
  Window g = startGame(300, 156);
  ASSERT_NE(g, 0u);
  desk.flick("space");
  ASSERT_TRUE(Desk::until([&] { return pauseShown(shoot(desk, g)); }, 2s));
  // The paused frame is the one that stays: two looks in a row agree.
  Shot before = shoot(desk, g);
  ASSERT_TRUE(Desk::until(
      [&] {
        Shot now = shoot(desk, g);
        const bool steady = differing(now, before) == 0;
        before = std::move(now);
        return steady;
      },
      2s));
  int gx, gy, w, h;
  desk.geometry(g, gx, gy, w, h);
  Display* d = desk.display();
  Window root = DefaultRootWindow(d);
  Window cover = XCreateSimpleWindow(d, root, gx + 50, gy + 50, 500, 200, 0, 0, 0);
  XSetWindowAttributes a;
  a.override_redirect = True;
  XChangeWindowAttributes(d, cover, CWOverrideRedirect, &a);
  XMapRaised(d, cover);
  XSync(d, False);
  // The black cover is on the screen at its four corners, where the field was.
  ASSERT_TRUE(Desk::until(
      [&] {
        for (auto [x, y] : {std::pair{60, 60}, {540, 60}, {60, 240}, {540, 240}})
          if (!near(desk.pixel(root, gx + x, gy + y), {0, 0, 0})) return false;
        return true;
      },
      2s));
  XDestroyWindow(d, cover);
  XSync(d, False);
  Desk::until([&] { return differing(shoot(desk, g), before) == 0; }, 2s);
  EXPECT_EQ(differing(shoot(desk, g), before), 0);
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

}  // namespace
