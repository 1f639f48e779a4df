#pragma once

#include <string>
#include <vector>

namespace xdriver {

// A Japanese input method as a desktop runs one: IBus with the Anthy engine in hiragana mode, on
// a session bus of its own, serving the test's X display over D-Bus and XIM. Everything it starts
// ends with it, by process id ("ibus exit" first, as a session does).
class InputMethod {
 public:
  InputMethod();
  ~InputMethod();
  InputMethod(const InputMethod&) = delete;
  InputMethod& operator=(const InputMethod&) = delete;

  // Whether IBus, its Anthy engine and a session bus are installed at all.
  bool installed() const { return installed_; }
  // False when the input method is not installed or did not come up; why() says which.
  bool ok() const { return ok_; }
  const std::string& why() const { return why_; }
  // What a Japanese desktop exports to the programs of its session.
  const std::vector<std::string>& sessionEnv() const { return sessionEnv_; }

 private:
  int run(const std::vector<std::string>& argv, int timeoutMs);
  std::string dir_;
  int bus_ = -1;
  int daemon_ = -1;
  bool installed_ = false;
  bool ok_ = false;
  std::string why_;
  std::vector<std::string> env_;         // for IBus's own commands
  std::vector<std::string> sessionEnv_;  // for the programs under test
};

// A plain SDL window with text input on, as most SDL programs have it, that writes what it
// receives to a file: "key <name>" for a key event, "text <utf-8>" for typed text.
class TextInputProbe {
 public:
  explicit TextInputProbe(const std::vector<std::string>& env);
  ~TextInputProbe();
  // Waits until the window has the keyboard focus.
  bool focused();
  std::string received() const;

 private:
  std::string out_;
  int pid_ = -1;
};

}  // namespace xdriver
