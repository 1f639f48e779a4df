// Our PNG code, which reads the golden pictures on Windows, against libpng on Linux: both read
// every golden picture alike, and libpng reads what ours writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "tests/golden_game.h"
#include "tests/png_codec.h"
#include "tests/png_io.h"
#include "tests/testkit.h"

namespace {

namespace fs = std::filesystem;

TEST(PngCodec, ReadsEveryGoldenPictureAsLibpngDoes) {
  int pictures = 0;
  for (int mode = 0; mode < 4; ++mode) {
    for (int tick : testkit::kGoldenTicks) {
      const std::string path = testkit::goldenFramePath(mode, tick);
      const auto reference = testkit::readPng(path);
      ASSERT_TRUE(reference) << path;
      const auto ours = testkit::png::decode(testkit::readFile(path));
      ASSERT_TRUE(ours) << path;
      EXPECT_EQ(ours->width, reference->width) << path;
      EXPECT_EQ(ours->height, reference->height) << path;
      EXPECT_TRUE(ours->pixels == reference->pixels) << path;
      ++pictures;
    }
  }
  EXPECT_EQ(pictures, 16);
}

TEST(PngCodec, WritesWhatLibpngReadsAndReadsItBack) {
  // Noise, one row, and a picture larger than one stored block.
  std::mt19937 rng(3);
  for (const auto& [w, h] : {std::pair{17, 5}, std::pair{1, 1}, std::pair{640, 320}}) {
    platform::Bitmap b;
    b.width = w;
    b.height = h;
    b.pixels.resize(static_cast<size_t>(w) * h * 3);
    for (auto& p : b.pixels) p = static_cast<uint8_t>(rng());
    const fs::path file = testkit::makeTemporaryFolder("morofin-png-") / "p.png";
    std::ofstream(file, std::ios::binary) << testkit::png::encode(b);
    const auto byLibpng = testkit::readPng(file.string());
    ASSERT_TRUE(byLibpng) << w << "x" << h;
    EXPECT_TRUE(byLibpng->pixels == b.pixels) << w << "x" << h;
    const auto byOurs = testkit::png::decode(testkit::readFile(file));
    ASSERT_TRUE(byOurs);
    EXPECT_TRUE(byOurs->pixels == b.pixels) << w << "x" << h;
    fs::remove_all(file.parent_path());
  }
}

TEST(PngCodec, RefusesDamagedFiles) {
  const std::string good = testkit::readFile(testkit::goldenFramePath(0, 1));
  ASSERT_TRUE(testkit::png::decode(good));
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"cut short", good.substr(0, good.size() / 2)},
      {"not a PNG", "GIF89a" + good.substr(6)},
      {"a flipped byte", [&] {
         std::string b = good;
         b[b.size() / 2] ^= 0x10;
         return b;
       }()},
  };
  for (const Case& c : cases) EXPECT_FALSE(testkit::png::decode(c.bytes)) << c.name;
}

}  // namespace
