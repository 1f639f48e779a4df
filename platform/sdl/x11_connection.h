#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct SDL_Window;

namespace platform::sdl {

// The X server connection under SDL's windows, for what SDL does not offer: sleeping on the
// connection so that a pass of the message loop reads it only when the server sent something.
class XConnection {
 public:
  // Null when the window's display is not an X11 one.
  static std::unique_ptr<XConnection> forWindow(SDL_Window* w);
  virtual ~XConnection() = default;

  // Events already read from the connection that SDL has not taken yet.
  virtual bool queued() = 0;
  // Sends what is buffered (when asked to), then sleeps until the server sends something or
  // timeoutUs passes. True when there is something to read (or a signal came, which SDL turns
  // into an event).
  virtual bool wait(int64_t timeoutUs, bool flush) = 0;
};

// Sends changed parts of a window's image to its X window without waiting for the server: the
// pixels travel inside the requests, so the image may change again at once. (SDL's own update
// waits for a round trip to the server every time, which costs more than composing a tick.)
class XPresenter {
 public:
  // Null without X11, or when the window's visual does not keep 32-bit pixels with 8-bit
  // channels at these shifts.
  static std::unique_ptr<XPresenter> forWindow(SDL_Window* w, int rShift, int gShift, int bShift);
  virtual ~XPresenter() = default;
  // rects are x, y, width, height, four ints each, within the width x height image.
  virtual void put(const uint32_t* pixels, int width, int height, int stride, const int* rects,
                   int count) = 0;
};

// Destroys an SDL window with what this SDL leaves of it on the X server: each window gets a
// colormap of its own that SDL never frees, so every hand-over between screens would keep one.
void destroyWindow(SDL_Window* w);

// Before SDL starts: Xlib opens no X input method for our windows (an input method server such as
// ibus-x11 would otherwise be handed the keys of every window that has the focus).
void bypassInputMethods();

// The X resources (Xft.dpi among them) of the display SDL uses, read before any window exists;
// empty without X11.
std::string xResources();

}  // namespace platform::sdl
