// The game's 10 ms tick in a real window: plays two games of the easy mode by itself (with a
// pause in the first) and reports the tick period beside that of a bare thread sleeping to
// absolute 10 ms deadlines in the same run (so that the machine's own stalls are seen as such),
// the drift over a whole game, the time from a tick's start to its changes being on the screen
// against a plain copy of a 640 x 320 frame, and the CPU time the process uses while playing,
// while paused and on the game-over screen. Run it under an X server, for example:
// tools/with-xvfb.sh build/bench/morofin_bench_tick
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/keys.h"
#include "platform/runtime.h"
#include "platform/sdl/sdl_provider.h"
#include "rules/game_form.h"
#include "rules/project.h"
#include "screens/title.h"

namespace {

using platform::Timer;

double nowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double cpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct Phase {
  double wall0 = 0, cpu0 = 0, wall = 0, cpu = 0;
  void begin() {
    wall0 = nowMs();
    cpu0 = cpuMs();
  }
  void end() {
    wall += nowMs() - wall0;
    cpu += cpuMs() - cpu0;
  }
  double percent() const { return wall > 0 ? 100.0 * cpu / wall : 0; }
};

struct Record {
  std::vector<std::vector<double>> games;  // tick times per game
  Phase playing, paused, over;
  int games_started = 0;
  // Microseconds, one of each per tick while playing.
  std::vector<double> toScreen, tickOnly, presentOnly, copy;
} rec;

platform::sdl::SdlProvider* g_provider = nullptr;

// A plain copy of a 640 x 320 frame of 24-bit pixels, timed, as the yardstick for the tick.
std::vector<uint8_t> g_from(640 * 320 * 3, 7), g_to(640 * 320 * 3);
volatile uint8_t g_sink;
double timedFrameCopyUs() {
  const double t0 = nowMs();
  std::memcpy(g_to.data(), g_from.data(), g_to.size());
  g_sink = g_to[g_to.size() / 2];
  return (nowMs() - t0) * 1000.0;
}

// Wakes at absolute 10 ms deadlines, as the game's timer would with nothing to do.
struct Sleeper {
  std::vector<double> wakes;
  std::atomic<bool> stop{false};
  std::thread thread;
  void start() {
    thread = std::thread([this] {
      timespec next{};
      clock_gettime(CLOCK_MONOTONIC, &next);
      while (!stop) {
        next.tv_nsec += 10000000;
        if (next.tv_nsec >= 1000000000) {
          next.tv_nsec -= 1000000000;
          ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        wakes.push_back(nowMs());
      }
    });
  }
  void join() {
    stop = true;
    thread.join();
  }
} g_sleeper;

constexpr int kGames = 2;
constexpr int kPauseAtTick = 1300;
constexpr double kHoldMs = 3000;

void tapSpace() {
  auto& keys = platform::Runtime::current().keys();
  keys.setHeld(platform::VK_SPACE, true);
  keys.setHeld(platform::VK_SPACE, false);
}

class TimedGame : public rules::GameForm {
 public:
  using GameForm::GameForm;

 protected:
  void bindEvents() override {
    GameForm::bindEvents();
    Timer& tick = ctl<Timer>("woboTimer");
    auto inner = tick.onTimer;
    tick.onTimer = [this, inner] {
      auto& times = rec.games.back();
      times.push_back(nowMs());
      if (times.size() == 100) rec.playing.begin();
      if (rec.games.size() == 1 && times.size() == kPauseAtTick) {
        rec.playing.end();
        tapSpace();
      }
      if (rec.games.size() == 2 && times.size() == 1700) rec.playing.end();
      if (rec.games.size() == 2 && times.size() == 100) rec.playing.begin();
      const bool playing = times.size() > 100 && times.size() < kPauseAtTick;
      const double t0 = nowMs();
      inner();
      if (playing) {
        const double t1 = nowMs();
        g_provider->presentChanges();
        const double t2 = nowMs();
        rec.tickOnly.push_back((t1 - t0) * 1000.0);
        rec.presentOnly.push_back((t2 - t1) * 1000.0);
        rec.toScreen.push_back((t2 - t0) * 1000.0);
        rec.copy.push_back(timedFrameCopyUs());
      }
      if (phase() == Phase::kPaused) {
        pausedAt_ = nowMs();
        rec.paused.begin();
      }
      if (phase() == Phase::kOver) {
        overAt_ = nowMs();
        rec.over.begin();
      }
    };
    // These polls press Space themselves after a while, so they are no longer polls that only
    // look at the keys: they run on every interval, as the game's own did before they slept.
    Timer& wait = ctl<Timer>("waitTimer");
    wait.pollsKeysOnly = false;
    ctl<Timer>("endTimer").pollsKeysOnly = false;
    auto resume = wait.onTimer;
    wait.onTimer = [this, resume] {
      if (nowMs() - pausedAt_ > kHoldMs) {
        rec.paused.end();
        tapSpace();
      }
      resume();
    };
    Timer& end = ctl<Timer>("endTimer");
    auto back = end.onTimer;
    end.onTimer = [this, back] {
      if (nowMs() - overAt_ > kHoldMs) {
        rec.over.end();
        tapSpace();
      }
      back();
    };
  }

 private:
  double pausedAt_ = 0, overAt_ = 0;
};

// Starts the games by itself: the title's idle timer clicks the easy mode, and quit at the end.
class AutoTitle : public screens::TitleForm {
 public:
  using TitleForm::TitleForm;

 protected:
  void bindEvents() override {
    TitleForm::bindEvents();
    ctl<Timer>("bgmTimer").onTimer = [this] {
      if (rec.games_started++ < kGames) {
        rec.games.emplace_back();
        Command1_Click();
      } else {
        Command5_Click();
      }
    };
  }
};

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * (v.size() - 1))];
}

}  // namespace

int main() {
  platform::sdl::SdlProvider provider;
  if (!provider.ok()) {
    std::fprintf(stderr, "morofin_bench_tick: %s\n", provider.problem().c_str());
    return 2;
  }
  platform::Project project = rules::morofinProject();
  project.forms["game"] = [](platform::Runtime& rt) { return std::make_unique<TimedGame>(rt); };
  project.forms["title"] = [](platform::Runtime& rt) { return std::make_unique<AutoTitle>(rt); };
  g_provider = &provider;
  platform::Runtime rt(provider, std::move(project));
  const std::string tmp = "/tmp/morofin-bench-tick";
  std::filesystem::create_directories(tmp + "/data");
  rt.setAppPath(tmp);
  g_sleeper.start();
  const int status = rt.run();
  g_sleeper.join();
  if (status != 0) return 1;

  std::vector<double> periods;
  size_t total = 0;
  for (const auto& g : rec.games) {
    total += g.size();
    for (size_t i = 1; i < g.size(); ++i) {
      if (&g == &rec.games.front() && i == kPauseAtTick) continue;  // the pause
      periods.push_back(g[i] - g[i - 1]);
    }
  }
  const auto& whole = rec.games.back();  // a game without a pause
  const double expected = 10.0 * (whole.size() - 1);
  const double drift = 100.0 * ((whole.back() - whole.front()) - expected) / expected;
  std::vector<double> sleeps;
  for (size_t i = 1; i < g_sleeper.wakes.size(); ++i)
    sleeps.push_back(g_sleeper.wakes[i] - g_sleeper.wakes[i - 1]);
  // The sleeper's drift over as many periods as the whole game had, from the same moment.
  double sleeperDrift = 0;
  {
    const auto& w = g_sleeper.wakes;
    auto from = std::lower_bound(w.begin(), w.end(), whole.front());
    const auto n = static_cast<std::ptrdiff_t>(whole.size() - 1);
    if (w.end() - from > n) sleeperDrift = 100.0 * ((from[n] - from[0]) - expected) / expected;
  }
  std::printf("ticks measured            %zu (in %zu games); sleeper periods %zu\n", total,
              rec.games.size(), sleeps.size());
  std::printf("%-26s%12s%12s\n", "period", "game", "sleeper");
  for (auto [name, p] : {std::pair{"median", 0.5}, std::pair{"99th percentile", 0.99},
                         std::pair{"1st percentile", 0.01}, std::pair{"maximum", 1.0}})
    std::printf("%-26s%9.3f ms%9.3f ms\n", name, percentile(periods, p), percentile(sleeps, p));
  std::printf("99th percentile, game - sleeper  %+.3f ms   (target within 0.2)\n",
              percentile(periods, 0.99) - percentile(sleeps, 0.99));
  std::printf("drift over a game         %+.3f %%  (%zu ticks; the sleeper %+.3f %%)\n", drift,
              whole.size(), sleeperDrift);
  const double toScreen = percentile(rec.toScreen, 0.5), copy = percentile(rec.copy, 0.5);
  std::printf(
      "tick to screen median     %.1f us; a 640 x 320 frame copy %.1f us; ratio %.2f "
      "(target at most 3)\n",
      toScreen, copy, toScreen / copy);
  std::printf("  of which the tick %.1f us, composing and presenting %.1f us (medians)\n",
              percentile(rec.tickOnly, 0.5), percentile(rec.presentOnly, 0.5));
  // Without sound; bench/process_cpu.cpp measures the whole program with its synthesizer.
  std::printf("CPU while playing         %.1f %% of a core (silent, timing work included)\n",
              rec.playing.percent());
  // The game's paused and game-over polls sleep until a key changes; these bench ones cannot.
  std::printf("CPU while paused          %.1f %% of a core (silent, a poll on every 10 ms)\n",
              rec.paused.percent());
  std::printf("CPU on game over          %.1f %% of a core (silent, a poll on every 1 ms)\n",
              rec.over.percent());
  return 0;
}
