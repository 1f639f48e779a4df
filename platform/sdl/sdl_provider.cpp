#include "platform/sdl/sdl_provider.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/compose.h"
#include "platform/form.h"
#include "platform/keys.h"
#include "platform/runtime.h"
#include "platform/sdl/audio.h"
#include "platform/sdl/global_keys.h"
#include "platform/sdl/window_manager.h"

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
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    problem_ = std::string("cannot open a window: ") + SDL_GetError();
    return;
  }
  ok_ = true;
  media_ = openAudio();
}

SdlProvider::~SdlProvider() {
  for (auto& [form, w] : windows_)
    if (w->sdl) SDL_DestroyWindow(w->sdl);
  windows_.clear();
  media_.reset();
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
  w.sdl = SDL_CreateWindow(form.design().caption.c_str(), x, y, form.clientWidthPx(),
                           form.clientHeightPx(), SDL_WINDOW_HIDDEN);
  if (!w.sdl) raise(err::kInvalidCall, std::string("cannot create a window: ") + SDL_GetError());
  w.id = SDL_GetWindowID(w.sdl);
  offerMoveAndCloseOnly(w.sdl);
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

void SdlProvider::closeWindow(Form& form) {
  auto it = windows_.find(&form);
  if (it == windows_.end()) return;
  if (interaction_) interaction_->cancel(form);
  if (it->second->sdl) SDL_DestroyWindow(it->second->sdl);
  windows_.erase(it);
}

void SdlProvider::moveWindow(Form& form) {
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
    present(*w, true);
    SDL_ShowWindow(w->sdl);
    SDL_RaiseWindow(w->sdl);
    w->needsPresent = true;
  }
}

void SdlProvider::present(Window& w, bool recompose) {
  if (!w.sdl || !w.form->loaded()) return;
  if (recompose || w.presented != w.form->revision()) {
    composeWindowInto(*w.form, w.image);
    w.presented = w.form->revision();
  }
  SDL_Surface* s = SDL_GetWindowSurface(w.sdl);
  if (!s) return;
  SDL_LockSurface(s);
  SDL_ConvertPixels(w.image.width, w.image.height, SDL_PIXELFORMAT_RGB24, w.image.pixels.data(),
                    w.image.width * 3, s->format->format, s->pixels, s->pitch);
  SDL_UnlockSurface(s);
  SDL_UpdateWindowSurface(w.sdl);
  w.needsPresent = false;
}

void SdlProvider::handle(Runtime& rt, const SDL_Event& e) {
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
      if (e.type == SDL_MOUSEMOTION) {
        interaction_->mouseMove(*w->form, e.motion.x, e.motion.y);
      } else if (e.button.button == SDL_BUTTON_LEFT) {
        if (e.type == SDL_MOUSEBUTTONDOWN)
          interaction_->mouseDown(*w->form, e.button.x, e.button.y);
        else
          interaction_->mouseUp(*w->form, e.button.x, e.button.y);
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

void SdlProvider::waitUntil(int64_t deadlineUs) {
  SDL_Event e;
  int64_t now = nowUs();
  if (deadlineUs <= now) return;
  const int64_t remain = deadlineUs - now;
  // Sleep on the display connection while the deadline is far, then to the microsecond.
  if (remain > 2000) {
    if (SDL_WaitEventTimeout(&e, static_cast<int>((remain - 1500) / 1000))) {
      handle(*rt_, e);
      return;
    }
  }
  now = nowUs();
  if (deadlineUs > now) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    int64_t ns = ts.tv_nsec + (deadlineUs - now) * 1000;
    ts.tv_sec += ns / 1000000000;
    ts.tv_nsec = ns % 1000000000;
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
  }
}

void SdlProvider::runLoop(Runtime& rt) {
  rt_ = &rt;
  interaction_ = std::make_unique<Interaction>(rt);
  while (!rt.ended()) {
    SDL_Event e;
    // One read of the display connection a pass, then what it brought.
    SDL_PumpEvents();
    while (!rt.ended() && SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
      handle(rt, e);
    rt.collect();
    if (rt.ended()) break;
    // The whole keyboard, once per pass, while the keys go to another program's window; while
    // ours has the keyboard its own key events tell the same.
    if (globalKeys_ && !SDL_GetKeyboardFocus()) globalKeys_->poll(rt.keys());
    rt.fireDueTimers(nowUs());
    rt.collect();
    if (rt.ended()) break;
    showPending();
    if (rt.ended()) break;
    for (auto& [form, w] : windows_)
      if (w->needsPresent || w->presented != form->revision()) present(*w, false);
    if (auto next = rt.nextDeadline()) {
      waitUntil(*next);
    } else if (SDL_WaitEvent(&e)) {
      handle(rt, e);
    }
  }
  interaction_.reset();
  rt_ = nullptr;
}

void SdlProvider::reportError(const RuntimeError& e) {
  std::fprintf(stderr, "morofin: run-time error %d: %s\n", e.number(), e.what());
  const char* box = std::getenv("MOROFIN_NO_ERROR_BOX");
  if (ok_ && !(box && *box)) {
    const std::string text = "Run-time error '" + std::to_string(e.number()) + "':\n\n" + e.what();
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "morofin", text.c_str(), nullptr);
  }
}

}  // namespace platform::sdl
