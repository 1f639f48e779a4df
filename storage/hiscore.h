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

// The file of a mode's high score: the program folder, "\data\", the mode key, ".dat".
std::string scorePath(const std::string& modeKey);

// The stored high score of the mode, 0 when the file is missing or holds no valid score (then one
// line on standard error says what was wrong with it, unless it is simply missing).
platform::I16 readHighScore(const std::string& modeKey);

// Stores a new high score as its digits and CR LF, replacing the file atomically (the data folder
// is created when missing). A file that held no valid score is kept beside it as "<file>.bad".
// On failure the old file stays as it was, one line on standard error says why, and false is
// returned; the game goes on either way.
bool writeHighScore(const std::string& modeKey, platform::I16 score);

}  // namespace storage
