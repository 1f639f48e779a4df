// The chasing player's whole games against their golden traces and pictures.
#include "tests/golden_game.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "screens/pictures.h"
#include "tests/png_io.h"
#include "tests/testkit.h"

using platform::Rgb;
using testkit::Game;

namespace {

// The frame as the player sees it: both creatures through their masks over the field.
void checkFrame(Game& g) {
  const auto& s = g.st();
  const auto& map = g.game().ctl<platform::PictureBox>("map").image();
  const auto& field = *screens::pictures().field.bitmap();
  const int wx = s.woboX.value(), wy = s.woboY.value();
  if (wx >= 0 && wy >= 0 && wx + 31 < 640 && wy + 31 < 320) {
    EXPECT_EQ(map.at(wx + 16, wy + 28), (Rgb{128, 255, 255}));  // the body
    EXPECT_EQ(map.at(wx, wy), field.at(wx, wy));                // the field around it
    EXPECT_EQ(map.at(wx + 31, wy + 31), field.at(wx + 31, wy + 31));
  }
  const int zx = s.zekaX.value(), zy = s.zekaY.value();
  const bool underWobo = zx + 16 > wx && zx < wx + 32 && zy + 16 > wy && zy < wy + 32;
  if (!underWobo) {
    EXPECT_EQ(map.at(zx + 8, zy + 13), (Rgb{128, 255, 255}));
    EXPECT_EQ(map.at(zx, zy), field.at(zx, zy));
  }
}

// A whole game per mode against its goldens: the trace of places, score, stored file and media
// requests, and the playfield at a few ticks as pictures (tests/fixtures/game_<mode>*).
// `build/tests/morofin_record_goldens` writes them anew after an intended change.
class GoldenGame : public ::testing::TestWithParam<int> {};

TEST_P(GoldenGame, AChasingPlayersGameMatchesItsGoldens) {
  const int mode = GetParam();
  testkit::ChasedGame got = testkit::playChasedGame(mode, checkFrame);
  const std::string outDir =
      std::string(MOROFIN_BINARY_DIR) + "/golden-actual/" + testkit::kModes[mode];
  auto keepActual = [&] {
    std::filesystem::create_directories(outDir);
    std::ofstream f(outDir + "/game.txt");
    for (const auto& l : got.trace) f << l << "\n";
    for (const auto& [tick, img] : got.frames)
      testkit::writePng(img, outDir + "/frame_" + std::to_string(tick) + ".png");
    return "the actual trace and frames are in " + outDir;
  };
  std::ifstream f(testkit::goldenTracePath(mode));
  ASSERT_TRUE(f) << "no golden trace at " << testkit::goldenTracePath(mode)
                 << " (build/tests/morofin_record_goldens writes them)";
  std::vector<std::string> want;
  for (std::string l; std::getline(f, l);) want.push_back(l);
  bool same = got.trace == want;
  EXPECT_EQ(got.trace, want);
  for (int tick : testkit::kGoldenTicks) {
    auto golden = testkit::readPng(testkit::goldenFramePath(mode, tick));
    ASSERT_TRUE(golden) << "no golden frame at " << testkit::goldenFramePath(mode, tick);
    const platform::Bitmap& actual = got.frames[tick];
    int differ = 0;
    if (golden->width != actual.width || golden->height != actual.height) {
      differ = -1;
    } else {
      for (int y = 0; y < actual.height; ++y)
        for (int x = 0; x < actual.width; ++x) differ += !(golden->at(x, y) == actual.at(x, y));
    }
    EXPECT_EQ(differ, 0) << "the frame after tick " << tick << " differs from "
                         << testkit::goldenFramePath(mode, tick);
    same = same && differ == 0;
  }
  if (!same) ADD_FAILURE() << keepActual();
}

INSTANTIATE_TEST_SUITE_P(EachMode, GoldenGame, ::testing::Values(0, 1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(1, testkit::kModes[i.param]);
                         });

}  // namespace
