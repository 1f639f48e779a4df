#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// What the runtime takes from the operating system's files, with one implementation per system:
// files_posix.cpp (Linux) and files_windows.cpp. Paths are UTF-8 text on both.

// The game writes paths as the program folder followed by a part such as "\data\e.dat"; every
// separator becomes the system's own ("/" on Linux, "\" on Windows).
std::string nativePath(const std::string& gamePath);

// The folder of the executable, without a trailing separator.
std::string executableFolder();

// Sets the current folder (and, where drives exist, drive) to the given folder; false on failure.
bool setCurrentFolder(const std::string& folder);

struct ReadResult {
  enum Status { kOk, kMissing, kUnreadable, kTooLarge } status = kMissing;
  std::string bytes;
  std::string error;  // what went wrong, for a message
};

// Reads a whole small file, up to maxBytes; larger files report kTooLarge with the first
// maxBytes read. Waits while updateFile is changing the file, so a read never sees half a change.
ReadResult readSmallFile(const std::string& path, size_t maxBytes);

// The folder where this user's own data of every program lives, empty when none is known. On Linux
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share; on Windows %LOCALAPPDATA% when
// it is an absolute path, else the system's local application data folder.
std::string userDataFolder();

// Whether anything (a file, a folder, a link) is at the path.
bool exists(const std::string& path);

// Whether a regular file is at the path, its links followed.
bool isFile(const std::string& path);

// The path with its symbolic links followed to the file they name, which need not exist. Windows
// programs do not make score files links; there the path stays as it is.
std::string followLinks(const std::string& path);

// Whether this process could keep data at the path: a regular file it may read and write, or no
// file yet and a folder on the way that it may create the file in.
bool canStoreAt(const std::string& path);

// Replaces the file's content atomically: a temporary file in the same folder, flushed to disk, is
// renamed over the old one. Missing folders are created. Returns an empty string on success,
// otherwise what went wrong; on failure the old file is left exactly as it was.
std::string replaceFileAtomically(const std::string& path, const std::string& bytes);

// Decides, given the file's content now, what it shall hold: the new content, or nothing to leave
// the file as it is. The second argument is the path of the file itself, its links followed.
using FileUpdate = std::function<std::optional<std::string>(const ReadResult&, const std::string&)>;

// Changes a small file under an exclusive lock, so that programs updating it at the same time take
// turns and each decides on what the one before it stored. The lock waits five seconds at most;
// readSmallFile's shared lock two. The file keeps its links, mode, owner and group (the owner and
// group as far as this process may set them; on Windows its attributes); the change
// is flushed to disk and a crash at any moment leaves the old content or the new one. A file that
// may be written but not replaced (its folder is read-only, it is someone else's, or it has a
// second name) is overwritten in place.
// Missing folders are created. Returns an empty string on success, otherwise what went wrong; on
// failure the old file is left as it was.
std::string updateFile(const std::string& path, const FileUpdate& update);

}  // namespace platform
