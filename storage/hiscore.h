#pragma once

#include <string>

#include "platform/int16.h"

namespace storage {

// How a score file's text was understood.
struct ParsedScore {
  enum Status { kValid, kEmpty, kMalformed, kNegative, kTooLarge } status = kEmpty;
  int value = 0;  // the score when valid, else 0
};

// Reads the first line of a score file: optional blanks, decimal digits 0..32767, optional
// blanks, then a line end or the end of the file. Anything else is not a score.
ParsedScore parseScore(const std::string& bytes);

// The file of a mode's high score in the program folder: the program folder, "\data\", the mode
// key, ".dat". A copy run where it was built keeps its scores there.
std::string scorePath(const std::string& modeKey);

// The same file among the player's own data ($XDG_DATA_HOME/morofin/ or ~/.local/share/morofin/),
// or empty when the player has no home folder.
std::string playerScorePath(const std::string& modeKey);

// Whether this copy of the game is installed: the install step puts a file "installed" beside the
// executable. An installed copy never writes into the program folder.
bool installed();

// Where a mode's score is read and written. A copy that is installed, or that cannot store a score
// in its program folder, keeps each player's scores in the player's own file and reads the program
// folder's file (the first scores) only while the player has none.
struct ScoreFiles {
  std::string read;      // the file read first
  std::string fallback;  // read when the first one is missing; empty for none
  std::string write;     // empty when there is nowhere to write
};
ScoreFiles scoreFiles(const std::string& modeKey);

// The stored high score of the mode, 0 when the file is missing or holds no valid score (then one
// line on standard error says what was wrong with it, unless it is simply missing).
platform::I16 readHighScore(const std::string& modeKey);

// Stores a new high score as its digits and CR LF, unless the file already holds a score as high
// (another copy of the game may have stored one since this game began). The file is replaced
// atomically, or overwritten in place where only that is allowed, and keeps its links, mode and
// owner; the data folder is created when missing. A file that held no valid score is kept beside
// it as "<file>.bad". On failure the old file stays as it was, one line on standard error says why,
// and false is returned; the game goes on either way.
bool writeHighScore(const std::string& modeKey, platform::I16 score);

}  // namespace storage
