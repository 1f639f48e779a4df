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
struct pa_time_event;
struct pa_mainloop_api;
struct pa_operation;

namespace platform::sdl {

// Playback on the session's PulseAudio server (PipeWire's pulse server speaks the same), in float
// stereo. The stream exists only between start and stop, so an idle game leaves the server
// nothing to do, not even a corked stream that holds its sink at a short latency. While it runs,
// the server asks for about `requestMs` of sound at a time and keeps about `bufferMs` queued: a
// long queue lets the server sleep, and what must be heard at once is written over the queued
// sound that has not been heard yet (`replaceQueued`).
//
// The server may go away (restarted by an upgrade, a crash, a user) or not be there yet: the
// output then says so once, keeps pulling its frames on its own clock and drops them, so the music
// goes on in silence where it would be, and connects again every quarter second. Once the server
// is back the stream is opened again if the output is running, and plays from where the music is.
class PulseOutput {
 public:
  // Fills frames of interleaved stereo; runs on the output's own thread.
  using Pull = std::function<void(float* stereo, int frames)>;

  // Connects to the server; null (and why) when there is none to talk to, unless `waitForServer`:
  // then the output waits for one to come.
  static std::unique_ptr<PulseOutput> connect(int rate, int bufferMs, int requestMs, Pull pull,
                                              std::string& why, bool waitForServer = false);
  ~PulseOutput();
  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  // Opens the stream, which starts pulling at once (or the silent clock while the server is away);
  // false (and why) when the stream cannot be made on a server that is there.
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
  static void onContextState(pa_context* c, void* self);
  static void onStreamState(pa_stream* s, void* self);
  static void onTiming(pa_stream* s, int success, void* self);
  static void onTick(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv, void* self);
  // All of these run with the main loop locked.
  void newContext();
  bool openStream();
  void dropStream();
  void lose();
  void armTick();
  void silentPull();

  pa_threaded_mainloop* loop_ = nullptr;
  pa_mainloop_api* api_ = nullptr;
  pa_context* context_ = nullptr;
  pa_context* dead_ = nullptr;  // a context that failed, freed on the next tick
  pa_stream* stream_ = nullptr;
  pa_time_event* tick_ = nullptr;
  pa_operation* timing_ = nullptr;  // a report of the stream's timing asked for
  pa_sample_spec spec_{};
  pa_buffer_attr attr_{};
  Pull pull_;
  std::unique_ptr<float[]> buffer_;
  size_t bufferFrames_ = 0;
  int64_t written_ = 0;  // frames written since the stream started: its write index
  bool wanted_ = false;       // between start and stop
  bool ready_ = false;        // the context is connected
  bool streamFailed_ = false;  // on a connected server: to be opened again
  bool said_ = false;          // the loss was said
  uint64_t clockUs_ = 0;       // the silent clock: when it last pulled
  int retryTicks_ = 0;
  int failure_ = PA_ERR_CONNECTIONREFUSED;  // why the last context failed
};

}  // namespace platform::sdl
