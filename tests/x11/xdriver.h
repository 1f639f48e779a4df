#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace xdriver {

// The two windows' titles.
inline constexpr const char* kTitle = "モロフィン！V1.00";
inline constexpr const char* kGame = "モロフィン！";

using Clock = std::chrono::steady_clock;

struct Rgb {
  int r, g, b;
};

// The real program, started in a folder of its own with its sound and data folders beside it.
class Program {
 public:
  // Copies build/morofin and its folders into a fresh temporary folder.
  Program();
  ~Program();
  bool start(const std::vector<std::string>& extraEnv = {}, bool withDisplay = true);
  // Waits for the program to end; its exit status, or -1 on a time-out.
  int wait(std::chrono::milliseconds timeout);
  bool running();
  std::string stderrText() const;
  std::string folder() const { return folder_; }
  void kill9();
  int pid() const { return pid_; }

 private:
  std::string folder_;
  int pid_ = -1;
  int status_ = -1;
  bool done_ = false;
};

// A connection to the X server that plays the user: finds windows, reads their pixels and sends
// real key and mouse events through XTest.
class Desk {
 public:
  Desk();
  ~Desk();
  bool ok() const { return d_ != nullptr; }
  Display* display() const { return d_; }

  // The top-level window whose title is exactly `title`, waiting up to timeout.
  Window find(const std::string& title,
              std::chrono::milliseconds timeout = std::chrono::seconds(5));
  bool gone(const std::string& title, std::chrono::milliseconds timeout = std::chrono::seconds(5));
  std::string title(Window w);
  // The client area's origin on the screen and its size.
  void geometry(Window w, int& x, int& y, int& width, int& height);
  // The client area as RGB pixels, row by row.
  std::vector<Rgb> grab(Window w, int& width, int& height);
  Rgb pixel(Window w, int x, int y);

  void key(const char* keysym, bool down);
  // Held for a moment, as a person types.
  void tap(const char* keysym);
  // Pressed and released at once, seen by the game as one press.
  void flick(const char* keysym);
  void click(Window w, int x, int y);
  // Presses the left button at (x0, y0) on the screen, moves to (x1, y1) and lets go, as a person
  // drags a window by its title bar.
  void drag(int x0, int y0, int x1, int y1);
  // The outer corner of the window's frame on the screen: the top-level window that holds it
  // (the window manager's frame, or the window itself where there is none).
  void frame(Window w, int& x, int& y);
  // A property's values: atom names, or 32-bit numbers.
  std::vector<std::string> atoms(Window w, const char* property);
  std::vector<long> numbers(Window w, const char* property);
  void closeBox(Window w);
  // A window of the test's own that takes the keyboard focus away from the game.
  Window focusThief();

  // Polls until pred() holds or timeout passes.
  static bool until(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

 private:
  Display* d_ = nullptr;
  Window thief_ = 0;
};

// The program's media requests with the time of each, from its MOROFIN_MEDIA_LOG file.
struct MediaRequest {
  Clock::time_point at;
  std::string kind, text;
};
std::vector<MediaRequest> readMediaLog(const std::string& path);

// A window manager (openbox) on the test's display while this object lives, ended by its pid.
class WindowManager {
 public:
  WindowManager();
  ~WindowManager();
  // False when openbox is not installed or did not take the screen; why() says which.
  bool ok() const { return ok_; }
  const std::string& why() const { return why_; }

 private:
  int pid_ = -1;
  bool ok_ = false;
  std::string why_;
};

}  // namespace xdriver
