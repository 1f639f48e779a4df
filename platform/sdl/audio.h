#pragma once

#include <memory>
#include <string>

#include "platform/media.h"
#include "platform/sdl/soundfont.h"

namespace platform::sdl {

// The computer's sound: one SDL audio device, opened once, mixing the music (a MIDI sequencer
// driving a FluidSynth synthesizer with a General MIDI soundfont) and one wave at a time over it.
// When there is no audio device the game runs silent; without a soundfont or a working synthesizer
// the music is silent and the waves still play. Each case is said once on standard error.
std::unique_ptr<MediaBackend> openAudio();

// A backend that plays nothing, for when there is no device.
std::unique_ptr<MediaBackend> silentAudio();

}  // namespace platform::sdl
