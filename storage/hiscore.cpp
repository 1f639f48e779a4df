#include "storage/hiscore.h"

#include <optional>

#include "platform/api.h"
#include "platform/files.h"
#include "platform/say.h"

namespace storage {
namespace {

// Large enough for any score and its line end; a longer first line is not a score.
constexpr size_t kMaxRead = 4096;

bool blank(char c) {
  return c == ' ' || c == '\t';
}

const char* describe(ParsedScore::Status s) {
  switch (s) {
    case ParsedScore::kEmpty:
      return "it is empty";
    case ParsedScore::kMalformed:
      return "it holds no score";
    case ParsedScore::kNegative:
      return "it holds a negative number";
    case ParsedScore::kTooLarge:
      return "its number is larger than 32767";
    case ParsedScore::kValid:
      return "";
  }
  return "";
}

}  // namespace

ParsedScore parseScore(const std::string& b) {
  ParsedScore r;
  size_t i = 0;
  while (i < b.size() && blank(b[i])) ++i;
  if (i == b.size() || b[i] == '\r' || b[i] == '\n') {
    r.status = ParsedScore::kEmpty;
    return r;
  }
  if (b[i] == '-') {
    r.status = ParsedScore::kNegative;
    return r;
  }
  size_t start = i;
  long value = 0;
  while (i < b.size() && b[i] >= '0' && b[i] <= '9') {
    if (value <= 32767) value = value * 10 + (b[i] - '0');
    ++i;
  }
  if (i == start) {
    r.status = ParsedScore::kMalformed;
    return r;
  }
  while (i < b.size() && blank(b[i])) ++i;
  if (i < b.size() && b[i] != '\r' && b[i] != '\n') {
    r.status = ParsedScore::kMalformed;
    return r;
  }
  if (value > 32767) {
    r.status = ParsedScore::kTooLarge;
    return r;
  }
  r.status = ParsedScore::kValid;
  r.value = static_cast<int>(value);
  return r;
}

std::string scorePath(const std::string& modeKey) {
  return platform::nativePath(platform::AppPath() + "\\data\\" + modeKey + ".dat");
}

std::string playerScorePath(const std::string& modeKey) {
  const std::string folder = platform::userDataFolder();
  return folder.empty() ? folder : folder + "/morofin/" + modeKey + ".dat";
}

bool installed() {
  return platform::exists(platform::nativePath(platform::AppPath() + "\\installed"));
}

ScoreFiles scoreFiles(const std::string& modeKey) {
  const std::string program = scorePath(modeKey);
  const bool inPlace = !installed();
  if (inPlace && platform::canStoreAt(program)) return {program, "", program};
  const std::string player = playerScorePath(modeKey);
  if (player.empty()) return {program, "", inPlace ? program : ""};
  return {player, program, player};
}

platform::I16 readHighScore(const std::string& modeKey) {
  const ScoreFiles files = scoreFiles(modeKey);
  std::string path = files.read;
  platform::ReadResult file = platform::readSmallFile(path, kMaxRead);
  if (file.status == platform::ReadResult::kMissing && !files.fallback.empty()) {
    path = files.fallback;
    file = platform::readSmallFile(path, kMaxRead);
  }
  if (file.status == platform::ReadResult::kMissing) return 0;
  if (file.status == platform::ReadResult::kUnreadable) {
    platform::sayProblem("cannot read the high score file %s (%s); starting from 0", path.c_str(),
                         file.error.c_str());
    return 0;
  }
  ParsedScore s = parseScore(file.bytes);
  if (s.status != ParsedScore::kValid) {
    platform::sayProblem("the high score file %s is not valid (%s); starting from 0", path.c_str(),
                         describe(s.status));
    return 0;
  }
  return s.value;
}

bool writeHighScore(const std::string& modeKey, platform::I16 score) {
  const ScoreFiles files = scoreFiles(modeKey);
  std::string why;
  if (files.write.empty()) {
    why = "there is no home folder to keep it in";
  } else {
    const std::string line = platform::Str(score) + "\r\n";
    why = platform::updateFile(
        files.write,
        [&](const platform::ReadResult& now,
            const std::string& file) -> std::optional<std::string> {
          if (now.status != platform::ReadResult::kOk &&
              now.status != platform::ReadResult::kTooLarge)
            return line;
          const ParsedScore stored = parseScore(now.bytes);
          if (stored.status == ParsedScore::kValid) {
            if (stored.value >= score.value()) return std::nullopt;
            return line;
          }
          // Whatever the file held, it was not ours to throw away.
          const std::string kept = platform::replaceFileAtomically(file + ".bad", now.bytes);
          if (!kept.empty())
            platform::sayProblem("the old content of %s could not be kept (%s)", file.c_str(),
                                 kept.c_str());
          return line;
        });
  }
  if (!why.empty()) {
    platform::sayProblem("the new high score %d was not saved: %s", score.value(), why.c_str());
    return false;
  }
  return true;
}

}  // namespace storage
