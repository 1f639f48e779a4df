#include "rules/wandering.h"

#include <gtest/gtest.h>

#include "rules/catching.h"
#include "tests/testkit.h"

using rules::GameState;
using testkit::ScriptedRandom;

namespace {

// The random source the rules draw from, under a test's control: r = 0.5 unless told.
struct Rng {
  ScriptedRandom source{std::deque<float>{}, 0.5f};
  ScriptedRandom* r = &source;
};

GameState at(int x, int y, int move, int adj) {
  GameState s;
  s.zekaX = x;
  s.zekaY = y;
  s.zekaMove = move;
  s.speedAdj = adj;
  return s;
}

TEST(Wandering, EachPatternStepsByItsModeSpeed) {
  struct P {
    int move, sx, sy, dir;
  } patterns[] = {{1, -1, 0, 1}, {2, -1, -1, 2}, {3, 0, -1, 2}, {4, 1, -1, 2},
                  {5, 1, 0, 3},  {6, 1, 1, 6},   {7, 0, 1, 0},  {8, -1, 1, 5}};
  for (int adj : {-2, -1, 0, 1}) {
    for (const P& p : patterns) {
      Rng rng;
      GameState s = at(300, 150, p.move, adj);
      s.zekaDir = 4;
      rules::wanderZeka(s, rng.source, 640.0f, 320.0f);
      const bool diag = p.sx != 0 && p.sy != 0;
      const int step = (diag ? 3 : 5) + adj;
      EXPECT_EQ(s.zekaX.value(), 300 + p.sx * step) << p.move << " adj " << adj;
      EXPECT_EQ(s.zekaY.value(), 150 + p.sy * step) << p.move << " adj " << adj;
      EXPECT_EQ(s.zekaDir.value(), p.dir);
      EXPECT_EQ(s.zekaMove.value(), p.move);  // r = 0.5 is no stop
      EXPECT_EQ(rng.r->reseeds, 2);
      EXPECT_EQ(rng.r->draws, 1);
    }
  }
}

TEST(Wandering, PatternChoiceAndStopDraw) {
  struct Case {
    float choice;
    int pattern;
  } cases[] = {{0.0f, 1}, {0.1249f, 1}, {0.125f, 2}, {0.5f, 5}, {0.99999994f, 8}};
  for (const Case& c : cases) {
    Rng rng;
    rng.r->push(c.choice);
    rng.r->push(0.5f);
    GameState s = at(300, 150, 0, 0);
    rules::wanderZeka(s, rng.source, 640.0f, 320.0f);
    EXPECT_EQ(s.zekaMove.value(), c.pattern) << c.choice;
  }
  // The stop draw hits below 1/100; the pattern still makes its step in that tick.
  for (float r : {0.0f, 0.0099f, 0.01f}) {
    Rng rng;
    rng.r->push(r);
    GameState s = at(300, 150, 5, 0);
    rules::wanderZeka(s, rng.source, 640.0f, 320.0f);
    EXPECT_EQ(s.zekaX.value(), 305);
    EXPECT_EQ(s.zekaMove.value(), r < 0.01f ? 0 : 5) << r;
  }
}

TEST(Wandering, CrossingAnEdgeClampsAndEndsThePattern) {
  struct Case {
    int x, y, move, adj;
    int x1, y1, move1;
  } cases[] = {
      {620, 100, 5, 0, 624, 100, 0},   // 625 is put back to 624
      {624, 100, 5, -2, 624, 100, 0},  // standing on the far edge is inside, the step crosses
      {619, 100, 5, 0, 624, 100, 5},   // lands exactly on the edge: goes on
      {2, 100, 1, 0, 0, 100, 0},
      {2, 100, 2, 0, 0, 97, 0},  // diagonal: only the crossing axis
                                 // is corrected
      {100, 1, 4, 1, 104, 0, 0},
      {100, 302, 7, 0, 100, 304, 0},
      {622, 302, 6, 0, 624, 304, 0},
      {300, 0, 3, 0, 300, 0, 0},  // a new pattern into the same edge keeps it there
  };
  for (const Case& c : cases) {
    Rng rng;
    GameState s = at(c.x, c.y, c.move, c.adj);
    rules::wanderZeka(s, rng.source, 640.0f, 320.0f);
    EXPECT_EQ(s.zekaX.value(), c.x1) << c.x << "," << c.y << " p" << c.move;
    EXPECT_EQ(s.zekaY.value(), c.y1) << c.x << "," << c.y << " p" << c.move;
    EXPECT_EQ(s.zekaMove.value(), c.move1) << c.x << "," << c.y << " p" << c.move;
  }
  // A pattern's own edge test holds when the field has shrunk since the last tick.
  Rng rng;
  GameState s = at(630, 100, 5, 0);
  rules::wanderZeka(s, rng.source, 640.0f, 320.0f);
  EXPECT_EQ(s.zekaMove.value(), 0);
}

TEST(Wandering, RespawnStaysInsideItsRanges) {
  for (float r : {0.0f, 0.5f, 0.99999994f}) {
    Rng rng;
    rng.r->push(r);
    rng.r->push(r);
    GameState s = at(10, 10, 3, 0);
    s.zekaDir = 6;
    rules::respawnZeka(s, rng.source);
    EXPECT_GE(s.zekaX.value(), 1);
    EXPECT_LE(s.zekaX.value(), 600);
    EXPECT_GE(s.zekaY.value(), 1);
    EXPECT_LE(s.zekaY.value(), 300);
    EXPECT_EQ(s.zekaMove.value(), 0);
    EXPECT_EQ(s.zekaDir.value(), 6);  // a catch keeps the facing
    if (r == 0.0f) {
      EXPECT_EQ(s.zekaX.value(), 1);
    }
    if (r > 0.9f) {
      EXPECT_EQ(s.zekaX.value(), 600);
      EXPECT_EQ(s.zekaY.value(), 300);
    }
  }
}

}  // namespace
