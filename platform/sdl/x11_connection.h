#pragma once

#include <cstdint>
#include <memory>

struct SDL_Window;

namespace platform::sdl {

// The X server connection under SDL's windows, for what SDL does not offer: the desktop's scale
// from the X resources, and sleeping on the connection so that a pass of the message loop reads
// it only when the server sent something.
class XConnection {
 public:
  // Null when the window's display is not an X11 one.
  static std::unique_ptr<XConnection> forWindow(SDL_Window* w);
  virtual ~XConnection() = default;

  // The X resources as the server held them when SDL connected (Xft.dpi among them), or null.
  virtual const char* resources() const = 0;
  // Events already read from the connection that SDL has not taken yet.
  virtual bool queued() = 0;
  // Sends what is buffered, then sleeps until the server sends something or timeoutUs passes.
  // True when there is something to read (or a signal came, which SDL turns into an event).
  virtual bool wait(int64_t timeoutUs) = 0;
};

}  // namespace platform::sdl
