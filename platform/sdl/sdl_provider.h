#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/interaction.h"
#include "platform/pads.h"
#include "platform/picture.h"
#include "platform/provider.h"
#include "platform/sdl/gamepads.h"

struct SDL_Window;
struct SDL_Surface;
union SDL_Event;

namespace platform::sdl {

class GlobalKeys;
class XConnection;
class XPresenter;

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
  PixelFormat pixelFormat() const override { return pixelFormat_; }
  void runLoop(Runtime& rt) override;
  void reportError(const RuntimeError& e) override;

  // Shows new windows and presents what changed in every window; the loop does this after the
  // timers of each pass (a benchmark calls it to time a tick all the way to the screen).
  void presentChanges();

 private:
  struct Window {
    Form* form = nullptr;
    SDL_Window* sdl = nullptr;
    uint32_t id = 0;
    bool pendingShow = true;
    bool needsPresent = true;
    // The client area is drawn at this scale; mouse positions are divided by it.
    int scale = 1;
    // The window surface our image lies in; another one (after a resize) holds none of it.
    SDL_Surface* surface = nullptr;
    // The kept image when the window surface's format is not ours.
    NativeImage own;
    // Sends changed places to the X server without a round trip, where there is one.
    std::unique_ptr<XPresenter> x;
    ~Window();
  };
  void createWindow(Window& w);
  Window* byId(uint32_t id);
  void handle(Runtime& rt, const SDL_Event& e);
  void showPending();
  void present(Window& w, bool whole);
  void pumpEvents(Runtime& rt);
  void waitUntil(std::optional<int64_t> deadlineUs);
  int scaleFor(const Form& form);
  // The screen whose buttons a pad works: ours that has the keyboard, else the newest.
  Form* padScreen();

  bool ok_ = false;
  std::string problem_;
  std::map<Form*, std::unique_ptr<Window>> windows_;
  std::unique_ptr<MediaBackend> media_;
  std::unique_ptr<Interaction> interaction_;
  std::unique_ptr<GlobalKeys> globalKeys_;
  Gamepads gamepads_;
  PadInput pads_;
  Form* newest_ = nullptr;
  bool padsLooked_ = false;
  std::unique_ptr<XConnection> x_;
  PixelFormat pixelFormat_;
  uint32_t sdlFormat_ = 0;
  std::optional<int> desktopScale_;
  // Whether the display connection may hold something, and when it was last read.
  bool readable_ = true;
  // Whether this pass may have left requests in Xlib's buffer.
  bool mayHaveSent_ = true;
  int64_t lastPumpUs_ = 0;
  Runtime* rt_ = nullptr;
};

}  // namespace platform::sdl
