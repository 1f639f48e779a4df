// Keys held, pressed and released at random: the game always stays in one of its states.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "platform/keys.h"
#include "tests/testkit.h"

using platform::VK_DOWN;
using platform::VK_LEFT;
using platform::VK_RIGHT;
using platform::VK_SPACE;
using platform::VK_UP;
using testkit::Game;

namespace {

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
