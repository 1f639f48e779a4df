#pragma once

#include <string>

#include "platform/int16.h"

namespace rules {

using platform::I16;

// Everything one game needs beyond the game screen's controls. One record lives as long as the
// program; a game start overwrites only the fields it sets.
struct GameState {
  I16 woboX, woboY, woboDir;
  I16 zekaX, zekaY, zekaDir;
  I16 movedUp, movedDown, movedLeft, movedRight;
  I16 zekaMove;  // 0: the next tick draws a new pattern
  I16 score;
  I16 speedAdj;
  I16 scoreTens, scoreOnes;
  I16 timeTens, timeOnes;
  I16 tickCount;
  I16 hiScore;
  I16 hiTens, hiOnes;
  std::string modeKey;
};

}  // namespace rules
