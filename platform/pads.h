#pragma once

#include <map>

#include "platform/keys.h"

namespace platform {

class Form;
class Interaction;

// What one gamepad shows now, in the terms of a standard pad.
struct PadReading {
  bool up = false, down = false, left = false, right = false;  // the D-pad
  int stickX = 0, stickY = 0;  // the left stick, -32768 to 32767, y growing downwards
  bool south = false;          // A on most pads
  bool start = false;
};

// The keys a pad stands for.
struct PadKeys {
  bool up = false, down = false, left = false, right = false, space = false;
  bool operator==(const PadKeys&) const = default;
};

// The stick counts as an arrow past this much of its travel, and lets go below the second figure,
// so that a stick resting near the edge does not chatter.
inline constexpr int kStickPress = 12000;
inline constexpr int kStickRelease = 9000;

// The keys a reading holds, given what the pad held before: the D-pad and the stick are the four
// arrows (a diagonal of the stick two of them, as two held keys), A and Start are Space.
PadKeys padKeys(const PadReading& r, const PadKeys& before);

// Every pad plugged in, as one more source of key state: an arrow is held while a key or any pad
// holds it, and a pad's press is a press as a key's is. On a screen with buttons the pads also
// work the buttons as the keyboard does: the D-pad (or the stick) down and up move the focus as
// Tab and Shift+Tab, and A clicks the focused button, as Space does.
class PadInput {
 public:
  // A pad's new reading; a new id is a pad plugged in. `form` is the screen that takes the
  // buttons' part (may be null).
  void update(int id, const PadReading& r, KeyState& keys, Interaction* ui, Form* form);
  // A pad pulled out lets go of everything it held.
  void remove(int id, KeyState& keys, Interaction* ui, Form* form);
  bool any() const { return !pads_.empty(); }

 private:
  void apply(KeyState& keys, Interaction* ui, Form* form);
  std::map<int, PadKeys> pads_;
  PadKeys held_;
};

}  // namespace platform
