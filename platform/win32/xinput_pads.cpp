#include "platform/win32/xinput_pads.h"

// clang-format off
#include "platform/utf16_windows.h"
#include <xinput.h>
// clang-format on

#include <algorithm>

namespace platform::win32 {

PadReading readingOf(const XPad& p) {
  PadReading r;
  r.up = p.buttons & XINPUT_GAMEPAD_DPAD_UP;
  r.down = p.buttons & XINPUT_GAMEPAD_DPAD_DOWN;
  r.left = p.buttons & XINPUT_GAMEPAD_DPAD_LEFT;
  r.right = p.buttons & XINPUT_GAMEPAD_DPAD_RIGHT;
  r.start = p.buttons & XINPUT_GAMEPAD_START;
  r.south = p.buttons & XINPUT_GAMEPAD_A;
  r.stickX = p.thumbLX;
  r.stickY = std::min(32767, -int{p.thumbLY});  // ours grows downwards
  return r;
}

namespace {

using XInputGetStateFn = DWORD(WINAPI*)(DWORD, XINPUT_STATE*);
XInputGetStateFn systemGetState = nullptr;

bool viaSystem(int slot, XPad& out) {
  XINPUT_STATE s{};
  if (systemGetState(static_cast<DWORD>(slot), &s) != ERROR_SUCCESS) return false;
  out.buttons = s.Gamepad.wButtons;
  out.thumbLX = s.Gamepad.sThumbLX;
  out.thumbLY = s.Gamepad.sThumbLY;
  return true;
}

}  // namespace

XInputPads::GetState XInputPads::systemXInput() {
  for (const wchar_t* dll : {L"xinput1_4.dll", L"xinput1_3.dll", L"xinput9_1_0.dll"}) {
    if (HMODULE m = LoadLibraryW(dll)) {
      systemGetState = reinterpret_cast<XInputGetStateFn>(
          reinterpret_cast<void*>(GetProcAddress(m, "XInputGetState")));
      if (systemGetState) return viaSystem;
    }
  }
  return nullptr;
}

void XInputPads::poll(int64_t nowUs, PadInput& pads, KeyState& keys, Interaction* ui, Form* form) {
  if (!get_) return;
  const bool probe = nowUs >= nextProbeUs_;
  if (probe) nextProbeUs_ = nowUs + kProbeUs;
  for (int slot = 0; slot < 4; ++slot) {
    if (!connected_[slot] && !probe) continue;
    XPad p;
    const bool now = get_(slot, p);
    if (now)
      pads.update(slot, readingOf(p), keys, ui, form);
    else if (connected_[slot])
      pads.remove(slot, keys, ui, form);  // pulled out: it lets go of what it held
    connected_[slot] = now;
  }
}

bool XInputPads::any() const {
  return std::any_of(connected_.begin(), connected_.end(), [](bool c) { return c; });
}

}  // namespace platform::win32
