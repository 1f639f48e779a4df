// Game start, the tick, the score and the clock.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/interaction.h"
#include "platform/keys.h"
#include "tests/testkit.h"

using platform::VK_RIGHT;
using platform::VK_SPACE;
using testkit::Game;
using testkit::interval;
using testkit::shown;

namespace {

TEST(GameStart, TitleClosesBeforeTheMusicOpensAndEverythingIsSetUp) {
  Game g;
  g.folder.write("data/h.dat", "42\r\n");
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(3));
  const std::string root = g.folder.path().string();
  EXPECT_EQ(g.mediaLog(), (std::vector<std::string>{
                              "mci:Stop Midi",
                              "mci:Close Midi",
                              "mci:Open \"" + root + "\\sound\\bgm_h.mid\" alias Midi",
                              "mci:Seek Midi to Start",
                              "mci:Play Midi",
                          }));
  auto& s = g.st();
  EXPECT_EQ(s.woboX, 300);
  EXPECT_EQ(s.woboY, 150);
  EXPECT_EQ(s.woboDir, 0);
  EXPECT_GE(s.zekaX, 1);
  EXPECT_LE(s.zekaX, 600);
  EXPECT_GE(s.zekaY, 1);
  EXPECT_LE(s.zekaY, 300);
  EXPECT_EQ(s.zekaMove, 0);
  EXPECT_EQ(s.speedAdj, 0);
  EXPECT_EQ(s.hiScore, 42);
  EXPECT_EQ(shown(g, "hiS"), 42);
  EXPECT_EQ(shown(g, "scoreP"), 0);
  EXPECT_EQ(shown(g, "lastT"), 0);
  EXPECT_EQ(g.provider.sequencer()->mode, "playing");
  // The game window stands where the title window stood, and the title window is gone.
  EXPECT_EQ(g.provider.window("game")->x, g.provider.defaultX);
  EXPECT_EQ(g.provider.window("title"), nullptr);
  EXPECT_EQ(std::filesystem::current_path(), g.folder.path());
}

TEST(GameStart, HighScoreDigits) {
  struct Case {
    const char* file;
    int shows;
  } cases[] = {{"0\r\n", 0}, {"7\r\n", 7}, {"42\r\n", 42}, {"105\r\n", 15}, {"32767\r\n", 37}};
  for (const Case& c : cases) {
    Game g;
    g.folder.write("data/e.dat", c.file);
    ASSERT_TRUE(g.start());
    ASSERT_TRUE(g.click(1));
    EXPECT_EQ(shown(g, "hiS"), c.shows) << c.file;
  }
}

TEST(Clock, LengthOfAGamePerMode) {
  struct Case {
    int button;
    int firstShown, ticks;
  } cases[] = {{1, 89, 1820}, {2, 79, 1620}, {3, 69, 1420}, {4, 59, 1220}};
  for (const Case& c : cases) {
    Game g;
    ASSERT_TRUE(g.start());
    ASSERT_TRUE(g.click(c.button));
    ASSERT_TRUE(g.ticks(19));
    EXPECT_EQ(shown(g, "lastT"), 0);  // no clock step before the 20th tick
    ASSERT_TRUE(g.ticks(1));
    EXPECT_EQ(shown(g, "lastT"), c.firstShown);
    EXPECT_EQ(g.st().tickCount, 0);
    ASSERT_TRUE(g.ticks(c.ticks - 21));
    EXPECT_FALSE(g.over());
    EXPECT_EQ(shown(g, "lastT"), 0);
    ASSERT_TRUE(g.ticks(1));
    EXPECT_TRUE(g.over()) << c.button;
    EXPECT_EQ(shown(g, "lastT"), 0);
    EXPECT_EQ(interval(g, "woboTimer"), 0);
    EXPECT_EQ(g.st().tickCount, 0);
  }
}

TEST(Score, DigitsCountWithCarryAndWrapAt100) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  std::vector<std::pair<int, int>> seen;
  for (int i = 1; i <= 105; ++i) {
    g.game().scoreUp();
    if (i == 9 || i == 10 || i == 99 || i == 100 || i == 105)
      seen.push_back({i, shown(g, "scoreP")});
  }
  EXPECT_EQ(seen,
            (std::vector<std::pair<int, int>>{{9, 9}, {10, 10}, {99, 99}, {100, 0}, {105, 5}}));
  EXPECT_EQ(g.st().score, 105);
}

TEST(Tick, CatchScoresPlaysTheSoundAndRespawnsBeforeTheFrame) {
  Game g(true);
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(3));
  auto& s = g.st();
  s.zekaX = 310;
  s.zekaY = 160;
  s.zekaMove = 7;        // down 5: still inside the wobo's box at (300..316, 150..166)
  g.random->push(0.5f);  // stop draw: no stop
  g.random->push(0.0f);  // respawn x: 1
  g.random->push(0.0f);  // respawn y: 1
  size_t before = g.media.size();
  ASSERT_TRUE(g.ticks(1));
  EXPECT_EQ(s.score, 1);
  EXPECT_EQ(shown(g, "scoreP"), 1);
  EXPECT_EQ(s.zekaX, 1);
  EXPECT_EQ(s.zekaY, 1);
  EXPECT_EQ(s.zekaMove, 0);
  EXPECT_EQ(g.mediaLog(before),
            (std::vector<std::string>{"wave:\\sound\\get.wav", "mci:status Midi mode"}));
  // The frame shows the zeka at its new place: its outline at (1 + 5, 1 + 1).
  const auto& map = g.game().ctl<platform::PictureBox>("map");
  EXPECT_EQ(map.image().at(1 + 5, 1 + 1), (platform::Rgb{0, 0, 0}));
}

// A key pressed while the title had the keyboard belongs to the title; one still held counts.
TEST(GameStart, KeysPressedOnTheTitleDoNotReachTheGame) {
  {
    Game g;
    ASSERT_TRUE(g.start());
    platform::Interaction ui(*g.rt);
    g.tap(platform::VK_TAB);
    g.tap(VK_RIGHT);   // an arrow tapped on the title
    g.hold(VK_SPACE);  // Space on the focused first mode button: pushed in...
    ui.keyDown(g.title(), VK_SPACE, false);
    g.release(VK_SPACE);  // ...and clicked on release
    ui.keyUp(g.title(), VK_SPACE);
    ASSERT_TRUE(g.game().loaded());
    ASSERT_TRUE(g.ticks(1));
    EXPECT_FALSE(g.paused());
    EXPECT_EQ(g.st().woboX, 300);  // the tapped arrow moved nothing
  }
  {
    Game g;
    ASSERT_TRUE(g.start());
    platform::Interaction ui(*g.rt);
    g.hold(VK_RIGHT);  // held from the title into the game
    g.hold(platform::VK_RETURN);
    ui.keyDown(g.title(), platform::VK_RETURN, false);  // Enter clicks on its press
    ASSERT_TRUE(g.game().loaded());
    ASSERT_TRUE(g.ticks(1));
    EXPECT_GT(g.st().woboX, 300);  // still held: it moves
  }
}

TEST(GameStart, ASecondGameStartsAfreshButKeepsTheLastFacing) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(4));
  g.hold(VK_RIGHT);
  ASSERT_TRUE(g.ticks(1220));
  g.release(VK_RIGHT);
  ASSERT_TRUE(g.over());
  auto lastFacing = g.st().zekaDir;
  g.tap(VK_SPACE);
  ASSERT_TRUE(g.advance(1));
  ASSERT_TRUE(g.click(4));
  EXPECT_EQ(g.st().zekaDir, lastFacing);
  EXPECT_EQ(g.st().woboX, 300);
  EXPECT_EQ(g.st().woboDir, 0);
  EXPECT_EQ(g.st().score, 0);
  EXPECT_EQ(g.st().timeTens, 6);
  EXPECT_EQ(interval(g, "woboTimer"), 10);
  EXPECT_EQ(interval(g, "endTimer"), 0);
  EXPECT_EQ(shown(g, "lastT"), 0);
}

}  // namespace
