#include "platform/sdl/audio_output.h"

#include <SDL.h>

namespace platform::sdl {
namespace {

class SdlOutput : public Output {
 public:
  SdlOutput(int rate, int frames, Pull pull) : rate_(rate), frames_(frames), pull_(std::move(pull)) {}
  ~SdlOutput() override { stop(); }
  bool start(std::string& why) override {
    SDL_AudioSpec want{}, have{};
    want.freq = rate_;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(frames_);
    want.callback = callback;
    want.userdata = this;
    dev_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!dev_) return why = SDL_GetError(), false;
    SDL_PauseAudioDevice(dev_, 0);
    return true;
  }
  void stop() override {
    if (dev_) SDL_CloseAudioDevice(dev_);  // waits for the callback to return
    dev_ = 0;
  }

 private:
  static void callback(void* self, Uint8* stream, int len) {
    static_cast<SdlOutput*>(self)->pull_(reinterpret_cast<float*>(stream),
                                         len / static_cast<int>(2 * sizeof(float)));
  }
  int rate_, frames_;
  Pull pull_;
  SDL_AudioDeviceID dev_ = 0;
};

class PulseStream : public Output {
 public:
  explicit PulseStream(std::unique_ptr<PulseOutput> out) : out_(std::move(out)) {}
  bool start(std::string& why) override { return out_->start(why); }
  void stop() override { out_->stop(); }

 private:
  std::unique_ptr<PulseOutput> out_;
};

}  // namespace

std::unique_ptr<Output> sdlOutput(int rate, int frames, Pull pull) {
  return std::make_unique<SdlOutput>(rate, frames, std::move(pull));
}

std::unique_ptr<Output> pulseStream(std::unique_ptr<PulseOutput> out) {
  return std::make_unique<PulseStream>(std::move(out));
}

}  // namespace platform::sdl
