#include "platform/sdl/audio.h"

#include <alsa/asoundlib.h>

#include "platform/say.h"
#include "platform/sdl/audio_mixer.h"

namespace platform::sdl {
namespace {

// Nothing to hear, but every request answers as the game expects.
class Silence : public MediaBackend {
 public:
  std::unique_ptr<MidiDevice> openSequencer(const std::string&, std::string& why) override {
    why = "no audio device";
    return nullptr;
  }
  bool playWave(const std::string&) override { return false; }
  bool silent() const override { return true; }
};

// ALSA's library talks on standard error when there is no sound card; the game says it once itself.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

std::unique_ptr<MediaBackend> silentAudio() {
  return std::make_unique<Silence>();
}

std::unique_ptr<MediaBackend> openAudio() {
  snd_lib_error_set_handler(quietAlsa);
  auto audio = std::make_unique<Mixer>();
  std::string why;
  if (!audio->open(why)) {
    platform::sayProblem("no audio device (%s); the game runs silent", why.c_str());
    return std::make_unique<Silence>();
  }
  return audio;
}

}  // namespace platform::sdl
