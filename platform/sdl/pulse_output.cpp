#include "platform/sdl/pulse_output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace platform::sdl {
namespace {

void signalLoop(void* loop) {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

void onContextState(pa_context*, void* loop) {
  signalLoop(loop);
}

}  // namespace

std::unique_ptr<PulseOutput> PulseOutput::connect(int rate, int bufferMs, int requestMs, Pull pull,
                                                  std::string& why) {
  std::unique_ptr<PulseOutput> out(new PulseOutput);
  out->pull_ = std::move(pull);
  out->loop_ = pa_threaded_mainloop_new();
  if (!out->loop_) return why = "no PulseAudio main loop", nullptr;
  out->context_ = pa_context_new(pa_threaded_mainloop_get_api(out->loop_), "morofin");
  if (!out->context_) return why = "no PulseAudio context", nullptr;
  pa_context_set_state_callback(out->context_, onContextState, out->loop_);
  // No autospawn: a desktop without a sound server falls back to the other drivers.
  if (pa_context_connect(out->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
    return why = pa_strerror(pa_context_errno(out->context_)), nullptr;
  if (pa_threaded_mainloop_start(out->loop_) < 0) return why = "no PulseAudio thread", nullptr;

  pa_threaded_mainloop_lock(out->loop_);
  pa_context_state_t cs;
  while ((cs = pa_context_get_state(out->context_)) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(cs))
    pa_threaded_mainloop_wait(out->loop_);
  if (cs != PA_CONTEXT_READY) {
    why = pa_strerror(pa_context_errno(out->context_));
    pa_threaded_mainloop_unlock(out->loop_);
    return nullptr;
  }
  pa_threaded_mainloop_unlock(out->loop_);
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
  return out;
}

PulseOutput::~PulseOutput() {
  if (loop_) pa_threaded_mainloop_stop(loop_);
  if (stream_) {
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
  }
  if (context_) {
    pa_context_disconnect(context_);
    pa_context_unref(context_);
  }
  if (loop_) pa_threaded_mainloop_free(loop_);
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
}

bool PulseOutput::start(std::string& why) {
  pa_threaded_mainloop_lock(loop_);
  if (!stream_) {
    stream_ = pa_stream_new(context_, "morofin", &spec_, nullptr);
    if (stream_) {
      pa_stream_set_write_callback(stream_, onWrite, this);
      written_ = 0;
      // The stream's clock, kept by the library between the server's reports, says what is being
      // heard: where a replacement may begin.
      const auto flags = static_cast<pa_stream_flags_t>(
          PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
      if (pa_stream_connect_playback(stream_, nullptr, &attr_, flags, nullptr, nullptr) < 0) {
        pa_stream_unref(stream_);
        stream_ = nullptr;
      }
    }
    if (!stream_) why = pa_strerror(pa_context_errno(context_));
  }
  pa_threaded_mainloop_unlock(loop_);
  return stream_ != nullptr;
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
  if (stream_) {
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
  }
  pa_threaded_mainloop_unlock(loop_);
}

}  // namespace platform::sdl
