#include "platform/files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
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

namespace {

namespace fs = std::filesystem;

// Whether this process, with its effective ids, may use the path so.
bool mayAccess(const std::string& path, int how) {
  return ::faccessat(AT_FDCWD, path.c_str(), how, AT_EACCESS) == 0;
}

// Our own updates hold a lock for milliseconds; a lock held for seconds belongs to some other
// program that has hung, and must not hang the game as well. False when the time ran out.
bool lock(int fd, int how, std::chrono::milliseconds patience) {
  const auto until = std::chrono::steady_clock::now() + patience;
  while (::flock(fd, how | LOCK_NB) != 0) {
    // A file system without locks leaves everyone to go ahead.
    if (errno != EWOULDBLOCK && errno != EINTR) return true;
    if (std::chrono::steady_clock::now() > until) return false;
    ::usleep(1000);
  }
  return true;
}

// Reads from the file's current position to its end, up to maxBytes, into r.
void readRest(int fd, size_t maxBytes, ReadResult& r) {
  r.status = ReadResult::kOk;
  char buf[4096];
  while (r.bytes.size() < maxBytes) {
    ssize_t n = ::read(fd, buf, std::min(sizeof buf, maxBytes - r.bytes.size()));
    if (n < 0) {
      if (errno == EINTR) continue;
      r.status = ReadResult::kUnreadable;
      r.error = std::strerror(errno);
      return;
    }
    if (n == 0) return;
    r.bytes.append(buf, static_cast<size_t>(n));
  }
  char extra;
  if (::read(fd, &extra, 1) == 1) r.status = ReadResult::kTooLarge;
}

fs::path folderOf(const fs::path& file) {
  return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

const char* notAFile(const struct stat& st) {
  return S_ISDIR(st.st_mode) ? "it is a folder, not a file" : "not a regular file";
}

}  // namespace

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
    r.error = notAFile(st);
    ::close(fd);
    return r;
  }
  // Past that, reading a file that may be half changed is still better than no game.
  lock(fd, LOCK_SH, std::chrono::seconds(2));
  readRest(fd, maxBytes, r);
  ::close(fd);
  return r;
}

std::string userDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  std::string home;
  if (const char* h = std::getenv("HOME"); h && h[0] == '/') {
    home = h;
  } else {
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &found) == 0 && found &&
        found->pw_dir[0] == '/')
      home = found->pw_dir;
  }
  return home.empty() ? std::string() : home + "/.local/share";
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool isFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string followLinks(const std::string& path) {
  fs::path p(path);
  // As many links as the kernel itself follows before it gives up on a loop.
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) break;
    fs::path target = fs::read_symlink(p, ec);
    if (ec) break;
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  return p.string();
}

bool canStoreAt(const std::string& path) {
  const fs::path real = followLinks(path);
  struct stat st {};
  if (::stat(real.c_str(), &st) == 0) return S_ISREG(st.st_mode) && mayAccess(real, R_OK | W_OK);
  if (errno != ENOENT) return false;
  // The file would be created in the nearest folder that exists, with the folders missing below it.
  fs::path folder = real.parent_path();
  for (;;) {
    if (folder.empty()) folder = ".";
    if (::stat(folder.c_str(), &st) == 0)
      return S_ISDIR(st.st_mode) && mayAccess(folder, W_OK | X_OK);
    if (errno != ENOENT || folder.parent_path() == folder) return false;
    folder = folder.parent_path();
  }
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

void syncFolder(const fs::path& folder) {
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

// Temporary files that a write cut short by a crash left behind; a minute old is surely dead.
void clearStaleTemporaries(const fs::path& folder, const std::string& prefix) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0) {
      std::error_code age;
      auto when = fs::last_write_time(e.path(), age);
      if (!age && fs::file_time_type::clock::now() - when > std::chrono::minutes(1))
        fs::remove(e.path(), age);
    }
  }
}

enum class Placed { kDone, kFailed, kSomeoneWasFirst };

// Writes the content to a temporary file in the target's folder, flushes it and moves it into the
// target's place. With old, the new file takes the old one's mode, owner and group; without, the
// target must not exist yet, and a file that another program put there first is left alone.
Placed placeNewFile(const fs::path& target, const std::string& bytes, const struct stat* old,
                    std::string& why) {
  const fs::path folder = folderOf(target);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    why = "cannot create folder " + folder.string() + ": " + ec.message();
    return Placed::kFailed;
  }
  const std::string prefix = "." + target.filename().string() + ".";
  clearStaleTemporaries(folder, prefix);
  std::string tmpl = (folder / (prefix + "XXXXXX")).string();
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) {
    why = "cannot write in " + folder.string() + ": " + std::strerror(errno);
    return Placed::kFailed;
  }
  if (old) {
    // Root gives the file back to its owner; anyone else keeps at least a group they belong to.
    if (::fchown(fd, old->st_uid, old->st_gid) != 0 && ::fchown(fd, -1, old->st_gid) != 0) {
    }
    ::fchmod(fd, old->st_mode & 07777);
  } else {
    ::fchmod(fd, 0644);
  }
  bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && old) {
    ok = ::rename(tmpl.c_str(), target.c_str()) == 0;
    saved = errno;
  } else if (ok) {
    int r = ::renameat2(AT_FDCWD, tmpl.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    // Not every file system can refuse to replace in a rename; a hard link refuses as well.
    if (r != 0 && (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)) {
      r = ::link(tmpl.c_str(), target.c_str());
      if (r == 0) ::unlink(tmpl.c_str());
    }
    ok = r == 0;
    saved = errno;
  }
  if (!ok) {
    ::unlink(tmpl.c_str());
    if (!old && saved == EEXIST) return Placed::kSomeoneWasFirst;
    why = "cannot write " + target.string() + ": " + std::strerror(saved);
    return Placed::kFailed;
  }
  // Make the rename itself durable.
  syncFolder(folder);
  return Placed::kDone;
}

// Overwrites the file's start with the new content, for a file that may be written but not
// replaced. The content is one short line, and one write of a few bytes at the start of a file
// lies within one page, which the kernel copies whole or, killed first, not at all. The line ends
// in CR LF, so what a longer old content leaves behind it until the truncation is a later line,
// which a reader ignores.
std::string overwriteInPlace(int fd, const std::string& bytes, const std::string& oldBytes,
                             off_t oldSize, const std::string& path) {
  ssize_t n;
  do {
    n = ::pwrite(fd, bytes.data(), bytes.size(), 0);
  } while (n < 0 && errno == EINTR);
  if (n != static_cast<ssize_t>(bytes.size())) {
    const std::string why = n < 0 ? std::strerror(errno) : "the disk is full";
    // A part written (only a full disk does that) is put back as it was.
    if (n > 0 && ::pwrite(fd, oldBytes.data(), static_cast<size_t>(n), 0) == n) ::fsync(fd);
    return "cannot write " + path + ": " + why;
  }
  if (::fsync(fd) != 0) return "cannot write " + path + ": " + std::strerror(errno);
  if (oldSize > static_cast<off_t>(bytes.size()) &&
      ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0)
    ::fsync(fd);
  return {};
}

}  // namespace

std::string replaceFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string real = followLinks(path);
  struct stat st {};
  const bool there = ::stat(real.c_str(), &st) == 0;
  // A file made read-only by its owner is left as it is.
  if (there && !mayAccess(real, W_OK)) return "cannot write " + path + ": the file is read-only";
  std::string why;
  if (placeNewFile(real, bytes, there ? &st : nullptr, why) == Placed::kSomeoneWasFirst)
    return replaceFileAtomically(path, bytes);
  return why;
}

std::string updateFile(const std::string& path, const FileUpdate& update) {
  // A round is only lost to another program that replaced the file between our opening and our
  // lock, so the limit is never reached in practice; it only keeps a broken file system from
  // holding the game.
  for (int round = 0; round < 100; ++round) {
    const std::string real = followLinks(path);
    bool writable = true;
    int fd = ::open(real.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
      writable = false;
      fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd < 0 && errno == EISDIR) return "cannot write " + path + ": it is a folder, not a file";
    if (fd < 0 && errno == ENOENT) {
      ReadResult none;
      const std::optional<std::string> bytes = update(none, real);
      if (!bytes) return {};
      std::string why;
      const Placed p = placeNewFile(real, *bytes, nullptr, why);
      if (p == Placed::kSomeoneWasFirst) continue;
      return why;
    }
    if (fd < 0) return "cannot write " + path + ": " + std::strerror(errno);
    if (!lock(fd, LOCK_EX, std::chrono::seconds(5))) {
      ::close(fd);
      return "cannot write " + path + ": another program has kept it locked for five seconds";
    }
    struct stat st {};
    struct stat now {};
    if (::fstat(fd, &st) != 0 || ::stat(real.c_str(), &now) != 0 || st.st_dev != now.st_dev ||
        st.st_ino != now.st_ino) {
      // Another program replaced the file while we waited for it: start again on the new one.
      ::close(fd);
      continue;
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      return "cannot write " + path + ": " + notAFile(st);
    }
    ReadResult current;
    readRest(fd, 64u << 20, current);
    const std::optional<std::string> bytes = update(current, real);
    std::string why;
    if (!bytes) {
      // Nothing to change.
    } else if (!writable) {
      why = "cannot write " + path + ": the file is read-only";
    } else if (mayAccess(folderOf(real), W_OK | X_OK) &&
               (::geteuid() == 0 || ::geteuid() == st.st_uid) && st.st_nlink == 1) {
      placeNewFile(real, *bytes, &st, why);
    } else {
      // Someone else's file, a read-only folder, or a file with more names than one: a new file
      // would not be the same file for everyone who shares it.
      why = overwriteInPlace(fd, *bytes, current.bytes, st.st_size, path);
    }
    ::close(fd);
    return why;
  }
  return "cannot write " + path + ": other programs kept replacing it";
}

}  // namespace platform
