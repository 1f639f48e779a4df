#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/keys.h"
#include "storage/hiscore.h"
#include "tests/testkit.h"

namespace fs = std::filesystem;
using testkit::Game;

namespace {

// Ends the running game with the given score.
void endWith(Game& g, int score) {
  g.st().score = score;
  g.st().zekaX = 600;  // far from the wobo: no catch in the last tick
  g.st().zekaY = 300;
  g.st().timeTens = 0;
  g.st().timeOnes = 0;
  g.st().tickCount = 19;
  ASSERT_TRUE(g.ticks(1));
  ASSERT_TRUE(g.over());
}

// Every kind of score file a player may have: what the game reads from it, what it says, and
// whether the next beaten score is stored.
TEST(ScoreFile, EveryCaseFromReadToWrite) {
  const bool root = ::geteuid() == 0;
  enum Setup { kBytes, kMissing, kNoFolder, kDir, kReadOnlyFile, kReadOnlyFolder, kDataIsAFile };
  struct Case {
    const char* name;
    Setup setup;
    std::string bytes;
    int expect;
    bool complains;
    bool stored;  // a beaten score reaches the file
  } cases[] = {
      {"valid", kBytes, "42\r\n", 42, false, true},
      {"zero", kBytes, "0\r\n", 0, false, true},
      {"largest", kBytes, "32767\r\n", 32767, false, false},  // cannot be beaten
      {"no line end", kBytes, "42", 42, false, true},
      {"unix line end", kBytes, "42\n", 42, false, true},
      {"leading blanks", kBytes, "  42\r\n", 42, false, true},
      {"trailing blanks", kBytes, "42  \r\n", 42, false, true},
      {"later lines ignored", kBytes, "42\r\nhello\r\n", 42, false, true},
      {"missing", kMissing, "", 0, false, true},
      {"missing folder", kNoFolder, "", 0, false, true},
      {"empty", kBytes, "", 0, true, true},
      {"blank line", kBytes, "\r\n", 0, true, true},
      {"letters", kBytes, "abc\r\n", 0, true, true},
      {"negative", kBytes, "-5\r\n", 0, true, true},
      {"beyond 16 bits", kBytes, "32768\r\n", 0, true, true},
      {"far beyond", kBytes, "99999999999999999999\r\n", 0, true, true},
      {"trailing junk", kBytes, "42abc\r\n", 0, true, true},
      {"two numbers", kBytes, "42 43\r\n", 0, true, true},
      {"plus sign", kBytes, "+42\r\n", 0, true, true},
      {"binary junk", kBytes, std::string("\x00\xff\x13\x37", 4), 0, true, true},
      {"huge file", kBytes, std::string(100000, '7'), 0, true, true},
      {"a folder in its place", kDir, "", 0, true, false},
      {"the data folder is a file", kDataIsAFile, "", 0, false, false},
      {"read-only file", kReadOnlyFile, "42\r\n", 42, false, root},
      {"read-only folder", kReadOnlyFolder, "42\r\n", 42, false, root},
  };
  for (const Case& c : cases) {
    Game g;
    const auto file = g.folder.file("data/n.dat");
    switch (c.setup) {
      case kBytes:
        g.folder.write("data/n.dat", c.bytes);
        break;
      case kMissing:
        break;
      case kNoFolder:
        fs::remove_all(g.folder.file("data"));
        break;
      case kDir:
        fs::create_directories(file);
        break;
      case kDataIsAFile:
        fs::remove_all(g.folder.file("data"));
        g.folder.write("data", "not a folder");
        break;
      case kReadOnlyFile:
        g.folder.write("data/n.dat", c.bytes);
        fs::permissions(file, fs::perms::owner_read);
        break;
      case kReadOnlyFolder:
        g.folder.write("data/n.dat", c.bytes);
        fs::permissions(g.folder.file("data"), fs::perms::owner_read | fs::perms::owner_exec);
        break;
    }
    ASSERT_TRUE(g.start());
    testing::internal::CaptureStderr();
    ASSERT_TRUE(g.click(2)) << c.name;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(g.st().hiScore.value(), c.expect) << c.name;
    EXPECT_EQ(!err.empty(), c.complains) << c.name << ": " << err;
    if (c.complains) {
      EXPECT_NE(err.find("n.dat"), std::string::npos) << err;
    }
    const int beaten = std::min(c.expect + 5, 32767);
    testing::internal::CaptureStderr();
    endWith(g, beaten);
    err = testing::internal::GetCapturedStderr();
    const bool triedToWrite = c.expect < beaten;
    if (c.stored) {
      EXPECT_EQ(g.folder.read("data/n.dat"), std::to_string(beaten) + "\r\n") << c.name;
      EXPECT_TRUE(err.empty()) << c.name << ": " << err;
    } else if (triedToWrite) {
      EXPECT_NE(err.find("not saved"), std::string::npos) << c.name << ": " << err;
    }
    // The game goes on to the title either way.
    g.tap(platform::VK_SPACE);
    ASSERT_TRUE(g.advance(2)) << c.name;
    EXPECT_TRUE(g.title().loaded()) << c.name;
    std::error_code ignored;
    fs::permissions(g.folder.file("data"), fs::perms::owner_all, ignored);
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
  // A folder in the file's place cannot be replaced, whoever runs the game.
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  fs::create_directories(g.folder.file("data/e.dat/inside"));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(storage::writeHighScore("e", 9));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("not saved"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(g.folder.file("data/e.dat/inside")));
  int left = 0;
  for (auto& e : fs::directory_iterator(g.folder.file("data")))
    left += e.path().filename().string().rfind(".e.dat", 0) == 0;
  EXPECT_EQ(left, 0);
}

}  // namespace
