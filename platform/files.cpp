#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>

namespace platform {

std::string nativePath(const std::string& gamePath) {
  std::string p = gamePath;
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

std::string executableFolder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = '\0';
  std::string s(buf);
  auto slash = s.rfind('/');
  return slash == 0 ? "/" : s.substr(0, slash);
}

bool setCurrentFolder(const std::string& folder) {
  return ::chdir(folder.c_str()) == 0;
}

ReadResult readSmallFile(const std::string& path, size_t maxBytes) {
  ReadResult r;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    r.status = errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kUnreadable;
    r.error = std::strerror(errno);
    return r;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    r.status = ReadResult::kUnreadable;
    r.error = S_ISDIR(st.st_mode) ? "it is a folder, not a file" : "not a regular file";
    ::close(fd);
    return r;
  }
  r.status = ReadResult::kOk;
  char buf[4096];
  while (r.bytes.size() < maxBytes) {
    ssize_t n = ::read(fd, buf, std::min(sizeof buf, maxBytes - r.bytes.size()));
    if (n < 0) {
      if (errno == EINTR) continue;
      r.status = ReadResult::kUnreadable;
      r.error = std::strerror(errno);
      break;
    }
    if (n == 0) break;
    r.bytes.append(buf, static_cast<size_t>(n));
  }
  if (r.status == ReadResult::kOk && r.bytes.size() >= maxBytes) {
    char extra;
    if (::read(fd, &extra, 1) == 1) r.status = ReadResult::kTooLarge;
  }
  ::close(fd);
  return r;
}

namespace {

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string replaceFileAtomically(const std::string& path, const std::string& bytes) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code ec;
  // A score file made read-only by its owner is left as it is.
  if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
    return "cannot write " + path + ": the file is read-only";
  fs::create_directories(folder, ec);
  if (ec) return "cannot create folder " + folder.string() + ": " + ec.message();
  const std::string prefix = "." + target.filename().string() + ".";
  // Temporary files that a write cut short by a crash left behind; a minute old is surely dead.
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0) {
      std::error_code age;
      auto when = fs::last_write_time(e.path(), age);
      if (!age && fs::file_time_type::clock::now() - when > std::chrono::minutes(1))
        fs::remove(e.path(), age);
    }
  }
  std::string tmpl = (folder / (prefix + "XXXXXX")).string();
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return "cannot write in " + folder.string() + ": " + std::strerror(errno);
  ::fchmod(fd, 0644);
  bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    ::unlink(tmpl.c_str());
    return "cannot write " + path + ": " + std::strerror(saved);
  }
  // Make the rename itself durable.
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return {};
}

}  // namespace platform
