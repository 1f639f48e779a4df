#include "rules/movement.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/keys.h"
#include "rules/catching.h"

using namespace platform;
using rules::GameState;

namespace {

struct Move {
  const char* keys;  // any of "DULR"
  int x0, y0;
  int x1, y1, dir;  // dir -1: unchanged
};

GameState step(const Move& m, std::string* queried = nullptr) {
  GameState s;
  s.woboX = m.x0;
  s.woboY = m.y0;
  s.woboDir = 4;  // a value no step sets, to see "unchanged"
  std::set<char> held;
  for (const char* k = m.keys; *k; ++k) held.insert(*k);
  auto pressed = [&](int vk) {
    char c = vk == VK_DOWN ? 'D' : vk == VK_UP ? 'U' : vk == VK_LEFT ? 'L' : 'R';
    if (queried) *queried += c;
    return held.count(c) > 0;
  };
  rules::verticalKeyStep(s, pressed, 320.0f);
  rules::horizontalKeyStep(s, pressed, 640.0f);
  rules::diagonalCorrection(s);
  return s;
}

TEST(Movement, NetMovementTableAndBounds) {
  const Move cases[] = {
      // The net-movement table from (100, 100).
      {"", 100, 100, 100, 100, -1},
      {"D", 100, 100, 100, 105, 0},
      {"U", 100, 100, 100, 95, 2},
      {"L", 100, 100, 95, 100, 1},
      {"R", 100, 100, 105, 100, 3},
      {"UL", 100, 100, 97, 97, 2},
      {"UR", 100, 100, 103, 97, 2},
      {"DL", 100, 100, 97, 103, 5},
      {"DR", 100, 100, 103, 103, 6},
      {"DU", 100, 100, 100, 105, 0},
      {"LR", 100, 100, 95, 100, 1},
      {"DULR", 100, 100, 97, 103, 5},
      {"ULR", 100, 100, 97, 97, 2},
      {"DUR", 100, 100, 103, 103, 6},
      // Every bound on the 640 x 320 field: strict, tested before the step, no clamp.
      {"D", 10, 287, 10, 292, 0},
      {"D", 10, 288, 10, 288, -1},
      {"U", 10, 1, 10, -4, 2},
      {"U", 10, 0, 10, 0, -1},
      {"L", 1, 10, -4, 10, 1},
      {"L", 0, 10, 0, 10, -1},
      {"R", 607, 10, 612, 10, 3},
      {"R", 608, 10, 608, 10, -1},
      // A refused step of a pair leaves the other straight.
      {"UL", 100, 0, 95, 0, 1},
      {"DR", 608, 100, 608, 105, 0},
      {"DL", 0, 288, 0, 288, -1},
      // A refused preferred key hands over to the other key of the pair.
      {"DU", 100, 288, 100, 283, 2},
      {"LR", 0, 100, 5, 100, 3},
      {"DULR", 0, 288, 3, 285, 2},
  };
  for (const Move& m : cases) {
    GameState s = step(m);
    EXPECT_EQ(s.woboX.value(), m.x1) << m.keys << " from " << m.x0 << "," << m.y0;
    EXPECT_EQ(s.woboY.value(), m.y1) << m.keys << " from " << m.x0 << "," << m.y0;
    EXPECT_EQ(s.woboDir.value(), m.dir < 0 ? 4 : m.dir)
        << m.keys << " from " << m.x0 << "," << m.y0;
  }
}

TEST(Movement, KeysAreQueriedInPrecedenceOrder) {
  std::string q;
  step({"D", 100, 100, 0, 0, 0}, &q);
  EXPECT_EQ(q,
            "DL"
            "R");  // up is not asked once down has stepped
  q.clear();
  step({"UL", 100, 100, 0, 0, 0}, &q);
  EXPECT_EQ(q, "DUL");  // right is not asked once left has stepped
  q.clear();
  step({"D", 100, 288, 0, 0, 0}, &q);
  EXPECT_EQ(q, "DULR");
}

TEST(Catching, TheTargetMustLieWhollyInsideThePlayer) {
  struct Case {
    int zx, zy;
    bool caught;
  } cases[] = {{100, 100, true},  {116, 116, true}, {117, 100, false}, {99, 100, false},
               {100, 117, false}, {100, 99, false}, {116, 100, true},  {108, 108, true},
               {116, 117, false}, {84, 84, false}};
  for (const Case& c : cases) {
    GameState s;
    s.woboX = 100;
    s.woboY = 100;
    s.zekaX = c.zx;
    s.zekaY = c.zy;
    EXPECT_EQ(rules::zekaCaught(s), c.caught) << c.zx << "," << c.zy;
  }
  // At the edges of the field: the wobo beyond an edge still catches a zeka at 0.
  GameState s;
  s.woboX = -4;
  s.woboY = -4;
  s.zekaX = 0;
  s.zekaY = 0;
  EXPECT_TRUE(rules::zekaCaught(s));
}

}  // namespace
