#include "platform/sdl/sdl_provider.h"

#include <SDL.h>

#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/compose.h"
#include "platform/form.h"
#include "platform/keys.h"
#include "platform/runtime.h"
#include "platform/say.h"
#include "platform/scale.h"
#include "platform/sdl/audio.h"
#include "platform/sdl/global_keys.h"
#include "platform/sdl/window_manager.h"
#include "platform/sdl/x11_connection.h"

namespace platform::sdl {
namespace {

int vkOf(SDL_Keycode k) {
  switch (k) {
    case SDLK_UP:
      return VK_UP;
    case SDLK_DOWN:
      return VK_DOWN;
    case SDLK_LEFT:
      return VK_LEFT;
    case SDLK_RIGHT:
      return VK_RIGHT;
    case SDLK_SPACE:
      return VK_SPACE;
    case SDLK_TAB:
      return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return VK_RETURN;
    default:
      return -1;
  }
}

// SDL does some work on its own clock when it reads the display connection (delayed focus
// changes, the screen saver); a quiet loop still reads it this often.
constexpr int64_t kQuietPumpUs = 100000;

// Without an X connection of our own the loop sleeps on SDL's event wait, which counts whole
// milliseconds and may oversleep a little: only while the deadline is further than this...
constexpr int64_t kSleepOnEventsAboveUs = 2000;
// ...and only until this long before it; the rest is slept to the microsecond.
constexpr int64_t kWakeBeforeDeadlineUs = 1500;

// Our pixel layout for a 32-bit screen format with 8-bit channels.
std::optional<PixelFormat> pixelFormatOf(uint32_t sdlFormat) {
  int bpp = 0;
  uint32_t r = 0, g = 0, b = 0, a = 0;
  if (SDL_BYTESPERPIXEL(sdlFormat) != 4 ||
      !SDL_PixelFormatEnumToMasks(sdlFormat, &bpp, &r, &g, &b, &a))
    return std::nullopt;
  auto shift = [](uint32_t mask) { return mask ? std::countr_zero(mask) : -1; };
  for (uint32_t m : {r, g, b})
    if (m == 0 || m >> shift(m) != 0xFF) return std::nullopt;
  return PixelFormat{shift(r), shift(g), shift(b)};
}

bool sameFormat(const SDL_PixelFormat& f, PixelFormat ours) {
  return f.BytesPerPixel == 4 && f.Rmask == 0xFFu << ours.rShift &&
         f.Gmask == 0xFFu << ours.gShift && f.Bmask == 0xFFu << ours.bShift;
}

// While a pad is plugged in the loop reads SDL's devices this often, even when nothing else is due:
// SDL reads pads when it is asked, not when they change.
constexpr int64_t kPadPollUs = 8000;

// A window pixel to the client area's pixel, rounding down also left of or above the window.
int unscale(int v, int n) {
  return v >= 0 ? v / n : -((-v + n - 1) / n);
}

}  // namespace

SdlProvider::SdlProvider() : media_(silentAudio()) {
  // A software-composed game: present through X11 shared memory, not an OpenGL renderer.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // The desktop matches the window to its desktop entry (and icon) by this class. This SDL reads
  // these two hints only from the environment, when the video starts; a user's own value wins.
  SDL_setenv("SDL_VIDEO_X11_WMCLASS", MOROFIN_WM_CLASS, 0);
  SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", MOROFIN_WM_CLASS, 0);
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (!(display && *display) && !(wayland && *wayland) && !(driver && *driver)) {
    // Without a desktop SDL would try the console's graphics devices; a game wants a desktop.
    problem_ = "cannot open a window: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return;
  }
  tolerateLateX11Errors();
  bypassInputMethods();
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    problem_ = std::string("cannot open a window: ") + SDL_GetError();
    return;
  }
  // SDL starts with text input on, which hands every key to the desktop's input method first: in
  // a Japanese mode IBus or fcitx keep Space to type a full-width space, and no key event comes.
  // The game types no text, so its keys never go that way.
  SDL_StopTextInput();
  ok_ = true;
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0)
    if (auto f = pixelFormatOf(mode.format)) pixelFormat_ = *f;
  sdlFormat_ =
      SDL_MasksToPixelFormatEnum(32, 0xFFu << pixelFormat_.rShift, 0xFFu << pixelFormat_.gShift,
                                 0xFFu << pixelFormat_.bShift, 0);
  media_ = openAudio();
}

SdlProvider::Window::~Window() = default;

SdlProvider::~SdlProvider() {
  for (auto& [form, w] : windows_) {
    w->x.reset();
    if (w->sdl) destroyWindow(w->sdl);
  }
  windows_.clear();
  media_.reset();
  gamepads_.stop();
  if (ok_) SDL_Quit();
}

int64_t SdlProvider::nowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void SdlProvider::openWindow(Form& form) {
  // The window itself is made when it is first shown, at the place the form has by then: a
  // window manager places a new window where it is asked to, but not one moved before mapping.
  mayHaveSent_ = true;
  auto w = std::make_unique<Window>();
  w->form = &form;
  windows_[&form] = std::move(w);
}

void SdlProvider::createWindow(Window& w) {
  Form& form = *w.form;
  int x = SDL_WINDOWPOS_UNDEFINED, y = SDL_WINDOWPOS_UNDEFINED;
  // Asked for at (x, y), a window manager puts the frame's corner there, which is what the
  // form's position means; without one the client area goes there and the frame is nothing.
  if (form.hasPosition()) std::tie(x, y) = form.positionPx();
  w.scale = scaleFor(form);
  w.sdl = SDL_CreateWindow(form.design().caption.c_str(), x, y, form.clientWidthPx() * w.scale,
                           form.clientHeightPx() * w.scale, SDL_WINDOW_HIDDEN);
  if (!w.sdl) raise(err::kInvalidCall, std::string("cannot create a window: ") + SDL_GetError());
  w.id = SDL_GetWindowID(w.sdl);
  SDL_StopTextInput();  // stays off for every window, whatever a window's making did
  offerMoveAndCloseOnly(w.sdl);
  if (!x_) x_ = XConnection::forWindow(w.sdl);
  w.x = XPresenter::forWindow(w.sdl, pixelFormat_.rShift, pixelFormat_.gShift, pixelFormat_.bShift);
  const Picture& icon = form.design().icon;
  if (!icon.empty()) {
    Bitmap copy = *icon.bitmap();
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(copy.pixels.data(), copy.width, copy.height,
                                                        24, copy.width * 3, SDL_PIXELFORMAT_RGB24);
    if (s) {
      SDL_SetWindowIcon(w.sdl, s);
      SDL_FreeSurface(s);
    }
  }
  if (!globalKeys_) globalKeys_ = GlobalKeys::forWindow(w.sdl);
}

int SdlProvider::scaleFor(const Form& form) {
  if (!desktopScale_) desktopScale_ = desktopScale(std::getenv("GDK_SCALE"), xResources().c_str());
  if (*desktopScale_ <= 1) return 1;
  SDL_Rect usable;
  int display = 0;
  if (form.hasPosition()) {
    const auto [x, y] = form.positionPx();
    const SDL_Point p{x, y};
    display = std::max(SDL_GetPointDisplayIndex(&p), 0);
  }
  if (SDL_GetDisplayUsableBounds(display, &usable) != 0) return 1;
  return fittingScale(*desktopScale_, form.clientWidthPx(), form.clientHeightPx(), usable.w,
                      usable.h);
}

void SdlProvider::closeWindow(Form& form) {
  mayHaveSent_ = true;
  auto it = windows_.find(&form);
  if (it == windows_.end()) return;
  if (interaction_) interaction_->cancel(form);
  if (newest_ == &form) newest_ = nullptr;
  it->second->x.reset();
  if (it->second->sdl) destroyWindow(it->second->sdl);
  windows_.erase(it);
}

void SdlProvider::moveWindow(Form& form) {
  mayHaveSent_ = true;
  auto it = windows_.find(&form);
  if (it == windows_.end() || !it->second->sdl) return;  // not made yet: made in its place
  auto [x, y] = form.positionPx();
  moveFrameTo(it->second->sdl, x, y);
}

std::optional<std::pair<int, int>> SdlProvider::windowPlacePx(const Form& form) {
  auto it = windows_.find(const_cast<Form*>(&form));
  if (it == windows_.end() || !it->second->sdl || it->second->pendingShow) return std::nullopt;
  return outerPosition(it->second->sdl);
}

SdlProvider::Window* SdlProvider::byId(uint32_t id) {
  for (auto& [form, w] : windows_)
    if (w->sdl && w->id == id) return w.get();
  return nullptr;
}

void SdlProvider::showPending() {
  for (auto& [form, w] : windows_) {
    if (!w->pendingShow) continue;
    // A window that cannot be made is a run-time error, reported as any other.
    if (!rt_->dispatch([&] { createWindow(*w); })) return;
    w->pendingShow = false;
    newest_ = w->form;
    present(*w, true);
    SDL_ShowWindow(w->sdl);
    SDL_RaiseWindow(w->sdl);
    w->needsPresent = true;
  }
}

// The window surface is the kept image: the changed places are composed straight into it in its
// own format and only they are sent to the screen. An expose sends the whole surface again.
void SdlProvider::present(Window& w, bool whole) {
  if (!w.sdl || !w.form->loaded()) return;
  SDL_Surface* s = SDL_GetWindowSurface(w.sdl);
  if (!s) return;
  if (s != w.surface) {
    w.surface = s;
    w.form->invalidate();
    whole = true;
  }
  const int cw = w.form->clientWidthPx() * w.scale, ch = w.form->clientHeightPx() * w.scale;
  const bool direct =
      sameFormat(*s->format, pixelFormat_) && s->w == cw && s->h == ch && s->pitch % 4 == 0;
  Canvas c;
  if (direct) {
    c = {static_cast<uint32_t*>(s->pixels), cw, ch, s->pitch / 4, pixelFormat_, w.scale};
  } else {
    if (w.own.width != cw || w.own.height != ch) {
      w.own = NativeImage(cw, ch, pixelFormat_);
      w.form->invalidate();
      whole = true;
    }
    c = Canvas::over(w.own, w.scale);
  }
  std::vector<Rect> rects = composeChanges(*w.form, c);
  if (!direct) {
    auto copy = [&](Rect r) {
      r = intersect(r, {0, 0, s->w, s->h});
      if (r.empty()) return;
      SDL_ConvertPixels(r.w, r.h, sdlFormat_, w.own.row(r.y) + r.x, cw * 4, s->format->format,
                        static_cast<uint8_t*>(s->pixels) + static_cast<ptrdiff_t>(r.y) * s->pitch +
                            r.x * s->format->BytesPerPixel,
                        s->pitch);
    };
    if (whole)
      copy({0, 0, cw, ch});
    else
      for (Rect r : rects) copy(r);
  }
  if (whole) {
    SDL_UpdateWindowSurface(w.sdl);
  } else if (!rects.empty() && direct && w.x) {
    std::vector<int> flat;
    flat.reserve(rects.size() * 4);
    for (Rect r : rects) flat.insert(flat.end(), {r.x, r.y, r.w, r.h});
    w.x->put(c.pixels, c.width, c.height, c.stride, flat.data(), static_cast<int>(rects.size()));
  } else if (!rects.empty()) {
    std::vector<SDL_Rect> sr;
    sr.reserve(rects.size());
    for (Rect r : rects) sr.push_back({r.x, r.y, r.w, r.h});
    SDL_UpdateWindowSurfaceRects(w.sdl, sr.data(), static_cast<int>(sr.size()));
  }
  w.needsPresent = false;
}

Form* SdlProvider::padScreen() {
  if (SDL_Window* focus = SDL_GetKeyboardFocus())
    if (Window* w = byId(SDL_GetWindowID(focus))) return w->form;
  return newest_;
}

void SdlProvider::handle(Runtime& rt, const SDL_Event& e) {
  if (auto change = gamepads_.handle(e)) {
    if (change->reading)
      pads_.update(change->id, *change->reading, rt.keys(), interaction_.get(), padScreen());
    else
      pads_.remove(change->id, rt.keys(), interaction_.get(), padScreen());
    return;
  }
  switch (e.type) {
    case SDL_QUIT:
      // An interrupt or the session ending: close every screen as its close box would.
      for (Form* f : rt.loadedForms()) rt.dispatch([f] { f->Unload(); });
      return;
    case SDL_WINDOWEVENT: {
      Window* w = byId(e.window.windowID);
      if (!w) return;
      Form* f = w->form;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          rt.dispatch([f] { f->Unload(); });
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          w->needsPresent = true;
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          interaction_->cancel(*f);
          break;
        default:
          break;
      }
      return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEMOTION: {
      const uint32_t id = e.type == SDL_MOUSEMOTION ? e.motion.windowID : e.button.windowID;
      Window* w = byId(id);
      if (!w) return;
      const int n = w->scale;
      if (e.type == SDL_MOUSEMOTION) {
        interaction_->mouseMove(*w->form, unscale(e.motion.x, n), unscale(e.motion.y, n));
      } else if (e.button.button == SDL_BUTTON_LEFT) {
        const int x = unscale(e.button.x, n), y = unscale(e.button.y, n);
        if (e.type == SDL_MOUSEBUTTONDOWN)
          interaction_->mouseDown(*w->form, x, y);
        else
          interaction_->mouseUp(*w->form, x, y);
      }
      return;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const int vk = vkOf(e.key.keysym.sym);
      if (vk < 0) return;
      const bool down = e.type == SDL_KEYDOWN;
      if (!e.key.repeat) rt.keys().setHeld(vk, down);
      Window* w = byId(e.key.windowID);
      if (!w) return;
      if (down && (!e.key.repeat || vk == VK_TAB))
        interaction_->keyDown(*w->form, vk, (e.key.keysym.mod & KMOD_SHIFT) != 0);
      else if (!down)
        interaction_->keyUp(*w->form, vk);
      return;
    }
    default:
      return;
  }
}

void SdlProvider::presentChanges() {
  showPending();
  if (rt_ && rt_->ended()) return;
  for (auto& [form, w] : windows_)
    if (w->needsPresent || form->dirty()) {
      present(*w, w->needsPresent);
      mayHaveSent_ = true;
    }
}

void SdlProvider::pumpEvents(Runtime& rt) {
  // A quiet pass leaves the display connection alone.
  const int64_t now = nowUs();
  if (x_ && !readable_ && now - lastPumpUs_ < (pads_.any() ? kPadPollUs : kQuietPumpUs) &&
      !x_->queued() && !SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT))
    return;
  readable_ = false;
  mayHaveSent_ = true;
  lastPumpUs_ = now;
  SDL_PumpEvents();
  SDL_Event e;
  while (!rt.ended() && SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
    handle(rt, e);
}

void SdlProvider::waitUntil(std::optional<int64_t> deadlineUs) {
  int64_t now = nowUs();
  if (x_) {
    // Sleep on the display connection to the microsecond of the next deadline.
    int64_t until = lastPumpUs_ + (pads_.any() ? kPadPollUs : kQuietPumpUs);
    if (deadlineUs && *deadlineUs < until) until = *deadlineUs;
    if (until > now && x_->wait(until - now, std::exchange(mayHaveSent_, false))) readable_ = true;
    return;
  }
  SDL_Event e;
  if (!deadlineUs) {
    if (SDL_WaitEvent(&e)) handle(*rt_, e);
    return;
  }
  if (*deadlineUs <= now) return;
  const int64_t remain = *deadlineUs - now;
  // Sleep on SDL's events while the deadline is far, then to the microsecond.
  if (remain > kSleepOnEventsAboveUs) {
    if (SDL_WaitEventTimeout(&e, static_cast<int>((remain - kWakeBeforeDeadlineUs) / 1000))) {
      handle(*rt_, e);
      return;
    }
  }
  now = nowUs();
  if (*deadlineUs > now) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    int64_t ns = ts.tv_nsec + (*deadlineUs - now) * 1000;
    ts.tv_sec += ns / 1000000000;
    ts.tv_nsec = ns % 1000000000;
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
  }
}

void SdlProvider::runLoop(Runtime& rt) {
  rt_ = &rt;
  interaction_ = std::make_unique<Interaction>(rt);
  while (!rt.ended()) {
    pumpEvents(rt);
    rt.collect();
    if (rt.ended()) break;
    // The whole keyboard, once per pass, while the keys go to another program's window; while
    // ours has the keyboard its own key events tell the same.
    const bool readKeymap = globalKeys_ && !SDL_GetKeyboardFocus();
    if (readKeymap) globalKeys_->poll(rt.keys());
    rt.setKeysArriveAsEvents(!readKeymap);
    rt.fireDueTimers(nowUs());
    rt.collect();
    if (rt.ended()) break;
    presentChanges();
    if (rt.ended()) break;
    // Looking for pads takes SDL some 20 ms: after the first screen is up, not before it.
    if (!padsLooked_) {
      padsLooked_ = true;
      std::string why;
      if (!gamepads_.start(why)) platform::sayProblem("gamepads cannot be used: %s", why.c_str());
    }
    waitUntil(rt.nextDeadline());
  }
  interaction_.reset();
  rt_ = nullptr;
}

void SdlProvider::reportError(const RuntimeError& e) {
  platform::sayProblem("run-time error %d: %s", e.number(), e.what());
  const char* box = std::getenv("MOROFIN_NO_ERROR_BOX");
  if (ok_ && !(box && *box)) {
    const std::string text = "Run-time error '" + std::to_string(e.number()) + "':\n\n" + e.what();
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "morofin", text.c_str(), nullptr);
  }
}

}  // namespace platform::sdl
