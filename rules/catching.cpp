#include "rules/catching.h"

#include "platform/api.h"
#include "rules/wandering.h"

namespace rules {

bool zekaCaught(const GameState& s) {
  return s.woboX <= s.zekaX && s.zekaX + 16 <= s.woboX + 32 && s.woboY <= s.zekaY &&
         s.zekaY + 16 <= s.woboY + 32;
}

void respawnZeka(GameState& s) {
  platform::Randomize();
  s.zekaX = drawOneTo(600);
  platform::Randomize();
  s.zekaY = drawOneTo(300);
  s.zekaMove = 0;
}

}  // namespace rules
