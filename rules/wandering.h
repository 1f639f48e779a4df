#pragma once

#include "platform/random.h"
#include "rules/game_state.h"

namespace rules {

// 1 + floor(r * n) for a fresh draw r of the random source: a whole number in 1..n.
I16 drawOneTo(platform::RandomSource& random, int n);

// The zeka's step of one tick: the pattern choice, the pattern's step with its stop draw and edge
// tests, then the clamp to the playfield.
void wanderZeka(GameState& s, platform::RandomSource& random, float scaleWidth, float scaleHeight);

}  // namespace rules
