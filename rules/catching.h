#pragma once

#include "rules/game_state.h"

namespace rules {

// The zeka is caught when its box lies wholly inside the wobo's, edges touching allowed.
bool zekaCaught(const GameState& s);

// The zeka reappears at a random place 1..600 by 1..300 and will choose a new pattern.
void respawnZeka(GameState& s);

}  // namespace rules
