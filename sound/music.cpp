#include "sound/music.h"

#include <cstring>

#include "platform/api.h"

namespace sound {

std::string bgmPath;

using platform::mciSendStringA;

void openBgm() {
  const std::string open = "Open \"" + bgmPath + "\" alias Midi";
  mciSendStringA(open.c_str(), nullptr, 0, 0);
  mciSendStringA("Seek Midi to Start", nullptr, 0, 0);
  mciSendStringA("Play Midi", nullptr, 0, 0);
}

void pauseBgm() {
  mciSendStringA("Pause Midi", nullptr, 0, 0);
}

void resumeBgm() {
  mciSendStringA("Play Midi", nullptr, 0, 0);
}

void stopAndCloseBgm() {
  mciSendStringA("Stop Midi", nullptr, 0, 0);
  mciSendStringA("Close Midi", nullptr, 0, 0);
}

void loopCheck() {
  char mode[16];
  std::memset(mode, 0, sizeof mode);
  mciSendStringA("status Midi mode", mode, 16, 0);
  if (std::strncmp(mode, "stopped", 7) == 0) {
    mciSendStringA("Seek Midi to Start", nullptr, 0, 0);
    mciSendStringA("Play Midi", nullptr, 0, 0);
  }
}

void playEffect(const char* relativePath) {
  const std::string path = platform::AppPath() + relativePath;
  platform::sndPlaySoundA(path.c_str(), 1);
}

}  // namespace sound
