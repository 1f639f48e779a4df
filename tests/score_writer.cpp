// The game's score code in a process of its own, for the tests of writes killed at random, of
// copies of the game that end at the same moment and of players who are not root.
//   score_writer <program folder>
//     writes one higher score after another into e.dat, as fast as it can, until it is killed;
//   score_writer <program folder> game <mode> <score>
//     plays one game's part: reads the mode's high score as a game start does and prints
//     "read <score>", waits until its standard input is closed, then stores the score if it beats
//     what it read, as the game's end does. Exits with 1 when the score was not saved.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/headless/headless.h"
#include "platform/runtime.h"
#include "storage/hiscore.h"

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 5 && std::strcmp(argv[2], "game") == 0)) return 2;
  platform::headless::HeadlessProvider hp;
  platform::Runtime rt(hp, platform::Project{});
  rt.setAppPath(argv[1]);
  if (argc == 5) {
    const std::string mode = argv[3];
    const platform::I16 hiScore = storage::readHighScore(mode);
    std::printf("read %d\n", hiScore.value());
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    const platform::I16 score = std::atoi(argv[4]);
    if (hiScore < score && !storage::writeHighScore(mode, score)) return 1;
    return 0;
  }
  int score = storage::readHighScore("e").value();
  for (;;) {
    if (score >= 32000) score = 0;
    if (!storage::writeHighScore("e", ++score)) return 1;
  }
}
