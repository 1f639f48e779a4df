#include <gtest/gtest.h>

#include "platform/keys.h"
#include "tests/testkit.h"

using platform::VK_DOWN;
using platform::VK_LEFT;
using platform::VK_RIGHT;
using platform::VK_SPACE;
using platform::VK_UP;
using testkit::Game;

namespace {

TEST(Flow, TitleToGameToTitle) {
  Game g;
  ASSERT_TRUE(g.start());
  const auto* tw = g.provider.window("title");
  ASSERT_NE(tw, nullptr);
  EXPECT_EQ(tw->x, g.provider.defaultX);
  ASSERT_TRUE(g.click(2));
  EXPECT_FALSE(g.title().loaded());
  ASSERT_TRUE(g.game().loaded());
  const auto* gw = g.provider.window("game");
  ASSERT_NE(gw, nullptr);
  EXPECT_EQ(gw->x, g.provider.defaultX);
  EXPECT_EQ(g.st().modeKey, "n");
  EXPECT_EQ(g.st().timeTens, 8);
  EXPECT_EQ(g.st().speedAdj, -1);
  ASSERT_TRUE(g.provider.advanceUntil(*g.rt, [&] { return g.game().ctl<platform::Timer>("endTimer").Interval() == 1; }, 60000));
  EXPECT_EQ(g.provider.nowUs(), 1620 * 10000);
  if (auto dir = testkit::snapshotDir(); !dir.empty()) testkit::writePpm(g.image("game"), dir + "/gameover.ppm");
  g.tap(VK_SPACE);
  g.advance(2);
  EXPECT_TRUE(g.title().loaded());
  EXPECT_FALSE(g.game().loaded());
}

}  // namespace
