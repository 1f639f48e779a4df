// The game's 10 ms tick in a real window: plays two games of the easy mode by itself (with a
// pause in the first) and reports the tick period, the drift over a whole game and the CPU time
// the process uses while playing, while paused and on the game-over screen. Run it under an X
// server, for example: tools/with-xvfb.sh build/bench/morofin_bench_tick
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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
} rec;

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
      inner();
      if (ctl<Timer>("waitTimer").Interval() == 10) {
        pausedAt_ = nowMs();
        rec.paused.begin();
      }
      if (ctl<Timer>("endTimer").Interval() == 1) {
        overAt_ = nowMs();
        rec.over.begin();
      }
    };
    Timer& wait = ctl<Timer>("waitTimer");
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
  platform::Runtime rt(provider, std::move(project));
  const std::string tmp = "/tmp/morofin-bench-tick";
  std::system(("mkdir -p " + tmp + "/data").c_str());
  rt.setAppPath(tmp);
  if (rt.run() != 0) return 1;

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
  std::printf("ticks measured            %zu (in %zu games)\n", total, rec.games.size());
  std::printf("tick period median        %.3f ms   (target 10 +- 0.1)\n", percentile(periods, 0.5));
  std::printf("tick period 99th pct      %.3f ms   (target within 1 ms of 10)\n",
              percentile(periods, 0.99));
  std::printf("tick period 1st pct       %.3f ms\n", percentile(periods, 0.01));
  std::printf("tick period maximum       %.3f ms\n", percentile(periods, 1.0));
  std::printf("drift over a game         %+.3f %%  (%zu ticks; target under 0.5 %%)\n", drift,
              whole.size());
  std::printf("CPU while playing         %.1f %% of a core (target under 10)\n",
              rec.playing.percent());
  std::printf("CPU while paused          %.1f %% of a core (target under 3)\n",
              rec.paused.percent());
  std::printf("CPU on game over          %.1f %% of a core (target under 5)\n", rec.over.percent());
  return 0;
}
