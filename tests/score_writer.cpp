// Writes one higher score after another into a program folder's e.dat, as fast as it can, until
// it is killed. The crash-safety test kills it at random moments.
#include <cstdio>
#include <cstdlib>

#include "platform/headless/headless.h"
#include "platform/runtime.h"
#include "storage/hiscore.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  platform::headless::HeadlessProvider hp;
  platform::Runtime rt(hp, platform::Project{});
  rt.setAppPath(argv[1]);
  int score = storage::readHighScore("e").value();
  for (;;) {
    if (score >= 32000) score = 0;
    if (!storage::writeHighScore("e", ++score)) return 1;
  }
}
