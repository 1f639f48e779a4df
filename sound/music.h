#pragma once

#include <string>

namespace sound {

// The full path of the current game's music file, built at game start.
extern std::string bgmPath;

// Opens the music at bgmPath under the alias "Midi", rewinds it and plays it.
void openBgm();
void pauseBgm();
// Plays on from where the music was paused.
void resumeBgm();
void stopAndCloseBgm();
// Restarts the music from its beginning once it has played to its end.
void loopCheck();
// Starts a wave from the sound folder, such as "\sound\get.wav", without waiting for it.
void playEffect(const char* relativePath);

}  // namespace sound
