#pragma once

#include <memory>

#include "platform/media.h"

namespace platform::win32 {

// The system's own sound: the music by our sequencer into the MIDI synthesizer (the MIDI mapper),
// its events timed on a thread of their own; the effects through the system's wave playback, a
// new one cutting off the old. Without a MIDI or a wave device that part is silent, said once.
std::unique_ptr<MediaBackend> openSound();

}  // namespace platform::win32
