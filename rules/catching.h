#pragma once

#include "platform/random.h"
#include "rules/game_state.h"

namespace rules {

// The zeka is caught when its box lies wholly inside the wobo's, edges touching allowed.
bool zekaCaught(const GameState& s);

// The zeka goes to a random place 1..600 by 1..300 and will choose a new pattern: after a catch,
// and at game start.
void respawnZeka(GameState& s, platform::RandomSource& random);

}  // namespace rules
