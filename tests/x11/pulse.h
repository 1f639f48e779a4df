#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/x11/xdriver.h"

namespace xdriver {

// A private PulseAudio daemon with one null sink, "morofin", for the program to play into: its own
// runtime and home folders, ended by its process id. MOROFIN_TEST_SOUND_SERVER (an address) and
// MOROFIN_TEST_SOUND_SERVER_PID name another server with such a sink instead, PipeWire's pulse
// server for one, which is then left running.
class PulseServer {
 public:
  PulseServer();
  ~PulseServer();
  bool ok() const { return pid_ > 0; }
  // Ends the server at once, as a crash would, and starts it again at the same address (a
  // PulseAudio daemon of ours, or PipeWire's pulse server); false (and why) when it does not come.
  void crash();
  bool launch();
  const std::string& why() const { return why_; }
  std::string address() const { return address_; }
  // What the program needs to play here.
  std::vector<std::string> env() const;
  pid_t pid() const { return pid_; }
  // The playback streams of this process that are connected and not corked now.
  int streams(pid_t of) const;
  // CPU time the daemon has used so far, all its threads.
  double cpuSeconds() const;

 private:
  std::string dir_, why_, address_;
  bool launchPipewirePulse();
  pid_t pid_ = -1;
  bool ours_ = true;
  bool restarted_ = false;  // the server running now was started here
};

// CPU time a process has used so far, all its threads.
double cpuSeconds(pid_t pid);

// What reaches the sink, recorded from its monitor with parec, with the time each frame was heard
// on the monotonic clock (the clock the program's media log uses).
class Monitor {
 public:
  static constexpr int kRate = 44100;
  explicit Monitor(const PulseServer& server);
  ~Monitor();
  bool ok() const { return pid_ > 0; }
  // Ends the server at once, as a crash would, and starts it again at the same address (a
  // PulseAudio daemon of ours, or PipeWire's pulse server); false (and why) when it does not come.
  void crash();
  bool launch();
  int64_t frames();
  Clock::time_point timeOf(int64_t frame);
  int64_t frameAt(Clock::time_point t);
  // The loudness of [from, from + n) as RMS over both channels.
  double rms(int64_t from, int64_t n);
  // The first 1 ms window at or after `from` that is louder than `level`, or -1.
  int64_t firstSound(int64_t from, int64_t within, double level = 0.002);
  // Where a known sound (mono samples at kRate) starts within [from, from + within): the frame at
  // which the recording, both channels together, correlates best with it, and how well (the
  // normalised correlation, 0 to 1). Music under the sound is noise to it, however loud.
  struct Match {
    int64_t at = -1;
    double score = 0;
  };
  Match find(const std::vector<float>& sound, int64_t from, int64_t within);

 private:
  void read();
  pid_t pid_ = -1, filler_ = -1;
  int fd_ = -1;
  std::thread reader_;
  std::mutex m_;
  std::vector<float> samples_;
  // The earliest each frame can have been heard: every read holds frames heard before it.
  double t0_ = 1e300;
};

// A 16-bit PCM mono wave file's samples as floats; empty when it is not one.
std::vector<float> readMonoWave(const std::string& path);

// The centres of the two biggest patches of the creatures' body colour on the playfield of the game
// window: the wobo, then the zeka; false when they cannot both be seen.
bool creatures(Desk& desk, Window g, int& wx, int& wy, int& zx, int& zy);

// A player who steers the wobo at the zeka with the arrow keys, a glance at the field at a time;
// lets go of every key when it is done.
class Chaser {
 public:
  Chaser(Desk& desk, Window game) : desk_(desk), game_(game) {}
  ~Chaser();
  // One glance at the field and the keys it calls for.
  void step();

 private:
  void want(const char* key, bool down);
  Desk& desk_;
  Window game_;
  std::map<std::string, bool> held_;
};

// A tune shorter than a game: one short note at its start, then silence to its end, `quarters`
// quarter notes at 120 beats a minute in all.
void writeLoopTune(const std::string& path, int quarters);

}  // namespace xdriver
