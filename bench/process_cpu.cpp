// The CPU time of the whole real program, all its threads (the synthesizer's among them), while a
// game is played, while it is paused and on the game-over screen. Sound goes through SDL's disk
// audio driver into /dev/null, so the synthesizer renders as it would for a sound card. Run it
// under an X server: tools/with-xvfb.sh build/bench/morofin_bench_cpu [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/x11/xdriver.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The CPU time of every thread of the process, to the nanosecond, sampled every 50 ms: the sound
// thread comes and goes as the game falls silent, and the process's own total counts in 10 ms
// steps, too coarse for a fraction of a per cent over a few seconds.
struct Threads {
  std::map<int, long long> first, last;  // nanoseconds run, per thread id
  bool started = false;
  void sample(int pid) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(
             "/proc/" + std::to_string(pid) + "/task", ec)) {
      std::ifstream f(e.path() / "schedstat");
      long long ns = 0;
      if (!(f >> ns)) continue;
      const int tid = std::atoi(e.path().filename().c_str());
      first.emplace(tid, started ? 0 : ns);  // a thread born since starts from nothing
      last[tid] = ns;
    }
    started = true;
  }
  long long ranNs(std::optional<int> only = std::nullopt) const {
    long long sum = 0;
    for (const auto& [tid, ns] : last)
      if (!only || tid == *only) sum += ns - first.at(tid);
    return sum;
  }
};

struct Cpu {
  double all = 0, main = 0;  // percent of one core
};

// Every state is measured the same way; a command named by MOROFIN_BENCH_EACH_STATE runs beside
// each measurement, with the program's id in P and the state's name in S (a profiler, strace).
Cpu cpuOver(int pid, std::chrono::milliseconds span, const char* state) {
  if (const char* c = std::getenv("MOROFIN_BENCH_EACH_STATE")) {
    const std::string cmd = "P=" + std::to_string(pid) + " S=" + state + " sh -c '" + c + "' &";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not start: %s\n", c);
  }
  Threads t;
  t.sample(pid);
  const auto t0 = Clock::now();
  while (Clock::now() - t0 < span) {
    std::this_thread::sleep_for(50ms);
    t.sample(pid);
  }
  const double wallNs = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
  return {100.0 * static_cast<double>(t.ranNs()) / wallNs,
          100.0 * static_cast<double>(t.ranNs(pid)) / wallNs};
}

Window waitFor(xdriver::Desk& desk, const char* title) {
  for (int i = 0; i < 20000; ++i) {
    if (Window w = desk.find(title, 0ms)) return w;
    std::this_thread::sleep_for(500us);
  }
  return 0;
}

bool gameOver(xdriver::Desk& desk, Window game) {
  int red = 0;
  for (int x = 160; x < 480; x += 4) {
    auto p = desk.pixel(game, x, 136);
    red += p.r > 200 && p.g < 60 && p.b < 60;
  }
  return red > 5;
}

// What this machine charges for waking alone: a thread that does nothing but sleep to absolute
// deadlines this far apart, as percent of a core.
double bareSleeper(std::chrono::microseconds period, std::chrono::seconds span) {
  timespec c0{}, c1{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
  const auto t0 = Clock::now();
  for (auto next = t0 + period; next < t0 + span; next += period) std::this_thread::sleep_until(next);
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
  const double cpuNs = (c1.tv_sec - c0.tv_sec) * 1e9 + static_cast<double>(c1.tv_nsec - c0.tv_nsec);
  return 100.0 * cpuNs / std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
}

double median(std::vector<Cpu> v, double Cpu::*part) {
  std::sort(v.begin(), v.end(), [part](const Cpu& a, const Cpu& b) { return a.*part < b.*part; });
  return v[v.size() / 2].*part;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  xdriver::Desk desk;
  if (!desk.ok()) {
    std::fprintf(stderr, "morofin_bench_cpu: needs an X display\n");
    return 2;
  }
  std::vector<Cpu> playing, paused, over;
  for (int r = 0; r < runs; ++r) {
    xdriver::Program prog;
    // Under tools/with-pulse.sh, with MOROFIN_BENCH_ON_SERVER set, the sound goes to that server.
    if (std::getenv("MOROFIN_BENCH_ON_SERVER"))
      prog.start({});
    else
      prog.start({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/dev/null"});
    Window title = waitFor(desk, "モロフィン！V1.00");
    if (!title) return 1;
    std::this_thread::sleep_for(1500ms);  // the soundfont loads meanwhile
    desk.click(title, 300, 252);          // the shortest mode
    Window game = waitFor(desk, "モロフィン！");
    if (!game) return 1;
    std::this_thread::sleep_for(1s);
    playing.push_back(cpuOver(prog.pid(), 4s, "playing"));
    desk.flick("space");
    std::this_thread::sleep_for(500ms);
    paused.push_back(cpuOver(prog.pid(), 4s, "paused"));
    desk.flick("space");
    while (!gameOver(desk, game)) std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(500ms);
    over.push_back(cpuOver(prog.pid(), 4s, "over"));
    desk.closeBox(game);
    prog.wait(5s);
    std::printf(
        "run %d: playing %.2f %%, paused %.2f %%, game over %.2f %% (main thread %.2f, "
        "%.2f, %.2f)\n",
        r + 1, playing.back().all, paused.back().all, over.back().all, playing.back().main,
        paused.back().main, over.back().main);
    if (prog.stderrText().find("cannot") != std::string::npos)
      std::printf("  (the program said: %s)\n", prog.stderrText().c_str());
  }
  std::printf("median of %d runs                    whole process   main thread\n", runs);
  const struct {
    const char* name;
    const std::vector<Cpu>& v;
    const char* target;
  } rows[] = {{"playing", playing, "2"}, {"paused", paused, "0.5"}, {"game over", over, "2"}};
  for (const auto& row : rows)
    std::printf("%-34s %6.2f %%      %6.2f %%   (target for the process at most %s %%)\n", row.name,
                median(row.v, &Cpu::all), median(row.v, &Cpu::main), row.target);
  std::printf("a bare sleeper on this machine: %.2f %% waking every 10 ms, %.2f %% every 1 ms\n",
              bareSleeper(std::chrono::milliseconds(10), std::chrono::seconds(3)),
              bareSleeper(std::chrono::milliseconds(1), std::chrono::seconds(3)));
  return 0;
}
