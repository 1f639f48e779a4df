#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/provider.h"
#include "platform/runtime.h"

namespace platform::headless {

// A stand-in for the sequencer that a test can drive: it keeps its mode and its play position on
// the virtual clock, and can be told that the file has played to its end.
struct FakeSequencerState {
  std::string path;
  std::string mode = "stopped";
  int64_t positionUs = 0;
  int64_t playingSinceUs = 0;
  bool open = true;
  bool atEnd = false;  // ran to the end of its file and was not rewound since
  int plays = 0;
};

struct WindowRecord {
  std::string form;
  int x = 0, y = 0;  // the window's place on the virtual screen, pixels (there is no frame)
  bool open = true;
};

class HeadlessProvider : public Provider, public MediaBackend {
 public:
  HeadlessProvider();

  // Provider
  int64_t nowUs() override { return nowUs_; }
  void openWindow(Form& form) override;
  void closeWindow(Form& form) override;
  void moveWindow(Form& form) override;
  MediaBackend& mediaBackend() override { return external_ ? *external_ : *this; }
  // Plays through another backend (a real device) instead of the recording fakes; set before the
  // runtime is made.
  void useMediaBackend(MediaBackend* b) { external_ = b; }
  void runLoop(Runtime& rt) override;
  void reportError(const RuntimeError& e) override { errors.push_back(e); }

  // MediaBackend
  std::unique_ptr<MidiDevice> openSequencer(const std::string& path, std::string& why) override;
  bool playWave(const std::string& path) override;

  // Advances the virtual clock by ms milliseconds, firing every timer at its deadline in order.
  // Returns false once the program has ended.
  bool advance(Runtime& rt, int64_t ms);
  // Advances until pred() holds or the program ends, at most maxMs; true when pred() held.
  template <typename Pred>
  bool advanceUntil(Runtime& rt, Pred pred, int64_t maxMs) {
    const int64_t limit = nowUs_ + maxMs * 1000;
    while (!pred())
      if (!fireNext(rt, limit)) return false;
    return true;
  }

  // Moves the clock to the earliest deadline not after limitUs and fires what is due then; false
  // when the program has ended or nothing is due by then.
  bool fireNext(Runtime& rt, int64_t limitUs);

  // The open sequencer's state, if a device is open.
  std::shared_ptr<FakeSequencerState> sequencer() const;
  // Makes the open sequencer reach the end of its file.
  void finishMusic();

  const WindowRecord* window(const std::string& form) const;

  std::vector<RuntimeError> errors;
  std::vector<WindowRecord> windows;
  // Where a new window goes when its form has no position of its own.
  int defaultX = 120, defaultY = 90;

 private:
  int64_t nowUs_ = 0;
  MediaBackend* external_ = nullptr;
  std::vector<std::shared_ptr<FakeSequencerState>> sequencers_;
};

}  // namespace platform::headless
