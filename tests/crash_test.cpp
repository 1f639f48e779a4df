// A score write killed at any moment leaves the old score or the new one, complete.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "storage/hiscore.h"

namespace fs = std::filesystem;

TEST(CrashSafety, KilledAtRandomDuringAThousandWrites) {
  std::string tmpl = (fs::temp_directory_path() / "morofin-crash-XXXXXX").string();
  ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
  const fs::path dir = tmpl;
  fs::create_directories(dir / "data");
  std::ofstream(dir / "data" / "e.dat") << "1\r\n";
  std::mt19937 rng(5);
  // One to five digits and CR LF, nothing else.
  auto complete = [](const std::string& t) {
    if (t.size() < 3 || t.size() > 7 || t.compare(t.size() - 2, 2, "\r\n") != 0) return false;
    return t.find_first_not_of("0123456789") == t.size() - 2;
  };
  int last = 1, advanced = 0;
  auto read = [&] {
    std::ifstream f(dir / "data" / "e.dat", std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  };
  for (int i = 0; i < 1000; ++i) {
    const std::string before = read();
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::execl(MOROFIN_SCORE_WRITER, MOROFIN_SCORE_WRITER, dir.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Once it is writing, kill it at a random moment of its loop.
    for (int wait = 0; wait < 20000 && read() == before; ++wait)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;
    const std::string text = read();
    ASSERT_TRUE(complete(text)) << "after kill " << i << ": '" << text << "'";
    const int now = std::stoi(text);
    ASSERT_GE(now, last) << "a score was lost";
    advanced += now > last;
    last = now;
  }
  EXPECT_GT(advanced, 900);  // the writer got going before nearly every kill
  // What killed writes left behind goes with a later write, once it is surely stale.
  int leftovers = 0;
  for (auto& e : fs::directory_iterator(dir / "data")) {
    if (e.path().filename() == "e.dat") continue;
    ++leftovers;
    fs::last_write_time(e.path(), fs::file_time_type::clock::now() - std::chrono::minutes(2));
  }
  EXPECT_GT(leftovers, 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(MOROFIN_SCORE_WRITER, MOROFIN_SCORE_WRITER, dir.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  int after = 0;
  for (auto& e : fs::directory_iterator(dir / "data")) after += e.path().filename() != "e.dat";
  EXPECT_LE(after, 1);  // at most the one the last kill cut short
  fs::remove_all(dir);
}
