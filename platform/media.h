#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace platform {

// A music device opened from a file: the game's background music.
class MidiDevice {
 public:
  virtual ~MidiDevice() = default;
  virtual void play() = 0;   // from the current position; returns at once
  virtual void pause() = 0;  // keeps the position, silences sounding notes
  virtual void stop() = 0;
  virtual void seekToStart() = 0;
  virtual std::string mode() = 0;  // "playing", "paused", "stopped", ...
};

// What the media layer needs from a provider: devices and wave playback.
class MediaBackend {
 public:
  virtual ~MediaBackend() = default;
  // Opens the sequencer on a native path; null (with a reason) when that cannot be done.
  virtual std::unique_ptr<MidiDevice> openSequencer(const std::string& path, std::string& why) = 0;
  // Starts a wave, cutting off one still playing; false when nothing could be played.
  virtual bool playWave(const std::string& path) = 0;
  // True for a backend that plays nothing at all (no device); its refusals need no complaint.
  virtual bool silent() const { return false; }
};

// Error codes of the command-string interface.
namespace mcierr {
inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kMalformed = 257;
inline constexpr uint32_t kUnknownCommand = 261;
inline constexpr uint32_t kUnknownDevice = 263;
inline constexpr uint32_t kMissingParameter = 274;
inline constexpr uint32_t kFileNotFound = 275;
inline constexpr uint32_t kCannotOpen = 266;
inline constexpr uint32_t kBadParameter = 278;
inline constexpr uint32_t kAliasInUse = 289;
inline constexpr uint32_t kUnknownType = 296;
}  // namespace mcierr

struct MediaEvent {
  enum Kind { kCommand, kWave } kind;
  std::string text;
  uint32_t result = 0;
};

// The command-string interface and the wave function over a backend. Never throws.
class Media {
 public:
  explicit Media(MediaBackend& backend) : backend_(backend) {}
  uint32_t sendString(const char* command, char* reply, unsigned replyLength, intptr_t callback);
  bool playSound(const char* path, unsigned flags);
  void closeAll() { devices_.clear(); }
  bool isOpen(const std::string& alias) const;

  // Everything sent, in order, for tests and diagnostics.
  void setLog(std::vector<MediaEvent>* log) { log_ = log; }

 private:
  uint32_t execute(const std::string& command, std::string& reply);
  // Says once on standard error that a file cannot be played.
  void complain(const std::string& path, const std::string& why);
  MediaBackend& backend_;
  std::map<std::string, std::unique_ptr<MidiDevice>> devices_;  // by lower-case alias
  std::vector<MediaEvent>* log_ = nullptr;
  std::set<std::string> complained_;
};

}  // namespace platform
