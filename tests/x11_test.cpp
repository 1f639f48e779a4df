// The real program in a real window under an X server, driven with real key and mouse events.
#include <X11/Xatom.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <queue>
#include <sstream>
#include <thread>

#include "tests/x11/xdriver.h"

using namespace std::chrono_literals;
using xdriver::Desk;
using xdriver::kGame;
using xdriver::kTitle;
using xdriver::Program;
using xdriver::Rgb;

namespace {

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

bool near(Rgb a, Rgb b) {
  return std::abs(a.r - b.r) < 8 && std::abs(a.g - b.g) < 8 && std::abs(a.b - b.b) < 8;
}

// Reads a digit picture (3 x 5 blocks of 10 px) whose top-left corner is at (x0, y0).
int digitAt(const Shot& s, int x0, int y0) {
  static const char* glyphs[10] = {"111101101101111", "110010010010010", "111001111100111",
                                   "111001111001111", "101101101111001", "111100111001111",
                                   "111100111101111", "111101001001001", "111101111101111",
                                   "111101111001111"};
  std::string bits;
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 3; ++c)
      bits += near(s.at(x0 + 5 + 10 * c, y0 + 5 + 10 * r), {255, 0, 0}) ? '1' : '0';
  for (int d = 0; d < 10; ++d)
    if (bits == glyphs[d]) return d;
  return -1;
}

int number(const Shot& s, int x0, int y0) {
  return digitAt(s, x0, y0) * 10 + digitAt(s, x0 + 32, y0);
}

struct Patch {
  int size, minX, minY, maxX, maxY;
  int cx() const { return (minX + maxX) / 2; }
  int cy() const { return (minY + maxY) / 2; }
};

// Every patch of the creatures' body colour on the playfield, biggest first.
std::vector<Patch> patches(const Shot& s) {
  std::vector<int> seen(static_cast<size_t>(s.w) * s.h, 0);
  std::vector<Patch> out;
  for (int y = 1; y <= 320; ++y)
    for (int x = 1; x <= 640; ++x) {
      if (seen[y * s.w + x] || !near(s.at(x, y), {128, 255, 255})) continue;
      std::queue<std::pair<int, int>> q;
      q.push({x, y});
      seen[y * s.w + x] = 1;
      int size = 0, minX = x, minY = y, maxX = x, maxY = y;
      while (!q.empty()) {
        auto [cx, cy] = q.front();
        q.pop();
        ++size;
        minX = std::min(minX, cx);
        minY = std::min(minY, cy);
        maxX = std::max(maxX, cx);
        maxY = std::max(maxY, cy);
        const int nb[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (auto& n : nb) {
          int nx = cx + n[0], ny = cy + n[1];
          if (nx < 1 || ny < 1 || nx > 640 || ny > 320 || seen[ny * s.w + nx]) continue;
          if (!near(s.at(nx, ny), {128, 255, 255})) continue;
          seen[ny * s.w + nx] = 1;
          q.push({nx, ny});
        }
      }
      out.push_back({size, minX, minY, maxX, maxY});
    }
  std::sort(out.begin(), out.end(), [](const Patch& a, const Patch& b) { return a.size > b.size; });
  return out;
}

// The wobo is the biggest patch: its box's left and top, or -1 when none is seen.
std::pair<int, int> findWobo(const Shot& s) {
  auto p = patches(s);
  return !p.empty() && p[0].size > 300 ? std::pair{p[0].minX, p[0].minY} : std::pair{-1, -1};
}

int countNear(const Shot& s, int x0, int y0, int w, int h, Rgb c) {
  int n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) n += near(s.at(x, y), c);
  return n;
}

// "Pause" in blue over the field; with anyTrace, whether any of it is still there.
bool pauseShown(const Shot& s, bool anyTrace = false) {
  const int blue = countNear(s, 152, 128, 335, 64, {0, 0, 255});
  return anyTrace ? blue > 0 : blue > 300;
}

// "GameOver..." in red over the field.
bool gameOverShown(const Shot& s) {
  return countNear(s, 152, 104, 335, 64, {255, 0, 0}) > 500;
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
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(digitAt(shoot(desk, g), 688, 24), 5);  // mode d counts down from 59
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

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
  std::this_thread::sleep_for(400ms);
  Shot s = shoot(desk, g);
  EXPECT_FALSE(pauseShown(s, true));
  // At its start place: the field starts 1 px in and the body 3 px into the sprite.
  EXPECT_EQ(findWobo(s), (std::pair{1 + 300 + 3, 1 + 150 + 3}));
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
  ASSERT_TRUE(Desk::until([&] { return gameOverShown(shoot(desk, g)); }, 20s));
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

// A whole game played as a person would: look at the field, steer towards the zeka with the
// arrow keys, pause once, wait for the end, see the score stored, and see it again next game.
TEST_F(RealWindow, APlayerPlaysAWholeGame) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  desk.click(t, 300, 156);  // easy: 1820 ticks
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  const auto started = std::chrono::steady_clock::now();
  std::map<std::string, bool> held = {
      {"Left", false}, {"Right", false}, {"Up", false}, {"Down", false}};
  auto want = [&](const char* k, bool on) {
    if (held[k] != on) desk.key(k, on);
    held[k] = on;
  };
  std::vector<int> scores = {0};
  bool pausedOnce = false;
  for (;;) {
    Shot s = shoot(desk, g);
    if (gameOverShown(s)) break;  // "GameOver..."
    const int score = number(s, 688, 96);
    if (score > scores.back()) scores.push_back(score);
    auto p = patches(s);
    if (p.size() >= 2 && p[0].size > 300 && p[1].size > 20) {
      const int dx = p[1].cx() - p[0].cx(), dy = p[1].cy() - p[0].cy();
      want("Left", dx < -3);
      want("Right", dx > 3);
      want("Up", dy < -3);
      want("Down", dy > 3);
    }
    if (!pausedOnce && std::chrono::steady_clock::now() - started > 6s) {
      pausedOnce = true;
      for (auto& [k, on] : held) want(k.c_str(), false);
      desk.flick("space");
      ASSERT_TRUE(Desk::until([&] { return pauseShown(shoot(desk, g)); }, 2s));
      const int during = number(shoot(desk, g), 688, 24);
      std::this_thread::sleep_for(500ms);
      EXPECT_EQ(number(shoot(desk, g), 688, 24), during);  // the clock stands still
      desk.flick("space");
      ASSERT_TRUE(Desk::until([&] { return !pauseShown(shoot(desk, g), true); }, 2s));
    }
    ASSERT_LT(std::chrono::steady_clock::now() - started, 40s);
    std::this_thread::sleep_for(8ms);
  }
  for (auto& [k, on] : held) want(k.c_str(), false);
  Shot over = shoot(desk, g);
  const int final = number(over, 688, 96);
  EXPECT_GE(final, 3) << "caught too few";
  EXPECT_GE(scores.size(), 4u);
  for (size_t i = 1; i < scores.size(); ++i) EXPECT_GT(scores[i], scores[i - 1]);
  EXPECT_EQ(number(over, 688, 24), 0);
  EXPECT_EQ(number(over, 688, 192), 0);  // the old high score is still shown
  EXPECT_GT(countNear(over, 151, 168, 337, 32, {255, 0, 0}), 300);
  std::ifstream f(prog.folder() + "/data/e.dat", std::ios::binary);
  std::string stored((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(stored, std::to_string(final) + "\r\n");

  desk.flick("space");
  Window back = desk.find(kTitle, 3s);
  ASSERT_NE(back, 0u);
  std::this_thread::sleep_for(200ms);
  desk.click(back, 300, 156);
  Window g2 = desk.find(kGame);
  ASSERT_NE(g2, 0u);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(number(shoot(desk, g2), 688, 192), final);  // the new high score
  ASSERT_TRUE(Desk::until([&] { return gameOverShown(shoot(desk, g2)); }, 30s));
  desk.flick("space");
  Window title2 = desk.find(kTitle, 3s);
  ASSERT_NE(title2, 0u);
  std::this_thread::sleep_for(200ms);
  desk.click(title2, 300, 292);  // the quit button
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

// Each asset missing or broken in turn: the game goes on without it and says so in one line.
TEST_F(RealWindow, MissingOrBrokenAssetsOneByOne) {
  struct Case {
    const char* name;
    const char* file;     // under the program folder, removed or overwritten
    const char* content;  // nullptr: removed
    const char* env;
    const char* mention;
  } cases[] = {
      {"music missing", "sound/bgm_e.mid", nullptr, "", "bgm_e.mid"},
      {"music broken", "sound/bgm_e.mid", "MThd but not really", "", "bgm_e.mid"},
      {"wave missing", "sound/wait.wav", nullptr, "", "wait.wav"},
      {"wave broken", "sound/wait.wav", "RIFF....WAVEjunk", "", "wait.wav"},
      {"soundfont missing", nullptr, nullptr, "MOROFIN_SOUNDFONT=/nonexistent/gm.sf2", "soundfont"},
      {"no fonts", "fonts.conf",
       "<?xml version=\"1.0\"?><fontconfig><cachedir>/tmp</cachedir></fontconfig>",
       "FONTCONFIG_FILE=", "font"},
  };
  for (const Case& c : cases) {
    Program p;
    if (c.file) {
      const std::string path = p.folder() + "/" + c.file;
      if (c.content) {
        std::ofstream(path) << c.content;
      } else {
        std::filesystem::remove(path);
      }
    }
    std::string env = c.env;
    if (env == "FONTCONFIG_FILE=") env += p.folder() + "/fonts.conf";
    ASSERT_TRUE(p.start(env.empty() ? std::vector<std::string>{} : std::vector<std::string>{env}));
    Window t = desk.find(kTitle);
    ASSERT_NE(t, 0u) << c.name << ": " << p.stderrText();
    std::this_thread::sleep_for(200ms);
    desk.click(t, 300, 156);
    Window g = desk.find(kGame);
    ASSERT_NE(g, 0u) << c.name;
    std::this_thread::sleep_for(200ms);
    desk.flick("space");  // pause and resume: the wait sound twice
    std::this_thread::sleep_for(200ms);
    desk.flick("space");
    std::this_thread::sleep_for(200ms);
    desk.closeBox(g);
    EXPECT_EQ(p.wait(5s), 0) << c.name << ": " << p.stderrText();
    std::istringstream err(p.stderrText());
    int ours = 0;
    bool named = false;
    for (std::string line; std::getline(err, line);) {
      if (line.rfind("morofin:", 0) != 0) continue;
      ++ours;
      named = named || line.find(c.mention) != std::string::npos;
    }
    EXPECT_EQ(ours, 1) << c.name << ": " << p.stderrText();
    EXPECT_TRUE(named) << c.name << ": " << p.stderrText();
  }
}

// Covered and uncovered while paused, the window shows its last frame again.
TEST_F(RealWindow, ThePausedFrameSurvivesBeingCovered) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  desk.click(t, 300, 156);
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  std::this_thread::sleep_for(300ms);
  desk.flick("space");
  ASSERT_TRUE(Desk::until([&] { return pauseShown(shoot(desk, g)); }, 2s));
  std::this_thread::sleep_for(100ms);
  Shot before = shoot(desk, g);
  int gx, gy, w, h;
  desk.geometry(g, gx, gy, w, h);
  Display* d = desk.display();
  Window cover = XCreateSimpleWindow(d, DefaultRootWindow(d), gx + 50, gy + 50, 500, 200, 0, 0, 0);
  XSetWindowAttributes a;
  a.override_redirect = True;
  XChangeWindowAttributes(d, cover, CWOverrideRedirect, &a);
  XMapRaised(d, cover);
  XSync(d, False);
  std::this_thread::sleep_for(200ms);
  XDestroyWindow(d, cover);
  XSync(d, False);
  std::this_thread::sleep_for(200ms);
  Shot after = shoot(desk, g);
  int differ = 0;
  for (size_t i = 0; i < before.px.size(); ++i) differ += !near(before.px[i], after.px[i]);
  EXPECT_EQ(differ, 0);
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

// A run-time error (here: the program's folder has gone when a game starts) is reported with its
// number and ends the program with a failure status.
TEST_F(RealWindow, ARunTimeErrorIsReportedAndEndsTheProgram) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  std::filesystem::rename(prog.folder(), prog.folder() + "-gone");
  desk.click(t, 300, 156);
  const int status = prog.wait(5s);
  std::filesystem::rename(prog.folder() + "-gone", prog.folder());
  EXPECT_EQ(status, 1);
  const std::string err = prog.stderrText();
  EXPECT_NE(err.find("run-time error 75"), std::string::npos) << err;
}

// The X resources of the test's server say 192 dots per inch while it lives, as `xrdb` would.
class DoubleScaleDesktop {
 public:
  explicit DoubleScaleDesktop(Display* d) : d_(d) {
    const char* res = XResourceManagerString(d_);
    if (res) old_ = res;
    set("Xft.dpi:\t192\n");
  }
  ~DoubleScaleDesktop() {
    if (old_)
      set(*old_);
    else
      XDeleteProperty(d_, DefaultRootWindow(d_), XA_RESOURCE_MANAGER);
    XSync(d_, False);
  }

 private:
  void set(const std::string& text) {
    XChangeProperty(d_, DefaultRootWindow(d_), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.c_str()),
                    static_cast<int>(text.size()));
    XSync(d_, False);
  }
  Display* d_;
  std::optional<std::string> old_;
};

TEST_F(RealWindow, AtDoubleScaleEverythingIsTwiceAsLargeAndStillWorks) {
  DoubleScaleDesktop scale(desk.display());
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  int tx, ty, w, h;
  desk.geometry(t, tx, ty, w, h);
  ASSERT_EQ(w, 1512);
  ASSERT_EQ(h, 646);
  Shot s = shoot(desk, t);
  EXPECT_TRUE(near(s.at(2 * 275, 2 * 182), {192, 255, 255}));
  EXPECT_GT(countNear(s, 230, 96, 1052, 128, {0, 0, 192}), 4 * 2000);  // the title text
  // A click on the doubled place of the first mode button starts its game in the title's place.
  desk.click(t, 2 * 300, 2 * 156);
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  EXPECT_TRUE(desk.gone(kTitle, 2s));
  int gx, gy;
  desk.geometry(g, gx, gy, w, h);
  EXPECT_EQ(gx, tx);
  EXPECT_EQ(gy, ty);
  EXPECT_EQ(w, 1512);
  EXPECT_EQ(h, 646);
  std::this_thread::sleep_for(200ms);
  Shot gs = shoot(desk, g);
  // Every picture pixel is a 2 x 2 block: the field's one-pixel border, and the blocks of the
  // high score's 0 (a red 10 x 10 block, then the white middle).
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_TRUE(near(gs.at(x, y), {0, 0, 0})) << x << "," << y;
  EXPECT_TRUE(near(gs.at(2, 2), {155, 255, 205}));
  EXPECT_EQ(countNear(gs, 2 * 688, 2 * 192, 20, 20, {255, 0, 0}), 400);
  EXPECT_EQ(countNear(gs, 2 * 698, 2 * 202, 20, 20, {255, 255, 255}), 400);
  desk.closeBox(g);
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
