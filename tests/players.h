#pragma once

// Other copies of the game, and other players, as processes of their own: players_posix.cpp on
// Linux, players_windows.cpp on Windows.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace players {

// A command running beside the test. Its standard input stays open until go(); its standard output
// and standard error are collected together.
class Process {
 public:
  explicit Process(const std::vector<std::string>& command);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Ends it at once, wherever it is (SIGKILL, TerminateProcess).
  void kill();
  // The next line it wrote, without the line end; empty at the end of its output.
  std::string readLine();
  // Closes its standard input.
  void go();
  // Waits for its end: the exit status, or -1 when kill() or a signal ended it. output gets what
  // it wrote.
  int finish(std::string* output = nullptr);

 private:
  // The process and the two pipe ends, as the system numbers or handles them.
  intptr_t process_ = -1;
  intptr_t in_ = -1;
  intptr_t out_ = -1;
  bool killed_ = false;
};

// Another program holding the lock that the game's score code takes on a file, for as long as this
// lives: flock on Linux, LockFileEx on the byte that files_windows.cpp locks on Windows.
class LockHolder {
 public:
  explicit LockHolder(const std::filesystem::path& file);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  bool locked() const { return locked_; }

 private:
  intptr_t handle_ = -1;
  bool locked_ = false;
};

// The test helper that runs the game's score code on its own (tests/score_writer.cpp).
std::vector<std::string> scoreWriter(const std::filesystem::path& programFolder,
                                     const std::vector<std::string>& args = {});

// The command as a player who is not root would run it: unchanged when the tests do not run as
// root, else as the user nobody through setpriv. Nothing when the tests run as root and setpriv
// cannot drop to nobody here, and nothing on Windows, where the tests have no other player to be.
std::optional<std::vector<std::string>> asPlayer(std::vector<std::string> command);

// Makes the path the player's own: given to nobody when the tests run as root (nothing to do on
// Windows, as for the next).
void giveToPlayer(const std::filesystem::path& path);

// Lets every user into the folder (temporary folders are their creator's alone).
void openToAll(const std::filesystem::path& folder);

}  // namespace players
