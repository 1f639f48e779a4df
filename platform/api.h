#pragma once

// The three external functions the game declares, and the runtime's built-in functions it uses,
// bound to the current runtime.

#include <cstdint>
#include <string>

#include "platform/int16.h"

namespace platform {

int16_t GetAsyncKeyState(int32_t vk);
int32_t mciSendStringA(const char* command, char* reply, int32_t replyLength, int32_t callback);
int32_t sndPlaySoundA(const char* path, int32_t flags);

// App.Path
std::string AppPath();
// ChDrive and ChDir to the program folder.
void ChDriveAndDir(const std::string& folder);
void Randomize();
float Rnd();
// Int(): the largest whole number not above x.
double Floor(double x);
// Val of a decimal text with an optional sign; the game passes only whole numbers.
double Val(const std::string& text);
// CStr of a 16-bit integer: digits, a minus sign for negatives, no blank in front.
std::string Str(I16 v);

}  // namespace platform
