#include "platform/sdl/audio_synth.h"

#include <fluidsynth.h>

#include "platform/say.h"

namespace platform::sdl {
namespace {

void quietFluid(int level, const char* message, void*) {
  if (level <= FLUID_ERR) platform::sayProblem("synthesizer: %s", message);
}

}  // namespace

Synthesizer::~Synthesizer() {
  if (synth_) delete_fluid_synth(synth_);
  if (settings_) delete_fluid_settings(settings_);
}

bool Synthesizer::load(const std::string& path, int rate) {
  fluid_set_log_function(FLUID_PANIC, quietFluid, nullptr);
  fluid_set_log_function(FLUID_ERR, quietFluid, nullptr);
  fluid_set_log_function(FLUID_WARN, quietFluid, nullptr);
  fluid_set_log_function(FLUID_INFO, quietFluid, nullptr);
  fluid_set_log_function(FLUID_DBG, quietFluid, nullptr);
  settings_ = new_fluid_settings();
  if (settings_) {
    fluid_settings_setnum(settings_, "synth.sample-rate", rate);
    fluid_settings_setnum(settings_, "synth.gain", 1.0);
    fluid_settings_setint(settings_, "synth.chorus.active", 0);
    // Dry: a pause must fall silent at once, with no reverberation left ringing.
    fluid_settings_setint(settings_, "synth.reverb.active", 0);
    fluid_settings_setint(settings_, "synth.cpu-cores", 1);
    // Only the samples of the presets selected on some channel are loaded: a tune uses a handful
    // of a soundfont's instruments.
    fluid_settings_setint(settings_, "synth.dynamic-sample-loading", 1);
    // Our tunes sound a few notes at a time; a loud General MIDI file may sound many.
    fluid_settings_setint(settings_, "synth.polyphony", 128);
    synth_ = new_fluid_synth(settings_);
  }
  // No channel takes a preset yet: each would load the samples of the piano, which a tune may
  // never play. A channel is given its preset by the tune's program change, or by its first note.
  if (synth_) soundfont_ = fluid_synth_sfload(synth_, path.c_str(), 0);
  if (!synth_ || soundfont_ == FLUID_FAILED) {
    platform::sayProblem("the synthesizer cannot use the soundfont %s; the music is silent",
                         path.c_str());
    return false;
  }
  return true;
}

void Synthesizer::send(const MidiEvent& e) {
  const int ch = e.status & 0x0F;
  // A channel that plays before any program change plays program 0 of its bank.
  if ((e.status & 0xF0) == 0x90 && e.data2 && !fluid_synth_get_channel_preset(synth_, ch))
    fluid_synth_program_change(synth_, ch, 0);
  switch (e.status & 0xF0) {
    case 0x80:
      fluid_synth_noteoff(synth_, ch, e.data1);
      break;
    case 0x90:
      if (e.data2) {
        fluid_synth_noteon(synth_, ch, e.data1, e.data2);
      } else {
        fluid_synth_noteoff(synth_, ch, e.data1);
      }
      break;
    case 0xA0:
      fluid_synth_key_pressure(synth_, ch, e.data1, e.data2);
      break;
    case 0xB0:
      fluid_synth_cc(synth_, ch, e.data1, e.data2);
      break;
    case 0xC0:
      fluid_synth_program_change(synth_, ch, e.data1);
      break;
    case 0xD0:
      fluid_synth_channel_pressure(synth_, ch, e.data1);
      break;
    case 0xE0:
      fluid_synth_pitch_bend(synth_, ch, e.data1 | (e.data2 << 7));
      break;
    default:
      break;
  }
}

void Synthesizer::render(float* stereo, int frames) {
  fluid_synth_write_float(synth_, frames, stereo, 0, 2, stereo, 1, 2);
}

bool Synthesizer::sounding() const {
  return fluid_synth_get_active_voice_count(synth_) > 0;
}

bool Synthesizer::hold(int bank, int program) {
  return fluid_synth_pin_preset(synth_, soundfont_, bank, program) == FLUID_OK;
}

void Synthesizer::allNotesOff() {
  fluid_synth_all_notes_off(synth_, -1);
}

void Synthesizer::allSoundsOff() {
  fluid_synth_all_sounds_off(synth_, -1);
}

}  // namespace platform::sdl
