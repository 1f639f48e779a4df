#include "platform/win32/win32_provider.h"

// clang-format off
#include "platform/utf16_windows.h"
#include <windowsx.h>
#include <imm.h>
#include <mmsystem.h>
// clang-format on

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/compose.h"
#include "platform/form.h"
#include "platform/keys.h"
#include "platform/runtime.h"
#include "platform/say.h"
#include "platform/scale.h"
#include "platform/win32/win32_sound.h"

namespace platform::win32 {

struct Win32Provider::Window {
  Win32Provider* provider = nullptr;  // whom the window procedure hands the messages to
  Form* form = nullptr;
  HWND hwnd = nullptr;
  bool pendingShow = true;
  bool needsPresent = true;
  int scale = 1;
  NativeImage image;  // the kept image, in the DIB's own layout
  HICON icon = nullptr;
};

namespace {

constexpr wchar_t kClassName[] = L"morofin";
// A fixed single border with a caption and the close box only: no minimise, no maximise, no
// resizing.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr UINT_PTR kMoveLoopTimer = 1;
constexpr int kShiftKey = 0x10;
// While a pad is connected the loop reads it this often, even when nothing else is due.
constexpr int64_t kPadPollUs = 8000;  // VK_SHIFT: the system's key names give way to the runtime's

// The five keys the game polls.
constexpr int kPolledKeys[] = {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_SPACE};

bool isGameKey(WPARAM vk) {
  switch (vk) {
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_SPACE:
    case VK_TAB:
    case VK_RETURN:
      return true;
    default:
      return false;
  }
}

// Functions of newer Windows versions, looked up at run time so that the program starts on any.
template <typename F>
F user32(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

void becomeDpiAware() {
  using PerMonitor = BOOL(WINAPI*)(HANDLE);
  if (auto set = user32<PerMonitor>("SetProcessDpiAwarenessContext"))
    if (set(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4))))  // per monitor, version 2
      return;
  SetProcessDPIAware();
}

unsigned dpiOf(HWND h) {
  using ForWindow = UINT(WINAPI*)(HWND);
  static const auto get = user32<ForWindow>("GetDpiForWindow");
  if (get && h)
    if (UINT d = get(h)) return d;
  HDC dc = GetDC(nullptr);
  const int d = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(nullptr, dc);
  return d > 0 ? static_cast<unsigned>(d) : 96;
}

// The outer size of a window whose client area is width x height at this DPI.
SIZE outerSize(int width, int height, unsigned dpi) {
  using ForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = user32<ForDpi>("AdjustWindowRectExForDpi");
  RECT r{0, 0, width, height};
  if (!adjust || !adjust(&r, kStyle, FALSE, 0, dpi)) AdjustWindowRectEx(&r, kStyle, FALSE, 0);
  return {r.right - r.left, r.bottom - r.top};
}

// The design's icon as a Windows icon, opaque.
HICON iconFrom(const Picture& p) {
  if (p.empty()) return nullptr;
  const Bitmap& b = *p.bitmap();
  BITMAPV5HEADER h{};
  h.bV5Size = sizeof h;
  h.bV5Width = b.width;
  h.bV5Height = -b.height;
  h.bV5Planes = 1;
  h.bV5BitCount = 32;
  h.bV5Compression = BI_BITFIELDS;
  h.bV5RedMask = 0x00FF0000;
  h.bV5GreenMask = 0x0000FF00;
  h.bV5BlueMask = 0x000000FF;
  h.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC dc = GetDC(nullptr);
  HBITMAP color =
      CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, dc);
  if (!color) return nullptr;
  auto* px = static_cast<uint32_t*>(bits);
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const size_t i = (static_cast<size_t>(y) * b.width + x) * 3;
      px[static_cast<size_t>(y) * b.width + x] = 0xFF000000u | uint32_t{b.pixels[i]} << 16 |
                                                 uint32_t{b.pixels[i + 1]} << 8 | b.pixels[i + 2];
    }
  HBITMAP mask = CreateBitmap(b.width, b.height, 1, 1, nullptr);
  ICONINFO ii{TRUE, 0, 0, mask, color};
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(mask);
  DeleteObject(color);
  return icon;
}

// A band of rows of the kept image to the window: the band is given as a top-down DIB of its own
// height, so the source rectangle never depends on how a driver counts rows.
void blit(HDC dc, const NativeImage& img, RECT r) {
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, img.width);
  r.bottom = std::min<LONG>(r.bottom, img.height);
  if (r.left >= r.right || r.top >= r.bottom) return;
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
  bmi.bmiHeader.biWidth = img.width;
  bmi.bmiHeader.biHeight = -(r.bottom - r.top);
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  const uint32_t* band = img.pixels.data() + static_cast<size_t>(r.top) * img.width;
  StretchDIBits(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, r.left, 0, r.right - r.left,
                r.bottom - r.top, band, &bmi, DIB_RGB_COLORS, SRCCOPY);
}

// A window pixel to the client area's pixel, rounding down also left of or above the window.
int unscale(int v, int n) {
  return v >= 0 ? v / n : -((-v + n - 1) / n);
}

LRESULT CALLBACK windowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  if (auto* w = reinterpret_cast<Win32Provider::Window*>(GetWindowLongPtrW(h, GWLP_USERDATA))) {
    const intptr_t r = w->provider->onMessage(*w, msg, wp, lp);
    if (r != -1) return r;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

}  // namespace

Win32Provider::Win32Provider() : media_(openSound()) {
  becomeDpiAware();
  timeBeginPeriod(1);
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  frequency_ = f.QuadPart;
  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION where the system has it, an ordinary one elsewhere.
  timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0x2, TIMER_ALL_ACCESS);
  if (!timer_) timer_ = CreateWaitableTimerW(nullptr, FALSE, nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));     // the program's own icon
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc) || !timer_) {
    problem_ = "cannot open a window: " + systemMessage(GetLastError());
    return;
  }
  ok_ = true;
}

Win32Provider::~Win32Provider() {
  for (auto& [form, w] : windows_) {
    if (w->hwnd) DestroyWindow(w->hwnd);
    if (w->icon) DestroyIcon(w->icon);
  }
  windows_.clear();
  media_.reset();
  if (timer_) CloseHandle(timer_);
  timeEndPeriod(1);
}

int64_t Win32Provider::nowUs() {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart / frequency_ * 1000000 + c.QuadPart % frequency_ * 1000000 / frequency_;
}

void Win32Provider::openWindow(Form& form) {
  auto w = std::make_unique<Window>();
  w->form = &form;
  windows_[&form] = std::move(w);
}

int Win32Provider::scaleFor(unsigned dpi, const Form& form) const {
  const std::string res = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
  const int wanted = desktopScale(nullptr, res.c_str());
  if (wanted <= 1) return 1;
  RECT work{0, 0, 1 << 16, 1 << 16};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return fittingScale(wanted, form.clientWidthPx(), form.clientHeightPx(), work.right - work.left,
                      work.bottom - work.top);
}

void Win32Provider::createWindow(Window& w) {
  Form& form = *w.form;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  // The form's place is the outer corner of its window, as CreateWindow takes it.
  if (form.hasPosition()) std::tie(x, y) = form.positionPx();
  // Made at the design's size first; its own DPI (its monitor's) then gives the scale.
  unsigned dpi = 96;
  w.provider = this;
  const SIZE one = outerSize(form.clientWidthPx(), form.clientHeightPx(), dpi);
  w.hwnd = CreateWindowExW(0, kClassName, widen(form.design().caption).c_str(), kStyle, x, y,
                           one.cx, one.cy, nullptr, nullptr, GetModuleHandleW(nullptr), &w);
  if (!w.hwnd) {
    raise(err::kInvalidCall, "cannot create a window: " + systemMessage(GetLastError()));
  }
  // The game types no text: a Japanese input method never sees its keys.
  ImmAssociateContextEx(w.hwnd, nullptr, 0);
  dpi = dpiOf(w.hwnd);
  w.scale = scaleFor(dpi, form);
  const SIZE outer =
      outerSize(form.clientWidthPx() * w.scale, form.clientHeightPx() * w.scale, dpi);
  SetWindowPos(w.hwnd, nullptr, 0, 0, outer.cx, outer.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  w.icon = iconFrom(form.design().icon);
  if (w.icon) {
    SendMessageW(w.hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(w.icon));
    SendMessageW(w.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(w.icon));
  }
}

void Win32Provider::closeWindow(Form& form) {
  auto it = windows_.find(&form);
  if (it == windows_.end()) return;
  if (interaction_) interaction_->cancel(form);
  if (newest_ == &form) newest_ = nullptr;
  Window& w = *it->second;
  if (w.hwnd) {
    SetWindowLongPtrW(w.hwnd, GWLP_USERDATA, 0);  // its last messages go to nobody
    DestroyWindow(w.hwnd);
  }
  if (w.icon) DestroyIcon(w.icon);
  windows_.erase(it);
}

void Win32Provider::moveWindow(Form& form) {
  auto it = windows_.find(&form);
  if (it == windows_.end() || !it->second->hwnd) return;  // not made yet: made in its place
  auto [x, y] = form.positionPx();
  SetWindowPos(it->second->hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::optional<std::pair<int, int>> Win32Provider::windowPlacePx(const Form& form) {
  auto it = windows_.find(const_cast<Form*>(&form));
  if (it == windows_.end() || !it->second->hwnd || it->second->pendingShow) return std::nullopt;
  RECT r;
  if (!GetWindowRect(it->second->hwnd, &r)) return std::nullopt;
  return std::pair{static_cast<int>(r.left), static_cast<int>(r.top)};
}

void Win32Provider::showPending() {
  for (auto& [form, w] : windows_) {
    if (!w->pendingShow) continue;
    if (!rt_->dispatch([&] { createWindow(*w); })) return;
    w->pendingShow = false;
    newest_ = w->form;
    present(*w, true);
    ShowWindow(w->hwnd, SW_SHOW);
    SetForegroundWindow(w->hwnd);
    w->needsPresent = true;
  }
}

void Win32Provider::present(Window& w, bool whole) {
  if (!w.hwnd || !w.form->loaded()) return;
  const int cw = w.form->clientWidthPx() * w.scale, ch = w.form->clientHeightPx() * w.scale;
  if (w.image.width != cw || w.image.height != ch) {
    w.image = NativeImage(cw, ch, pixelFormat());
    w.form->invalidate();
    whole = true;
  }
  const std::vector<Rect> rects = composeChanges(*w.form, Canvas::over(w.image, w.scale));
  HDC dc = GetDC(w.hwnd);
  if (whole) {
    blit(dc, w.image, {0, 0, cw, ch});
  } else {
    for (Rect r : rects) blit(dc, w.image, {r.x, r.y, r.x + r.w, r.y + r.h});
  }
  ReleaseDC(w.hwnd, dc);
  w.needsPresent = false;
}

void Win32Provider::presentChanges() {
  showPending();
  if (rt_ && rt_->ended()) return;
  for (auto& [form, w] : windows_)
    if (w->needsPresent || form->dirty()) present(*w, w->needsPresent);
}

bool Win32Provider::ourWindowHasKeyboard() const {
  HWND focus = GetForegroundWindow();
  for (const auto& [form, w] : windows_)
    if (w->hwnd && w->hwnd == focus) return true;
  return false;
}

Form* Win32Provider::padScreen() const {
  HWND focus = GetForegroundWindow();
  for (const auto& [form, w] : windows_)
    if (w->hwnd && w->hwnd == focus) return form;
  return newest_;
}

intptr_t Win32Provider::onMessage(Window& w, unsigned msg, uintptr_t wp, intptr_t lp) {
  Runtime* rt = rt_;
  Form* f = w.form;
  const int n = w.scale;
  switch (msg) {
    case WM_CLOSE:
      if (rt) rt->dispatch([f] { f->Unload(); });
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the kept image covers everything: no flicker
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(w.hwnd, &ps);
      if (w.image.width == 0 && f->loaded()) {
        w.needsPresent = true;
      } else {
        blit(dc, w.image, ps.rcPaint);
      }
      EndPaint(w.hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      if (!interaction_) return -1;
      SetCapture(w.hwnd);
      interaction_->mouseDown(*f, unscale(GET_X_LPARAM(lp), n), unscale(GET_Y_LPARAM(lp), n));
      return 0;
    case WM_MOUSEMOVE:
      if (!interaction_) return -1;
      interaction_->mouseMove(*f, unscale(GET_X_LPARAM(lp), n), unscale(GET_Y_LPARAM(lp), n));
      return 0;
    case WM_LBUTTONUP:
      if (!interaction_) return -1;
      ReleaseCapture();
      interaction_->mouseUp(*f, unscale(GET_X_LPARAM(lp), n), unscale(GET_Y_LPARAM(lp), n));
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP: {
      if (!rt || !interaction_ || !isGameKey(wp)) return -1;
      const int vk = static_cast<int>(wp);
      const bool down = msg == WM_KEYDOWN;
      const bool repeat = down && (lp & (1 << 30)) != 0;
      if (!repeat) rt->keys().setHeld(vk, down);
      if (down && (!repeat || vk == VK_TAB))
        interaction_->keyDown(*f, vk, GetKeyState(kShiftKey) < 0);
      else if (!down)
        interaction_->keyUp(*f, vk);
      return 0;
    }
    case WM_KILLFOCUS:
      if (interaction_) interaction_->cancel(*f);
      return -1;
    case WM_DPICHANGED: {
      const unsigned dpi = LOWORD(wp);
      const auto* suggested = reinterpret_cast<const RECT*>(lp);
      w.scale = scaleFor(dpi, *f);
      const SIZE outer =
          outerSize(f->clientWidthPx() * w.scale, f->clientHeightPx() * w.scale, dpi);
      SetWindowPos(w.hwnd, nullptr, suggested->left, suggested->top, outer.cx, outer.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      w.needsPresent = true;
      return 0;
    }
    case WM_DEVICECHANGE:
      xpads_.devicesChanged();  // perhaps a pad: its slot is asked at once
      return -1;
    case WM_ENTERSIZEMOVE:
      // Windows runs a loop of its own while a window is dragged: the game goes on from a timer.
      inMoveLoop_ = true;
      SetTimer(w.hwnd, kMoveLoopTimer, USER_TIMER_MINIMUM, nullptr);
      return 0;
    case WM_EXITSIZEMOVE:
      inMoveLoop_ = false;
      KillTimer(w.hwnd, kMoveLoopTimer);
      return 0;
    case WM_TIMER:
      if (wp != kMoveLoopTimer || !rt || !inMoveLoop_) return -1;
      rt->fireDueTimers(nowUs());
      presentChanges();
      return 0;
    default:
      return -1;
  }
}

void Win32Provider::pass(Runtime& rt) {
  MSG m;
  while (!rt.ended() && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      for (Form* f : rt.loadedForms()) rt.dispatch([f] { f->Unload(); });
      continue;
    }
    DispatchMessageW(&m);
  }
  rt.collect();
  if (rt.ended()) return;
  xpads_.poll(nowUs(), pads_, rt.keys(), interaction_.get(), padScreen());
  rt.collect();
  if (rt.ended()) return;
  // The whole keyboard, once per pass, while the keys go to another program's window; while
  // ours has the keyboard its own key messages tell the same.
  const bool readKeyboard = !ourWindowHasKeyboard();
  if (readKeyboard)
    for (int vk : kPolledKeys) rt.keys().setHeld(vk, (GetAsyncKeyState(vk) & 0x8000) != 0);
  rt.setKeysArriveAsEvents(!readKeyboard);
  rt.fireDueTimers(nowUs());
  rt.collect();
  if (rt.ended()) return;
  presentChanges();
}

void Win32Provider::wait(std::optional<int64_t> deadlineUs) {
  if (!deadlineUs) {
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return;
  }
  const int64_t remain = *deadlineUs - nowUs();
  if (remain <= 0) return;
  LARGE_INTEGER due;
  due.QuadPart = -remain * 10;  // relative, in 100 ns
  HANDLE h = timer_;
  if (SetWaitableTimer(h, &due, 0, nullptr, nullptr, FALSE))
    MsgWaitForMultipleObjectsEx(1, &h, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void Win32Provider::runLoop(Runtime& rt) {
  rt_ = &rt;
  interaction_ = std::make_unique<Interaction>(rt);
  while (!rt.ended()) {
    pass(rt);
    if (rt.ended()) break;
    // A connected pad is read every few milliseconds, the empty slots now and then.
    std::optional<int64_t> deadline = rt.nextDeadline();
    const int64_t padDue = nowUs() + (xpads_.any() ? kPadPollUs : XInputPads::kProbeUs);
    if (!deadline || *deadline > padDue) deadline = padDue;
    wait(deadline);
  }
  interaction_.reset();
  rt_ = nullptr;
}

void Win32Provider::reportError(const RuntimeError& e) {
  platform::sayProblem("run-time error %d: %s", e.number(), e.what());
  const char* box = std::getenv("MOROFIN_NO_ERROR_BOX");
  if (box && *box) return;
  const std::string text = "Run-time error '" + std::to_string(e.number()) + "':\n\n" + e.what();
  MessageBoxW(nullptr, widen(text).c_str(), L"morofin", MB_OK | MB_ICONERROR);
}

}  // namespace platform::win32
