#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/sdl/pulse_output.h"

namespace platform::sdl {

// Where the mixed sound goes. It runs only while something sounds.
class Output {
 public:
  virtual ~Output() = default;
  // Starts pulling frames; false (with why) when it cannot.
  virtual bool start(std::string& why) = 0;
  // Stops; called once what it still holds is silence.
  virtual void stop() = 0;
};

// Fills frames of interleaved stereo floats; runs on the output's own thread.
using Pull = std::function<void(float* stereo, int frames)>;

// An SDL audio device, opened for each run and closed after it: a device left open keeps its
// driver and any sound server busy although it plays only silence. Needs SDL's audio subsystem.
std::unique_ptr<Output> sdlOutput(int rate, int frames, Pull pull);

// Our own stream on a PulseAudio server.
std::unique_ptr<Output> pulseStream(std::unique_ptr<PulseOutput> out);

}  // namespace platform::sdl
