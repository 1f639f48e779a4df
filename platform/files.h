#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

// The game writes paths as the program folder followed by a part such as "\data\e.dat"; on this
// system every backslash becomes the native separator.
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
// maxBytes read.
ReadResult readSmallFile(const std::string& path, size_t maxBytes);

// Replaces the file's content atomically: a temporary file in the same folder, flushed to disk, is
// renamed over the old one. Missing folders are created. Returns an empty string on success,
// otherwise what went wrong; on failure the old file is left exactly as it was.
std::string replaceFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace platform
