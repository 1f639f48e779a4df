#pragma once

#include <cstddef>

namespace platform::sdl {

// Keeps the mix under full scale without clipping it. Below the ceiling the sound passes
// untouched, so our own tunes and effects are as loud as they were mixed. A louder peak lowers the
// gain at once, just enough for it; the gain holds for a while after the last such peak and then
// comes back up slowly, over seconds: a tune that is loud all through is simply played quieter,
// without the gain breathing with its beats.
class Limiter {
 public:
  // The highest level that comes out, how long the gain holds after a peak, and how long it then
  // takes to come back e^-1 of the way to 1.
  explicit Limiter(int rate, float ceiling = 0.89f, float holdSeconds = 1.0f,
                   float releaseSeconds = 3.0f);
  // Limits interleaved stereo in place.
  void apply(float* stereo, size_t frames);
  float gain() const { return gain_; }

 private:
  float ceiling_;
  float release_;  // the part of the way back to 1 that the gain goes in one frame
  long hold_;
  float gain_ = 1.0f;
  long held_ = 0;  // frames since the last peak that lowered the gain
};

}  // namespace platform::sdl
