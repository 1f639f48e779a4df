// The real program under a real window manager (openbox): frames, title bar buttons, and the two
// windows taking each other's place.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/x11/screen.h"

using namespace std::chrono_literals;
using xdriver::Desk;
using xdriver::kGame;
using xdriver::kTitle;
using xdriver::Program;
using xdriver::WindowManager;

namespace {

class UnderAWindowManager : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!desk.ok()) GTEST_SKIP() << "no X display (the test command starts Xvfb)";
    wm = std::make_unique<WindowManager>();
    if (!wm->ok()) GTEST_SKIP() << wm->why();
  }
  void TearDown() override {
    if (prog.running()) prog.kill9();
    wm.reset();
  }
  std::pair<int, int> frameOf(Window w) {
    int x = 0, y = 0;
    desk.frame(w, x, y);
    return {x, y};
  }
  // Whether the window manager has put its frame around the window.
  bool framed(Window w) {
    return Desk::until([&] { return !desk.numbers(w, "_NET_FRAME_EXTENTS").empty(); }, 3s);
  }
  // The window manager frames and places a window after it is mapped: waits until the window is
  // framed and stands at `want`, or a while has passed.
  void settlesAt(Window w, std::pair<int, int> want) {
    EXPECT_TRUE(framed(w)) << "no frame around the window";
    Desk::until([&] { return frameOf(w) == want; }, 3s);
  }
  // Drags the window by its title bar and waits until its frame has gone there.
  std::pair<int, int> dragBy(Window w, int dx, int dy) {
    auto [fx, fy] = frameOf(w);
    desk.drag(fx + 60, fy + 8, fx + 60 + dx, fy + 8 + dy);
    std::pair<int, int> want{fx + dx, fy + dy};
    EXPECT_TRUE(Desk::until([&] { return frameOf(w) == want; }, 3s))
        << "the window manager did not move the window";
    return frameOf(w);
  }
  Desk desk;
  Program prog;
  std::unique_ptr<WindowManager> wm;
};

// Each hand-over puts the new window's frame exactly where the old one's was, game after game,
// also after the player moved the window.
TEST_F(UnderAWindowManager, HandOversKeepTheFrameInPlaceBeforeAndAfterAMove) {
  ASSERT_TRUE(prog.start({"SDL_AUDIODRIVER=dummy"}));
  Window t = desk.find(kTitle);
  ASSERT_NE(t, 0u) << prog.stderrText();
  ASSERT_TRUE(framed(t)) << "no frame around the window";
  ASSERT_TRUE(xdriver::titleDrawn(desk, t));
  auto first = frameOf(t);
  int cx, cy, w, h;
  desk.geometry(t, cx, cy, w, h);
  EXPECT_NE(first, (std::pair{cx, cy}));  // the frame is really there
  desk.click(t, 300, 252);                // the quickest mode
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  ASSERT_TRUE(desk.gone(kTitle, 2s));
  settlesAt(g, first);
  EXPECT_EQ(frameOf(g), first);  // the first game, from a title the manager placed
  auto moved = dragBy(g, 37, 23);
  Window back = desk.find(kTitle, 20s);  // not there until the game is over and space pressed
  if (!back) {
    desk.tap("space");
    back = desk.find(kTitle, 3s);
  }
  ASSERT_NE(back, 0u);
  settlesAt(back, moved);
  EXPECT_EQ(frameOf(back), moved);  // back to the title where the moved game stood
  ASSERT_TRUE(xdriver::titleDrawn(desk, back));
  auto movedTitle = dragBy(back, -51, 17);
  desk.click(back, 300, 252);
  Window second = desk.find(kGame);
  ASSERT_NE(second, 0u);
  settlesAt(second, movedTitle);
  EXPECT_EQ(frameOf(second), movedTitle);
  desk.closeBox(second);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

// The windows keep the design's title bar: move and close, no maximise, no resizing.
TEST_F(UnderAWindowManager, BothWindowsOfferMoveAndCloseAndNoMaximise) {
  ASSERT_TRUE(prog.start({"SDL_AUDIODRIVER=dummy"}));
  Window t = desk.find(kTitle);
  ASSERT_NE(t, 0u) << prog.stderrText();
  auto check = [&](Window w) {
    std::vector<std::string> actions;
    Desk::until([&] { return !(actions = desk.atoms(w, "_NET_WM_ALLOWED_ACTIONS")).empty(); }, 3s);
    auto has = [&](const char* a) {
      return std::find(actions.begin(), actions.end(), a) != actions.end();
    };
    EXPECT_TRUE(has("_NET_WM_ACTION_CLOSE"));
    EXPECT_TRUE(has("_NET_WM_ACTION_MOVE"));
    EXPECT_FALSE(has("_NET_WM_ACTION_MAXIMIZE_HORZ"));
    EXPECT_FALSE(has("_NET_WM_ACTION_MAXIMIZE_VERT"));
    EXPECT_FALSE(has("_NET_WM_ACTION_RESIZE"));
    // What the window asks of any window manager: functions move and close; decorations
    // border, title and menu. (openbox keeps its minimise button whatever a window asks.)
    auto motif = desk.numbers(w, "_MOTIF_WM_HINTS");
    ASSERT_GE(motif.size(), 3u);
    EXPECT_EQ(motif[0], 1 | 2);       // functions and decorations given
    EXPECT_EQ(motif[1], 4 | 32);      // move, close
    EXPECT_EQ(motif[2], 2 | 8 | 16);  // border, title, menu
  };
  check(t);
  desk.click(t, 300, 156);
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  check(g);
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

}  // namespace
