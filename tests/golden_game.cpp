#include "tests/golden_game.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/keys.h"

namespace testkit {
namespace {

using platform::VK_DOWN;
using platform::VK_LEFT;
using platform::VK_RIGHT;
using platform::VK_SPACE;
using platform::VK_UP;

// Steers the wobo's centre towards the zeka's, as a player would.
void chase(Game& g) {
  const auto& s = g.st();
  const int dx = (s.zekaX.value() + 8) - (s.woboX.value() + 16);
  const int dy = (s.zekaY.value() + 8) - (s.woboY.value() + 16);
  auto set = [&](int vk, bool on) { on ? g.hold(vk) : g.release(vk); };
  set(VK_LEFT, dx < -2);
  set(VK_RIGHT, dx > 2);
  set(VK_UP, dy < -2);
  set(VK_DOWN, dy > 2);
}

std::vector<std::string> collapse(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (size_t i = 0; i < lines.size();) {
    size_t j = i;
    while (j < lines.size() && lines[j] == lines[i]) ++j;
    out.push_back(j - i == 1 ? lines[i] : lines[i] + " x" + std::to_string(j - i));
    i = j;
  }
  return out;
}

bool golden(int tick) {
  for (int t : kGoldenTicks)
    if (t == tick) return true;
  return false;
}

}  // namespace

std::string goldenTracePath(int mode) {
  return std::string(MOROFIN_SOURCE_DIR) + "/tests/fixtures/game_" + kModes[mode] + ".txt";
}

std::string goldenFramePath(int mode, int tick) {
  return std::string(MOROFIN_SOURCE_DIR) + "/tests/fixtures/game_" + kModes[mode] + "_" +
         std::to_string(tick) + ".png";
}

ChasedGame playChasedGame(int mode, const std::function<void(Game&)>& onFrame) {
  ChasedGame out;
  Game g;
  g.seed(1000 + mode);
  g.folder.write(std::string("data/") + kModes[mode] + ".dat", "3\r\n");
  EXPECT_TRUE(g.start());
  EXPECT_TRUE(g.click(mode + 1));
  int tick = 0;
  while (!g.over()) {
    chase(g);
    if (tick == 300) g.tap(VK_SPACE);
    EXPECT_TRUE(g.ticks(1));
    ++tick;
    if (tick == 301) {
      EXPECT_TRUE(g.paused());
      EXPECT_TRUE(g.advance(40));
      g.tap(VK_SPACE);
      EXPECT_TRUE(g.advance(10));
      EXPECT_FALSE(g.paused());
    }
    if (golden(tick)) {
      if (onFrame) onFrame(g);
      out.frames[tick] = g.game().ctl<platform::PictureBox>("map").image();
      std::ostringstream line;
      line << "frame " << tick << " wobo " << g.st().woboX.value() << "," << g.st().woboY.value()
           << " zeka " << g.st().zekaX.value() << "," << g.st().zekaY.value() << " score "
           << g.st().score.value();
      out.trace.push_back(line.str());
    }
    if (tick > 2000) break;
  }
  out.trace.push_back("ticks " + std::to_string(tick));
  out.trace.push_back("score " + std::to_string(g.st().score.value()));
  // A player who chases scores, beats the stored 3, and the file says so.
  EXPECT_GT(g.st().score, 3);
  std::string bytes = g.folder.read(std::string("data/") + kModes[mode] + ".dat");
  EXPECT_EQ(bytes, std::to_string(g.st().score.value()) + "\r\n");
  std::ostringstream hex;
  for (unsigned char c : bytes) hex << std::hex << int(c) << " ";
  out.trace.push_back("file " + hex.str());
  const std::string root = g.folder.path().string();
  for (std::string l : collapse(g.mediaLog())) {
    if (auto p = l.find(root); p != std::string::npos) l.replace(p, root.size(), "<app>");
    out.trace.push_back(l);
  }
  // Back to the title, which a second space would not click through.
  g.tap(VK_SPACE);
  EXPECT_TRUE(g.advance(5));
  EXPECT_TRUE(g.title().loaded());
  EXPECT_FALSE(g.game().loaded());
  return out;
}

}  // namespace testkit
