#pragma once

#include <memory>

#include "platform/keys.h"

struct SDL_Window;

namespace platform::sdl {

// The five keys the game polls, read from the X server's keymap: held whichever window has the
// keyboard. Not available without X11 (Wayland alone); the window's own key events serve then.
class GlobalKeys {
 public:
  // Null when the window's display is not an X11 one.
  static std::unique_ptr<GlobalKeys> forWindow(SDL_Window* w);
  virtual ~GlobalKeys() = default;
  // One round trip to the server; updates the held state of the game's keys.
  virtual void poll(KeyState& keys) = 0;
};

}  // namespace platform::sdl

namespace platform::sdl {

// An X error about a window that is already gone (a race with the server or a window manager at
// closing time) must not end the program, as Xlib's default handler would.
void tolerateLateX11Errors();

}  // namespace platform::sdl
