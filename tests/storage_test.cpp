#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "storage/hiscore.h"
#include "tests/testkit.h"

namespace fs = std::filesystem;
using testkit::Game;

namespace {

TEST(ScoreFile, ReadingTable) {
  struct Case {
    const char* name;
    std::string bytes;  // nullptr-like marker "<missing>" and "<dir>" handled below
    int expect;
    bool complains;
  } cases[] = {
      {"valid", "42\r\n", 42, false},
      {"zero", "0\r\n", 0, false},
      {"largest", "32767\r\n", 32767, false},
      {"no line end", "42", 42, false},
      {"unix line end", "42\n", 42, false},
      {"leading blanks", "  42\r\n", 42, false},
      {"trailing blanks", "42  \r\n", 42, false},
      {"later lines ignored", "42\r\nhello\r\n", 42, false},
      {"missing", "<missing>", 0, false},
      {"missing folder", "<nofolder>", 0, false},
      {"empty", "", 0, true},
      {"blank line", "\r\n", 0, true},
      {"letters", "abc\r\n", 0, true},
      {"negative", "-5\r\n", 0, true},
      {"beyond 16 bits", "32768\r\n", 0, true},
      {"far beyond", "99999999999999999999\r\n", 0, true},
      {"trailing junk", "42abc\r\n", 0, true},
      {"two numbers", "42 43\r\n", 0, true},
      {"plus sign", "+42\r\n", 0, true},
      {"binary junk", std::string("\x00\xff\x13\x37", 4), 0, true},
      {"huge file", std::string(100000, '7'), 0, true},
      {"a folder in its place", "<dir>", 0, true},
  };
  for (const Case& c : cases) {
    Game g;
    ASSERT_TRUE(g.start());
    if (c.bytes == "<dir>") {
      fs::create_directories(g.folder.file("data/n.dat"));
    } else if (c.bytes == "<nofolder>") {
      fs::remove_all(g.folder.file("data"));
    } else if (c.bytes != "<missing>") {
      g.folder.write("data/n.dat", c.bytes);
    }
    testing::internal::CaptureStderr();
    ASSERT_TRUE(g.click(2)) << c.name;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(g.st().hiScore.value(), c.expect) << c.name;
    EXPECT_EQ(!err.empty(), c.complains) << c.name << ": " << err;
    if (c.complains) {
      EXPECT_NE(err.find("n.dat"), std::string::npos) << err;
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
