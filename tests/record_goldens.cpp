// Writes the golden traces and frames of the chasing player's games into tests/fixtures, after a
// change that is meant to alter what a game shows or sends. The tests never write them.
#include <cstdio>
#include <fstream>

#include "tests/golden_game.h"
#include "tests/png_io.h"

int main() {
  for (int mode = 0; mode < 4; ++mode) {
    testkit::ChasedGame g = testkit::playChasedGame(mode);
    std::ofstream f(testkit::goldenTracePath(mode));
    for (const auto& l : g.trace) f << l << "\n";
    for (const auto& [tick, img] : g.frames) {
      if (!testkit::writePng(img, testkit::goldenFramePath(mode, tick))) {
        std::fprintf(stderr, "cannot write %s\n", testkit::goldenFramePath(mode, tick).c_str());
        return 1;
      }
    }
    std::printf("%s and its %zu frames\n", testkit::goldenTracePath(mode).c_str(), g.frames.size());
  }
  return 0;
}
