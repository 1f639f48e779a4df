#include "platform/sdl/global_keys.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "platform/say.h"
#include "platform/sdl/x11_window.h"

namespace platform::sdl {
namespace {

class X11Keys : public GlobalKeys {
 public:
  explicit X11Keys(Display* d) : display_(d) {
    const struct {
      KeySym sym;
      int vk;
    } keys[] = {{XK_Up, VK_UP},
                {XK_Down, VK_DOWN},
                {XK_Left, VK_LEFT},
                {XK_Right, VK_RIGHT},
                {XK_space, VK_SPACE}};
    for (int i = 0; i < 5; ++i) {
      codes_[i] = XKeysymToKeycode(display_, keys[i].sym);
      vks_[i] = keys[i].vk;
    }
  }
  void poll(KeyState& state) override {
    char map[32];
    XQueryKeymap(display_, map);
    for (int i = 0; i < 5; ++i) {
      if (!codes_[i]) continue;
      bool down = (map[codes_[i] / 8] >> (codes_[i] % 8)) & 1;
      state.setHeld(vks_[i], down);
    }
  }

 private:
  Display* display_;
  KeyCode codes_[5] = {};
  int vks_[5] = {};
};

}  // namespace

std::unique_ptr<GlobalKeys> GlobalKeys::forWindow(SDL_Window* w) {
  auto x = x11WindowOf(w);
  return x ? std::make_unique<X11Keys>(x->display) : nullptr;
}

}  // namespace platform::sdl

namespace platform::sdl {
namespace {

int onXError(Display*, XErrorEvent* e) {
  if (e->error_code == BadWindow || e->error_code == BadDrawable || e->error_code == BadMatch ||
      e->error_code == BadColor)  // a window's colormap freed twice (destroyWindow)
    return 0;
  char text[128];
  XGetErrorText(e->display, e->error_code, text, sizeof text);
  platform::sayProblem("X error ignored: %s (request %d)", text, e->request_code);
  return 0;
}

}  // namespace

// Set before SDL starts: SDL keeps the handler it finds and passes errors on to it, and puts it
// back when it closes its connections, which is when late errors about closed windows arrive.
void tolerateLateX11Errors() {
  XSetErrorHandler(onXError);
}

}  // namespace platform::sdl
