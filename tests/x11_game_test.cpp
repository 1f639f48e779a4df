// Whole games in the real program under an X server: played to the end, the game over, the way
// back to the title and the high score kept for the next game.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "tests/x11/screen.h"

using namespace xdriver;  // and its std::chrono_literals

namespace {

TEST_F(RealWindow, GameOverReturnsToTheTitleWhereTheGameStood) {
  Window g = startGame(300, 252);  // the quickest mode: 12.2 seconds
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
  ASSERT_TRUE(titleDrawn(desk, back));
  desk.key("space", false);
  // Time for a click by that release to start a game.
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
  Window g = startGame(300, 156);  // easy: 1820 ticks
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
    std::this_thread::sleep_for(8ms);  // a person's glance at the field, not a wait for anything
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
  ASSERT_TRUE(titleDrawn(desk, back));
  desk.click(back, 300, 156);
  Window g2 = desk.find(kGame);
  ASSERT_NE(g2, 0u);
  ASSERT_TRUE(gameStarted(desk, g2));
  EXPECT_EQ(number(shoot(desk, g2), 688, 192), final);  // the new high score
  ASSERT_TRUE(Desk::until([&] { return gameOverShown(shoot(desk, g2)); }, 30s));
  desk.flick("space");
  Window title2 = desk.find(kTitle, 3s);
  ASSERT_NE(title2, 0u);
  ASSERT_TRUE(titleDrawn(desk, title2));
  desk.click(title2, 300, 292);  // the quit button
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

}  // namespace
