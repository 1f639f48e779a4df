#include "tests/x11/screen.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <queue>
#include <string>
#include <thread>

namespace xdriver {

Shot shoot(Desk& d, Window w) {
  Shot s;
  s.px = d.grab(w, s.w, s.h);
  return s;
}

bool near(Rgb a, Rgb b) {
  return std::abs(a.r - b.r) < 8 && std::abs(a.g - b.g) < 8 && std::abs(a.b - b.b) < 8;
}

int differing(const Shot& a, const Shot& b) {
  if (a.w != b.w || a.h != b.h || a.px.size() != b.px.size())
    return static_cast<int>(std::max(a.px.size(), b.px.size()));
  int n = 0;
  for (size_t i = 0; i < a.px.size(); ++i) n += !near(a.px[i], b.px[i]);
  return n;
}

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

bool pauseShown(const Shot& s, bool anyTrace) {
  const int blue = countNear(s, 152, 128, 335, 64, {0, 0, 255});
  return anyTrace ? blue > 0 : blue > 300;
}

bool gameOverShown(const Shot& s) {
  return countNear(s, 152, 104, 335, 64, {255, 0, 0}) > 500;
}

void expectTitleAsDesigned(Desk& d, Window t, int scale) {
  int x, y, w, h;
  d.geometry(t, x, y, w, h);
  ASSERT_EQ(w, scale * 756);
  ASSERT_EQ(h, scale * 323);
  Shot s = shoot(d, t);
  EXPECT_TRUE(near(s.at(5, 5), {255, 255, 255}));
  EXPECT_TRUE(near(s.at(scale * 275, scale * 182), {192, 255, 255}));
  EXPECT_TRUE(near(s.at(scale * 278, scale * 286), {255, 255, 128}));
  EXPECT_GT(countNear(s, scale * 115, scale * 48, scale * 526, scale * 64, {0, 0, 192}),
            scale * scale * 2000);  // the title text
}

bool titleDrawn(Desk& d, Window t, std::chrono::milliseconds timeout) {
  return Desk::until([&] { return near(d.pixel(t, 5, 5), {255, 255, 255}); }, timeout);
}

bool gameStarted(Desk& d, Window g, std::chrono::milliseconds timeout) {
  return Desk::until(
      [&] {
        const Shot s = shoot(d, g);
        return digitAt(s, 688, 24) >= 0 && digitAt(s, 688 + 32, 24) >= 0 && number(s, 688, 24) > 0;
      },
      timeout);
}

int chaseToTheEnd(Desk& d, Window g, std::chrono::milliseconds timeout) {
  const std::pair<const char*, bool> none[] = {
      {"Left", false}, {"Right", false}, {"Up", false}, {"Down", false}};
  std::map<std::string, bool> held(std::begin(none), std::end(none));
  auto want = [&](const char* k, bool on) {
    if (held[k] != on) d.key(k, on);
    held[k] = on;
  };
  const auto end = Clock::now() + timeout;
  int score = -1;
  for (Shot s = shoot(d, g); !gameOverShown(s) && Clock::now() < end; s = shoot(d, g)) {
    auto p = patches(s);
    if (p.size() >= 2 && p[0].size > 300 && p[1].size > 20) {
      const int dx = p[1].cx() - p[0].cx(), dy = p[1].cy() - p[0].cy();
      want("Left", dx < -3);
      want("Right", dx > 3);
      want("Up", dy < -3);
      want("Down", dy > 3);
    }
    std::this_thread::sleep_for(8ms);
  }
  for (auto& [k, on] : held) want(k.c_str(), false);
  const Shot over = shoot(d, g);
  if (gameOverShown(over)) score = number(over, 688, 96);
  return score;
}

void RealWindow::SetUp() {
  if (!desk.ok()) GTEST_SKIP() << "no X display (the test command starts Xvfb)";
}

Window RealWindow::startTitle() {
  EXPECT_TRUE(prog.start());
  Window t = desk.find(kTitle);
  EXPECT_NE(t, 0u) << prog.stderrText();
  EXPECT_TRUE(t && titleDrawn(desk, t)) << "the title window stays blank";
  return t;
}

Window RealWindow::startGame(int x, int y) {
  Window t = startTitle();
  if (!t) return 0;
  desk.click(t, x, y);
  Window g = desk.find(kGame);
  EXPECT_NE(g, 0u) << prog.stderrText();
  EXPECT_TRUE(g && gameStarted(desk, g)) << "the game does not begin";
  return g;
}

Window RealWindow::gameInPlaceOf(Window t, int x, int y) {
  int tx, ty, w, h;
  desk.geometry(t, tx, ty, w, h);
  desk.click(t, x, y);
  Window g = desk.find(kGame);
  EXPECT_NE(g, 0u) << prog.stderrText();
  if (!g) return 0;
  EXPECT_TRUE(desk.gone(kTitle, 2s));
  int gx, gy;
  desk.geometry(g, gx, gy, w, h);
  EXPECT_EQ(gx, tx);
  EXPECT_EQ(gy, ty);
  return g;
}

}  // namespace xdriver
