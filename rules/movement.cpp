#include "rules/movement.h"

#include "platform/keys.h"
#include "screens/game_numbers.h"

namespace rules {

void verticalKeyStep(GameState& s, const KeyPressed& pressed, float scaleHeight) {
  const float bottom = scaleHeight - static_cast<float>(screens::kWoboSize);
  if (pressed(platform::VK_DOWN) && bottom > s.woboY.toSingle()) {
    s.woboDir = 0;
    s.movedDown = 1;
    s.woboY = s.woboY + 5;
    return;
  }
  if (pressed(platform::VK_UP) && s.woboY > 0) {
    s.woboY = s.woboY - 5;
    s.woboDir = 2;
    s.movedUp = 1;
  }
}

void horizontalKeyStep(GameState& s, const KeyPressed& pressed, float scaleWidth) {
  if (pressed(platform::VK_LEFT) && s.woboX > 0) {
    s.woboX = s.woboX - 5;
    s.woboDir = 1;
    s.movedLeft = 1;
    return;
  }
  const float right = scaleWidth - static_cast<float>(screens::kWoboSize);
  if (pressed(platform::VK_RIGHT) && right > s.woboX.toSingle()) {
    s.woboDir = 3;
    s.movedRight = 1;
    s.woboX = s.woboX + 5;
  }
}

void diagonalCorrection(GameState& s) {
  if (s.movedUp == 1) {
    s.woboDir = 2;
    if (s.movedRight == 1) {
      s.woboX = s.woboX - 2;
      s.woboY = s.woboY + 2;
    } else if (s.movedLeft == 1) {
      s.woboX = s.woboX + 2;
      s.woboY = s.woboY + 2;
    }
  } else if (s.movedDown == 1) {
    if (s.movedLeft == 1) {
      s.woboX = s.woboX + 2;
      s.woboY = s.woboY - 2;
      s.woboDir = 5;
    } else if (s.movedRight == 1) {
      s.woboX = s.woboX - 2;
      s.woboY = s.woboY - 2;
      s.woboDir = 6;
    }
  }
}

}  // namespace rules
