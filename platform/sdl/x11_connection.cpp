#include "platform/sdl/x11_connection.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <cerrno>
#include <ctime>
#include <string_view>

namespace platform::sdl {
namespace {

class Connection : public XConnection {
 public:
  explicit Connection(Display* d) : d_(d) {}
  bool queued() override { return XEventsQueued(d_, QueuedAlready) > 0; }
  bool wait(int64_t timeoutUs) override {
    XFlush(d_);
    if (queued()) return true;
    pollfd p{ConnectionNumber(d_), POLLIN, 0};
    timespec ts{static_cast<time_t>(timeoutUs / 1000000),
                static_cast<long>(timeoutUs % 1000000) * 1000};
    const int r = ppoll(&p, 1, timeoutUs >= 0 ? &ts : nullptr, nullptr);
    return r > 0 || (r < 0 && errno == EINTR);
  }

 private:
  Display* d_;
};

}  // namespace

std::unique_ptr<XConnection> XConnection::forWindow(SDL_Window* w) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!w || !SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
  return std::make_unique<Connection>(info.info.x11.display);
}

std::string xResources() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::string_view(driver) != "x11") return {};
  Display* d = XOpenDisplay(nullptr);
  if (!d) return {};
  const char* res = XResourceManagerString(d);
  std::string out = res ? res : "";
  XCloseDisplay(d);
  return out;
}

}  // namespace platform::sdl
