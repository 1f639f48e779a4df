#include "screens/designs.h"

#include <gtest/gtest.h>

#include "platform/interaction.h"
#include "platform/keys.h"
#include "platform/text.h"
#include "screens/pictures.h"
#include "tests/testkit.h"

using platform::Bitmap;
using platform::Rgb;
using testkit::Game;

namespace {

const Rgb kWhite{255, 255, 255};

int countColour(const Bitmap& b, int x0, int y0, int w, int h, auto pred) {
  int n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) n += pred(b.at(x, y));
  return n;
}

void snapshot(const Bitmap& b, const char* name) {
  if (auto dir = testkit::snapshotDir(); !dir.empty())
    testkit::writePpm(b, dir + "/" + name + ".ppm");
}

TEST(TitleDesign, ControlsInTabOrderWithTheirPixels) {
  Game g;
  ASSERT_TRUE(g.start());
  auto& t = g.title();
  struct Row {
    const char* name;
    int index, x, y, w, h, tab;
    bool visible;
  } rows[] = {
      {"Command1", -1, 270, 144, 217, 25, 1, true}, {"Command2", -1, 270, 176, 217, 25, 2, true},
      {"Command3", -1, 270, 208, 217, 25, 3, true}, {"Command4", -1, 270, 240, 217, 25, 4, true},
      {"dataText", 0, 544, 160, 137, 18, 5, false}, {"dataText", 3, 544, 232, 137, 18, 8, false},
      {"Command5", -1, 272, 280, 217, 25, 9, true},
  };
  for (const Row& r : rows) {
    const auto& c = t.control(r.name, r.index);
    EXPECT_EQ(c.leftPx(), r.x) << r.name;
    EXPECT_EQ(c.topPx(), r.y) << r.name;
    EXPECT_EQ(c.widthPx(), r.w) << r.name;
    EXPECT_EQ(c.heightPx(), r.h) << r.name;
    EXPECT_EQ(c.tabIndex(), r.tab) << r.name;
    EXPECT_EQ(c.Visible(), r.visible) << r.name;
  }
  EXPECT_EQ(t.ctl<platform::TextBox>("dataText", 2).Text(), "Text1");
  EXPECT_EQ(t.ctl<platform::Timer>("bgmTimer").Interval(), 10);
  EXPECT_EQ(t.design().caption, "モロフィン！V1.00");
  EXPECT_EQ(t.clientWidthPx(), 756);
  EXPECT_EQ(t.clientHeightPx(), 323);
  // Focus starts on the first mode button; Tab from the last mode button skips the hidden items.
  EXPECT_EQ(t.focused(), &t.control("Command1"));
  for (int i = 0; i < 3; ++i) t.moveFocus(false);
  EXPECT_EQ(t.focused(), &t.control("Command4"));
  t.moveFocus(false);
  EXPECT_EQ(t.focused(), &t.control("Command5"));
}

TEST(TitleDesign, FirstFrameAsComposed) {
  Game g;
  ASSERT_TRUE(g.start());
  Bitmap img = g.image("title");
  snapshot(img, "title");
  ASSERT_EQ(img.width, 756);
  ASSERT_EQ(img.height, 323);
  EXPECT_EQ(img.at(5, 5), kWhite);
  EXPECT_EQ(img.at(750, 318), kWhite);
  // Button faces: light cyan for the modes, light yellow for quit, away from caption and edges.
  for (int y : {150, 182, 214, 246}) EXPECT_EQ(img.at(275, y), (Rgb{192, 255, 255})) << y;
  EXPECT_EQ(img.at(278, 286), (Rgb{255, 255, 128}));
  // Raised edge: light top-left, black bottom-right.
  EXPECT_EQ(img.at(270, 144), kWhite);
  EXPECT_EQ(img.at(485, 168), (Rgb{0, 0, 0}));
  if (platform::Fonts::fontFile().empty()) GTEST_SKIP() << "no Japanese font installed";
  // The title text, blue, inside its label's box; the captions dark on the buttons.
  auto blue = [](Rgb c) { return c.b > 150 && c.r < 100 && c.g < 100; };
  EXPECT_GT(countColour(img, 115, 48, 526, 64, blue), 3000);
  EXPECT_EQ(countColour(img, 0, 0, 756, 40, blue), 0);
  auto dark = [](Rgb c) { return c.r < 80 && c.g < 80 && c.b < 80; };
  EXPECT_GT(countColour(img, 300, 148, 160, 18, dark), 60);
  EXPECT_GT(countColour(img, 300, 284, 160, 18, dark), 60);
}

TEST(GameDesign, DesignStateBeforeTheFirstTick) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  auto& f = g.game();
  const auto& map = f.ctl<platform::PictureBox>("map");
  EXPECT_EQ(map.ScaleWidth(), 640.0f);
  EXPECT_EQ(map.ScaleHeight(), 320.0f);
  EXPECT_EQ(map.widthPx(), 642);
  // Twips become the nearest whole pixel: 638 / 15 = 42.53 is 43, 10080 / 15 = 672.
  EXPECT_EQ(f.control("Label1", 1).topPx(), 43);
  EXPECT_EQ(f.control("Label1", 1).leftPx(), 672);
  EXPECT_EQ(f.control("gameoverL", 1).leftPx(), 151);  // 2265 / 15 = 151
  EXPECT_EQ(f.ctl<platform::Timer>("woboTimer").Interval(), 10);
  EXPECT_EQ(f.ctl<platform::Timer>("waitTimer").Interval(), 0);
  EXPECT_EQ(f.ctl<platform::Timer>("endTimer").Interval(), 0);
  EXPECT_FALSE(f.control("pauseL").Visible());
  EXPECT_FALSE(f.control("gameoverL", 0).Visible());
  EXPECT_FALSE(f.control("gameoverL", 1).Visible());
  EXPECT_EQ(f.ctl<platform::Label>("dT").Caption(), "イージー");
  const auto& pics = screens::pictures();
  EXPECT_TRUE(f.ctl<platform::Image>("lastT", 0).GetPicture() == pics.num[0]);
  EXPECT_TRUE(f.ctl<platform::Image>("Image1").GetPicture() == pics.zeka[0]);
  EXPECT_EQ(map.image().pixels, pics.field.bitmap()->pixels);  // background alone

  Bitmap img = g.image("game");
  snapshot(img, "game_design");
  EXPECT_EQ(img.at(0, 0), (Rgb{0, 0, 0}));  // flat border
  EXPECT_EQ(img.at(641, 321), (Rgb{0, 0, 0}));
  EXPECT_EQ(img.at(1, 1), (Rgb{155, 255, 205}));          // the field
  EXPECT_EQ(img.at(688, 24), (Rgb{255, 0, 0}));           // time tens digit 0, top-left block
  EXPECT_EQ(img.at(700, 40), kWhite);                     // inside the 0
  EXPECT_EQ(img.at(720, 96), (Rgb{255, 0, 0}));           // score ones
  EXPECT_EQ(img.at(688, 192), (Rgb{255, 0, 0}));          // high score tens
  EXPECT_EQ(img.at(648 + 8, 41 + 1), (Rgb{128, 64, 0}));  // clock rim
  if (platform::Fonts::fontFile().empty()) GTEST_SKIP() << "no Japanese font installed";
  auto red = [](Rgb c) { return c.r > 200 && c.g < 90 && c.b < 90; };
  EXPECT_GT(countColour(img, 648, 168, 98, 21, red), 80);   // ハイスコア
  EXPECT_GT(countColour(img, 640, 296, 112, 19, red), 60);  // the mode's name
}

TEST(Designs, ModeTableRows) {
  struct Row {
    int button;
    const char *key, *time, *speed, *name;
  } rows[] = {{1, "e", "91", "-2", "イージー"},
              {2, "n", "81", "-1", "ノーマル"},
              {3, "h", "71", "0", "ハード"},
              {4, "d", "61", "+1", "ディフィカルト"}};
  for (const Row& r : rows) {
    Game g;
    ASSERT_TRUE(g.start());
    ASSERT_TRUE(g.click(r.button));
    EXPECT_EQ(g.st().modeKey, r.key);
    EXPECT_EQ(g.st().timeTens.value(), r.time[0] - '0');
    EXPECT_EQ(g.st().speedAdj.value(), std::atoi(r.speed));
    EXPECT_EQ(g.game().ctl<platform::Label>("dT").Caption(), r.name);
  }
}

}  // namespace

namespace {

// The longest mode name fits its label.
TEST(GameDesign, TheLongestModeNameFitsBesideThePlayfield) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(4));
  Bitmap img = g.image("game");
  snapshot(img, "game_d");
  if (platform::Fonts::fontFile().empty()) GTEST_SKIP() << "no Japanese font installed";
  auto red = [](Rgb c) { return c.r > 200 && c.g < 90 && c.b < 90; };
  EXPECT_GT(countColour(img, 642, 292, 114, 26, red), 60);
  // Nothing of it spills onto the playfield's border or beyond the window.
  EXPECT_EQ(countColour(img, 600, 292, 42, 30, red), 0);
}

}  // namespace

namespace {

// The title's buttons under the mouse and the keyboard, as on a desktop.
TEST(Buttons, MouseAndKeyboardAsOnADesktop) {
  {
    Game g;
    ASSERT_TRUE(g.start());
    platform::Interaction ui(*g.rt);
    auto& t = g.title();
    auto& b1 = t.ctl<platform::CommandButton>("Command1");
    ui.mouseDown(t, 300, 150);
    EXPECT_TRUE(b1.pressed());
    ui.mouseMove(t, 100, 20);  // dragged off: no longer pushed in
    EXPECT_FALSE(b1.pressed());
    ui.mouseUp(t, 100, 20);  // released outside: no click
    EXPECT_TRUE(t.loaded());
    ui.mouseDown(t, 300, 186);  // Command2 takes the focus
    EXPECT_EQ(t.focused(), &t.control("Command2"));
    ui.mouseUp(t, 300, 186);  // released inside: a click
    EXPECT_FALSE(g.title().loaded());
    EXPECT_EQ(g.st().modeKey, "n");
  }
  {
    Game g;
    ASSERT_TRUE(g.start());
    platform::Interaction ui(*g.rt);
    auto& t = g.title();
    ui.keyUp(t, platform::VK_SPACE);  // a release whose press this window never saw
    EXPECT_TRUE(t.loaded());
    ui.keyDown(t, platform::VK_TAB, false);
    ui.keyDown(t, platform::VK_TAB, true);
    ui.keyDown(t, platform::VK_TAB, true);  // Shift+Tab from Command1 wraps to Command5
    EXPECT_EQ(t.focused(), &t.control("Command5"));
    ui.keyDown(t, platform::VK_TAB, false);
    ui.keyDown(t, platform::VK_TAB, false);
    EXPECT_EQ(t.focused(), &t.control("Command2"));
    ui.keyDown(t, platform::VK_SPACE, false);
    EXPECT_TRUE(t.ctl<platform::CommandButton>("Command2").pressed());
    EXPECT_TRUE(t.loaded());  // nothing happens until the release
    ui.keyUp(t, platform::VK_SPACE);
    EXPECT_FALSE(g.title().loaded());
    EXPECT_EQ(g.st().modeKey, "n");
  }
  {
    Game g;
    ASSERT_TRUE(g.start());
    platform::Interaction ui(*g.rt);
    ui.keyDown(g.title(), platform::VK_RETURN, false);  // Enter clicks the focused Command1
    EXPECT_EQ(g.st().modeKey, "e");
  }
}

}  // namespace
