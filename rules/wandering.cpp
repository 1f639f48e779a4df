#include "rules/wandering.h"

#include "platform/api.h"

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

I16 drawOneTo(int n) {
  // A Single times an integer is a Single: the product is rounded to single precision first.
  const float product = platform::Rnd() * static_cast<float>(n);
  return I16::fromFloat(1.0 + platform::Floor(product));
}

void wanderZeka(GameState& s, float scaleWidth, float scaleHeight) {
  platform::Randomize();
  if (s.zekaMove == 0) s.zekaMove = drawOneTo(8);
  platform::Randomize();

  if (s.zekaMove.value() < 1 || s.zekaMove.value() > 8) platform::raise(platform::err::kSubscript);
  const Pattern& p = kPatterns[s.zekaMove.value()];
  const bool stop = drawOneTo(100) == 1;
  const float farX = scaleWidth - 16.0f, farY = scaleHeight - 16.0f;
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
  } else if (s.zekaX.toSingle() > scaleWidth - 16.0f) {
    s.zekaX = I16::fromFloat(scaleWidth - 16.0f);
    s.zekaMove = 0;
  }
  if (s.zekaY < 0) {
    s.zekaY = 0;
    s.zekaMove = 0;
  } else if (s.zekaY.toSingle() > scaleHeight - 16.0f) {
    s.zekaY = I16::fromFloat(scaleHeight - 16.0f);
    s.zekaMove = 0;
  }
}

}  // namespace rules
