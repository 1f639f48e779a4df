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
  // Sends all that was set on one channel to a synthesizer: bank, program, controllers, pressure,
  // pitch bend.
  void replay(SynthTarget& to, int channel) const;
  // The preset the channel plays, as (bank, program): the drum channel's in bank 128, program 0
  // until a program change.
  std::pair<int, int> preset(int channel) const;

 private:
  struct Channel {
    std::bitset<128> set;
    std::array<uint8_t, 128> cc{};
    int program = -1, pressure = -1, bend = -1;
  };
  std::array<Channel, 16> channels_;
};

// A synthesizer that may not be there yet (its soundfont still loading), with presets that may not
// be loaded yet: the tunes play into this all the same, their clock going on, and what they set on
// the channels is kept. A channel reaches the synthesizer once the synthesizer is there and the
// channel's preset is loaded: it is then given the channel's state before anything else. Until
// then the channel is silent. Call everything with the mixing held still.
class LateSynth : public SynthTarget {
 public:
  // The synthesizer is there from now on, or (null) set aside for a while.
  void arrive(SynthTarget* real);
  // This preset is loaded from now on.
  void loaded(std::pair<int, int> preset);
  bool ready() const { return real_ != nullptr; }

  void send(const MidiEvent& e) override;
  void render(float* stereo, int frames) override;
  void allNotesOff() override;
  void allSoundsOff() override;

 private:
  // Reaches the synthesizer now if it can.
  void tryChannel(int channel);
  ChannelMemory memory_;
  SynthTarget* real_ = nullptr;
  std::vector<std::pair<int, int>> loaded_;
  std::array<bool, 16> live_{};
  bool notesOff_ = false, soundsOff_ = false;  // asked for while there was no synthesizer
};

// The presets a song selects, as (bank, program), the drum channel's in bank 128; a channel that
// plays before any program change plays program 0 of its bank.
std::vector<std::pair<int, int>> presetsOf(const MidiSong& song);

}  // namespace platform::sdl
