#pragma once

// Other copies of the game, and other players, as processes of their own.
#include <sys/types.h>

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

  pid_t pid() const { return pid_; }
  // The next line it wrote, without the line end; empty at the end of its output.
  std::string readLine();
  // Closes its standard input.
  void go();
  // Waits for its end: the exit status, or -1 when a signal ended it. output gets what it wrote.
  int finish(std::string* output = nullptr);

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
};

// The test helper that runs the game's score code on its own (tests/score_writer.cpp).
std::vector<std::string> scoreWriter(const std::filesystem::path& programFolder,
                                     const std::vector<std::string>& args = {});

// The command as a player who is not root would run it: unchanged when the tests do not run as
// root, else as the user nobody through setpriv. Nothing when the tests run as root and setpriv
// cannot drop to nobody here.
std::optional<std::vector<std::string>> asPlayer(std::vector<std::string> command);

// Makes the path the player's own: given to nobody when the tests run as root.
void giveToPlayer(const std::filesystem::path& path);

// Lets every user into the folder (temporary folders are their creator's alone).
void openToAll(const std::filesystem::path& folder);

}  // namespace players
