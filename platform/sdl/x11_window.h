#pragma once

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <optional>

namespace platform::sdl {

// The X display and window under an SDL window, for what SDL does not offer.
struct X11Window {
  Display* display = nullptr;
  Window window = 0;
};

// Nothing when the window is not on an X11 display (Wayland alone).
inline std::optional<X11Window> x11WindowOf(SDL_Window* w) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!w || !SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11) return std::nullopt;
  return X11Window{info.info.x11.display, info.info.x11.window};
}

}  // namespace platform::sdl
