// The game's score code in a process of its own, for the tests of writes killed at random, of
// copies of the game that end at the same moment and of players who are not root.
//   score_writer <program folder>
//     writes one higher score after another into e.dat, as fast as it can, until it is killed;
//   score_writer <program folder> game <mode> <score>
//     plays one game's part: reads the mode's high score as a game start does and prints
//     "read <score>", waits until its standard input is closed, then stores the score if it beats
//     what it read, as the game's end does. Exits with 1 when the score was not saved.
//   score_writer - where
//     prints the program folder the runtime finds for this executable.
#ifdef _WIN32
#include "platform/utf16_windows.h"
// After windows.h.
#include <shellapi.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/headless/headless.h"
#include "platform/runtime.h"
#include "storage/hiscore.h"

namespace {

// The arguments as UTF-8, which Windows hands to main in its code page instead.
std::vector<std::string> arguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argv;
  int n = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
  std::vector<std::string> args;
  for (int i = 0; i < n && i < argc; ++i) args.push_back(platform::narrow(wide[i]));
  ::LocalFree(wide);
  return args;
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = arguments(argc, argv);
  if (args.size() == 3 && args[2] == "where") {
    std::printf("%s\n", platform::executableFolder().c_str());
    return 0;
  }
  if (args.size() != 2 && !(args.size() == 5 && args[2] == "game")) return 2;
  platform::headless::HeadlessProvider hp;
  platform::Runtime rt(hp, platform::Project{});
  rt.setAppPath(args[1]);
  if (args.size() == 5) {
    const std::string& mode = args[3];
    const platform::I16 hiScore = storage::readHighScore(mode);
    std::printf("read %d\n", hiScore.value());
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    const platform::I16 score = std::atoi(args[4].c_str());
    if (hiScore < score && !storage::writeHighScore(mode, score)) return 1;
    return 0;
  }
  int score = storage::readHighScore("e").value();
  for (;;) {
    if (score >= 32000) score = 0;
    if (!storage::writeHighScore("e", ++score)) return 1;
  }
}
