#pragma once

#include <array>
#include <cstdint>

#include "platform/pads.h"

namespace platform::win32 {

// An XInput pad's state as the system reports it (XINPUT_GAMEPAD's fields).
struct XPad {
  uint16_t buttons = 0;
  int16_t thumbLX = 0, thumbLY = 0;  // LY grows upwards
};

// The reading of a standard pad from an XInput pad's state.
PadReading readingOf(const XPad& p);

// The four XInput pads, read through XInputGetState (or a stand-in for it): connected pads on
// every pass of the message loop, the empty slots now and then, and at once when the system says a
// device came, since asking an empty slot costs the system more than a connected pad.
class XInputPads {
 public:
  // The state of pad `slot` (0 to 3), false when none is connected there.
  using GetState = bool (*)(int slot, XPad& out);
  // The system's XInput, where it has one; null without.
  static GetState systemXInput();

  explicit XInputPads(GetState get) : get_(get) {}
  // Reads the pads into `pads` as of nowUs; `ui` and `form` as PadInput takes them.
  void poll(int64_t nowUs, PadInput& pads, KeyState& keys, Interaction* ui, Form* form);
  // A device came or went: every slot is asked at the next poll.
  void devicesChanged() { nextProbeUs_ = 0; }
  bool any() const;

  static constexpr int64_t kProbeUs = 1000000;

 private:
  GetState get_;
  std::array<bool, 4> connected_{};
  int64_t nextProbeUs_ = 0;
};

}  // namespace platform::win32
