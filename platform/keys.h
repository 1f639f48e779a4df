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

// What holds a key down: the keyboard, or the gamepads (all of them together).
enum class KeySource : uint8_t { kKeyboard = 1, kPads = 2 };

// The keyboard as a whole: which keys are down, and which were pressed since they were last asked
// about. Providers report key changes; the game asks. A key is held while any source holds it, and
// pressed when the first source takes it down.
class KeyState {
 public:
  void setHeld(int vk, bool down, KeySource source = KeySource::kKeyboard) {
    if (vk < 0 || vk >= 256) return;
    const auto bit = static_cast<uint8_t>(source);
    const uint8_t now = down ? holders_[vk] | bit : holders_[vk] & ~bit;
    const bool was = holders_[vk] != 0;
    holders_[vk] = now;
    if (was == (now != 0)) return;
    if (down) latched_[vk] = true;
    ++changes_;
  }
  bool held(int vk) const { return vk >= 0 && vk < 256 && holders_[vk] != 0; }
  // Non-zero when the key is down now (high bit) or was pressed since the last query (low bit).
  int16_t query(int vk) {
    if (vk < 0 || vk >= 256) return 0;
    int v = (holders_[vk] ? 0x8000 : 0) | (latched_[vk] ? 1 : 0);
    latched_[vk] = false;
    return static_cast<int16_t>(static_cast<uint16_t>(v));
  }
  // Presses made so far no longer count as "pressed since the last query"; held keys stay held.
  void forgetPresses() {
    latched_.fill(false);
    ++changes_;
  }
  void releaseAll() {
    holders_.fill(0);
    latched_.fill(false);
    ++changes_;
  }
  // Counts the changes made from outside (keys going down or up, presses forgotten), so that a
  // poll can tell whether the keyboard is as it last saw it.
  uint64_t changes() const { return changes_; }

 private:
  std::array<uint8_t, 256> holders_{};  // KeySource bits
  std::array<bool, 256> latched_{};
  uint64_t changes_ = 0;
};

}  // namespace platform
