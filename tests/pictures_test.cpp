#include "screens/pictures.h"

#include <gtest/gtest.h>

using platform::Bitmap;
using platform::Rgb;

namespace {

const Rgb kWhite{255, 255, 255};
const Rgb kBlack{0, 0, 0};

// The rules the masked drawing depends on, for one creature set.
void checkSet(const platform::Picture (&set)[7], int size) {
  const Bitmap& mask = *set[4].bitmap();
  ASSERT_EQ(mask.width, size);
  ASSERT_EQ(mask.height, size);
  int body = 0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      Rgb m = mask.at(x, y);
      ASSERT_TRUE(m == kBlack || m == kWhite) << x << "," << y;
      body += m == kBlack;
    }
  EXPECT_GT(body, size * size / 3);
  // The corners lie outside the dome.
  EXPECT_EQ(mask.at(0, 0), kWhite);
  EXPECT_EQ(mask.at(size - 1, 0), kWhite);
  for (int i : {0, 1, 2, 3, 5, 6}) {
    const Bitmap& p = *set[i].bitmap();
    ASSERT_EQ(p.width, size);
    ASSERT_EQ(p.height, size);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        ASSERT_EQ(p.at(x, y) != kWhite, mask.at(x, y) == kBlack)
            << "facing " << i << " at " << x << "," << y;
  }
}

bool contains(const Bitmap& b, Rgb c) {
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x)
      if (b.at(x, y) == c) return true;
  return false;
}

TEST(Pictures, CreaturesKeepTheMaskRules) {
  checkSet(screens::pictures().wobo, 32);
  checkSet(screens::pictures().zeka, 16);
}

TEST(Pictures, CreaturesShowTheirFacesAndColours) {
  const auto& p = screens::pictures();
  for (const auto* set : {p.wobo, p.zeka}) {
    for (int i : {0, 1, 3, 5, 6}) {
      const Bitmap& b = *set[i].bitmap();
      EXPECT_TRUE(contains(b, {128, 255, 255})) << i;
      EXPECT_TRUE(contains(b, {255, 0, 0})) << i;
      EXPECT_TRUE(contains(b, {128, 0, 0})) << i;
      EXPECT_TRUE(contains(b, {255, 128, 255})) << i;
    }
    // The back view has no face.
    EXPECT_FALSE(contains(*set[2].bitmap(), {255, 0, 0}));
    // Facing left and right put the face on different sides.
    EXPECT_NE(set[1].bitmap()->pixels, set[3].bitmap()->pixels);
  }
}

TEST(Pictures, DigitsFollowTheGlyphTableBlockForBlock) {
  const char* glyphs[10][5] = {
      {"111", "101", "101", "101", "111"}, {"110", "010", "010", "010", "010"},
      {"111", "001", "111", "100", "111"}, {"111", "001", "111", "001", "111"},
      {"101", "101", "101", "111", "001"}, {"111", "100", "111", "001", "111"},
      {"111", "100", "111", "101", "111"}, {"111", "101", "001", "001", "001"},
      {"111", "101", "111", "101", "111"}, {"111", "101", "111", "001", "111"}};
  for (int d = 0; d < 10; ++d) {
    const Bitmap& b = *screens::pictures().num[d].bitmap();
    ASSERT_EQ(b.width, 30);
    ASSERT_EQ(b.height, 50);
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 30; ++x) {
        Rgb want = glyphs[d][y / 10][x / 10] == '1' ? Rgb{255, 0, 0} : kWhite;
        ASSERT_EQ(b.at(x, y), want) << "digit " << d << " at " << x << "," << y;
      }
  }
}

TEST(Pictures, BackgroundIsAPaleFieldWith25Tufts) {
  const Bitmap& b = *screens::pictures().field.bitmap();
  ASSERT_EQ(b.width, 640);
  ASSERT_EQ(b.height, 320);
  int grass = 0;
  for (int y = 0; y < 320; ++y)
    for (int x = 0; x < 640; ++x) {
      Rgb c = b.at(x, y);
      ASSERT_TRUE(c == (Rgb{155, 255, 205}) || c == (Rgb{0, 249, 124}));
      grass += c == Rgb{0, 249, 124};
    }
  // Every tuft is the same 7 x 9 figure of 25 pixels, and they do not touch.
  EXPECT_EQ(grass, 25 * 25);
}

TEST(Pictures, ClockAndIcon) {
  const auto& p = screens::pictures();
  ASSERT_EQ(p.clock.width(), 16);
  EXPECT_TRUE(contains(*p.clock.bitmap(), {128, 64, 0}));
  EXPECT_TRUE(contains(*p.clock.bitmap(), {255, 255, 128}));
  EXPECT_TRUE(contains(*p.clock.bitmap(), kBlack));
  EXPECT_EQ(p.clock.bitmap()->at(0, 0), kWhite);
  ASSERT_EQ(p.icon.width(), 32);
  ASSERT_EQ(p.icon.height(), 32);
  EXPECT_TRUE(contains(*p.icon.bitmap(), {192, 192, 192}));
  EXPECT_TRUE(contains(*p.icon.bitmap(), {255, 0, 0}));
  EXPECT_EQ(p.icon.bitmap()->at(0, 0), kWhite);
  EXPECT_EQ(p.icon.bitmap()->at(31, 0), kWhite);
}

}  // namespace
