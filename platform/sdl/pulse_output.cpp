#include "platform/sdl/pulse_output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

#include "platform/say.h"

namespace platform::sdl {
namespace {

// How often the silent clock pulls while the server is away, and how many of its ticks between
// attempts to connect again.
constexpr pa_usec_t kTickUs = 20000;
constexpr int kRetryTicks = 12;
// How old the server's last report of the stream's timing may be.
constexpr pa_usec_t kTimingAgeUs = 200000;

// What a desktop reads of the game: its name and icon in a volume control, and that it is a game.
constexpr const char* kAppName = "Morofin";
constexpr const char* kAppId = "io.github.morofin.morofin";

pa_proplist* appProperties() {
  pa_proplist* p = pa_proplist_new();
  pa_proplist_sets(p, PA_PROP_APPLICATION_NAME, kAppName);
  pa_proplist_sets(p, PA_PROP_APPLICATION_ID, kAppId);
  pa_proplist_sets(p, PA_PROP_APPLICATION_ICON_NAME, kAppId);
  return p;
}

}  // namespace

std::unique_ptr<PulseOutput> PulseOutput::connect(int rate, int bufferMs, int requestMs, Pull pull,
                                                  std::string& why, bool waitForServer) {
  std::unique_ptr<PulseOutput> out(new PulseOutput);
  out->pull_ = std::move(pull);
  out->spec_ = pa_sample_spec{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(rate), 2};
  const auto bytes = [&](int ms) {
    return static_cast<uint32_t>(pa_usec_to_bytes(static_cast<pa_usec_t>(ms) * 1000, &out->spec_));
  };
  out->attr_.maxlength = static_cast<uint32_t>(-1);
  out->attr_.tlength = bytes(bufferMs);
  out->attr_.minreq = bytes(requestMs);
  // Play as soon as anything is queued: a stream that waits to fill up first makes the first
  // sound after an idle time late.
  out->attr_.prebuf = 0;
  out->attr_.fragsize = static_cast<uint32_t>(-1);
  out->bufferFrames_ = bytes(bufferMs) / (2 * sizeof(float));
  out->buffer_ = std::make_unique<float[]>(2 * out->bufferFrames_);

  out->loop_ = pa_threaded_mainloop_new();
  if (!out->loop_) return why = "no PulseAudio main loop", nullptr;
  out->api_ = pa_threaded_mainloop_get_api(out->loop_);
  if (pa_threaded_mainloop_start(out->loop_) < 0) return why = "no PulseAudio thread", nullptr;

  pa_threaded_mainloop_lock(out->loop_);
  out->said_ = true;  // a server missing at the start is said by the caller
  out->newContext();
  // A local server answers at once; one that is not there fails at once.
  while (out->context_ && !out->ready_ &&
         PA_CONTEXT_IS_GOOD(pa_context_get_state(out->context_)))
    pa_threaded_mainloop_wait(out->loop_);
  if (!out->ready_) {
    why = pa_strerror(out->context_ ? pa_context_errno(out->context_) : out->failure_);
    if (!waitForServer) {
      pa_threaded_mainloop_unlock(out->loop_);
      return nullptr;
    }
    out->lose();
  }
  pa_threaded_mainloop_unlock(out->loop_);
  return out;
}

PulseOutput::~PulseOutput() {
  if (loop_) pa_threaded_mainloop_stop(loop_);
  dropStream();
  for (pa_context* c : {context_, dead_}) {
    if (!c) continue;
    pa_context_set_state_callback(c, nullptr, nullptr);
    pa_context_disconnect(c);
    pa_context_unref(c);
  }
  if (tick_) api_->time_free(tick_);
  if (loop_) pa_threaded_mainloop_free(loop_);
}

void PulseOutput::newContext() {
  pa_proplist* props = appProperties();
  context_ = pa_context_new_with_proplist(api_, kAppName, props);
  pa_proplist_free(props);
  if (!context_) return;
  pa_context_set_state_callback(context_, onContextState, this);
  // No autospawn: a desktop without a sound server falls back to the other drivers.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    // Failed at once: the state callback has already said so, or will.
    pa_threaded_mainloop_signal(loop_, 0);
  }
}

void PulseOutput::onContextState(pa_context* c, void* self) {
  auto* out = static_cast<PulseOutput*>(self);
  if (c != out->context_) return;
  const pa_context_state_t state = pa_context_get_state(c);
  if (state == PA_CONTEXT_READY) {
    out->ready_ = true;
    out->streamFailed_ = false;
    out->said_ = false;
    if (out->wanted_ && !out->stream_ && !out->openStream()) {
      out->streamFailed_ = true;
      out->armTick();
    }
  } else if (!PA_CONTEXT_IS_GOOD(state)) {
    out->lose();
  }
  pa_threaded_mainloop_signal(out->loop_, 0);
}

// The server is gone, or never was: silent until it comes back.
void PulseOutput::lose() {
  const bool wasReady = ready_;
  ready_ = false;
  dropStream();
  if (context_) {
    failure_ = pa_context_errno(context_);
    if (dead_) {
      pa_context_disconnect(dead_);
      pa_context_unref(dead_);
    }
    pa_context_set_state_callback(context_, nullptr, nullptr);
    dead_ = context_;
    context_ = nullptr;
  }
  if (wasReady && !said_)
    platform::sayProblem("the sound server went away; silent until it is back");
  said_ = true;
  clockUs_ = pa_rtclock_now();
  retryTicks_ = kRetryTicks;
  armTick();
}

void PulseOutput::armTick() {
  struct timeval tv;
  pa_timeval_add(pa_gettimeofday(&tv), kTickUs);
  if (tick_) {
    api_->time_restart(tick_, &tv);
  } else {
    tick_ = api_->time_new(api_, &tv, onTick, this);
  }
}

void PulseOutput::onTick(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
  auto* out = static_cast<PulseOutput*>(self);
  if (out->dead_) {
    pa_context_disconnect(out->dead_);
    pa_context_unref(out->dead_);
    out->dead_ = nullptr;
  }
  if (out->ready_ && out->streamFailed_) {
    out->streamFailed_ = false;
    if (out->wanted_ && !out->stream_ && !out->openStream()) out->streamFailed_ = true;
  }
  if (out->ready_ && !out->streamFailed_) {
    out->api_->time_restart(out->tick_, nullptr);  // connected and playing: no more ticks
    return;
  }
  out->silentPull();
  if (!out->ready_ && !out->context_ && --out->retryTicks_ <= 0) {
    out->retryTicks_ = kRetryTicks;
    out->newContext();
  }
  out->armTick();
}

// While nothing can be heard, the frames are pulled on the clock and dropped: the music keeps its
// place, a tune ends when it would, and the idle time stops the output as it would.
void PulseOutput::silentPull() {
  const uint64_t now = pa_rtclock_now();
  if (!wanted_) {
    clockUs_ = now;
    return;
  }
  int64_t frames = static_cast<int64_t>((now - clockUs_) * spec_.rate / 1000000);
  clockUs_ += static_cast<uint64_t>(frames) * 1000000 / spec_.rate;
  while (frames > 0) {
    const int n = static_cast<int>(std::min<int64_t>(frames, static_cast<int64_t>(bufferFrames_)));
    pull_(buffer_.get(), n);
    frames -= n;
  }
}

void PulseOutput::onWrite(pa_stream* s, size_t bytes, void* self) {
  auto* out = static_cast<PulseOutput*>(self);
  while (bytes > 0) {
    const size_t frames = std::min(bytes / (2 * sizeof(float)), out->bufferFrames_);
    if (frames == 0) return;
    out->pull_(out->buffer_.get(), static_cast<int>(frames));
    if (pa_stream_write(s, out->buffer_.get(), frames * 2 * sizeof(float), nullptr, 0,
                        PA_SEEK_RELATIVE) < 0)
      return;
    out->written_ += static_cast<int64_t>(frames);
    bytes -= frames * 2 * sizeof(float);
  }
  // The library's clock of what is being heard runs on from the server's last report, and left
  // to itself it asks for a report less and less often, up to every second and a half; by then
  // the clock can be tens of milliseconds off, and a change written over the queue from it is
  // heard that much late. A report asked for once the last is 200 ms old keeps it close.
  if (!out->timing_) {
    const pa_timing_info* info = pa_stream_get_timing_info(s);
    timeval now;
    pa_gettimeofday(&now);
    if (!info || pa_timeval_diff(&now, &info->timestamp) > kTimingAgeUs)
      out->timing_ = pa_stream_update_timing_info(s, onTiming, out);
  }
}

void PulseOutput::onTiming(pa_stream*, int, void* self) {
  auto* out = static_cast<PulseOutput*>(self);
  if (out->timing_) pa_operation_unref(out->timing_);
  out->timing_ = nullptr;
}

void PulseOutput::onStreamState(pa_stream* s, void* self) {
  auto* out = static_cast<PulseOutput*>(self);
  if (s != out->stream_ || PA_STREAM_IS_GOOD(pa_stream_get_state(s))) return;
  // The stream failed on a server that may still be there (its sink went, say): the next tick
  // opens another, and the silent clock runs meanwhile.
  out->dropStream();
  if (!out->ready_) return;  // the context's own failure follows
  out->streamFailed_ = true;
  out->clockUs_ = pa_rtclock_now();
  out->armTick();
}

bool PulseOutput::openStream() {
  pa_proplist* props = appProperties();
  pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "game");
  pa_proplist_sets(props, PA_PROP_MEDIA_NAME, kAppName);
  stream_ = pa_stream_new_with_proplist(context_, kAppName, &spec_, nullptr, props);
  pa_proplist_free(props);
  if (!stream_) return false;
  pa_stream_set_write_callback(stream_, onWrite, this);
  pa_stream_set_state_callback(stream_, onStreamState, this);
  written_ = 0;
  // The stream's clock, kept by the library between the server's reports, says what is being
  // heard: where a replacement may begin.
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
  if (pa_stream_connect_playback(stream_, nullptr, &attr_, flags, nullptr, nullptr) < 0) {
    pa_stream_unref(stream_);
    stream_ = nullptr;
    return false;
  }
  return true;
}

void PulseOutput::dropStream() {
  if (timing_) {
    pa_operation_cancel(timing_);
    pa_operation_unref(timing_);
    timing_ = nullptr;
  }
  if (!stream_) return;
  pa_stream_set_write_callback(stream_, nullptr, nullptr);
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

bool PulseOutput::start(std::string& why) {
  pa_threaded_mainloop_lock(loop_);
  bool ok = true;
  if (!wanted_) {
    wanted_ = true;
    clockUs_ = pa_rtclock_now();
    if (ready_ && !stream_ && !openStream()) {
      why = pa_strerror(pa_context_errno(context_));
      wanted_ = ok = false;
    }
  }
  pa_threaded_mainloop_unlock(loop_);
  return ok;
}

bool PulseOutput::replaceQueued(int leadFrames, const Replace& fill) {
  pa_threaded_mainloop_lock(loop_);
  if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY) {
    pa_threaded_mainloop_unlock(loop_);
    return false;
  }
  int64_t frames = 0;
  pa_usec_t heardUs = 0;
  if (pa_stream_get_time(stream_, &heardUs) == 0) {
    const int64_t heard = static_cast<int64_t>(heardUs) * spec_.rate / 1000000;
    frames = std::clamp<int64_t>(written_ - (heard + leadFrames), 0,
                                 static_cast<int64_t>(bufferFrames_));
  }
  fill(buffer_.get(), static_cast<int>(frames));
  if (frames > 0) {
    const auto bytes = static_cast<int64_t>(frames * 2 * sizeof(float));
    // Back over the frames being replaced; the server takes them back from its sink if it has
    // already mixed them there.
    pa_stream_write(stream_, buffer_.get(), static_cast<size_t>(bytes), nullptr, -bytes,
                    PA_SEEK_RELATIVE);
  }
  pa_threaded_mainloop_unlock(loop_);
  return true;
}

void PulseOutput::stop() {
  pa_threaded_mainloop_lock(loop_);
  wanted_ = false;
  dropStream();
  pa_threaded_mainloop_unlock(loop_);
}

}  // namespace platform::sdl
