// The runtime's files on Windows: UTF-16 paths throughout, so that a program folder or a player's
// folder with Japanese or other names works; byte-range locks (LockFileEx) for the locked re-check;
// a score file replaced by a flushed temporary file moved over it with write-through.
#include <shlobj.h>

#include <chrono>
#include <cwctype>
#include <filesystem>
#include <random>

#include "platform/files.h"
#include "platform/utf16_windows.h"

namespace platform {

std::string nativePath(const std::string& gamePath) {
  std::string p = gamePath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

std::string executableFolder() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return ".";
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);
  }
  const size_t slash = buf.find_last_of(L"\\/");
  return slash == std::wstring::npos ? "." : narrow(buf.substr(0, slash));
}

bool setCurrentFolder(const std::string& folder) {
  return ::SetCurrentDirectoryW(widen(nativePath(folder)).c_str()) != 0;
}

namespace {

namespace fs = std::filesystem;

std::wstring wide(const std::string& path) {
  return widen(nativePath(path));
}

class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  void close() { reset(INVALID_HANDLE_VALUE); }
  void reset(HANDLE h) {
    if (ok()) ::CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_;
};

// Every handle of ours lets others read, write, rename and replace the file, as POSIX does: a
// writer replaces the file while the others wait for their turn on their handles of it.
HANDLE openFile(const std::wstring& path, DWORD access) {
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool notFound(DWORD e) {
  return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_DIRECTORY;
}

// Windows locks are mandatory: a locked byte cannot be read or written through another handle. So
// the lock is on one byte far beyond any content, which only other locks notice.
OVERLAPPED lockPlace() {
  OVERLAPPED o{};
  o.Offset = 0;
  o.OffsetHigh = 0x7FFFFFFF;
  return o;
}

// Our own updates hold a lock for milliseconds; a lock held for seconds belongs to some other
// program that has hung, and must not hang the game as well. False when the time ran out.
bool lock(HANDLE h, bool exclusive, std::chrono::milliseconds patience) {
  const auto until = std::chrono::steady_clock::now() + patience;
  for (;;) {
    OVERLAPPED o = lockPlace();
    const DWORD how = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (::LockFileEx(h, how, 0, 1, 0, &o)) return true;
    const DWORD e = ::GetLastError();
    // A file system without locks leaves everyone to go ahead.
    if (e != ERROR_LOCK_VIOLATION && e != ERROR_IO_PENDING) return true;
    if (std::chrono::steady_clock::now() > until) return false;
    ::Sleep(1);
  }
}

// Reads from the file's current position to its end, up to maxBytes, into r.
void readRest(HANDLE h, size_t maxBytes, ReadResult& r) {
  r.status = ReadResult::kOk;
  char buf[4096];
  while (r.bytes.size() < maxBytes) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min(sizeof buf, maxBytes - r.bytes.size()));
    if (!::ReadFile(h, buf, want, &n, nullptr)) {
      r.status = ReadResult::kUnreadable;
      r.error = systemMessage(::GetLastError());
      return;
    }
    if (n == 0) return;
    r.bytes.append(buf, n);
  }
  char extra;
  DWORD n = 0;
  if (::ReadFile(h, &extra, 1, &n, nullptr) && n == 1) r.status = ReadResult::kTooLarge;
}

DWORD attributesOf(const std::wstring& path, DWORD& error) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  error = a == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : 0;
  return a;
}

bool isFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

fs::path folderOf(const fs::path& file) {
  return file.has_parent_path() ? file.parent_path() : fs::path(L".");
}

// Six letters and digits that no other writer is likely to pick at the same moment.
std::wstring randomPart() {
  static std::mt19937_64 rng(std::random_device{}() ^ ::GetCurrentProcessId() ^
                             static_cast<uint64_t>(::GetTickCount64()));
  const wchar_t* const letters = L"abcdefghijklmnopqrstuvwxyz0123456789";
  std::wstring s;
  for (int i = 0; i < 6; ++i) s += letters[rng() % 36];
  return s;
}

// Whether this process may create a file in the folder: a file made there and deleted again as it
// is closed. Only folder permissions tell that, and Windows has no cheaper question for them.
bool mayCreateIn(const fs::path& folder) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    const fs::path probe = folder / (L".morofin-probe-" + randomPart());
    HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      ::CloseHandle(h);
      return true;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

}  // namespace

ReadResult readSmallFile(const std::string& path, size_t maxBytes) {
  ReadResult r;
  const std::wstring w = wide(path);
  DWORD e = 0;
  const DWORD a = attributesOf(w, e);
  if (a == INVALID_FILE_ATTRIBUTES) {
    r.status = notFound(e) ? ReadResult::kMissing : ReadResult::kUnreadable;
    r.error = systemMessage(e);
    return r;
  }
  if (isFolder(a)) {
    r.status = ReadResult::kUnreadable;
    r.error = "it is a folder, not a file";
    return r;
  }
  Handle h(openFile(w, GENERIC_READ));
  if (!h.ok()) {
    e = ::GetLastError();
    r.status = notFound(e) ? ReadResult::kMissing : ReadResult::kUnreadable;
    r.error = systemMessage(e);
    return r;
  }
  if (::GetFileType(h.get()) != FILE_TYPE_DISK) {
    r.status = ReadResult::kUnreadable;
    r.error = "not a regular file";
    return r;
  }
  // Past that, reading a file that may be half changed is still better than no game.
  lock(h.get(), false, std::chrono::seconds(2));
  readRest(h.get(), maxBytes, r);
  return r;
}

std::string userDataFolder() {
  wchar_t buf[32768];
  const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buf, 32768);
  if (n > 0 && n < 32768) {
    const std::wstring v(buf, n);
    const bool drive = v.size() >= 3 && std::iswalpha(v[0]) && v[1] == L':' &&
                       (v[2] == L'\\' || v[2] == L'/');
    const bool share = v.size() >= 3 && v[0] == L'\\' && v[1] == L'\\';
    if (drive || share) return narrow(v);
  }
  PWSTR known = nullptr;
  std::string folder;
  if (::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known) == S_OK && known)
    folder = narrow(known);
  ::CoTaskMemFree(known);
  return folder;
}

bool exists(const std::string& path) {
  return ::GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isFile(const std::string& path) {
  const DWORD a = ::GetFileAttributesW(wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

std::string followLinks(const std::string& path) {
  return path;
}

bool canStoreAt(const std::string& path) {
  const std::wstring w = wide(path);
  DWORD e = 0;
  const DWORD a = attributesOf(w, e);
  if (a != INVALID_FILE_ATTRIBUTES) {
    if (isFolder(a) || (a & FILE_ATTRIBUTE_READONLY)) return false;
    Handle h(openFile(w, GENERIC_READ | GENERIC_WRITE));
    return h.ok();
  }
  if (!notFound(e)) return false;
  // The file would be created in the nearest folder that exists, with the folders missing below it.
  fs::path folder = folderOf(fs::path(w));
  for (;;) {
    const DWORD fa = attributesOf(folder.wstring(), e);
    if (fa != INVALID_FILE_ATTRIBUTES) return isFolder(fa) && mayCreateIn(folder);
    if (!notFound(e) || !folder.has_parent_path() || folder.parent_path() == folder) return false;
    folder = folder.parent_path();
  }
}

namespace {

bool writeAll(HANDLE h, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    if (!::WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n,
                     nullptr))
      return false;
    done += n;
  }
  return true;
}

// Temporary files that a write cut short by a crash left behind; a minute old is surely dead.
void clearStaleTemporaries(const fs::path& folder, const std::wstring& prefix) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::wstring name = e.path().filename().wstring();
    if (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0) {
      std::error_code age;
      auto when = fs::last_write_time(e.path(), age);
      if (!age && fs::file_time_type::clock::now() - when > std::chrono::minutes(1))
        fs::remove(e.path(), age);
    }
  }
}

std::string cannotWrite(const fs::path& file, DWORD error) {
  return "cannot write " + narrow(file.wstring()) + ": " + systemMessage(error);
}

using Clock = std::chrono::steady_clock;

// Writers of one file take turns on a mutex named after the file, for the whole of read, decide
// and replace: the file itself cannot stay open (and locked) while it is replaced, since Windows
// renames nothing over an open file, and ReplaceFileW, which can, is no single step that a killed
// program finishes or leaves undone. The mutex is the session's; a writer killed while it held the
// mutex leaves it to the next one.
class Turn {
 public:
  Turn(const std::wstring& path, Clock::time_point until) {
    wchar_t full[32768];
    const DWORD n = ::GetFullPathNameW(path.c_str(), 32768, full, nullptr);
    std::wstring key = n > 0 && n < 32768 ? std::wstring(full, n) : path;
    ::CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
    for (wchar_t& c : key)
      if (c == L'/') c = L'\\';
    uint64_t hash = 14695981039346656037ull;  // FNV-1a over the UTF-16 units
    for (wchar_t c : key) hash = (hash ^ static_cast<uint16_t>(c)) * 1099511628211ull;
    wchar_t name[64];
    ::swprintf(name, 64, L"Local\\morofin-score-%016llx", static_cast<unsigned long long>(hash));
    mutex_ = ::CreateMutexW(nullptr, FALSE, name);
    if (!mutex_) return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    const DWORD r = ::WaitForSingleObject(mutex_, static_cast<DWORD>(std::max<long long>(0, left.count())));
    held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
  }
  ~Turn() {
    if (held_) ::ReleaseMutex(mutex_);
    if (mutex_) ::CloseHandle(mutex_);
  }
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;
  // Without a mutex at all (none could be made) the file's own lock still holds others off.
  bool ok() const { return held_ || !mutex_; }

 private:
  HANDLE mutex_ = nullptr;
  bool held_ = false;
};

enum class Placed { kDone, kFailed, kSomeoneWasFirst, kFolderReadOnly };

// The content in a new temporary file beside the target, flushed to disk.
Placed writeTemporary(const fs::path& target, const std::string& bytes, fs::path& tmp,
                      std::string& why) {
  const fs::path folder = folderOf(target);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    why = "cannot create folder " + narrow(folder.wstring()) + ": " + ec.message();
    return Placed::kFailed;
  }
  const std::wstring prefix = L"." + target.filename().wstring() + L".";
  clearStaleTemporaries(folder, prefix);
  HANDLE created = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    tmp = folder / (prefix + randomPart());
    created = ::CreateFileW(tmp.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    error = created == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    if (error != ERROR_FILE_EXISTS) break;
  }
  Handle h(created);
  if (!h.ok()) {
    if (error == ERROR_ACCESS_DENIED) return Placed::kFolderReadOnly;
    why = "cannot write in " + narrow(folder.wstring()) + ": " + systemMessage(error);
    return Placed::kFailed;
  }
  if (!writeAll(h.get(), bytes) || !::FlushFileBuffers(h.get())) {
    error = ::GetLastError();
    h.close();
    ::DeleteFileW(tmp.c_str());
    why = cannotWrite(target, error);
    return Placed::kFailed;
  }
  return Placed::kDone;
}

// Moves the temporary file into the target's place in one rename, written through to the disk.
// Without replacing, the target must not exist yet, and a file that another program put there
// first is left alone. A reader that has the old file open for a moment holds the rename up, so
// it is tried again until the time is up.
Placed moveIntoPlace(const fs::path& tmp, const fs::path& target, bool replacing,
                     Clock::time_point until, std::string& why) {
  const DWORD how = MOVEFILE_WRITE_THROUGH | (replacing ? MOVEFILE_REPLACE_EXISTING : 0);
  for (;;) {
    if (::MoveFileExW(tmp.c_str(), target.c_str(), how)) return Placed::kDone;
    const DWORD error = ::GetLastError();
    const bool busy = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    if (!busy || Clock::now() > until) {
      ::DeleteFileW(tmp.c_str());
      if (!replacing && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS))
        return Placed::kSomeoneWasFirst;
      why = cannotWrite(target, error);
      return Placed::kFailed;
    }
    ::Sleep(1);
  }
}

Placed placeNewFile(const fs::path& target, const std::string& bytes, bool replacing,
                    Clock::time_point until, std::string& why) {
  fs::path tmp;
  const Placed written = writeTemporary(target, bytes, tmp, why);
  if (written != Placed::kDone) return written;
  return moveIntoPlace(tmp, target, replacing, until, why);
}

// Overwrites the file's start with the new content, for a file that may be written but not
// replaced. The content is one short line, and one write of a few bytes at the start of a file is
// copied whole or, the program killed first, not at all. The line ends in CR LF, so what a longer
// old content leaves behind it until the file is cut is a later line, which a reader ignores.
std::string overwriteInPlace(HANDLE h, const std::string& bytes, const std::string& oldBytes,
                             const fs::path& path) {
  OVERLAPPED at{};
  DWORD n = 0;
  const bool wrote =
      ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, &at) != 0;
  if (!wrote || n != bytes.size()) {
    const DWORD error = wrote ? ERROR_DISK_FULL : ::GetLastError();
    // A part written (only a full disk does that) is put back as it was.
    OVERLAPPED back{};
    DWORD m = 0;
    if (n > 0 && ::WriteFile(h, oldBytes.data(), n, &m, &back)) ::FlushFileBuffers(h);
    return cannotWrite(path, error);
  }
  if (!::FlushFileBuffers(h)) return cannotWrite(path, ::GetLastError());
  if (oldBytes.size() > bytes.size()) {
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(bytes.size());
    if (::SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(h))
      ::FlushFileBuffers(h);
  }
  return {};
}

// What of a replaced file's attributes the new file takes on; a file moved into place has its own.
void keepAttributes(const std::wstring& path, DWORD old) {
  const DWORD kept = old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (::GetFileAttributesW(path.c_str()) != kept)
    ::SetFileAttributesW(path.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
}

bool sameFile(HANDLE h, const std::wstring& path) {
  Handle now(openFile(path, FILE_READ_ATTRIBUTES));
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  return now.ok() && ::GetFileInformationByHandle(h, &a) &&
         ::GetFileInformationByHandle(now.get(), &b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

std::string replaceFileAtomically(const std::string& path, const std::string& bytes) {
  const std::wstring w = wide(path);
  DWORD e = 0;
  const DWORD a = attributesOf(w, e);
  const bool there = a != INVALID_FILE_ATTRIBUTES;
  // A file made read-only by its owner is left as it is.
  if (there && (a & FILE_ATTRIBUTE_READONLY))
    return "cannot write " + path + ": the file is read-only";
  std::string why;
  const Placed p = placeNewFile(fs::path(w), bytes, there, Clock::now() + std::chrono::seconds(5), why);
  if (p == Placed::kSomeoneWasFirst) return replaceFileAtomically(path, bytes);
  if (p == Placed::kFolderReadOnly) return "cannot write in the folder of " + path;
  if (p == Placed::kDone && there) keepAttributes(w, a);
  return why;
}

std::string updateFile(const std::string& path, const FileUpdate& update) {
  const std::wstring w = wide(path);
  const fs::path target(w);
  const auto until = Clock::now() + std::chrono::seconds(5);
  const std::string hung = "cannot write " + path + ": another program has kept it locked for five seconds";
  Turn turn(w, until);
  if (!turn.ok()) return hung;
  // A round is only lost to another program that replaced the file between our opening and our
  // lock, so the limit is never reached in practice; it only keeps a broken file system from
  // holding the game.
  for (int round = 0; round < 100; ++round) {
    DWORD e = 0;
    const DWORD attributes = attributesOf(w, e);
    if (isFolder(attributes)) return "cannot write " + path + ": it is a folder, not a file";
    // A file made read-only by its owner is left as it is, also where the system would let this
    // process write it anyway (as Wine does for root).
    bool writable = attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY);
    Handle h(openFile(w, writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ));
    e = h.ok() ? 0 : ::GetLastError();
    if (e == ERROR_ACCESS_DENIED && writable) {
      writable = false;
      h.reset(openFile(w, GENERIC_READ));
      e = h.ok() ? 0 : ::GetLastError();
    }
    if (notFound(e)) {
      ReadResult none;
      const std::optional<std::string> bytes = update(none, path);
      if (!bytes) return {};
      std::string why;
      const Placed p = placeNewFile(target, *bytes, false, until, why);
      if (p == Placed::kSomeoneWasFirst) continue;
      if (p == Placed::kFolderReadOnly) return "cannot write in the folder of " + path;
      return why;
    }
    if (!h.ok()) return cannotWrite(target, e);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (!lock(h.get(), true, std::max(left, std::chrono::milliseconds(0)))) return hung;
    if (!sameFile(h.get(), w)) continue;  // replaced while we waited for it: start again
    if (::GetFileType(h.get()) != FILE_TYPE_DISK) return "cannot write " + path + ": not a regular file";
    BY_HANDLE_FILE_INFORMATION info{};
    ::GetFileInformationByHandle(h.get(), &info);
    ReadResult current;
    readRest(h.get(), 64u << 20, current);
    const std::optional<std::string> bytes = update(current, path);
    if (!bytes) return {};
    if (!writable) return "cannot write " + path + ": the file is read-only";
    // A file with more names than one: a new file would not be the same file for all of them.
    if (info.nNumberOfLinks > 1) return overwriteInPlace(h.get(), *bytes, current.bytes, target);
    fs::path tmp;
    std::string why;
    const Placed written = writeTemporary(target, *bytes, tmp, why);
    if (written == Placed::kFolderReadOnly)
      return overwriteInPlace(h.get(), *bytes, current.bytes, target);
    if (written != Placed::kDone) return why;
    // Our turn holds the other writers off while the file is closed for the rename.
    h.close();
    if (moveIntoPlace(tmp, target, true, until, why) == Placed::kDone) keepAttributes(w, attributes);
    return why;
  }
  return "cannot write " + path + ": other programs kept replacing it";
}

}  // namespace platform
