#include "platform/sdl/x11_connection.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "platform/sdl/x11_window.h"

namespace platform::sdl {
namespace {

class Connection : public XConnection {
 public:
  explicit Connection(Display* d) : d_(d) {}
  bool queued() override { return XEventsQueued(d_, QueuedAlready) > 0; }
  bool wait(int64_t timeoutUs, bool flush) override {
    // Xlib's flush also reads the connection, which a quiet pass does not need.
    if (flush) XFlush(d_);
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

class Presenter : public XPresenter {
 public:
  Presenter(Display* d, ::Window w, Visual* v, int depth)
      : d_(d), w_(w), visual_(v), depth_(depth), gc_(XCreateGC(d, w, 0, nullptr)) {}
  ~Presenter() override { XFreeGC(d_, gc_); }
  void put(const uint32_t* pixels, int width, int height, int stride, const int* rects,
           int count) override {
    XImage* img =
        XCreateImage(d_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0,
                     reinterpret_cast<char*>(const_cast<uint32_t*>(pixels)),
                     static_cast<unsigned>(width), static_cast<unsigned>(height), 32, stride * 4);
    if (!img) return;
    for (int i = 0; i < count; ++i) {
      const int* r = rects + 4 * i;
      XPutImage(d_, w_, gc_, img, r[0], r[1], r[0], r[1], static_cast<unsigned>(r[2]),
                static_cast<unsigned>(r[3]));
    }
    img->data = nullptr;  // the pixels are not the image's to free
    XDestroyImage(img);
    XFlush(d_);
  }
  bool fits(int rShift, int gShift, int bShift) const {
    int n = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(d_, &n);
    bool thirtyTwo = false;
    for (int i = 0; i < n; ++i)
      if (formats[i].depth == depth_) thirtyTwo = formats[i].bits_per_pixel == 32;
    if (formats) XFree(formats);
    return thirtyTwo && visual_->red_mask == 0xFFul << rShift &&
           visual_->green_mask == 0xFFul << gShift && visual_->blue_mask == 0xFFul << bShift;
  }

 private:
  Display* d_;
  ::Window w_;
  Visual* visual_;
  int depth_;
  GC gc_;
};

}  // namespace

std::unique_ptr<XPresenter> XPresenter::forWindow(SDL_Window* w, int rShift, int gShift,
                                                  int bShift) {
  auto x = x11WindowOf(w);
  XWindowAttributes a;
  if (!x || !XGetWindowAttributes(x->display, x->window, &a)) return nullptr;
  auto p = std::make_unique<Presenter>(x->display, x->window, a.visual, a.depth);
  if (!p->fits(rShift, gShift, bShift)) return nullptr;
  return p;
}

std::unique_ptr<XConnection> XConnection::forWindow(SDL_Window* w) {
  auto x = x11WindowOf(w);
  return x ? std::make_unique<Connection>(x->display) : nullptr;
}

void destroyWindow(SDL_Window* w) {
  Colormap own = None;
  Display* d = nullptr;
  if (auto x = x11WindowOf(w)) {
    XWindowAttributes a;
    if (XGetWindowAttributes(x->display, x->window, &a) && a.screen &&
        a.colormap != DefaultColormapOfScreen(a.screen)) {
      own = a.colormap;
      d = x->display;
    }
  }
  SDL_DestroyWindow(w);
  // The display stays open while SDL's video runs; a newer SDL that frees the colormap itself
  // makes this a BadColor, which the error handler lets pass.
  if (own != None) XFreeColormap(d, own);
}

void bypassInputMethods() {
  // Read by Xlib when SDL opens its input method; "none" is the built-in one, which passes every
  // key (and keeps compose sequences, which the game does not need either).
  setenv("XMODIFIERS", "@im=none", 1);
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
