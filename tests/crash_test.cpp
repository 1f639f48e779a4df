// A score write killed at any moment leaves the old score or the new one, complete.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "storage/hiscore.h"
#include "tests/players.h"
#include "tests/testkit.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& file) {
  std::ifstream f(file, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// One to five digits and CR LF, nothing else.
bool complete(const std::string& t) {
  if (t.size() < 3 || t.size() > 7 || t.compare(t.size() - 2, 2, "\r\n") != 0) return false;
  return t.find_first_not_of("0123456789") == t.size() - 2;
}

// Starts the writer again and again and kills it at a random moment once it is writing. The file
// must hold a complete score after every kill, never lower than before. Returns how many kills
// found a higher score than the one before.
int killAtRandom(const fs::path& file, const std::vector<std::string>& writer, int rounds,
                 std::mt19937& rng) {
  int last = std::stoi(readAll(file)), advanced = 0;
  for (int i = 0; i < rounds; ++i) {
    const std::string before = readAll(file);
    players::Process writing(writer);
    // Once it is writing, kill it at a random moment of its loop.
    for (int wait = 0; wait < 20000 && readAll(file) == before; ++wait)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
    writing.kill();
    std::string out;
    const int status = writing.finish(&out);
    EXPECT_EQ(status, -1) << "the writer ended by itself: " << status << " " << out;
    const std::string text = readAll(file);
    EXPECT_TRUE(complete(text)) << "after kill " << i << ": '" << text << "'";
    if (!complete(text)) return -1;
    const int now = std::stoi(text);
    EXPECT_GE(now, last) << "a score was lost";
    advanced += now > last;
    last = now;
  }
  return advanced;
}

fs::path makeProgramFolder() {
  const fs::path dir = testkit::makeTemporaryFolder("morofin-crash-");
  fs::create_directories(dir / "data");
  std::ofstream(dir / "data" / "e.dat", std::ios::binary) << "1\r\n";
  return dir;
}

}  // namespace

TEST(CrashSafety, KilledAtRandomDuringAThousandWrites) {
  const fs::path dir = makeProgramFolder();
  ASSERT_FALSE(dir.empty());
  std::mt19937 rng(5);
  const int advanced = killAtRandom(dir / "data" / "e.dat", players::scoreWriter(dir), 1000, rng);
  EXPECT_GT(advanced, 900);  // the writer got going before nearly every kill
  // What killed writes left behind goes with a later write, once it is surely stale.
  int leftovers = 0;
  for (auto& e : fs::directory_iterator(dir / "data")) {
    if (e.path().filename() == "e.dat") continue;
    ++leftovers;
    fs::last_write_time(e.path(), fs::file_time_type::clock::now() - std::chrono::minutes(2));
  }
  if (leftovers == 0) {
    // Every kill fell outside the short moment a temporary file exists (this happens under Wine
    // on a busy machine): leave one as a killed write would, named as writes name them.
    std::ofstream(dir / "data" / ".e.dat.killed") << "12";
    fs::last_write_time(dir / "data" / ".e.dat.killed",
                        fs::file_time_type::clock::now() - std::chrono::minutes(2));
  }
  {
    const std::string before = readAll(dir / "data" / "e.dat");
    players::Process last(players::scoreWriter(dir));
    // Its first write clears them before it stores its score.
    for (int wait = 0; wait < 50000 && readAll(dir / "data" / "e.dat") == before; ++wait)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  int after = 0;
  for (auto& e : fs::directory_iterator(dir / "data")) after += e.path().filename() != "e.dat";
  EXPECT_LE(after, 1);  // at most the one the last kill cut short
  fs::remove_all(dir);
}

#ifndef _WIN32
// Linux only, as a folder's write permission and another user through setpriv are.
// A data folder the player cannot write, with a score file the player can: every write goes in
// place, over the old bytes, and a kill at any moment leaves the old score or the new one.
TEST(CrashSafety, KilledAtRandomDuringWritesInPlace) {
  if (!players::asPlayer({"/bin/true"}))
    GTEST_SKIP() << "the tests run as root and setpriv cannot drop to nobody here";
  const fs::path dir = makeProgramFolder();
  ASSERT_FALSE(dir.empty());
  const fs::path file = dir / "data" / "e.dat";
  players::openToAll(dir);
  ::chmod(file.c_str(), 0666);
  ::chmod((dir / "data").c_str(), 0555);
  struct stat st {};
  ::stat(file.c_str(), &st);
  const ino_t inode = st.st_ino;
  std::mt19937 rng(7);
  const int advanced = killAtRandom(file, *players::asPlayer(players::scoreWriter(dir)), 500, rng);
  EXPECT_GT(advanced, 450);
  ::stat(file.c_str(), &st);
  EXPECT_EQ(st.st_ino, inode) << "the file was replaced, not written in place";
  int others = 0;
  for (auto& e : fs::directory_iterator(dir / "data")) others += e.path() != file;
  EXPECT_EQ(others, 0);
  ::chmod((dir / "data").c_str(), 0755);
  fs::remove_all(dir);
}
#endif

// Two copies of the game that started with the same stored score end at the same moment with
// different scores: the file ends with the higher one, whichever writes last. Rounds take turns
// between a stored score that is replaced, no file yet, and a file written in place by a player
// who is not root.
TEST(CrashSafety, TwoCopiesEndingTogetherKeepTheHigherScore) {
  const fs::path dir = makeProgramFolder();
  ASSERT_FALSE(dir.empty());
  const fs::path file = dir / "data" / "e.dat";
  players::openToAll(dir);
  const bool inPlaceToo = players::asPlayer({"/bin/true"}).has_value();
  std::mt19937 rng(11);
  int inPlaceRounds = 0;
  const auto folderMode = [&](fs::perms p) { fs::permissions(dir / "data", p); };
  const fs::perms rx = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                       fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
  const fs::perms rwx = rx | fs::perms::owner_write;
  const fs::perms rw = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                       fs::perms::group_write | fs::perms::others_read | fs::perms::others_write;
  for (int round = 0; round < 200; ++round) {
    const int kind = round % 3;
    const bool inPlace = kind == 2 && inPlaceToo;
    folderMode(rwx);
    fs::remove(file);
    if (kind != 1) {
      std::ofstream(file, std::ios::binary) << "1\r\n";
      fs::permissions(file, rw);
    }
    if (inPlace) folderMode(rx);
    inPlaceRounds += inPlace;
    const int a = 2 + static_cast<int>(rng() % 32000);
    int b = 2 + static_cast<int>(rng() % 32000);
    if (b == a) ++b;
    auto command = [&](int score) {
      auto c = players::scoreWriter(dir, {"game", "e", std::to_string(score)});
      return inPlace ? *players::asPlayer(c) : c;
    };
    players::Process first(command(a)), second(command(b));
    // Both have read the stored score before either may end.
    const std::string read = kind == 1 ? "read 0" : "read 1";
    ASSERT_EQ(first.readLine(), read) << "round " << round;
    ASSERT_EQ(second.readLine(), read) << "round " << round;
    first.go();
    second.go();
    std::string out;
    EXPECT_EQ(first.finish(&out), 0) << out;
    EXPECT_EQ(second.finish(&out), 0) << out;
    ASSERT_EQ(readAll(file), std::to_string(std::max(a, b)) + "\r\n") << "round " << round;
  }
  if (inPlaceToo) {
    EXPECT_EQ(inPlaceRounds, 66);
  }
  folderMode(rwx);
  fs::remove_all(dir);
}
