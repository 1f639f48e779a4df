#include "platform/pads.h"

#include "platform/interaction.h"

namespace platform {
namespace {

bool stickHolds(int v, bool before) {
  return before ? v >= kStickRelease : v >= kStickPress;
}

}  // namespace

PadKeys padKeys(const PadReading& r, const PadKeys& before) {
  PadKeys k;
  k.up = r.up || stickHolds(-r.stickY, before.up);
  k.down = r.down || stickHolds(r.stickY, before.down);
  k.left = r.left || stickHolds(-r.stickX, before.left);
  k.right = r.right || stickHolds(r.stickX, before.right);
  k.space = r.south || r.start;
  return k;
}

void PadInput::update(int id, const PadReading& r, KeyState& keys, Interaction* ui, Form* form) {
  PadKeys& k = pads_[id];
  k = padKeys(r, k);
  apply(keys, ui, form);
}

void PadInput::remove(int id, KeyState& keys, Interaction* ui, Form* form) {
  if (pads_.erase(id)) apply(keys, ui, form);
}

void PadInput::apply(KeyState& keys, Interaction* ui, Form* form) {
  PadKeys now;
  for (const auto& [id, k] : pads_) {
    now.up |= k.up;
    now.down |= k.down;
    now.left |= k.left;
    now.right |= k.right;
    now.space |= k.space;
  }
  const PadKeys was = held_;
  held_ = now;
  keys.setHeld(VK_UP, now.up, KeySource::kPads);
  keys.setHeld(VK_DOWN, now.down, KeySource::kPads);
  keys.setHeld(VK_LEFT, now.left, KeySource::kPads);
  keys.setHeld(VK_RIGHT, now.right, KeySource::kPads);
  keys.setHeld(VK_SPACE, now.space, KeySource::kPads);
  if (!ui || !form) return;
  if (now.down && !was.down) ui->keyDown(*form, VK_TAB, false);
  if (now.up && !was.up) ui->keyDown(*form, VK_TAB, true);
  if (now.space && !was.space) ui->keyDown(*form, VK_SPACE, false);
  if (!now.space && was.space) ui->keyUp(*form, VK_SPACE);
}

}  // namespace platform
