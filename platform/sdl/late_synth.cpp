#include "platform/sdl/late_synth.h"

#include <algorithm>
#include <cstring>

namespace platform::sdl {
namespace {

// Controllers that act at once rather than set a state: sound off, reset, local control, the
// note-off and mode messages.
constexpr int kFirstModeMessage = 120;
constexpr int kResetAllControllers = 121;
constexpr int kDrumChannel = 9;

MidiEvent message(int status, int d1, int d2 = 0) {
  return MidiEvent{0, static_cast<uint8_t>(status), static_cast<uint8_t>(d1),
                   static_cast<uint8_t>(d2)};
}

}  // namespace

void ChannelMemory::note(const MidiEvent& e) {
  Channel& c = channels_[e.status & 0x0F];
  switch (e.status & 0xF0) {
    case 0xB0:
      if (e.data1 == kResetAllControllers) {
        // Bank selects and the volume stay, as General MIDI asks; the rest goes back.
        const auto keep = c;
        c = Channel{};
        c.program = keep.program;
        for (int k : {0, 7, 10, 32}) {
          c.set[k] = keep.set[k];
          c.cc[k] = keep.cc[k];
        }
      } else if (e.data1 < kFirstModeMessage) {
        c.set[e.data1] = true;
        c.cc[e.data1] = e.data2;
      }
      break;
    case 0xC0:
      c.program = e.data1;
      break;
    case 0xD0:
      c.pressure = e.data1;
      break;
    case 0xE0:
      c.bend = e.data1 | (e.data2 << 7);
      break;
    default:
      break;
  }
}

void ChannelMemory::replay(SynthTarget& to) const {
  for (int ch = 0; ch < 16; ++ch) {
    const Channel& c = channels_[ch];
    // The bank first, since a program change takes the bank set before it.
    for (int k : {0, 32})
      if (c.set[k]) to.send(message(0xB0 | ch, k, c.cc[k]));
    if (c.program >= 0) to.send(message(0xC0 | ch, c.program));
    for (int k = 0; k < kFirstModeMessage; ++k)
      if (c.set[k] && k != 0 && k != 32) to.send(message(0xB0 | ch, k, c.cc[k]));
    if (c.pressure >= 0) to.send(message(0xD0 | ch, c.pressure));
    if (c.bend >= 0) to.send(message(0xE0 | ch, c.bend & 0x7F, c.bend >> 7));
  }
}

void LateSynth::arrive(SynthTarget* real) {
  real_ = real;
  if (real_) memory_.replay(*real_);
}

void LateSynth::send(const MidiEvent& e) {
  memory_.note(e);
  if (real_) real_->send(e);
}

void LateSynth::render(float* stereo, int frames) {
  if (real_) {
    real_->render(stereo, frames);
  } else {
    std::memset(stereo, 0, sizeof(float) * 2 * static_cast<size_t>(frames));
  }
}

void LateSynth::allNotesOff() {
  if (real_) real_->allNotesOff();
}

void LateSynth::allSoundsOff() {
  if (real_) real_->allSoundsOff();
}

std::vector<std::pair<int, int>> presetsOf(const MidiSong& song) {
  std::array<int, 16> bank{};
  std::array<bool, 16> chosen{};
  std::vector<std::pair<int, int>> out;
  const auto add = [&](int ch, int program) {
    const std::pair<int, int> p{ch == kDrumChannel ? 128 : bank[ch], program};
    if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
    chosen[ch] = true;
  };
  for (const MidiEvent& e : song.events) {
    const int ch = e.status & 0x0F;
    switch (e.status & 0xF0) {
      case 0xB0:
        if (e.data1 == 0) bank[ch] = e.data2;
        break;
      case 0xC0:
        add(ch, e.data1);
        break;
      case 0x90:
        if (e.data2 && !chosen[ch]) add(ch, 0);
        break;
      default:
        break;
    }
  }
  return out;
}

}  // namespace platform::sdl
