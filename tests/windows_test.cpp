// What only Windows has: the player's folder under %LOCALAPPDATA%, the face that stands in for the
// designed one, files marked read-only.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "platform/utf16_windows.h"

#include <filesystem>

#include "platform/files.h"
#include "platform/text.h"
#include "storage/hiscore.h"
#include "tests/testkit.h"

namespace {

namespace fs = std::filesystem;

TEST(WindowsPlayerFolder, FollowsLocalAppData) {
  testkit::Game g;
  g.folder.write("installed", "");
  const std::string absolute = testkit::utf8(g.folder.playerData() / "local");
  struct Case {
    const char* name;
    std::optional<std::string> value;
    bool theirs;  // the variable's folder, else the system's own
  } cases[] = {
      {"absolute", absolute, true},
      {"relative", "local", false},
      {"unset", std::nullopt, false},
  };
  for (const Case& c : cases) {
    testkit::setVariable("LOCALAPPDATA", c.value);
    const std::string folder = platform::userDataFolder();
    EXPECT_FALSE(folder.empty()) << c.name;
    if (c.theirs) {
      EXPECT_EQ(folder, absolute) << c.name;
      ASSERT_TRUE(storage::writeHighScore("d", 7)) << c.name;
      EXPECT_EQ(testkit::readFile(testkit::fromUtf8(absolute) / "morofin" / "d.dat"), "7\r\n");
    } else {
      EXPECT_NE(folder, absolute) << c.name;
      EXPECT_TRUE(fs::path(testkit::fromUtf8(folder)).is_absolute()) << c.name << ": " << folder;
    }
  }
}

// The designed face, or a named stand-in for it, or no text and a reason.
TEST(WindowsText, SaysWhichFaceStandsInForTheDesignedOne) {
  const std::string& face = platform::Fonts::fontFile();
  const std::string& note = platform::Fonts::faceNote();
  const std::string& problem = platform::Fonts::problem();
  std::printf("face: '%s'; note: '%s'; problem: '%s'\n", face.c_str(), note.c_str(),
              problem.c_str());
  if (face.empty()) {
    EXPECT_FALSE(problem.empty());
    return;
  }
  EXPECT_TRUE(problem.empty());
  const bool designed = face == "ＭＳ Ｐゴシック" || face == "MS PGothic";
  EXPECT_EQ(note.empty(), designed) << note;
  if (!designed) {
    EXPECT_NE(note.find(face), std::string::npos) << note;
  }
  // A caption comes out with ink, bold wider than plain.
  platform::FontSpec plain{"ＭＳ Ｐゴシック", 12, false, false};
  platform::FontSpec bold{"ＭＳ Ｐゴシック", 12, true, false};
  const auto& a = platform::Fonts::render(plain, "ハイスコア");
  const auto& b = platform::Fonts::render(bold, "ハイスコア");
  int ink = 0;
  for (uint8_t v : a.alpha) ink += v > 128;
  EXPECT_GT(ink, 50);
  EXPECT_GE(b.width, a.width);
}

// A score file its owner marked read-only is left as it is: an installed copy says so, a copy run
// where it was built keeps the record in the player's own file (as on Linux).
TEST(WindowsReadOnlyFile, IsLeftAsItIs) {
  for (const bool installed : {false, true}) {
    testkit::Game g;
    if (installed) g.folder.write("installed", "");
    const fs::path file =
        installed ? g.folder.playerFile("e.dat") : g.folder.file("data/e.dat");
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << "4\r\n";
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    testing::internal::CaptureStderr();
    const bool saved = storage::writeHighScore("e", 9);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testkit::readFile(file), "4\r\n") << installed;
    EXPECT_NE(::GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    if (installed) {
      EXPECT_FALSE(saved);
      EXPECT_NE(err.find("read-only"), std::string::npos) << err;
    } else {
      EXPECT_TRUE(saved) << err;
      EXPECT_EQ(testkit::readFile(g.folder.playerFile("e.dat")), "9\r\n");
    }
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// A replaced score file keeps what Windows keeps of a file: its attributes (here: hidden).
TEST(WindowsReplacedFile, KeepsItsAttributes) {
  testkit::Game g;
  const fs::path file = g.folder.file("data/n.dat");
  std::ofstream(file, std::ios::binary) << "1\r\n";
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(storage::writeHighScore("n", 2));
  EXPECT_EQ(testkit::readFile(file), "2\r\n");
  EXPECT_NE(::GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

}  // namespace
