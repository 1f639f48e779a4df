#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/picture.h"
#include "tests/testkit.h"

namespace testkit {

// The modes in the order of their buttons.
inline constexpr const char* kModes = "enhd";

// A whole game of a player who steers the wobo straight at the zeka, pauses once at tick 300 and
// ends the game: what it leaves behind, to compare with its goldens.
struct ChasedGame {
  std::vector<std::string> trace;          // places, score, the stored file, every media request
  std::map<int, platform::Bitmap> frames;  // the playfield after the golden ticks
};

// The ticks whose playfield frames are kept as golden pictures.
inline constexpr int kGoldenTicks[] = {1, 400, 800, 1200};

// Plays one game in mode 0..3 on the headless runtime with a seeded random source. onFrame sees
// the game after each golden tick.
ChasedGame playChasedGame(int mode, const std::function<void(Game&)>& onFrame = {});

// Where the goldens of a mode live in the source tree.
std::string goldenTracePath(int mode);
std::string goldenFramePath(int mode, int tick);

}  // namespace testkit
