#include "platform/sdl/window_manager.h"

#include <X11/Xatom.h>

#include "platform/sdl/x11_window.h"

namespace platform::sdl {
namespace {

// The frame's left and top widths from _NET_FRAME_EXTENTS (left, right, top, bottom); nothing
// when no window manager has set them.
std::pair<int, int> frameLeftTop(const X11Window& x) {
  const Atom extents = XInternAtom(x.display, "_NET_FRAME_EXTENTS", True);
  if (extents == None) return {0, 0};
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::pair<int, int> lt{0, 0};
  if (XGetWindowProperty(x.display, x.window, extents, 0, 4, False, XA_CARDINAL, &type, &format,
                         &count, &after, &data) == Success &&
      data && type == XA_CARDINAL && format == 32 && count == 4) {
    const long* v = reinterpret_cast<const long*>(data);  // format 32 comes as longs
    lt = {static_cast<int>(v[0]), static_cast<int>(v[2])};
  }
  if (data) XFree(data);
  return lt;
}

}  // namespace

std::optional<std::pair<int, int>> outerPosition(SDL_Window* w) {
  if (auto x = x11WindowOf(w)) {
    int cx = 0, cy = 0;
    Window child = 0;
    if (!XTranslateCoordinates(x->display, x->window, DefaultRootWindow(x->display), 0, 0, &cx, &cy,
                               &child))
      return std::nullopt;
    auto [left, top] = frameLeftTop(*x);
    return std::pair{cx - left, cy - top};
  }
  if (!w) return std::nullopt;
  int cx = 0, cy = 0, top = 0, left = 0;
  SDL_GetWindowPosition(w, &cx, &cy);
  if (SDL_GetWindowBordersSize(w, &top, &left, nullptr, nullptr) != 0) top = left = 0;
  return std::pair{cx - left, cy - top};
}

void moveFrameTo(SDL_Window* w, int x, int y) {
  if (auto xw = x11WindowOf(w)) {
    // A window manager takes a move of a client window as the place of its frame's corner
    // (north-west gravity); without one the client itself goes there, which is the same.
    XMoveWindow(xw->display, xw->window, x, y);
    XFlush(xw->display);
    return;
  }
  int top = 0, left = 0;
  if (SDL_GetWindowBordersSize(w, &top, &left, nullptr, nullptr) != 0) top = left = 0;
  SDL_SetWindowPosition(w, x + left, y + top);
}

void offerMoveAndCloseOnly(SDL_Window* w) {
  auto x = x11WindowOf(w);
  if (!x) return;
  const Atom hints = XInternAtom(x->display, "_MOTIF_WM_HINTS", False);
  // flags, functions, decorations, input mode, status
  enum : long { kFunctions = 1, kDecorations = 2 };
  enum : long { kFuncMove = 4, kFuncClose = 32 };
  enum : long { kDecorBorder = 2, kDecorTitle = 8, kDecorMenu = 16 };
  long value[5] = {kFunctions | kDecorations, kFuncMove | kFuncClose,
                   kDecorBorder | kDecorTitle | kDecorMenu, 0, 0};
  XChangeProperty(x->display, x->window, hints, hints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(value), 5);
}

}  // namespace platform::sdl
