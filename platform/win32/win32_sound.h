#pragma once

#include <cstdint>
#include <memory>

#include "platform/media.h"

namespace platform::win32 {

// The system's own sound: the music by our sequencer into the MIDI synthesizer (the MIDI mapper),
// its events timed on a thread of their own; the effects through the system's wave playback, a
// new one cutting off the old. Without a MIDI or a wave device that part is silent, said once.
std::unique_ptr<MediaBackend> openSound();

// Where the music's channel messages go, packed as midiOutShortMsg takes them.
class MidiSink {
 public:
  virtual ~MidiSink() = default;
  virtual void shortMessage(uint32_t message) = 0;
};
// The same, with the music going to `sink` instead of the system's synthesizer (for tests).
std::unique_ptr<MediaBackend> openSound(std::unique_ptr<MidiSink> sink);

}  // namespace platform::win32
