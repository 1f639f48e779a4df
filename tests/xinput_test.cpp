// XInput pads on Windows, through a stand-in for XInputGetState: what a pad's state means, and
// pads coming and going.
#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "platform/win32/xinput_pads.h"

using namespace platform;
using platform::win32::XInputPads;
using platform::win32::XPad;

namespace {

// The stand-in: what each slot holds, and how often each was asked.
std::array<std::optional<XPad>, 4> slots;
std::array<int, 4> asked;

bool standIn(int slot, XPad& out) {
  ++asked[static_cast<size_t>(slot)];
  if (!slots[static_cast<size_t>(slot)]) return false;
  out = *slots[static_cast<size_t>(slot)];
  return true;
}

constexpr uint16_t kDpadLeft = 0x0004, kStart = 0x0010, kA = 0x1000;

TEST(XInput, APadsStateAsAStandardPad) {
  XPad p;
  p.buttons = kDpadLeft | kA;
  p.thumbLY = 32767;  // the stick pushed up: XInput's y grows upwards, ours downwards
  const PadReading r = win32::readingOf(p);
  EXPECT_TRUE(r.left && r.south && !r.start && !r.right);
  EXPECT_EQ(r.stickY, -32767);
  p.thumbLY = -32768;
  EXPECT_EQ(win32::readingOf(p).stickY, 32767);
}

TEST(XInput, PadsComingAndGoing) {
  slots = {};
  asked = {};
  XInputPads pads(standIn);
  PadInput input;
  KeyState keys;
  int64_t now = 0;
  pads.poll(now, input, keys, nullptr, nullptr);
  EXPECT_EQ(asked, (std::array<int, 4>{1, 1, 1, 1}));
  EXPECT_FALSE(pads.any());
  // A pad plugged into slot 2: empty slots are asked again only now and then...
  slots[2] = XPad{kStart, 0, 0};
  now += 8000;
  pads.poll(now, input, keys, nullptr, nullptr);
  EXPECT_FALSE(keys.held(VK_SPACE));
  // ...or at once when the system says a device came.
  pads.devicesChanged();
  pads.poll(now += 8000, input, keys, nullptr, nullptr);
  EXPECT_TRUE(pads.any());
  EXPECT_TRUE(keys.held(VK_SPACE)) << "Start is Space";
  // A connected pad is read on every poll; the empty slots are not.
  asked = {};
  slots[2]->buttons = kDpadLeft;
  pads.poll(now += 8000, input, keys, nullptr, nullptr);
  EXPECT_EQ(asked, (std::array<int, 4>{0, 0, 1, 0}));
  EXPECT_TRUE(keys.held(VK_LEFT));
  EXPECT_FALSE(keys.held(VK_SPACE));
  // A second pad found at the next probe counts too; the first pulled out lets go of its arrow.
  slots[0] = XPad{};
  pads.poll(now += XInputPads::kProbeUs, input, keys, nullptr, nullptr);
  slots[2].reset();
  pads.poll(now += 8000, input, keys, nullptr, nullptr);
  EXPECT_FALSE(keys.held(VK_LEFT));
  EXPECT_TRUE(pads.any());
}

}  // namespace
