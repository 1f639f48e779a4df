#include "tests/x11/input_method.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/x11/xdriver.h"

extern char** environ;

namespace fs = std::filesystem;

namespace xdriver {
namespace {

// This process's environment with the given NAME=value entries put over it.
std::vector<std::string> environment(const std::vector<std::string>& over) {
  std::vector<std::string> out;
  auto nameOf = [](const std::string& kv) { return kv.substr(0, kv.find('=')); };
  for (char** e = environ; *e; ++e) {
    std::string kv = *e;
    bool replaced = false;
    for (const auto& o : over) replaced = replaced || nameOf(o) == nameOf(kv);
    if (!replaced) out.push_back(kv);
  }
  out.insert(out.end(), over.begin(), over.end());
  return out;
}

// Starts argv[0] (looked up in PATH) with env, its standard output into outFile; its pid.
int spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          const std::string& outFile) {
  const int pid = ::fork();
  if (pid != 0) return pid;
  std::vector<char*> a, e;
  for (const auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
  a.push_back(nullptr);
  for (const auto& s : env) e.push_back(const_cast<char*>(s.c_str()));
  e.push_back(nullptr);
  if (FILE* f = std::freopen(outFile.c_str(), "w", stdout)) ::dup2(::fileno(f), 2);
  for (const auto& s : env)
    if (s.rfind("PATH=", 0) == 0) ::setenv("PATH", s.c_str() + 5, 1);  // for execvpe's look-up
  ::execvpe(a[0], a.data(), e.data());
  ::_exit(127);
}

// Ends a child: asks it to go, then makes it.
void end(int pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

InputMethod::InputMethod() {
  std::string tmpl = (fs::temp_directory_path() / "morofin-ime-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) {
    why_ = "cannot make a folder for the input method";
    return;
  }
  dir_ = tmpl;
  const char* path = std::getenv("PATH");
  // The Anthy engine is a Python program started as "python3": Debian's, which has its modules,
  // not whichever python3 comes first on a developer's PATH.
  env_ = {"PATH=/usr/bin:/bin:" + std::string(path ? path : ""), "HOME=" + dir_,
          "XDG_CONFIG_HOME=" + dir_ + "/config", "XDG_CACHE_HOME=" + dir_ + "/cache"};
  if (run({"dbus-daemon", "--version"}, 5000) != 0 || run({"ibus", "version"}, 5000) != 0 ||
      !fs::exists("/usr/libexec/ibus-engine-anthy")) {
    why_ = "dbus-daemon, ibus or ibus-anthy is not installed (tools/install-deps.sh installs them)";
    return;
  }
  installed_ = true;
  if (run({"dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"}, 5000) !=
      0) {
    why_ = "the session bus did not start";
    return;
  }
  std::istringstream printed(slurp(dir_ + "/out"));
  std::string address;
  printed >> address >> bus_;
  if (address.empty() || bus_ <= 0) {
    why_ = "the session bus printed no address";
    bus_ = -1;
    return;
  }
  env_.push_back("DBUS_SESSION_BUS_ADDRESS=" + address);
  // Japanese typing as Anthy starts it: hiragana, where Space types a full-width space.
  run({"gsettings", "set", "org.freedesktop.ibus.engine.anthy.common", "input-mode", "0"}, 5000);
  run({"gsettings", "set", "org.freedesktop.ibus.engine.anthy.common", "half-width-space", "false"},
      5000);
  run({"gsettings", "set", "org.freedesktop.ibus.general", "preload-engines", "['anthy']"}, 5000);
  daemon_ =
      spawn({"ibus-daemon", "--xim", "--panel=disable"}, environment(env_), dir_ + "/daemon.log");
  bool engine = false;
  for (int i = 0; i < 50 && !engine; ++i) {
    // "ibus engine anthy" says 1 even when it took the engine: ask which engine is on.
    run({"ibus", "engine", "anthy"}, 5000);
    engine = run({"ibus", "engine"}, 5000) == 0 && slurp(dir_ + "/out").rfind("anthy", 0) == 0;
    if (!engine) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  if (!engine) {
    why_ = "IBus did not take the Anthy engine: " + slurp(dir_ + "/daemon.log");
    return;
  }
  sessionEnv_ = {"DBUS_SESSION_BUS_ADDRESS=" + address,
                 "XDG_CONFIG_HOME=" + dir_ + "/config",
                 "XMODIFIERS=@im=ibus",
                 "GTK_IM_MODULE=ibus",
                 "QT_IM_MODULE=ibus",
                 "SDL_IM_MODULE=ibus",
                 "LANG=ja_JP.UTF-8"};
  ok_ = true;
}

InputMethod::~InputMethod() {
  if (daemon_ > 0) {
    run({"ibus", "exit"}, 5000);
    for (int i = 0; i < 100 && ::waitpid(daemon_, nullptr, WNOHANG) != daemon_; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    end(daemon_);
  }
  if (bus_ > 0) ::kill(bus_, SIGTERM);  // not our child: it forked away
  std::error_code ec;
  if (!dir_.empty()) fs::remove_all(dir_, ec);
}

// Runs an IBus or D-Bus command in the input method's environment; its exit status, or -1.
int InputMethod::run(const std::vector<std::string>& argv, int timeoutMs) {
  const int pid = spawn(argv, environment(env_), dir_ + "/out");
  if (pid < 0) return -1;
  int status = 0;
  for (int waited = 0; waited < timeoutMs; waited += 10) {
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  end(pid);
  return -1;
}

TextInputProbe::TextInputProbe(const std::vector<std::string>& env) {
  std::string tmpl = (fs::temp_directory_path() / "morofin-probe-XXXXXX").string();
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return;
  ::close(fd);
  out_ = tmpl;
  pid_ = spawn({MOROFIN_IME_PROBE}, environment(env), out_);
}

TextInputProbe::~TextInputProbe() {
  end(pid_);
  if (!out_.empty()) ::unlink(out_.c_str());
}

bool TextInputProbe::focused() {
  return Desk::until([&] { return received().find("focus\n") != std::string::npos; },
                     std::chrono::seconds(5));
}

std::string TextInputProbe::received() const {
  return slurp(out_);
}

}  // namespace xdriver
