// Where scores live and that none is lost: two copies of the game at once, linked and shared score
// files, a read-only data folder, an installed copy and players who are not root.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/keys.h"
#include "storage/hiscore.h"
#include "tests/players.h"
#include "tests/testkit.h"

namespace fs = std::filesystem;
using testkit::Game;
using testkit::readFile;

namespace {

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Starts a game of the mode on the title's button, as the player does.
bool startMode(Game& g, int button) {
  return g.start() && g.click(button) && g.game().loaded();
}

TEST(TwoCopies, TheLaterEndWithALowerScoreKeepsTheHigherOne) {
  // Both copies start before either ends, so both compare with the stored 2.
  Game first;
  first.folder.write("data/h.dat", "2\r\n");
  ASSERT_TRUE(startMode(first, 3));
  {
    Game second;
    second.rt->setAppPath(first.folder.appPath());
    ASSERT_TRUE(startMode(second, 3));
    ASSERT_TRUE(second.endWith(5));
    EXPECT_EQ(first.folder.read("data/h.dat"), "5\r\n");
  }
  ASSERT_TRUE(first.endWith(3));
  EXPECT_EQ(first.folder.read("data/h.dat"), "5\r\n");
  // What the game shows does not change: the high score read at its start.
  EXPECT_EQ(first.st().hiScore.value(), 2);
  EXPECT_TRUE(first.game().ctl<platform::Label>("gameoverL", 0).Visible());
  // A score that beats the other copy's record still replaces it.
  first.tap(platform::VK_SPACE);
  ASSERT_TRUE(first.advance(2));
  ASSERT_TRUE(first.click(3));
  EXPECT_EQ(first.st().hiScore.value(), 5);
  ASSERT_TRUE(first.endWith(9));
  EXPECT_EQ(first.folder.read("data/h.dat"), "9\r\n");
}

// A program that takes the score file's lock and hangs holds the game up for a few seconds at
// most: the start reads the score anyway, the end says that it could not store it.
TEST(LockedScoreFile, AHungLockHolderDoesNotHangTheGame) {
  Game g;
  g.folder.write("data/n.dat", "4\r\n");
  players::LockHolder holder(g.folder.file("data/n.dat"));
  ASSERT_TRUE(holder.locked());
  ASSERT_TRUE(startMode(g, 2));
  EXPECT_EQ(g.st().hiScore.value(), 4);
  testing::internal::CaptureStderr();
  ASSERT_TRUE(g.endWith(6));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("not saved"), std::string::npos) << err;
  EXPECT_EQ(g.folder.read("data/n.dat"), "4\r\n");
}

TEST(InstalledCopy, ReadsTheFirstScoresAndKeepsEachPlayersOwn) {
  // Also when root plays: the program folder is never written.
  Game g;
  g.folder.write("installed", "");
  g.folder.write("data/e.dat", "30\r\n");
  ASSERT_TRUE(startMode(g, 1));
  EXPECT_EQ(g.st().hiScore.value(), 30);
  ASSERT_TRUE(g.endWith(35));
  EXPECT_EQ(readFile(g.folder.playerFile("e.dat")), "35\r\n");
  EXPECT_EQ(g.folder.read("data/e.dat"), "30\r\n");
  g.tap(platform::VK_SPACE);
  ASSERT_TRUE(g.advance(2));
  ASSERT_TRUE(g.click(1));
  EXPECT_EQ(g.st().hiScore.value(), 35);
  // A player whose own record is below the first score still reads their own.
  writeFile(g.folder.playerFile("e.dat"), "7\r\n");
  EXPECT_EQ(storage::readHighScore("e").value(), 7);
  // The same copy run where it was built keeps its scores beside it.
  fs::remove(g.folder.file("installed"));
  EXPECT_EQ(storage::readHighScore("e").value(), 30);
  ASSERT_TRUE(storage::writeHighScore("e", 31));
  EXPECT_EQ(g.folder.read("data/e.dat"), "31\r\n");
  EXPECT_EQ(readFile(g.folder.playerFile("e.dat")), "7\r\n");
}

#ifndef _WIN32
// Linux only: symbolic links, modes, owners, $XDG_DATA_HOME and players who are not root
// (setpriv).

struct stat statOf(const fs::path& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st;
}

TEST(LinkedScoreFile, TheLinkStaysAndItsTargetTakesTheScore) {
  struct Case {
    const char* name;
    std::string link;     // what data/d.dat points to
    std::string target;   // the file that takes the score, in the program folder
    bool targetThere;     // false: the link points to a file that is not there yet
    const char* viaLink;  // a second link on the way, or null
  } cases[] = {
      {"relative", "../shared/d.dat", "shared/d.dat", true, nullptr},
      {"absolute", "", "shared/d.dat", true, nullptr},
      {"to a link", "../shared/link.dat", "shared/d.dat", true, "shared/link.dat"},
      {"to no file yet", "../shared/d.dat", "shared/d.dat", false, nullptr},
  };
  for (const Case& c : cases) {
    Game g;
    const fs::path target = g.folder.file(c.target);
    fs::create_directories(target.parent_path());
    if (c.targetThere) writeFile(target, "4\r\n");
    const std::string link = c.link.empty() ? target.string() : c.link;
    if (c.viaLink) fs::create_symlink("d.dat", g.folder.file(c.viaLink));
    fs::create_symlink(link, g.folder.file("data/d.dat"));
    ASSERT_TRUE(startMode(g, 4)) << c.name;
    EXPECT_EQ(g.st().hiScore.value(), c.targetThere ? 4 : 0) << c.name;
    ASSERT_TRUE(g.endWith(6)) << c.name;
    ASSERT_TRUE(fs::is_symlink(g.folder.file("data/d.dat"))) << c.name;
    EXPECT_EQ(fs::read_symlink(g.folder.file("data/d.dat")).string(), link) << c.name;
    EXPECT_FALSE(fs::is_symlink(target)) << c.name;
    EXPECT_EQ(readFile(target), "6\r\n") << c.name;
    if (c.viaLink) {
      EXPECT_TRUE(fs::is_symlink(g.folder.file(c.viaLink))) << c.name;
    }
  }
}

TEST(SharedScoreFile, KeepsItsModeOwnerGroupAndOtherNames) {
  const bool root = ::geteuid() == 0;
  for (const mode_t mode : {0666, 0664, 0640, 0600, 0604}) {
    Game g;
    const fs::path file = g.folder.file("data/e.dat");
    writeFile(file, "1\r\n");
    ::chmod(file.c_str(), mode);
    // Owned by another user, as shared score files are, where the tests may arrange that.
    if (root) players::giveToPlayer(file);
    const struct stat before = statOf(file);
    ASSERT_TRUE(storage::writeHighScore("e", 12)) << std::oct << mode;
    const struct stat after = statOf(file);
    EXPECT_EQ(readFile(file), "12\r\n");
    EXPECT_EQ(after.st_mode & 07777, mode) << std::oct << mode;
    EXPECT_EQ(after.st_uid, before.st_uid) << std::oct << mode;
    EXPECT_EQ(after.st_gid, before.st_gid) << std::oct << mode;
  }
  // A file with a second name (a hard link) keeps it: both names show the new score.
  Game g;
  writeFile(g.folder.file("data/n.dat"), "1\r\n");
  fs::create_hard_link(g.folder.file("data/n.dat"), g.folder.file("n-too.dat"));
  ASSERT_TRUE(storage::writeHighScore("n", 3));
  EXPECT_EQ(g.folder.read("n-too.dat"), "3\r\n");
  EXPECT_EQ(g.folder.read("data/n.dat"), "3\r\n");
}

// A shared score file of another user, which every player may write, in a folder they may write
// too: a player who is not its owner writes it in place, so it stays the owner's, with its mode.
TEST(SharedScoreFile, APlayerWhoIsNotItsOwnerKeepsItShared) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
  Game g;
  players::openToAll(g.folder.path());
  const fs::path file = g.folder.file("data/e.dat");
  writeFile(file, "4\r\n");
  ::chmod(g.folder.file("data").c_str(), 01777);
  ::chmod(file.c_str(), 0666);
  const auto command = players::asPlayer(players::scoreWriter(g.folder.path(), {"game", "e", "8"}));
  if (!command) GTEST_SKIP() << "setpriv cannot run a command as nobody here";
  const struct stat before = statOf(file);
  players::Process p(*command);
  std::string out;
  EXPECT_EQ(p.finish(&out), 0) << out;
  EXPECT_EQ(out, "read 4\n");
  EXPECT_EQ(readFile(file), "8\r\n");
  const struct stat after = statOf(file);
  EXPECT_EQ(after.st_uid, 0u);
  EXPECT_EQ(after.st_mode & 07777, 0666u);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

// The usual shared set-up: a data folder the players cannot write, with score files they can.
TEST(ReadOnlyDataFolder, APlayerWhoIsNotRootWritesTheFileInPlace) {
  const auto probe = players::asPlayer({"/bin/true"});
  if (!probe) GTEST_SKIP() << "the tests run as root and setpriv cannot drop to nobody here";
  struct Case {
    const char* name;
    std::string stored;
    const char* read;
    bool complains;
  } cases[] = {
      {"valid", "3\r\n", "read 3\n", false},
      {"longer than the new line", "  3     \r\n", "read 3\n", false},
      {"junk that cannot be kept aside", "abcdefghijkl", "read 0\n", true},
  };
  for (const Case& c : cases) {
    Game g;
    players::openToAll(g.folder.path());
    players::openToAll(g.folder.playerData());
    players::giveToPlayer(g.folder.playerData());
    const fs::path file = g.folder.file("data/e.dat");
    writeFile(file, c.stored);
    ::chmod(file.c_str(), 0666);
    ::chmod(g.folder.file("data").c_str(), 0555);
    const ino_t inode = statOf(file).st_ino;
    players::Process p(
        *players::asPlayer(players::scoreWriter(g.folder.path(), {"game", "e", "9"})));
    std::string out;
    EXPECT_EQ(p.finish(&out), 0) << c.name << ": " << out;
    EXPECT_NE(out.find(c.read), std::string::npos) << c.name << ": " << out;
    EXPECT_EQ(out != c.read, c.complains) << c.name << ": " << out;
    EXPECT_EQ(readFile(file), "9\r\n") << c.name;
    EXPECT_EQ(statOf(file).st_ino, inode) << c.name;
    EXPECT_FALSE(fs::exists(g.folder.playerFile(""))) << c.name;
    ::chmod(g.folder.file("data").c_str(), 0755);
  }
}

TEST(InstalledCopy, ThePlayersFolderFollowsXdgDataHome) {
  Game g;
  g.folder.write("installed", "");
  const fs::path home = g.folder.playerData() / "home";
  const char* oldHome = std::getenv("HOME");
  const std::string keptHome = oldHome ? oldHome : "";
  ::setenv("HOME", home.c_str(), 1);
  const fs::path byHome = home / ".local/share/morofin/d.dat";
  const fs::path byXdg = g.folder.playerData() / "xdg/morofin/d.dat";
  const std::string absolute = (g.folder.playerData() / "xdg").string();
  struct Case {
    const char* name;
    const char* xdg;  // null: unset
    fs::path file;
  } cases[] = {
      {"unset", nullptr, byHome},
      {"empty", "", byHome},
      {"relative", "xdg", byHome},
      {"absolute", absolute.c_str(), byXdg},
  };
  int score = 1;
  for (const Case& c : cases) {
    if (c.xdg)
      ::setenv("XDG_DATA_HOME", c.xdg, 1);
    else
      ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(storage::playerScorePath("d"), c.file.string()) << c.name;
    ASSERT_TRUE(storage::writeHighScore("d", ++score)) << c.name;
    EXPECT_EQ(readFile(c.file), std::to_string(score) + "\r\n") << c.name;
  }
  if (oldHome)
    ::setenv("HOME", keptHome.c_str(), 1);
  else
    ::unsetenv("HOME");
}

// A copy that is not installed but whose program folder the player cannot write (a build folder
// copied into a system folder) keeps the player's records in the player's own folder.
TEST(ReadOnlyProgramFolder, APlayerWhoIsNotRootKeepsScoresInTheirOwnFolder) {
  const auto probe = players::asPlayer({"/bin/true"});
  if (!probe) GTEST_SKIP() << "the tests run as root and setpriv cannot drop to nobody here";
  Game g;
  players::openToAll(g.folder.path());
  players::openToAll(g.folder.playerData());
  players::giveToPlayer(g.folder.playerData());
  g.folder.write("data/e.dat", "30\r\n");
  ::chmod(g.folder.file("data/e.dat").c_str(), 0444);
  ::chmod(g.folder.file("data").c_str(), 0555);
  const auto game = [&](const char* score) {
    players::Process p(
        *players::asPlayer(players::scoreWriter(g.folder.path(), {"game", "e", score})));
    std::string out;
    EXPECT_EQ(p.finish(&out), 0) << out;
    return out;
  };
  EXPECT_EQ(game("40"), "read 30\n");
  EXPECT_EQ(readFile(g.folder.playerFile("e.dat")), "40\r\n");
  EXPECT_EQ(game("35"), "read 40\n");
  EXPECT_EQ(readFile(g.folder.playerFile("e.dat")), "40\r\n");
  EXPECT_EQ(g.folder.read("data/e.dat"), "30\r\n");
  ::chmod(g.folder.file("data").c_str(), 0755);
}

#endif

}  // namespace
