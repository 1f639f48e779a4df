#include "tests/players.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace players {

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

}  // namespace

Process::Process(const std::vector<std::string>& command) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
  const pid_t pid = ::fork();
  process_ = pid;
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    std::vector<char*> argv;
    for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  in_ = in[1];
  out_ = out[0];
}

Process::~Process() {
  if (process_ > 0) {
    kill();
    finish();
  }
  if (in_ >= 0) ::close(static_cast<int>(in_));
  if (out_ >= 0) ::close(static_cast<int>(out_));
}

void Process::kill() {
  if (process_ > 0 && ::kill(static_cast<pid_t>(process_), SIGKILL) == 0) killed_ = true;
}

std::string Process::readLine() {
  std::string line;
  char c;
  for (;;) {
    ssize_t n = ::read(static_cast<int>(out_), &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') return line;
    line += c;
  }
}

void Process::go() {
  if (in_ >= 0) ::close(static_cast<int>(in_));
  in_ = -1;
}

int Process::finish(std::string* output) {
  go();
  std::string rest;
  char buf[512];
  for (;;) {
    ssize_t n = ::read(static_cast<int>(out_), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    rest.append(buf, static_cast<size_t>(n));
  }
  if (output) *output = rest;
  int status = 0;
  const pid_t pid = static_cast<pid_t>(process_);
  if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  process_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

LockHolder::LockHolder(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  handle_ = fd;
  locked_ = fd >= 0 && ::flock(fd, LOCK_EX) == 0;
}

LockHolder::~LockHolder() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

std::vector<std::string> scoreWriter(const fs::path& programFolder,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> command{MOROFIN_SCORE_WRITER, programFolder.string()};
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

std::optional<std::vector<std::string>> asPlayer(std::vector<std::string> command) {
  if (::geteuid() != 0) return command;
  static const bool canDrop = [] {
    Process p(
        {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/bin/true"});
    return p.finish() == 0;
  }();
  if (!canDrop) return std::nullopt;
  command.insert(command.begin(),
                 {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
  return command;
}

void giveToPlayer(const fs::path& path) {
  if (::geteuid() == 0 && ::lchown(path.c_str(), kNobody, kNogroup) != 0) {
  }
}

void openToAll(const fs::path& folder) {
  ::chmod(folder.c_str(), 0755);
}

}  // namespace players
