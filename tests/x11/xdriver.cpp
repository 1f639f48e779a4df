#include "tests/x11/xdriver.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace xdriver {

Program::Program() {
  std::string tmpl = (fs::temp_directory_path() / "morofin-e2e-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
  folder_ = tmpl;
  // MOROFIN_PROGRAM_BUILD runs another build of the program (a bench setting two side by side).
  const char* other = std::getenv("MOROFIN_PROGRAM_BUILD");
  const fs::path build(other && *other ? other : MOROFIN_BINARY_DIR);
  fs::copy_file(build / "morofin", fs::path(folder_) / "morofin");
  fs::copy(build / "sound", fs::path(folder_) / "sound", fs::copy_options::recursive);
  fs::create_directories(fs::path(folder_) / "data");
  for (const char* m : {"e", "n", "h", "d"})
    std::ofstream(fs::path(folder_) / "data" / (std::string(m) + ".dat")) << "0\r\n";
}

Program::~Program() {
  if (pid_ > 0 && !done_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

bool Program::start(const std::vector<std::string>& extraEnv, bool withDisplay) {
  const std::string exe = folder_ + "/morofin";
  const std::string err = folder_ + "/stderr.txt";
  done_ = false;
  pid_ = ::fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 2);
    ::setenv("MOROFIN_NO_ERROR_BOX", "1", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    ::unsetenv("GDK_SCALE");  // the desktop's scale comes from the test's X server alone
    if (!withDisplay) {
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
    }
    for (const auto& kv : extraEnv) ::putenv(const_cast<char*>(kv.c_str()));
    ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return true;
}

bool Program::running() {
  if (done_) return false;
  int st;
  if (::waitpid(pid_, &st, WNOHANG) == pid_) {
    done_ = true;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
  }
  return true;
}

int Program::wait(std::chrono::milliseconds timeout) {
  Desk::until([&] { return !running(); }, timeout);
  return done_ ? status_ : -1;
}

void Program::kill9() {
  if (pid_ > 0 && !done_) {
    ::kill(pid_, SIGKILL);
    wait(std::chrono::seconds(5));
  }
}

std::string Program::stderrText() const {
  std::ifstream f(folder_ + "/stderr.txt");
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

namespace {
// Windows come and go while we look at them; an error about one that just went is no failure.
int ignoreXErrors(Display*, XErrorEvent*) {
  return 0;
}
}  // namespace

Desk::Desk() {
  XSetErrorHandler(ignoreXErrors);
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) return;
  // A busy X server now and then turns a connection away; a person's desktop would be there a
  // moment later, so ask again for a while before giving up.
  for (int attempt = 0; attempt < 40 && !d_; ++attempt) {
    if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    d_ = XOpenDisplay(nullptr);
  }
}

Desk::~Desk() {
  if (d_) {
    if (thief_) XDestroyWindow(d_, thief_);
    XCloseDisplay(d_);
  }
}

std::string Desk::title(Window w) {
  Atom utf8 = XInternAtom(d_, "UTF8_STRING", False);
  Atom netName = XInternAtom(d_, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  std::string out;
  if (XGetWindowProperty(d_, w, netName, 0, 1024, False, utf8, &type, &format, &n, &after, &data) ==
          Success &&
      data) {
    out.assign(reinterpret_cast<char*>(data), n);
    XFree(data);
  }
  return out;
}

bool Desk::until(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

namespace {
void collect(Display* d, Window w, std::vector<Window>& out) {
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &parent, &kids, &n)) return;
  for (unsigned i = 0; i < n; ++i) {
    out.push_back(kids[i]);
    collect(d, kids[i], out);
  }
  if (kids) XFree(kids);
}
}  // namespace

Window Desk::find(const std::string& t, std::chrono::milliseconds timeout) {
  Window found = 0;
  until(
      [&] {
        std::vector<Window> all;
        collect(d_, DefaultRootWindow(d_), all);
        for (Window w : all) {
          XWindowAttributes a;
          if (title(w) == t && XGetWindowAttributes(d_, w, &a) && a.map_state == IsViewable) {
            found = w;
            return true;
          }
        }
        return false;
      },
      timeout);
  return found;
}

bool Desk::gone(const std::string& t, std::chrono::milliseconds timeout) {
  return until([&] { return find(t, std::chrono::milliseconds(0)) == 0; }, timeout);
}

void Desk::geometry(Window w, int& x, int& y, int& width, int& height) {
  XWindowAttributes a;
  XGetWindowAttributes(d_, w, &a);
  Window child;
  XTranslateCoordinates(d_, w, DefaultRootWindow(d_), 0, 0, &x, &y, &child);
  width = a.width;
  height = a.height;
}

std::vector<Rgb> Desk::grab(Window w, int& width, int& height) {
  int x, y;
  geometry(w, x, y, width, height);
  XImage* img = XGetImage(d_, w, 0, 0, width, height, AllPlanes, ZPixmap);
  std::vector<Rgb> out;
  if (!img) return out;
  out.reserve(static_cast<size_t>(width) * height);
  for (int yy = 0; yy < height; ++yy)
    for (int xx = 0; xx < width; ++xx) {
      unsigned long p = XGetPixel(img, xx, yy);
      out.push_back({int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255)});
    }
  XDestroyImage(img);
  return out;
}

Rgb Desk::pixel(Window w, int x, int y) {
  XImage* img = XGetImage(d_, w, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!img) return {-1, -1, -1};
  unsigned long p = XGetPixel(img, 0, 0);
  XDestroyImage(img);
  return {int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255)};
}

void Desk::key(const char* keysym, bool down) {
  KeyCode code = XKeysymToKeycode(d_, XStringToKeysym(keysym));
  XTestFakeKeyEvent(d_, code, down ? True : False, CurrentTime);
  XFlush(d_);
}

void Desk::tap(const char* keysym) {
  key(keysym, true);
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  key(keysym, false);
}

void Desk::flick(const char* keysym) {
  key(keysym, true);
  key(keysym, false);
}

void Desk::click(Window w, int x, int y) {
  int ox, oy, wd, ht;
  geometry(w, ox, oy, wd, ht);
  XTestFakeMotionEvent(d_, -1, ox + x, oy + y, CurrentTime);
  XFlush(d_);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  XTestFakeButtonEvent(d_, 1, True, CurrentTime);
  XFlush(d_);
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  XTestFakeButtonEvent(d_, 1, False, CurrentTime);
  XFlush(d_);
}

void Desk::closeBox(Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d_, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d_, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d_, w, False, NoEventMask, &e);
  XFlush(d_);
}

Window Desk::focusThief() {
  if (!thief_) {
    thief_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 1000, 600, 100, 100, 0, 0, 0);
    XMapWindow(d_, thief_);
    XSync(d_, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  XSetInputFocus(d_, thief_, RevertToParent, CurrentTime);
  XSync(d_, False);
  return thief_;
}

void Desk::drag(int x0, int y0, int x1, int y1) {
  XTestFakeMotionEvent(d_, -1, x0, y0, CurrentTime);
  XFlush(d_);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  XTestFakeButtonEvent(d_, 1, True, CurrentTime);
  XFlush(d_);
  for (int i = 1; i <= 10; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    XTestFakeMotionEvent(d_, -1, x0 + (x1 - x0) * i / 10, y0 + (y1 - y0) * i / 10, CurrentTime);
    XFlush(d_);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  XTestFakeButtonEvent(d_, 1, False, CurrentTime);
  XFlush(d_);
}

void Desk::frame(Window w, int& x, int& y) {
  const Window rootWindow = DefaultRootWindow(d_);
  Window top = w;
  for (;;) {
    Window root, parent, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d_, top, &root, &parent, &kids, &n)) break;
    if (kids) XFree(kids);
    if (parent == rootWindow || parent == 0) break;
    top = parent;
  }
  XWindowAttributes a;
  XGetWindowAttributes(d_, top, &a);
  x = a.x;
  y = a.y;
}

namespace {
template <typename T>
std::vector<T> property(Display* d, Window w, const char* name, Atom want) {
  std::vector<T> out;
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  Atom prop = XInternAtom(d, name, False);
  if (XGetWindowProperty(d, w, prop, 0, 64, False, want, &type, &format, &n, &after, &data) ==
          Success &&
      data && format == 32) {
    const long* v = reinterpret_cast<const long*>(data);
    for (unsigned long i = 0; i < n; ++i) out.push_back(static_cast<T>(v[i]));
  }
  if (data) XFree(data);
  return out;
}
}  // namespace

std::vector<std::string> Desk::atoms(Window w, const char* name) {
  std::vector<std::string> out;
  for (Atom a : property<Atom>(d_, w, name, XA_ATOM)) {
    char* text = XGetAtomName(d_, a);
    if (text) {
      out.push_back(text);
      XFree(text);
    }
  }
  return out;
}

std::vector<long> Desk::numbers(Window w, const char* name) {
  return property<long>(d_, w, name, AnyPropertyType);
}

std::vector<MediaRequest> readMediaLog(const std::string& path) {
  std::vector<MediaRequest> out;
  std::ifstream f(path);
  for (std::string line; std::getline(f, line);) {
    std::istringstream in(line);
    long long us = 0;
    MediaRequest r;
    in >> us >> r.kind;
    std::getline(in >> std::ws, r.text);
    r.at = Clock::time_point(std::chrono::microseconds(us));
    out.push_back(std::move(r));
  }
  return out;
}

WindowManager::WindowManager() {
  const char* path = "/usr/bin/openbox";
  if (::access(path, X_OK) != 0) {
    why_ = "openbox is not installed (tools/install-deps.sh installs it)";
    return;
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(path, path, "--sm-disable", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // It has taken the screen once it names itself on the root window.
  Desk d;
  ok_ = d.ok() &&
        Desk::until(
            [&] {
              Window root = DefaultRootWindow(d.display());
              return !property<long>(d.display(), root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW)
                          .empty();
            },
            std::chrono::seconds(10));
  if (!ok_) why_ = "openbox did not take the screen";
}

WindowManager::~WindowManager() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  // The next test starts on a bare screen: wait until the root no longer names a manager.
  Desk d;
  if (d.ok())
    Desk::until(
        [&] {
          Window root = DefaultRootWindow(d.display());
          Window check = 0;
          auto v = property<long>(d.display(), root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
          if (v.empty()) return true;
          check = static_cast<Window>(v[0]);
          XWindowAttributes a;
          return !XGetWindowAttributes(d.display(), check, &a);
        },
        std::chrono::seconds(5));
}

}  // namespace xdriver
