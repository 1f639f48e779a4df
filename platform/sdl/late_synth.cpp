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

std::pair<int, int> ChannelMemory::preset(int ch) const {
  const Channel& c = channels_[ch];
  return {ch == kDrumChannel ? 128 : c.set[0] ? c.cc[0] : 0, std::max(0, c.program)};
}

void ChannelMemory::replay(SynthTarget& to, int ch) const {
  {
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
  live_.fill(false);
  if (!real_) return;
  // What was silenced or released meanwhile is silenced or released there first.
  if (soundsOff_) real_->allSoundsOff();
  if (notesOff_) real_->allNotesOff();
  soundsOff_ = notesOff_ = false;
  for (int ch = 0; ch < 16; ++ch) tryChannel(ch);
}

void LateSynth::loaded(std::pair<int, int> preset) {
  if (std::find(loaded_.begin(), loaded_.end(), preset) == loaded_.end()) loaded_.push_back(preset);
  for (int ch = 0; ch < 16; ++ch) tryChannel(ch);
}

void LateSynth::tryChannel(int ch) {
  if (live_[ch] || !real_) return;
  if (std::find(loaded_.begin(), loaded_.end(), memory_.preset(ch)) == loaded_.end()) return;
  live_[ch] = true;
  memory_.replay(*real_, ch);
}

void LateSynth::send(const MidiEvent& e) {
  const int ch = e.status & 0x0F;
  const auto before = memory_.preset(ch);
  memory_.note(e);
  // A program change to a preset not loaded yet silences the channel until it is.
  if (live_[ch] && memory_.preset(ch) != before &&
      std::find(loaded_.begin(), loaded_.end(), memory_.preset(ch)) == loaded_.end())
    live_[ch] = false;
  if (live_[ch]) {
    real_->send(e);
  } else {
    tryChannel(ch);
  }
}

void LateSynth::render(float* stereo, int frames) {
  if (real_) {
    real_->render(stereo, frames);
  } else {
    std::memset(stereo, 0, sizeof(float) * 2 * static_cast<size_t>(frames));
  }
}

void LateSynth::allNotesOff() {
  if (real_) {
    real_->allNotesOff();
  } else {
    notesOff_ = true;
  }
}

void LateSynth::allSoundsOff() {
  if (real_) {
    real_->allSoundsOff();
  } else {
    soundsOff_ = true;
  }
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
