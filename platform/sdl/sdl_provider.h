#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/interaction.h"
#include "platform/picture.h"
#include "platform/provider.h"

struct SDL_Window;
union SDL_Event;

namespace platform::sdl {

class GlobalKeys;

// The desktop provider: an SDL2 window per loaded form, a message loop on the real clock, the
// keyboard as a whole (the X server's keymap where there is one) and the computer's sound.
class SdlProvider : public Provider {
 public:
  SdlProvider();
  ~SdlProvider() override;

  // False when no window can be opened; problem() then says why in one line.
  bool ok() const { return ok_; }
  const std::string& problem() const { return problem_; }

  int64_t nowUs() override;
  void openWindow(Form& form) override;
  void closeWindow(Form& form) override;
  void moveWindow(Form& form) override;
  std::optional<std::pair<int, int>> windowPlacePx(const Form& form) override;
  MediaBackend& mediaBackend() override { return *media_; }
  void runLoop(Runtime& rt) override;
  void reportError(const RuntimeError& e) override;

  void setMediaBackend(std::unique_ptr<MediaBackend> m) { media_ = std::move(m); }

 private:
  struct Window {
    Form* form = nullptr;
    SDL_Window* sdl = nullptr;
    uint32_t id = 0;
    bool pendingShow = true;
    bool needsPresent = true;
    uint64_t presented = ~0ull;
    Bitmap image;
  };
  void createWindow(Window& w);
  Window* byId(uint32_t id);
  void handle(Runtime& rt, const SDL_Event& e);
  void showPending();
  void present(Window& w, bool recompose);
  void waitUntil(int64_t deadlineUs);

  bool ok_ = false;
  std::string problem_;
  std::map<Form*, std::unique_ptr<Window>> windows_;
  std::unique_ptr<MediaBackend> media_;
  std::unique_ptr<Interaction> interaction_;
  std::unique_ptr<GlobalKeys> globalKeys_;
  Runtime* rt_ = nullptr;
};

}  // namespace platform::sdl
