#pragma once

#include <cstdint>
#include <memory>

#include "platform/midi.h"

namespace platform {

// What the sequencer plays into: a synthesizer that takes channel messages and renders frames of
// interleaved stereo floats.
class SynthTarget {
 public:
  virtual ~SynthTarget() = default;
  virtual void send(const MidiEvent& e) = 0;
  virtual void render(float* stereo, int frames) = 0;
  virtual void allNotesOff() = 0;   // release, with the notes' own fade
  virtual void allSoundsOff() = 0;  // silence now
};

// Plays a song on the sample clock: every event goes to the synthesizer at its own frame, so
// timing does not depend on how the audio device slices its buffers.
class MidiPlayer {
 public:
  enum class State { kStopped, kPlaying, kPaused };
  MidiPlayer(std::shared_ptr<const MidiSong> song, int sampleRate);

  void play();
  void pause(SynthTarget* synth);
  void stop(SynthTarget* synth);
  void seekToStart(SynthTarget* synth);
  // Goes back by frames that were rendered but will never be heard, so that they play again.
  void stepBack(int64_t frames);
  State state() const { return state_; }
  // The state as a device's "status ... mode" answers it: "playing", "paused" or "stopped".
  const char* modeText() const;
  int64_t position() const { return pos_; }
  int64_t endFrame() const { return end_; }
  // The frame of the next thing to happen: the next event's, or the end.
  int64_t nextFrame() const;
  int64_t frameOf(const MidiEvent& e) const;

  // Renders frames of output (the synthesizer writes them), sending each due event on time.
  // A null synthesizer keeps the clock going in silence.
  void render(float* stereo, int frames, SynthTarget* synth);

 private:
  std::shared_ptr<const MidiSong> song_;
  int rate_;
  int64_t pos_ = 0;
  int64_t end_ = 0;
  size_t next_ = 0;
  State state_ = State::kStopped;
};

}  // namespace platform
