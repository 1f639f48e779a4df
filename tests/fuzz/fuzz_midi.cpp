// MIDI files into the reader, and what it accepts into the sequencer for a while.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/midi.h"
#include "platform/sequencer.h"

namespace {
struct Null : platform::SynthTarget {
  void send(const platform::MidiEvent& e) override {
    if (e.status < 0x80 || e.status > 0xEF || (e.data1 | e.data2) & 0x80) __builtin_trap();
  }
  void render(float*, int) override {}
  void allNotesOff() override {}
  void allSoundsOff() override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto song = std::make_shared<platform::MidiSong>();
  std::string why;
  if (!platform::parseMidi(data, size, *song, why)) return 0;
  int64_t last = 0;
  for (const auto& e : song->events) {
    if (e.timeUs < last || e.timeUs > song->endUs) __builtin_trap();
    last = e.timeUs;
  }
  platform::MidiPlayer p(song, 8000);
  Null synth;
  std::vector<float> buf(2 * 512);
  p.play();
  for (int i = 0; i < 64 && p.state() == platform::MidiPlayer::State::kPlaying; ++i)
    p.render(buf.data(), 512, &synth);
  return 0;
}
