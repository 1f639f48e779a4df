#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/keys.h"
#include "storage/hiscore.h"
#include "tests/testkit.h"

namespace fs = std::filesystem;
using testkit::Game;

namespace {

// Every file below a folder with its content, to tell that nothing in it changed.
std::map<std::string, std::string> contents(const fs::path& folder) {
  std::map<std::string, std::string> all;
  for (auto& e : fs::recursive_directory_iterator(folder))
    all[e.path().string()] = e.is_regular_file() ? testkit::readFile(e.path()) : "(folder)";
  return all;
}

// Every kind of score file a player may have: what the game reads from it, what it says, and where
// the next beaten score is stored. The same cases hold for the program folder's file of a copy run
// where it was built and for the player's own file of an installed copy.
TEST(ScoreFile, EveryCaseFromReadToWrite) {
  const bool root = testkit::runsAsRoot();
  enum Setup { kBytes, kMissing, kNoFolder, kDir, kReadOnlyFile, kReadOnlyFolder, kFolderIsAFile };
  // Where a beaten score ends up: in the file of the case, in the player's own file instead (a
  // copy run in place whose program folder cannot take it), or nowhere (with a message).
  enum Lands { kHere, kPlayer, kNowhere };
  struct Case {
    const char* name;
    Setup setup;
    std::string bytes;
    int expect;
    bool complains;
    Lands inPlace;    // a copy run where it was built
    Lands installed;  // the player's own file of an installed copy
  } cases[] = {
      {"valid", kBytes, "42\r\n", 42, false, kHere, kHere},
      {"zero", kBytes, "0\r\n", 0, false, kHere, kHere},
      {"largest", kBytes, "32767\r\n", 32767, false, kHere, kHere},  // cannot be beaten
      {"no line end", kBytes, "42", 42, false, kHere, kHere},
      {"unix line end", kBytes, "42\n", 42, false, kHere, kHere},
      {"leading blanks", kBytes, "  42\r\n", 42, false, kHere, kHere},
      {"trailing blanks", kBytes, "42  \r\n", 42, false, kHere, kHere},
      {"later lines ignored", kBytes, "42\r\nhello\r\n", 42, false, kHere, kHere},
      {"missing", kMissing, "", 0, false, kHere, kHere},
      {"missing folder", kNoFolder, "", 0, false, kHere, kHere},
      {"empty", kBytes, "", 0, true, kHere, kHere},
      {"blank line", kBytes, "\r\n", 0, true, kHere, kHere},
      {"letters", kBytes, "abc\r\n", 0, true, kHere, kHere},
      {"negative", kBytes, "-5\r\n", 0, true, kHere, kHere},
      {"beyond 16 bits", kBytes, "32768\r\n", 0, true, kHere, kHere},
      {"far beyond", kBytes, "99999999999999999999\r\n", 0, true, kHere, kHere},
      {"trailing junk", kBytes, "42abc\r\n", 0, true, kHere, kHere},
      {"two numbers", kBytes, "42 43\r\n", 0, true, kHere, kHere},
      {"plus sign", kBytes, "+42\r\n", 0, true, kHere, kHere},
      {"binary junk", kBytes, std::string("\x00\xff\x13\x37", 4), 0, true, kHere, kHere},
      {"huge file", kBytes, std::string(100000, '7'), 0, true, kHere, kHere},
      {"a folder in its place", kDir, "", 0, true, kPlayer, kNowhere},
      {"the folder is a file", kFolderIsAFile, "", 0, false, kPlayer, kNowhere},
      {"read-only file", kReadOnlyFile, "42\r\n", 42, false, root ? kHere : kPlayer,
       root ? kHere : kNowhere},
      // Written in place by a player who is not root.
      {"read-only folder", kReadOnlyFolder, "42\r\n", 42, false, kHere, kHere},
  };
  for (const bool installed : {false, true}) {
    for (const Case& c : cases) {
      const std::string name = std::string(installed ? "installed, " : "in place, ") + c.name;
      Game g;
      if (installed) g.folder.write("installed", "");
      const fs::path folder = installed ? g.folder.playerData() / "morofin" : g.folder.file("data");
      const fs::path file = folder / "n.dat";
      fs::create_directories(folder);
      const auto write = [&](const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
      };
      switch (c.setup) {
        case kBytes:
          write(c.bytes);
          break;
        case kMissing:
          break;
        case kNoFolder:
          fs::remove_all(folder);
          break;
        case kDir:
          fs::create_directories(file);
          break;
        case kFolderIsAFile:
          fs::remove_all(folder);
          std::ofstream(folder) << "not a folder";
          break;
        case kReadOnlyFile:
          write(c.bytes);
          fs::permissions(file, fs::perms::owner_read);
          break;
        case kReadOnlyFolder:
          write(c.bytes);
          fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
          break;
      }
      const auto programBefore = contents(g.folder.path());
      ASSERT_TRUE(g.start());
      testing::internal::CaptureStderr();
      ASSERT_TRUE(g.click(2)) << name;
      std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(g.st().hiScore.value(), c.expect) << name;
      EXPECT_EQ(!err.empty(), c.complains) << name << ": " << err;
      if (c.complains) {
        EXPECT_NE(err.find("n.dat"), std::string::npos) << err;
      }
      const int beaten = std::min(c.expect + 5, 32767);
      testing::internal::CaptureStderr();
      ASSERT_TRUE(g.endWith(beaten)) << name;
      err = testing::internal::GetCapturedStderr();
      const bool triedToWrite = c.expect < beaten;
      const Lands lands = installed ? c.installed : c.inPlace;
      const std::string line = std::to_string(beaten) + "\r\n";
      if (triedToWrite && lands != kNowhere) {
        EXPECT_EQ(testkit::readFile(lands == kHere ? file : g.folder.playerFile("n.dat")), line)
            << name;
        EXPECT_TRUE(err.empty()) << name << ": " << err;
      } else if (triedToWrite) {
        EXPECT_NE(err.find("not saved"), std::string::npos) << name << ": " << err;
      }
      if (installed) {
        EXPECT_EQ(contents(g.folder.path()), programBefore)
            << name << ": the program folder changed";
      }
      // The game goes on to the title either way, and the next game shows the record.
      g.tap(platform::VK_SPACE);
      ASSERT_TRUE(g.advance(2)) << name;
      EXPECT_TRUE(g.title().loaded()) << name;
      if (triedToWrite && lands != kNowhere) {
        testing::internal::CaptureStderr();
        ASSERT_TRUE(g.click(2)) << name;
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(g.st().hiScore.value(), beaten) << name;
      }
      std::error_code ignored;
      fs::permissions(folder, fs::perms::owner_all, ignored);
    }
  }
}

TEST(ScoreFile, WriteIsDigitsAndCrLfAndTouchesOnlyItsMode) {
  Game g;
  g.folder.write("data/h.dat", "42\r\n");
  g.folder.write("data/e.dat", "7\r\n");
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(3));
  ASSERT_TRUE(storage::writeHighScore("h", 43));
  EXPECT_EQ(g.folder.read("data/h.dat"), "43\r\n");
  EXPECT_EQ(g.folder.read("data/e.dat"), "7\r\n");
  EXPECT_FALSE(fs::exists(g.folder.file("data/n.dat")));
  // No temporary file is left behind.
  int files = 0;
  for (auto& e : fs::directory_iterator(g.folder.file("data"))) files += e.is_regular_file();
  EXPECT_EQ(files, 2);
}

TEST(ScoreFile, MissingFolderIsCreatedAndJunkIsKeptAside) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  fs::remove_all(g.folder.file("data"));
  ASSERT_TRUE(storage::writeHighScore("e", 5));
  EXPECT_EQ(g.folder.read("data/e.dat"), "5\r\n");
  g.folder.write("data/e.dat", "not a score");
  ASSERT_TRUE(storage::writeHighScore("e", 6));
  EXPECT_EQ(g.folder.read("data/e.dat"), "6\r\n");
  EXPECT_EQ(g.folder.read("data/e.dat.bad"), "not a score");
}

TEST(ScoreFile, AFailedWriteLeavesTheOldFileAndSaysWhy) {
  // A folder in the place of an installed copy's player file cannot be replaced, whoever runs
  // the game.
  Game g;
  g.folder.write("installed", "");
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  fs::create_directories(g.folder.playerFile("e.dat/inside"));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(storage::writeHighScore("e", 9));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("not saved"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(g.folder.playerFile("e.dat/inside")));
  int left = 0;
  for (auto& e : fs::directory_iterator(g.folder.playerFile("")))
    left += e.path().filename().string().rfind(".e.dat", 0) == 0;
  EXPECT_EQ(left, 0);
}

}  // namespace
