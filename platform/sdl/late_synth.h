#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/midi.h"
#include "platform/sequencer.h"

namespace platform::sdl {

// What a tune has set on each channel so far: bank, program, controllers, pressure and pitch bend.
// Notes are not kept: a note missed is missed, but the next one sounds on the right instrument.
class ChannelMemory {
 public:
  void note(const MidiEvent& e);
  // Sends all that was set to a synthesizer, channel by channel: bank, program, controllers,
  // pressure, pitch bend.
  void replay(SynthTarget& to) const;

 private:
  struct Channel {
    std::bitset<128> set;
    std::array<uint8_t, 128> cc{};
    int program = -1, pressure = -1, bend = -1;
  };
  std::array<Channel, 16> channels_;
};

// A synthesizer that may not be there yet (its soundfont still loading): the tunes play into this
// all the same, their clock going on in silence, and what they set on the channels is kept. Once
// the synthesizer is there, it is given that state before anything else reaches it.
class LateSynth : public SynthTarget {
 public:
  // The synthesizer is there from now on. Call with the mixing held still.
  void arrive(SynthTarget* real);
  bool ready() const { return real_ != nullptr; }

  void send(const MidiEvent& e) override;
  void render(float* stereo, int frames) override;
  void allNotesOff() override;
  void allSoundsOff() override;

 private:
  ChannelMemory memory_;
  SynthTarget* real_ = nullptr;
};

// The presets a song selects, as (bank, program), the drum channel's in bank 128; a channel that
// plays before any program change plays program 0 of its bank.
std::vector<std::pair<int, int>> presetsOf(const MidiSong& song);

}  // namespace platform::sdl
