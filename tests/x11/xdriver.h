#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace xdriver {

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
  void closeBox(Window w);
  // A window of the test's own that takes the keyboard focus away from the game.
  Window focusThief();

  // Polls until pred() holds or timeout passes.
  static bool until(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

 private:
  Display* d_ = nullptr;
  Window thief_ = 0;
};

}  // namespace xdriver
