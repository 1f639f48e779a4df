// The game's 10 ms tick in a real window on Windows (or under Wine): plays one game of the
// quickest mode by itself and reports the tick period beside that of a bare thread sleeping to
// absolute 10 ms deadlines of the performance counter in the same run, and the drift over the
// game. tools/wine-run.sh <prefix> build-win/bench/morofin_bench_win_tick.exe under an X server.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

// clang-format off
#include "platform/utf16_windows.h"
// clang-format on

#include "platform/runtime.h"
#include "platform/win32/win32_provider.h"
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

std::vector<double> g_ticks;
int g_started = 0;

// Wakes at absolute 10 ms deadlines as the message loop does: a high-resolution waitable timer
// set each time for what is left until the next deadline.
struct Sleeper {
  std::vector<double> wakes;
  std::atomic<bool> stop{false};
  std::thread thread;
  void start() {
    thread = std::thread([this] {
      HANDLE t = CreateWaitableTimerExW(nullptr, nullptr, 0x2, TIMER_ALL_ACCESS);
      if (!t) t = CreateWaitableTimerW(nullptr, FALSE, nullptr);
      double next = nowMs();
      while (!stop) {
        next += 10.0;
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(std::max(0.0, next - nowMs()) * 10000.0);
        SetWaitableTimer(t, &due, 0, nullptr, nullptr, FALSE);
        WaitForSingleObject(t, INFINITE);
        wakes.push_back(nowMs());
      }
      CloseHandle(t);
    });
  }
  void join() {
    stop = true;
    thread.join();
  }
} g_sleeper;

class TimedGame : public rules::GameForm {
 public:
  using GameForm::GameForm;

 protected:
  void bindEvents() override {
    GameForm::bindEvents();
    Timer& tick = ctl<Timer>("woboTimer");
    auto inner = tick.onTimer;
    tick.onTimer = [inner] {
      g_ticks.push_back(nowMs());
      inner();
    };
    // Back to the title at once after the game over.
    ctl<Timer>("endTimer").pollsKeysOnly = false;
    Timer& end = ctl<Timer>("endTimer");
    auto back = end.onTimer;
    end.onTimer = [back] {
      auto& keys = platform::Runtime::current().keys();
      keys.setHeld(platform::VK_SPACE, true);
      back();
      keys.setHeld(platform::VK_SPACE, false);
    };
  }
};

// Starts the quickest mode by itself, and quits when the game is over.
class AutoTitle : public screens::TitleForm {
 public:
  using TitleForm::TitleForm;

 protected:
  void bindEvents() override {
    TitleForm::bindEvents();
    ctl<Timer>("bgmTimer").onTimer = [this] {
      if (g_started++ == 0)
        Command4_Click();
      else
        Command5_Click();
    };
  }
};

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * (v.size() - 1))];
}

}  // namespace

int main() {
  platform::win32::Win32Provider provider;
  if (!provider.ok()) {
    std::fprintf(stderr, "morofin_bench_win_tick: %s\n", provider.problem().c_str());
    return 2;
  }
  platform::Project project = rules::morofinProject();
  project.forms["game"] = [](platform::Runtime& rt) { return std::make_unique<TimedGame>(rt); };
  project.forms["title"] = [](platform::Runtime& rt) { return std::make_unique<AutoTitle>(rt); };
  platform::Runtime rt(provider, std::move(project));
  const auto tmp = std::filesystem::temp_directory_path() / "morofin-bench-win-tick";
  std::filesystem::create_directories(tmp / "data");
  rt.setAppPath(tmp.string());
  g_sleeper.start();
  const int status = rt.run();
  g_sleeper.join();
  if (status != 0 || g_ticks.size() < 100) return 1;
  std::vector<double> periods, sleeps;
  for (size_t i = 1; i < g_ticks.size(); ++i) periods.push_back(g_ticks[i] - g_ticks[i - 1]);
  for (size_t i = 1; i < g_sleeper.wakes.size(); ++i)
    sleeps.push_back(g_sleeper.wakes[i] - g_sleeper.wakes[i - 1]);
  const double expected = 10.0 * static_cast<double>(g_ticks.size() - 1);
  const double drift = 100.0 * ((g_ticks.back() - g_ticks.front()) - expected) / expected;
  std::printf("ticks measured            %zu; sleeper periods %zu\n", g_ticks.size(),
              sleeps.size());
  std::printf("%-26s%12s%12s\n", "period", "game", "sleeper");
  for (auto [name, p] : {std::pair{"median", 0.5}, std::pair{"99th percentile", 0.99},
                         std::pair{"1st percentile", 0.01}, std::pair{"maximum", 1.0}})
    std::printf("%-26s%9.3f ms%9.3f ms\n", name, percentile(periods, p), percentile(sleeps, p));
  std::printf("drift over a game         %+.3f %%\n", drift);
  return 0;
}
