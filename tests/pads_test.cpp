// Gamepads as one more source of key state: the mapping, several pads, and the title and game
// played by pad on the headless provider.
#include "platform/pads.h"

#include <gtest/gtest.h>

#include "platform/interaction.h"
#include "tests/testkit.h"

using namespace platform;
using testkit::Game;

namespace {

TEST(Pads, ReadingsToKeys) {
  struct Case {
    const char* what;
    PadReading r;
    PadKeys before;
    PadKeys want;
  };
  PadReading dpadLeft, south, start, stickUp, stickSmall, diagonal, nearEdge;
  dpadLeft.left = true;
  south.south = true;
  start.start = true;
  stickUp.stickY = -32768;
  stickSmall.stickX = kStickRelease - 1;
  stickSmall.stickY = -(kStickPress - 1);
  diagonal.stickX = 23170;  // full tilt at 45 degrees, down and right
  diagonal.stickY = 23170;
  nearEdge.stickX = (kStickPress + kStickRelease) / 2;
  const Case cases[] = {
      {"nothing", {}, {}, {}},
      {"the D-pad", dpadLeft, {}, {.left = true}},
      {"A is Space", south, {}, {.space = true}},
      {"Start is Space", start, {}, {.space = true}},
      {"the stick up, y growing downwards", stickUp, {}, {.up = true}},
      {"the stick inside its dead zone", stickSmall, {}, {}},
      {"a diagonal of the stick is two arrows", diagonal, {}, {.down = true, .right = true}},
      {"between the two marks a held arrow stays held", nearEdge, {.right = true}, {.right = true}},
      {"...and one let go stays let go", nearEdge, {}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(padKeys(c.r, c.before), c.want) << c.what;
}

TEST(Pads, AKeyAndEveryPadHoldTogether) {
  KeyState keys;
  PadInput pads;
  PadReading left;
  left.left = true;
  keys.setHeld(VK_LEFT, true);  // the keyboard's arrow...
  EXPECT_NE(keys.query(VK_LEFT), 0);
  pads.update(1, left, keys, nullptr, nullptr);  // ...and two pads' D-pads
  pads.update(2, left, keys, nullptr, nullptr);
  keys.setHeld(VK_LEFT, false);
  EXPECT_TRUE(keys.held(VK_LEFT)) << "let go on the keyboard, still held by the pads";
  pads.update(1, {}, keys, nullptr, nullptr);
  EXPECT_TRUE(keys.held(VK_LEFT)) << "one pad lets go, the other holds";
  pads.remove(2, keys, nullptr, nullptr);
  EXPECT_FALSE(keys.held(VK_LEFT)) << "a pad pulled out lets go of what it held";
  // One press of A is one press of Space, whatever else holds Space.
  PadReading a;
  a.south = true;
  keys.query(VK_SPACE);
  pads.update(1, a, keys, nullptr, nullptr);
  pads.update(1, {}, keys, nullptr, nullptr);
  EXPECT_EQ(keys.query(VK_SPACE), 1);
  EXPECT_EQ(keys.query(VK_SPACE), 0);
}

// The pad on the title: the D-pad moves the focus, A clicks, and the press that started the game
// is not a pause there; then A and Start pause and resume, and the stick steers.
TEST(Pads, TheTitleAndTheGameByPad) {
  Game g;
  ASSERT_TRUE(g.start());
  Interaction ui(*g.rt);
  PadInput pads;
  auto pad = [&](PadReading r) {
    pads.update(7, r, g.rt->keys(), &ui,
                g.game().loaded() ? static_cast<Form*>(&g.game()) : &g.title());
  };
  PadReading down, up, a, start, stickLeft;
  down.down = true;
  up.up = true;
  a.south = true;
  start.start = true;
  stickLeft.stickX = -30000;
  for (PadReading r : {down, {}, down, {}, down, {}, up, {}}) pad(r);  // to the third mode button
  EXPECT_EQ(g.title().focused(), &g.title().control("Command3"));
  pad(a);
  EXPECT_FALSE(g.game().loaded()) << "a button clicks when it is let go, as with Space";
  pad({});
  ASSERT_TRUE(g.game().loaded());
  EXPECT_EQ(g.st().modeKey, "h");
  ASSERT_TRUE(g.ticks(2));
  EXPECT_FALSE(g.paused()) << "the press that started the game paused it";
  pad(a);
  pad({});
  ASSERT_TRUE(g.ticks(1));
  EXPECT_TRUE(g.paused());
  pad(start);
  pad({});
  ASSERT_TRUE(g.advance(20));
  EXPECT_FALSE(g.paused());
  const auto x = g.st().woboX;
  pad(stickLeft);
  ASSERT_TRUE(g.ticks(5));
  EXPECT_LT(g.st().woboX, x);
  pads.remove(7, g.rt->keys(), &ui, &g.game());
  const auto stopped = g.st().woboX;
  ASSERT_TRUE(g.ticks(5));
  EXPECT_EQ(g.st().woboX, stopped) << "the pad pulled out still steers";
  // After the game over A leads back to the title, and its release there clicks nothing.
  ASSERT_TRUE(g.endWith(3));
  pad(a);
  ASSERT_TRUE(g.advance(2));
  EXPECT_FALSE(g.game().loaded());
  ASSERT_TRUE(g.title().loaded());
  pads.update(7, {}, g.rt->keys(), &ui, &g.title());
  ASSERT_TRUE(g.advance(20));
  EXPECT_FALSE(g.game().loaded()) << "the A that left the game over started a game";
}

}  // namespace
