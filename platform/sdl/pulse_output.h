#pragma once

#include <functional>
#include <memory>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace platform::sdl {

// A playback stream on the session's PulseAudio server (PipeWire's pulse server speaks the same),
// for float stereo. Corked, the server has nothing to do for the game; uncorked, it asks for about
// `requestMs` of sound at a time and keeps about `bufferMs` queued.
class PulseOutput {
 public:
  // Fills frames of interleaved stereo; runs on the stream's own thread.
  using Pull = std::function<void(float* stereo, int frames)>;

  // Connects, with the stream corked; null (and why) when there is no server to talk to.
  static std::unique_ptr<PulseOutput> connect(int rate, int bufferMs, int requestMs, Pull pull,
                                              std::string& why);
  ~PulseOutput();
  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  // Starts pulling, from an empty queue so the first frames pulled are heard first.
  void start();
  // Corks the stream; what is still queued is dropped, so call it once that is silence.
  void stop();

 private:
  PulseOutput() = default;
  static void onWrite(pa_stream* s, size_t bytes, void* self);
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  Pull pull_;
  std::unique_ptr<float[]> buffer_;
  size_t bufferFrames_ = 0;
};

}  // namespace platform::sdl
