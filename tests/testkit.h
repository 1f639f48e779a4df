#pragma once

#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/compose.h"
#include "platform/headless/headless.h"
#include "platform/runtime.h"
#include "rules/game_form.h"
#include "rules/project.h"
#include "screens/title.h"

namespace testkit {

// A random source that hands out given values, then falls back to a fixed one.
class ScriptedRandom : public platform::RandomSource {
 public:
  explicit ScriptedRandom(std::deque<float> values = {}, float fallback = 0.5f)
      : values_(std::move(values)), fallback_(fallback) {}
  void randomize() override { ++reseeds; }
  float rnd() override {
    ++draws;
    if (values_.empty()) return fallback_;
    float v = values_.front();
    values_.pop_front();
    return v;
  }
  void push(float v) { values_.push_back(v); }
  int reseeds = 0;
  int draws = 0;

 private:
  std::deque<float> values_;
  float fallback_;
};

// The runtime's generator, re-seeded from a counter instead of the clock: the same draws in every
// run, for replays.
class SeededRandom : public platform::RandomSource {
 public:
  explicit SeededRandom(uint64_t seed) : r_(seed) {}
  void randomize() override { r_.mix(++count_); }
  float rnd() override { return r_.rnd(); }

 private:
  platform::ClockRandom r_;
  uint64_t count_ = 0;
};

// A new, empty folder in the system's temporary folder, its name beginning with the prefix.
std::filesystem::path makeTemporaryFolder(const std::string& prefix);

// The path as UTF-8 text, as the runtime takes paths (std::filesystem's string() is the system's
// code page on Windows).
std::string utf8(const std::filesystem::path& path);
// A path from UTF-8 text.
std::filesystem::path fromUtf8(const std::string& text);

// An environment variable as UTF-8, or nothing when it is not set.
std::optional<std::string> variable(const char* name);
// Sets an environment variable, or removes it for nothing.
void setVariable(const char* name, const std::optional<std::string>& value);

// Whether the tests run as root, whom no file permission stops (never on Windows, where a
// read-only file stops everyone).
bool runsAsRoot();

// The variable that names the player's own data folder: XDG_DATA_HOME, on Windows LOCALAPPDATA.
extern const char* const kPlayerDataVariable;

// A program folder of its own in a temporary directory: sound files that the headless devices
// accept, and a data folder. The player's own data folder (kPlayerDataVariable) is another
// temporary directory while it lives, so that no test touches the real one.
class AppFolder {
 public:
  // The program folder's name begins with the prefix.
  explicit AppFolder(const std::string& prefix = "morofin-test-");
  ~AppFolder();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path file(const std::string& relative) const { return path_ / relative; }
  void write(const std::string& relative, const std::string& bytes) const;
  std::string read(const std::string& relative) const;
  // The player's data folder, and a file in the player's folder of the game's scores in it.
  const std::filesystem::path& playerData() const { return player_; }
  std::filesystem::path playerFile(const std::string& relative) const {
    return player_ / "morofin" / relative;
  }

 private:
  std::filesystem::path path_;
  std::filesystem::path player_;
  std::optional<std::string> previousDataHome_;

 public:
  // The program folder as the runtime takes it.
  std::string appPath() const { return utf8(path_); }
};

// The whole content of a file, empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// The whole game on the headless provider.
class Game {
 public:
  explicit Game(bool scriptedRandom = false);
  void seed(uint64_t s) { rt->setRandom(std::make_unique<SeededRandom>(s)); }
  ~Game();

  platform::headless::HeadlessProvider provider;
  std::unique_ptr<platform::Runtime> rt;
  std::vector<platform::MediaEvent> media;
  AppFolder folder;
  ScriptedRandom* random = nullptr;  // set when scripted

  bool start() { return rt->start(); }
  screens::TitleForm& title() { return rt->form<screens::TitleForm>(); }
  rules::GameForm& game() { return rt->form<rules::GameForm>(); }
  rules::GameState& st() { return game().st; }
  // Clicks a title button by its number (1..5), as the message loop would.
  bool click(int button);
  // Runs the virtual clock by ms milliseconds.
  bool advance(int64_t ms) { return provider.advance(*rt, ms); }
  // Runs exactly n game ticks (10 ms each) from just before the next one.
  bool ticks(int n) { return advance(10LL * n); }
  void hold(int vk) { rt->keys().setHeld(vk, true); }
  void release(int vk) { rt->keys().setHeld(vk, false); }
  void tap(int vk) {
    hold(vk);
    release(vk);
  }
  // Media events as text: "mci:<command>" and "wave:<path relative to the folder>".
  std::vector<std::string> mediaLog(size_t from = 0) const;
  // Ends the running game with the given score in the next tick; true when the game is over.
  bool endWith(int score);
  // Game over: the end poll is running.
  bool over() { return game().loaded() && game().phase() == rules::GameForm::Phase::kOver; }
  bool paused() { return game().loaded() && game().phase() == rules::GameForm::Phase::kPaused; }
  platform::Bitmap image(const std::string& form) {
    return platform::composeWindow(rt->form(form));
  }
};

// Which digits a two-digit display of the game shows, as a number (tens * 10 + ones).
int shown(Game& g, const char* display);
int interval(Game& g, const char* timer);
// A media log without the loop check's status requests.
std::vector<std::string> commandsOnly(const std::vector<std::string>& log);

// Writes an image as a binary PPM (for looking at it; convert to PNG with ImageMagick).
void writePpm(const platform::Bitmap& b, const std::string& path);
// Where tests put pictures for people to look at, or empty when not asked (MOROFIN_SNAPSHOTS).
std::string snapshotDir();

}  // namespace testkit
