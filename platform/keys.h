#pragma once

#include <array>
#include <cstdint>

namespace platform {

inline constexpr int VK_SPACE = 0x20;
inline constexpr int VK_LEFT = 0x25;
inline constexpr int VK_UP = 0x26;
inline constexpr int VK_RIGHT = 0x27;
inline constexpr int VK_DOWN = 0x28;
inline constexpr int VK_TAB = 0x09;
inline constexpr int VK_RETURN = 0x0D;

// The keyboard as a whole: which keys are down, and which were pressed since they were last asked
// about. Providers report key changes; the game asks.
class KeyState {
 public:
  void setHeld(int vk, bool down) {
    if (vk < 0 || vk >= 256 || held_[vk] == down) return;
    if (down) latched_[vk] = true;
    held_[vk] = down;
    ++changes_;
  }
  bool held(int vk) const { return vk >= 0 && vk < 256 && held_[vk]; }
  // Non-zero when the key is down now (high bit) or was pressed since the last query (low bit).
  int16_t query(int vk) {
    if (vk < 0 || vk >= 256) return 0;
    int v = (held_[vk] ? 0x8000 : 0) | (latched_[vk] ? 1 : 0);
    latched_[vk] = false;
    return static_cast<int16_t>(static_cast<uint16_t>(v));
  }
  // Presses made so far no longer count as "pressed since the last query"; held keys stay held.
  void forgetPresses() {
    latched_.fill(false);
    ++changes_;
  }
  void releaseAll() {
    held_.fill(false);
    latched_.fill(false);
    ++changes_;
  }
  // Counts the changes made from outside (keys going down or up, presses forgotten), so that a
  // poll can tell whether the keyboard is as it last saw it.
  uint64_t changes() const { return changes_; }

 private:
  std::array<bool, 256> held_{};
  std::array<bool, 256> latched_{};
  uint64_t changes_ = 0;
};

}  // namespace platform
