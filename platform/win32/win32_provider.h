#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/interaction.h"
#include "platform/pads.h"
#include "platform/picture.h"
#include "platform/provider.h"
#include "platform/win32/xinput_pads.h"

namespace platform::win32 {

// The Windows desktop provider: a window per loaded form, the message loop on absolute deadlines
// of the performance counter, the keyboard as a whole through the system's own key state, the
// MIDI synthesizer and wave playback of the system.
class Win32Provider : public Provider {
 public:
  Win32Provider();
  ~Win32Provider() override;

  // False when no window can be opened; problem() then says why in one line.
  bool ok() const { return ok_; }
  const std::string& problem() const { return problem_; }

  int64_t nowUs() override;
  void openWindow(Form& form) override;
  void closeWindow(Form& form) override;
  void moveWindow(Form& form) override;
  std::optional<std::pair<int, int>> windowPlacePx(const Form& form) override;
  MediaBackend& mediaBackend() override { return *media_; }
  PixelFormat pixelFormat() const override { return {}; }  // a 32-bit DIB's own layout
  void runLoop(Runtime& rt) override;
  void reportError(const RuntimeError& e) override;

  // What a window procedure hands on; public for the procedure only.
  struct Window;
  intptr_t onMessage(Window& w, unsigned msg, uintptr_t wp, intptr_t lp);

 private:
  void createWindow(Window& w);
  void showPending();
  void presentChanges();
  void present(Window& w, bool whole);
  void pass(Runtime& rt);
  void wait(std::optional<int64_t> deadlineUs);
  int scaleFor(unsigned dpi, const Form& form) const;
  bool ourWindowHasKeyboard() const;
  // The screen whose buttons a pad works: ours that has the keyboard, else the newest.
  Form* padScreen() const;

  bool ok_ = false;
  std::string problem_;
  std::map<Form*, std::unique_ptr<Window>> windows_;
  std::unique_ptr<MediaBackend> media_;
  std::unique_ptr<Interaction> interaction_;
  Runtime* rt_ = nullptr;
  int64_t frequency_ = 1;
  void* timer_ = nullptr;  // a waitable timer for the loop's deadlines
  bool inMoveLoop_ = false;
  XInputPads xpads_{XInputPads::systemXInput()};
  PadInput pads_;
  Form* newest_ = nullptr;
};

}  // namespace platform::win32
