#pragma once

#include <pulse/def.h>
#include <pulse/sample.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace platform::sdl {

// Playback on the session's PulseAudio server (PipeWire's pulse server speaks the same), in float
// stereo. The stream exists only between start and stop, so an idle game leaves the server
// nothing to do, not even a corked stream that holds its sink at a short latency. While it runs,
// the server asks for about `requestMs` of sound at a time and keeps about `bufferMs` queued: a
// long queue lets the server sleep, and what must be heard at once is written over the queued
// sound that has not been heard yet (`replaceQueued`).
class PulseOutput {
 public:
  // Fills frames of interleaved stereo; runs on the stream's own thread.
  using Pull = std::function<void(float* stereo, int frames)>;

  // Connects to the server; null (and why) when there is none to talk to.
  static std::unique_ptr<PulseOutput> connect(int rate, int bufferMs, int requestMs, Pull pull,
                                              std::string& why);
  ~PulseOutput();
  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  // Opens the stream, which starts pulling at once; false (and why) when it cannot be made.
  bool start(std::string& why);
  // Closes the stream; what is still queued is dropped, so call it once that is silence.
  void stop();

  // Fills `frames` frames that replace the queued sound from `leadFrames` after what is being
  // heard now up to the end of the queue; frames may be 0 (the stream's clock is not known yet).
  // Runs with the stream's thread held still.
  using Replace = std::function<void(float* stereo, int frames)>;
  // False when the stream is not running: nothing was called.
  bool replaceQueued(int leadFrames, const Replace& fill);

 private:
  PulseOutput() = default;
  static void onWrite(pa_stream* s, size_t bytes, void* self);
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  pa_sample_spec spec_{};
  pa_buffer_attr attr_{};
  Pull pull_;
  std::unique_ptr<float[]> buffer_;
  size_t bufferFrames_ = 0;
  int64_t written_ = 0;  // frames written since the stream started: its write index
};

}  // namespace platform::sdl
