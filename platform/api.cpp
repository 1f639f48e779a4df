#include "platform/api.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/files.h"
#include "platform/runtime.h"

namespace platform {

int16_t GetAsyncKeyState(int32_t vk) {
  return Runtime::current().keys().query(vk);
}

int32_t mciSendStringA(const char* command, char* reply, int32_t replyLength, int32_t callback) {
  return static_cast<int32_t>(Runtime::current().media().sendString(
      command, reply, replyLength < 0 ? 0u : static_cast<unsigned>(replyLength), callback));
}

int32_t sndPlaySoundA(const char* path, int32_t flags) {
  return Runtime::current().media().playSound(path, static_cast<unsigned>(flags)) ? 1 : 0;
}

std::string AppPath() {
  return Runtime::current().appPath();
}

void ChDriveAndDir(const std::string& folder) {
  if (!setCurrentFolder(nativePath(folder))) raise(err::kPathError, folder);
}

void Randomize() {
  Runtime::current().random().randomize();
}

float Rnd() {
  return Runtime::current().random().rnd();
}

double Floor(double x) {
  return std::floor(x);
}

double Val(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  const char* start = text.c_str() + i;
  char* end = nullptr;
  double v = std::strtod(start, &end);
  if (end == start) return 0.0;
  return v;
}

std::string Str(I16 v) {
  return std::to_string(v.value());
}

}  // namespace platform
