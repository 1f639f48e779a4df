#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/keys.h"
#include "screens/pictures.h"
#include "tests/testkit.h"

using platform::Rgb;
using platform::VK_DOWN;
using platform::VK_LEFT;
using platform::VK_RIGHT;
using platform::VK_SPACE;
using platform::VK_UP;
using testkit::Game;

namespace {

const char* kModes = "enhd";

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

uint64_t hash(const platform::Bitmap& b) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t v : b.pixels) h = (h ^ v) * 1099511628211ull;
  return h;
}

// The frame as the player sees it: both creatures through their masks over the field.
void checkFrame(Game& g) {
  const auto& s = g.st();
  const auto& map = g.game().ctl<platform::PictureBox>("map").image();
  const auto& field = *screens::pictures().field.bitmap();
  const int wx = s.woboX.value(), wy = s.woboY.value();
  if (wx >= 0 && wy >= 0 && wx + 31 < 640 && wy + 31 < 320) {
    EXPECT_EQ(map.at(wx + 16, wy + 28), (Rgb{128, 255, 255}));  // the body
    EXPECT_EQ(map.at(wx, wy), field.at(wx, wy));                // the field around it
    EXPECT_EQ(map.at(wx + 31, wy + 31), field.at(wx + 31, wy + 31));
  }
  const int zx = s.zekaX.value(), zy = s.zekaY.value();
  const bool underWobo = zx + 16 > wx && zx < wx + 32 && zy + 16 > wy && zy < wy + 32;
  if (!underWobo) {
    EXPECT_EQ(map.at(zx + 8, zy + 13), (Rgb{128, 255, 255}));
    EXPECT_EQ(map.at(zx, zy), field.at(zx, zy));
  }
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

std::vector<std::string> playOneGame(int mode) {
  Game g;
  g.seed(1000 + mode);
  g.folder.write(std::string("data/") + kModes[mode] + ".dat", "3\r\n");
  EXPECT_TRUE(g.start());
  EXPECT_TRUE(g.click(mode + 1));
  std::vector<std::string> out;
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
    if (tick == 1 || tick % 400 == 0) {
      checkFrame(g);
      std::ostringstream line;
      line << "frame " << tick << " wobo " << g.st().woboX.value() << "," << g.st().woboY.value()
           << " zeka " << g.st().zekaX.value() << "," << g.st().zekaY.value() << " score "
           << g.st().score.value() << " image " << std::hex
           << hash(g.game().ctl<platform::PictureBox>("map").image());
      out.push_back(line.str());
    }
    if (tick > 2000) break;
  }
  out.push_back("ticks " + std::to_string(tick));
  out.push_back("score " + std::to_string(g.st().score.value()));
  // A player who chases scores, beats the stored 3, and the file says so.
  EXPECT_GT(g.st().score, 3);
  EXPECT_EQ(g.folder.read(std::string("data/") + kModes[mode] + ".dat"),
            std::to_string(g.st().score.value()) + "\r\n");
  std::string bytes = g.folder.read(std::string("data/") + kModes[mode] + ".dat");
  std::ostringstream hex;
  for (unsigned char c : bytes) hex << std::hex << int(c) << " ";
  out.push_back("file " + hex.str());
  const std::string root = g.folder.path().string();
  for (std::string l : collapse(g.mediaLog())) {
    if (auto p = l.find(root); p != std::string::npos) l.replace(p, root.size(), "<app>");
    out.push_back(l);
  }
  // Back to the title, which a second space would not click through.
  g.tap(VK_SPACE);
  EXPECT_TRUE(g.advance(5));
  EXPECT_TRUE(g.title().loaded());
  EXPECT_FALSE(g.game().loaded());
  return out;
}

TEST(Replay, AWholeGameInEachModeMatchesItsRecording) {
  for (int mode = 0; mode < 4; ++mode) {
    std::vector<std::string> got = playOneGame(mode);
    const std::string path =
        std::string(MOROFIN_SOURCE_DIR) + "/tests/fixtures/replay_" + kModes[mode] + ".txt";
    if (std::getenv("MOROFIN_RECORD_REPLAYS")) {
      std::ofstream f(path);
      for (const auto& l : got) f << l << "\n";
      continue;
    }
    std::ifstream f(path);
    ASSERT_TRUE(f) << "no recording at " << path << " (run with MOROFIN_RECORD_REPLAYS=1)";
    std::vector<std::string> want;
    for (std::string l; std::getline(f, l);) want.push_back(l);
    EXPECT_EQ(got, want) << "mode " << kModes[mode];
  }
}

// Many games with random keys: the game stays in one of its states and nothing overflows.
TEST(Soak, RandomKeysForManyGames) {
  int games = 200;
  if (const char* n = std::getenv("MOROFIN_SOAK_GAMES")) games = std::atoi(n);
  std::mt19937 rng(7);
  Game g;
  ASSERT_TRUE(g.start());
  const int keys[] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_SPACE};
  for (int n = 0; n < games; ++n) {
    ASSERT_TRUE(g.title().loaded());
    ASSERT_TRUE(g.click(1 + static_cast<int>(rng() % 4)));
    int steps = 0;
    while (!g.over() && steps < 20000) {
      for (int vk : keys) {
        bool on = vk == VK_SPACE ? rng() % 60 == 0 : rng() % 3 == 0;
        on ? g.hold(vk) : g.release(vk);
      }
      ASSERT_TRUE(g.advance(10));
      ++steps;
      const auto& s = g.st();
      ASSERT_TRUE(s.woboX >= -4 && s.woboX <= 612 && s.woboY >= -4 && s.woboY <= 292);
      ASSERT_TRUE(s.zekaX >= 0 && s.zekaX <= 624 && s.zekaY >= 0 && s.zekaY <= 304);
      const int wobo = g.game().ctl<platform::Timer>("woboTimer").Interval();
      const int wait = g.game().ctl<platform::Timer>("waitTimer").Interval();
      ASSERT_TRUE((wobo == 10 && wait == 0) || (wobo == 0 && wait == 10) || g.over());
    }
    for (int vk : keys) g.release(vk);
    ASSERT_TRUE(g.over()) << "game " << n;
    g.tap(VK_SPACE);
    ASSERT_TRUE(g.advance(2));
  }
  EXPECT_TRUE(g.provider.errors.empty());
}

}  // namespace

namespace {

// The states a game can be in, by its timers, labels and music.
void expectAState(Game& g) {
  auto& f = g.game();
  const int wobo = f.ctl<platform::Timer>("woboTimer").Interval();
  const int wait = f.ctl<platform::Timer>("waitTimer").Interval();
  const int end = f.ctl<platform::Timer>("endTimer").Interval();
  const bool pause = f.control("pauseL").Visible();
  const bool over = f.control("gameoverL", 0).Visible();
  auto music = g.provider.sequencer();
  const bool playing =
      wobo == 10 && wait == 0 && end == 0 && !pause && !over && music && music->mode != "paused";
  const bool paused =
      wobo == 0 && wait == 10 && end == 0 && pause && !over && music && music->mode == "paused";
  const bool ended = wobo == 0 && end == 1 && over && !music;  // a pause may have come with the end
  ASSERT_TRUE(playing || paused || ended) << "wobo " << wobo << " wait " << wait << " end " << end;
}

TEST(HeldKeys, AllFiveHeldForAWholeGame) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(4));
  for (int vk : {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_SPACE}) g.hold(vk);
  // The held space pauses once and the game stays paused; a second press resumes it, and that
  // press, held to the end, pauses nothing.
  ASSERT_TRUE(g.advance(500));
  ASSERT_TRUE(g.paused());
  g.release(VK_SPACE);
  g.hold(VK_SPACE);
  int steps = 0;
  while (!g.over()) {
    ASSERT_TRUE(g.advance(5));
    expectAState(g);
    ASSERT_LT(++steps, 20000);
  }
  // Down and left win their pairs; the wobo ends in the bottom-left corner.
  EXPECT_LE(g.st().woboX.value(), 5);
  EXPECT_GE(g.st().woboY.value(), 283);
  EXPECT_EQ(g.provider.sequencer(), nullptr);  // no music left playing
  for (int vk : {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT}) g.release(vk);
  ASSERT_TRUE(g.advance(5));  // space still held: back to the title
  EXPECT_TRUE(g.title().loaded());
  g.release(VK_SPACE);
}

TEST(HeldKeys, SpacePressedAndReleasedAtRandomForAMinute) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  std::mt19937 rng(11);
  bool down = false;
  int games = 1;
  for (int ms = 0; ms < 60000;) {
    down = !down;
    down ? g.hold(VK_SPACE) : g.release(VK_SPACE);
    const int step = 1 + static_cast<int>(rng() % 40);
    ASSERT_TRUE(g.advance(step));
    ms += step;
    if (g.title().loaded()) {  // a press on the game-over screen went back to the title
      g.release(VK_SPACE);
      ASSERT_TRUE(g.click(1));
      ++games;
    }
    expectAState(g);
  }
  EXPECT_GE(games, 2);
  EXPECT_TRUE(g.provider.errors.empty());
}

}  // namespace
