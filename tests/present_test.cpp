#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/compose.h"
#include "platform/keys.h"
#include "platform/scale.h"
#include "platform/text.h"
#include "screens/pictures.h"
#include "tests/testkit.h"

using platform::Bitmap;
using platform::Canvas;
using platform::CommandButton;
using platform::Form;
using platform::Image;
using platform::Label;
using platform::NativeImage;
using platform::PictureBox;
using platform::RasterOp;
using platform::Rgb;
using platform::TextBox;
using testkit::Game;

namespace {

// A window as a provider keeps it: an image that only the form's changes are composed into.
struct KeptWindow {
  NativeImage image;
  int scale;
  KeptWindow(Form& f, int n)
      : image(f.clientWidthPx() * n, f.clientHeightPx() * n, f.pixelFormat(), {1, 2, 3}), scale(n) {
    f.invalidate();
    present(f);
  }
  void present(Form& f) { platform::composeChanges(f, Canvas::over(image, scale)); }
};

// Where the kept image differs from a fresh composition of the whole window, or "" when nowhere.
std::string difference(Form& f, const KeptWindow& w) {
  const Bitmap kept = w.image.toBitmap();
  const Bitmap full = platform::composeWindow(f, w.scale);
  int count = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < full.height; ++y)
    for (int x = 0; x < full.width; ++x)
      if (!(kept.at(x, y) == full.at(x, y)) && count++ == 0) {
        firstX = x;
        firstY = y;
      }
  if (!count) return "";
  return std::to_string(count) + " pixels differ, the first at (" + std::to_string(firstX) + ", " +
         std::to_string(firstY) + ")";
}

const char* const kCaptions[] = {"",         "×",    "ハイスコア", "イージー",
                                 "ノーマル", "最速", "x",          "12345"};

// One random change to the game window, of the kinds a game makes and a few more.
std::string changeGame(Game& g, std::mt19937& r) {
  auto& f = g.game();
  auto pick = [&r](int n) { return static_cast<int>(r() % static_cast<unsigned>(n)); };
  const auto& pics = screens::pictures();
  switch (pick(7)) {
    case 0: {  // ticks with some arrow keys held
      for (int vk : {platform::VK_UP, platform::VK_DOWN, platform::VK_LEFT, platform::VK_RIGHT})
        g.rt->keys().setHeld(vk, pick(2) == 0);
      const int n = 1 + pick(25);
      g.st().timeTens = 9;  // the clock never runs out here
      g.ticks(n);
      return "ticks " + std::to_string(n);
    }
    case 1: {  // a digit image takes another picture
      const char* names[] = {"lastT", "scoreP", "hiS"};
      const char* name = names[pick(3)];
      f.ctl<Image>(name, pick(2)).setPicture(pics.num[pick(10)]);
      return std::string("digit ") + name;
    }
    case 2: {  // an overlay label shown or hidden
      const int which = pick(3);
      Label& l = which == 2 ? f.ctl<Label>("pauseL") : f.ctl<Label>("gameoverL", which);
      l.setVisible(!l.Visible());
      return "label " + l.name();
    }
    case 3: {  // a caption, also of the labels that take their caption's size
      const int which = pick(3);
      Label& l = which == 0   ? f.ctl<Label>("dT")
                 : which == 1 ? f.ctl<Label>("Label1", 0)
                              : f.ctl<Label>("Label3");
      l.setCaption(kCaptions[pick(8)]);
      return "caption " + l.name();
    }
    case 4: {  // a paint anywhere, also beyond the edges
      auto& map = f.ctl<PictureBox>("map");
      const auto& p = pick(2) ? pics.wobo[pick(7)] : pics.zeka[pick(7)];
      const RasterOp ops[] = {RasterOp::kMergePaint, RasterOp::kSrcAnd, RasterOp::kSrcCopy};
      map.PaintPicture(p, static_cast<float>(pick(700) - 40), static_cast<float>(pick(380) - 40),
                       static_cast<int32_t>(ops[pick(3)]));
      return "paint";
    }
    case 5: {  // the playfield reset to a picture, now and then another one
      auto& map = f.ctl<PictureBox>("map");
      map.setPicture(pick(8) ? pics.field : pics.num[pick(10)]);
      return "reset";
    }
    default:  // an expose: the kept image is shown again as it is
      if (pick(2)) f.invalidate();
      return "expose";
  }
}

std::string changeTitle(Form& f, std::mt19937& r) {
  auto pick = [&r](int n) { return static_cast<int>(r() % static_cast<unsigned>(n)); };
  const std::string button = "Command" + std::to_string(1 + pick(5));
  switch (pick(4)) {
    case 0: {
      auto& b = f.ctl<CommandButton>(button);
      b.setPressed(!b.pressed());
      return "pressed " + button;
    }
    case 1:
      f.moveFocus(pick(2) == 0);
      return "focus";
    case 2: {
      auto& t = f.ctl<TextBox>("dataText", pick(4));
      t.setVisible(!t.Visible());
      t.setText(kCaptions[pick(8)]);
      return "text box";
    }
    default: {
      auto& l = f.ctl<Label>("Label1");
      l.setVisible(!l.Visible());
      return "title label";
    }
  }
}

class IncrementalPresent : public ::testing::TestWithParam<int> {};

TEST_P(IncrementalPresent, GameWindowEqualsAFullRecompositionAfterEveryChange) {
  const int scale = GetParam();
  Game g;
  g.seed(12);
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(2));
  KeptWindow w(g.game(), scale);
  std::mt19937 r(2024 + scale);
  for (int step = 0; step < 300; ++step) {
    const std::string what = changeGame(g, r);
    ASSERT_TRUE(g.game().loaded());
    w.present(g.game());
    const std::string diff = difference(g.game(), w);
    ASSERT_EQ(diff, "") << "after step " << step << ": " << what;
  }
}

TEST_P(IncrementalPresent, TitleWindowEqualsAFullRecompositionAfterEveryChange) {
  const int scale = GetParam();
  Game g;
  ASSERT_TRUE(g.start());
  KeptWindow w(g.title(), scale);
  std::mt19937 r(77 + scale);
  for (int step = 0; step < 200; ++step) {
    const std::string what = changeTitle(g.title(), r);
    w.present(g.title());
    const std::string diff = difference(g.title(), w);
    ASSERT_EQ(diff, "") << "after step " << step << ": " << what;
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, IncrementalPresent, ::testing::Values(1, 2));

TEST(IncrementalPresent, ATickRecomposesOnlyAroundTheCreatures) {
  Game g;
  g.seed(3);
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  KeptWindow w(g.game(), 1);
  g.ticks(1);
  w.present(g.game());
  g.hold(platform::VK_RIGHT);
  g.ticks(1);
  // Where both creatures were and are now: far less than the 640 x 320 field.
  int area = 0;
  for (auto r : g.game().takeDirty()) area += r.w * r.h;
  EXPECT_GT(area, 0);
  EXPECT_LT(area, 4 * (32 + 2) * (32 + 2) + 4 * 18 * 18);
}

// A handler that goes on after unloading its own form may still change its controls; nothing is
// shown, and nothing fails.
TEST(IncrementalPresent, ChangesAfterTheFormsUnloadAreNoError) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  auto& f = g.game();
  Label& pause = f.ctl<Label>("pauseL");  // inside the playfield
  g.rt->dispatch([&] {
    f.Unload();
    pause.setVisible(true);
    pause.setCaption("x");
  });
  EXPECT_TRUE(g.provider.errors.empty());
  EXPECT_EQ(g.rt->exitStatus(), 0);
}

TEST(Scale, PicturesAreBlocksAndThePlayfieldKeepsItsPixels) {
  Game g;
  g.seed(5);
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  g.ticks(3);
  const Bitmap one = platform::composeWindow(g.game(), 1);
  const Bitmap two = platform::composeWindow(g.game(), 2);
  ASSERT_EQ(two.width, 1512);
  ASSERT_EQ(two.height, 646);
  // The field with its border, and the side panel's pictures: every pixel a 2 x 2 block.
  const platform::Rect pictures[] = {{0, 0, 642, 322},   {688, 24, 62, 50}, {688, 96, 62, 50},
                                     {688, 192, 62, 50}, {648, 41, 16, 16}, {648, 113, 16, 16}};
  for (auto r : pictures)
    for (int y = r.y; y < r.y + r.h; ++y)
      for (int x = r.x; x < r.x + r.w; ++x)
        for (int k = 0; k < 4; ++k)
          ASSERT_EQ(two.at(2 * x + k % 2, 2 * y + k / 2), one.at(x, y)) << x << "," << y;
}

TEST(Scale, TextIsRasterisedAtTheScaledSize) {
  Game g;
  ASSERT_TRUE(g.start());
  if (platform::Fonts::fontFile().empty()) GTEST_SKIP() << "no Japanese font installed";
  const Bitmap one = platform::composeWindow(g.title(), 1);
  const Bitmap two = platform::composeWindow(g.title(), 2);
  // The blue title text: about four times the pixels, and not merely blown-up blocks (a
  // rasterised edge has shades that a doubled 1x image would not have in 2 x 2 groups).
  auto blue = [](Rgb c) { return c.b > 150 && c.r < 100 && c.g < 100; };
  int n1 = 0, n2 = 0, blocky = 0, blocks = 0;
  for (int y = 48; y < 112; ++y)
    for (int x = 115; x < 641; ++x) {
      n1 += blue(one.at(x, y));
      for (int k = 0; k < 4; ++k) n2 += blue(two.at(2 * x + k % 2, 2 * y + k / 2));
      const Rgb c = two.at(2 * x, 2 * y);
      if (c == Rgb{255, 255, 255}) continue;
      ++blocks;
      blocky += c == two.at(2 * x + 1, 2 * y) && c == two.at(2 * x, 2 * y + 1) &&
                c == two.at(2 * x + 1, 2 * y + 1);
    }
  EXPECT_GT(n1, 1000);
  EXPECT_GT(n2, 3 * n1);
  EXPECT_LT(n2, 5 * n1);
  EXPECT_LT(blocky, blocks);
}

TEST(Scale, FromTheDesktopsSettings) {
  struct Case {
    const char* gdk;
    const char* resources;
    int scale;
  } cases[] = {
      {nullptr, nullptr, 1},
      {nullptr, "Xft.dpi:\t96\n", 1},
      {nullptr, "Xft.dpi:\t144\n", 1},
      {nullptr, "Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n", 2},
      {nullptr, "Xft.dpi: 288", 3},
      {nullptr, "Xft.dpi:\tlots\n", 1},
      {nullptr, "*dpi:\t192\n", 1},
      {"2", nullptr, 2},
      {"2", "Xft.dpi:\t288\n", 2},  // GDK_SCALE says it for this desktop
      {"1", "Xft.dpi:\t192\n", 1},
      {"", "Xft.dpi:\t192\n", 2},
      {"1.5", "Xft.dpi:\t192\n", 2},  // not a whole number: the resources decide
      {"0", nullptr, 1},
      {"-2", nullptr, 1},
      {"99999999999", nullptr, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::desktopScale(c.gdk, c.resources), c.scale)
        << (c.gdk ? c.gdk : "-") << " / " << (c.resources ? c.resources : "-");
}

TEST(Scale, NeverLargerThanTheUsableScreen) {
  struct Case {
    int wanted, usableW, usableH, scale;
  } cases[] = {
      {2, 3840, 2100, 2}, {3, 3840, 2100, 3}, {4, 3840, 2100, 4}, {6, 3840, 2100, 5},
      {2, 1920, 1080, 2}, {3, 1920, 1080, 2}, {2, 1280, 800, 1},  {2, 1512, 646, 2},
      {2, 1511, 646, 1},  {2, 1512, 645, 1},  {1, 100, 100, 1},   {2, 0, 0, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::fittingScale(c.wanted, 756, 323, c.usableW, c.usableH), c.scale)
        << c.wanted << " on " << c.usableW << " x " << c.usableH;
}

}  // namespace
