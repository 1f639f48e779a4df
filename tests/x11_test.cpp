// The real program in a real window under an X server, driven with real key and mouse events.
#include <gtest/gtest.h>

#include <fstream>
#include <queue>
#include <thread>

#include "tests/x11/xdriver.h"

using namespace std::chrono_literals;
using xdriver::Desk;
using xdriver::Program;
using xdriver::Rgb;

namespace {

const char* kTitle = "モロフィン！V1.00";
const char* kGame = "モロフィン！";

struct Shot {
  std::vector<Rgb> px;
  int w = 0, h = 0;
  Rgb at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

Shot shoot(Desk& d, Window w) {
  Shot s;
  s.px = d.grab(w, s.w, s.h);
  return s;
}

bool near(Rgb a, Rgb b) { return std::abs(a.r - b.r) < 8 && std::abs(a.g - b.g) < 8 && std::abs(a.b - b.b) < 8; }

// Reads a digit picture (3 x 5 blocks of 10 px) whose top-left corner is at (x0, y0).
int digitAt(const Shot& s, int x0, int y0) {
  static const char* glyphs[10] = {"111101101101111", "110010010010010", "111001111100111",
                                   "111001111001111", "101101101111001", "111100111001111",
                                   "111100111101111", "111101001001001", "111101111101111",
                                   "111101111001111"};
  std::string bits;
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 3; ++c) bits += near(s.at(x0 + 5 + 10 * c, y0 + 5 + 10 * r), {255, 0, 0}) ? '1' : '0';
  for (int d = 0; d < 10; ++d)
    if (bits == glyphs[d]) return d;
  return -1;
}

int number(const Shot& s, int x0, int y0) { return digitAt(s, x0, y0) * 10 + digitAt(s, x0 + 32, y0); }

// The biggest patch of the creatures' body colour on the playfield: the wobo. Its box's left and
// top, or -1 when none is seen.
std::pair<int, int> findWobo(const Shot& s) {
  std::vector<int> seen(static_cast<size_t>(s.w) * s.h, 0);
  int bestSize = 0, bestX = -1, bestY = -1;
  for (int y = 1; y <= 320; ++y)
    for (int x = 1; x <= 640; ++x) {
      if (seen[y * s.w + x] || !near(s.at(x, y), {128, 255, 255})) continue;
      std::queue<std::pair<int, int>> q;
      q.push({x, y});
      seen[y * s.w + x] = 1;
      int size = 0, minX = x, minY = y;
      while (!q.empty()) {
        auto [cx, cy] = q.front();
        q.pop();
        ++size;
        minX = std::min(minX, cx);
        minY = std::min(minY, cy);
        const int nb[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (auto& n : nb) {
          int nx = cx + n[0], ny = cy + n[1];
          if (nx < 1 || ny < 1 || nx > 640 || ny > 320 || seen[ny * s.w + nx]) continue;
          if (!near(s.at(nx, ny), {128, 255, 255})) continue;
          seen[ny * s.w + nx] = 1;
          q.push({nx, ny});
        }
      }
      if (size > bestSize) {
        bestSize = size;
        bestX = minX;
        bestY = minY;
      }
    }
  return bestSize > 300 ? std::pair{bestX, bestY} : std::pair{-1, -1};
}

int countNear(const Shot& s, int x0, int y0, int w, int h, Rgb c) {
  int n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) n += near(s.at(x, y), c);
  return n;
}

class RealWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!desk.ok()) GTEST_SKIP() << "no X display (the test command starts Xvfb)";
  }
  Window startTitle() {
    EXPECT_TRUE(prog.start());
    Window t = desk.find(kTitle);
    EXPECT_NE(t, 0u) << prog.stderrText();
    std::this_thread::sleep_for(150ms);
    return t;
  }
  Desk desk;
  Program prog;
};

TEST_F(RealWindow, TitleLooksAsDesignedAndTheCloseBoxEndsTheProgram) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  int x, y, w, h;
  desk.geometry(t, x, y, w, h);
  EXPECT_EQ(w, 756);
  EXPECT_EQ(h, 323);
  Shot s = shoot(desk, t);
  EXPECT_TRUE(near(s.at(5, 5), {255, 255, 255}));
  EXPECT_TRUE(near(s.at(275, 182), {192, 255, 255}));
  EXPECT_TRUE(near(s.at(278, 286), {255, 255, 128}));
  EXPECT_GT(countNear(s, 115, 48, 526, 64, {0, 0, 192}), 2000);  // the blue title text
  desk.closeBox(t);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

TEST_F(RealWindow, MouseStartsAGameInTheTitlesPlaceAndPlays) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  int tx, ty, w, h;
  desk.geometry(t, tx, ty, w, h);
  desk.click(t, 300, 156);
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  EXPECT_TRUE(desk.gone(kTitle, 2s));
  int gx, gy;
  desk.geometry(g, gx, gy, w, h);
  EXPECT_EQ(gx, tx);
  EXPECT_EQ(gy, ty);
  EXPECT_EQ(w, 756);
  std::this_thread::sleep_for(400ms);
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
  auto after = findWobo(shoot(desk, g));
  EXPECT_GT(after.first, before.first + 60);
  // Space pauses and shows "Pause"; space again resumes. (A space held across several polls
  // flips between the two, as the game is meant to.)
  desk.flick("space");
  ASSERT_TRUE(Desk::until([&] { return countNear(shoot(desk, g), 152, 128, 335, 64, {0, 0, 255}) > 300; }, 2s));
  std::this_thread::sleep_for(300ms);
  desk.flick("space");
  ASSERT_TRUE(Desk::until([&] { return countNear(shoot(desk, g), 152, 128, 335, 64, {0, 0, 255}) == 0; }, 2s));
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
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(digitAt(shoot(desk, g), 688, 24), 5);  // mode d counts down from 59
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

TEST_F(RealWindow, ArrowHeldForAnotherWindowStillMoves) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  desk.click(t, 300, 188);
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  std::this_thread::sleep_for(200ms);
  desk.focusThief();
  auto before = findWobo(shoot(desk, g));
  desk.key("Left", true);
  std::this_thread::sleep_for(300ms);
  desk.key("Left", false);
  auto after = findWobo(shoot(desk, g));
  EXPECT_LT(after.first, before.first - 60);
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

TEST_F(RealWindow, GameOverReturnsToTheTitleWhereTheGameStood) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  desk.click(t, 300, 252);  // the quickest mode: 12.2 seconds
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  int gx, gy, w, h;
  desk.geometry(g, gx, gy, w, h);
  ASSERT_TRUE(Desk::until([&] { return countNear(shoot(desk, g), 152, 104, 335, 64, {255, 0, 0}) > 500; }, 20s));
  Shot over = shoot(desk, g);
  EXPECT_EQ(number(over, 688, 24), 0);
  EXPECT_GT(countNear(over, 151, 168, 337, 32, {255, 0, 0}), 300);  // "スペースキーを押してね"
  // Space returns to the title; its release there must not click the focused mode button.
  desk.key("space", true);
  Window back = desk.find(kTitle, 3s);
  ASSERT_NE(back, 0u);
  std::this_thread::sleep_for(200ms);
  desk.key("space", false);
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(desk.find(kGame, 0ms), 0u);
  int tx, ty;
  desk.geometry(back, tx, ty, w, h);
  EXPECT_EQ(tx, gx);
  EXPECT_EQ(ty, gy);
  desk.click(back, 300, 292);  // quit
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

TEST(NoDisplay, SaysSoInOneLineAndFails) {
  Program prog;
  ASSERT_TRUE(prog.start({}, false));
  int status = prog.wait(10s);
  EXPECT_NE(status, 0);
  EXPECT_NE(status, -1);
  std::string err = prog.stderrText();
  EXPECT_NE(err.find("no display"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

}  // namespace
