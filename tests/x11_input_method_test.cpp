// The real program on a Japanese desktop: an input method in hiragana mode, which keeps Space for
// itself in any window that hands it the keys, takes none of the game's keys.
#include <gtest/gtest.h>

#include <thread>

#include "tests/x11/input_method.h"
#include "tests/x11/screen.h"

using namespace xdriver;  // and its std::chrono_literals

namespace {

TEST_F(RealWindow, AJapaneseInputMethodTakesNoKeyOfTheGame) {
  InputMethod im;
  if (!im.installed()) GTEST_SKIP() << im.why();
  ASSERT_TRUE(im.ok()) << im.why();
  {
    // The input method is live: in a window with text input on, Space types a full-width space
    // and no key event for it arrives.
    TextInputProbe probe(im.sessionEnv());
    ASSERT_TRUE(probe.focused()) << probe.received();
    desk.tap("space");
    ASSERT_TRUE(Desk::until([&] { return probe.received().find("text") != std::string::npos; }, 3s))
        << "the input method typed nothing: " << probe.received();
    EXPECT_NE(probe.received().find("text \u3000"), std::string::npos) << probe.received();
    EXPECT_EQ(probe.received().find("key Space"), std::string::npos) << probe.received();
  }
  ASSERT_TRUE(prog.start(im.sessionEnv()));
  Window t = desk.find(kTitle);
  ASSERT_NE(t, 0u) << prog.stderrText();
  ASSERT_TRUE(titleDrawn(desk, t));
  // Space on the focused first mode button starts its game...
  desk.tap("space");
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u) << "Space on the title's focused button did nothing\n" << prog.stderrText();
  ASSERT_TRUE(gameStarted(desk, g));
  // ...where one press pauses and one resumes...
  desk.tap("space");
  EXPECT_TRUE(Desk::until([&] { return pauseShown(shoot(desk, g)); }, 2s)) << "Space did not pause";
  desk.tap("space");
  EXPECT_TRUE(Desk::until([&] { return !pauseShown(shoot(desk, g), true); }, 2s))
      << "Space did not resume";
  // ...and the arrows move the wobo.
  const auto before = findWobo(shoot(desk, g));
  ASSERT_GE(before.first, 0);
  desk.key("Left", true);
  std::this_thread::sleep_for(300ms);
  desk.key("Left", false);
  EXPECT_TRUE(Desk::until([&] { return findWobo(shoot(desk, g)).first < before.first - 60; }, 1s));
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

}  // namespace
