#pragma once

#include <functional>

#include "rules/game_state.h"

namespace rules {

// Asks whether a key counts as pressed; each call is one query of the key state.
using KeyPressed = std::function<bool(int vk)>;

// The player's step by the arrow keys: down before up, then left before right, then the
// correction that turns a pair of straight steps into a diagonal one. The far bounds compare in
// single precision against the playfield's scale.
void verticalKeyStep(GameState& s, const KeyPressed& pressed, float scaleHeight);
void horizontalKeyStep(GameState& s, const KeyPressed& pressed, float scaleWidth);
void diagonalCorrection(GameState& s);

}  // namespace rules
