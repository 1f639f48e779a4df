#include "rules/wandering.h"

#include "platform/api.h"
#include "screens/game_numbers.h"

namespace rules {
namespace {

// The eight patterns clockwise from left: direction on each axis (-1, 0, +1) and the facing.
struct Pattern {
  int dx, dy;
  int dir;
};
constexpr Pattern kPatterns[9] = {
    {0, 0, 0},                                        // unused: 0 means "choose"
    {-1, 0, 1}, {-1, -1, 2}, {0, -1, 2}, {1, -1, 2},  // left, up-left, up, up-right
    {1, 0, 3},  {1, 1, 6},   {0, 1, 0},  {-1, 1, 5},  // right, down-right, down, down-left
};

I16 stepOn(I16 v, int direction, I16 base, I16 speedAdj) {
  // The change is made in two parts, the base step and then the mode's adjustment.
  if (direction < 0) return v - base - speedAdj;
  if (direction > 0) return v + base + speedAdj;
  return v;
}

}  // namespace

I16 drawOneTo(platform::RandomSource& random, int n) {
  // A Single times an integer is a Single: the product is rounded to single precision first.
  const float product = random.rnd() * static_cast<float>(n);
  return I16::fromFloat(1.0 + platform::Floor(product));
}

void wanderZeka(GameState& s, platform::RandomSource& random, float scaleWidth, float scaleHeight) {
  random.randomize();
  if (s.zekaMove == 0) s.zekaMove = drawOneTo(random, 8);
  random.randomize();

  if (s.zekaMove.value() < 1 || s.zekaMove.value() > 8) platform::raise(platform::err::kSubscript);
  const Pattern& p = kPatterns[s.zekaMove.value()];
  const bool stop = drawOneTo(random, 100) == 1;
  // The far edges a zeka may stand on, compared in single precision.
  const float farX = scaleWidth - static_cast<float>(screens::kZekaSize);
  const float farY = scaleHeight - static_cast<float>(screens::kZekaSize);
  bool edge = false;
  if (p.dx < 0 && s.zekaX < 0) edge = true;
  if (p.dx > 0 && s.zekaX.toSingle() > farX) edge = true;
  if (p.dy < 0 && s.zekaY < 0) edge = true;
  if (p.dy > 0 && s.zekaY.toSingle() > farY) edge = true;
  if (stop || edge) s.zekaMove = 0;
  s.zekaDir = p.dir;
  const bool diagonal = p.dx != 0 && p.dy != 0;
  const I16 base = diagonal ? 3 : 5;
  s.zekaX = stepOn(s.zekaX, p.dx, base, s.speedAdj);
  s.zekaY = stepOn(s.zekaY, p.dy, base, s.speedAdj);

  if (s.zekaX < 0) {
    s.zekaX = 0;
    s.zekaMove = 0;
  } else if (s.zekaX.toSingle() > farX) {
    s.zekaX = I16::fromFloat(farX);
    s.zekaMove = 0;
  }
  if (s.zekaY < 0) {
    s.zekaY = 0;
    s.zekaMove = 0;
  } else if (s.zekaY.toSingle() > farY) {
    s.zekaY = I16::fromFloat(farY);
    s.zekaMove = 0;
  }
}

}  // namespace rules
