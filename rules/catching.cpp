#include "rules/catching.h"

#include "rules/wandering.h"
#include "screens/game_numbers.h"

namespace rules {

using screens::kWoboSize;
using screens::kZekaSize;

bool zekaCaught(const GameState& s) {
  return s.woboX <= s.zekaX && s.zekaX + kZekaSize <= s.woboX + kWoboSize && s.woboY <= s.zekaY &&
         s.zekaY + kZekaSize <= s.woboY + kWoboSize;
}

void respawnZeka(GameState& s, platform::RandomSource& random) {
  random.randomize();
  s.zekaX = drawOneTo(random, screens::kZekaPlaceRangeX);
  random.randomize();
  s.zekaY = drawOneTo(random, screens::kZekaPlaceRangeY);
  s.zekaMove = 0;
}

}  // namespace rules
