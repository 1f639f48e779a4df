#pragma once

#include <memory>
#include <string>

#include "platform/sequencer.h"

struct _fluid_synth_t;
struct _fluid_hashtable_t;

namespace platform::sdl {

// The FluidSynth synthesizer that plays the music, with its General MIDI soundfont.
class Synthesizer : public SynthTarget {
 public:
  Synthesizer() = default;
  ~Synthesizer() override;
  Synthesizer(const Synthesizer&) = delete;
  Synthesizer& operator=(const Synthesizer&) = delete;

  // Makes the synthesizer and loads the soundfont, which takes a while; false (said on standard
  // error) when either fails.
  bool load(const std::string& soundfont, int rate);

  void send(const MidiEvent& e) override;
  void render(float* stereo, int frames) override;
  void allNotesOff() override;
  void allSoundsOff() override;
  // Some voice still sounds (a released note fading out).
  bool sounding() const;
  // Loads a preset's samples and keeps them loaded, so that selecting it later loads nothing.
  // False when the soundfont has no such preset.
  bool hold(int bank, int program);

 private:
  _fluid_hashtable_t* settings_ = nullptr;
  _fluid_synth_t* synth_ = nullptr;
  int soundfont_ = -1;
};

}  // namespace platform::sdl
