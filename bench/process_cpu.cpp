// The CPU time of the whole real program, all its threads (the synthesizer's among them), while a
// game is played, while it is paused and on the game-over screen. Sound goes through SDL's disk
// audio driver into /dev/null, so the synthesizer renders as it would for a sound card. Run it
// under an X server: tools/with-xvfb.sh build/bench/morofin_bench_cpu [runs]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/x11/xdriver.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct Run {
  long long all = 0, main = 0;  // nanoseconds run so far: every thread, the main thread
};

// The process's own total counts the threads that have ended too (the sound thread ends whenever
// the game falls silent); a sum over the living threads would lose their time.
long long processNs(int pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(text.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoll(field);
    if (i == 15) stime = std::stoll(field);
  }
  return (utime + stime) * (1000000000LL / ::sysconf(_SC_CLK_TCK));
}

Run runNs(int pid) {
  Run r;
  r.all = processNs(pid);
  std::ifstream f("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/schedstat");
  f >> r.main;
  return r;
}

struct Cpu {
  double all = 0, main = 0;  // percent of one core
};

Cpu cpuOver(int pid, std::chrono::milliseconds span) {
  const Run c0 = runNs(pid);
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(span);
  const Run c1 = runNs(pid);
  const double wallNs = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
  return {100.0 * static_cast<double>(c1.all - c0.all) / wallNs,
          100.0 * static_cast<double>(c1.main - c0.main) / wallNs};
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
    prog.start({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/dev/null"});
    Window title = waitFor(desk, "モロフィン！V1.00");
    if (!title) return 1;
    std::this_thread::sleep_for(1500ms);  // the soundfont loads meanwhile
    desk.click(title, 300, 252);          // the shortest mode
    Window game = waitFor(desk, "モロフィン！");
    if (!game) return 1;
    std::this_thread::sleep_for(1s);
    playing.push_back(cpuOver(prog.pid(), 4s));
    desk.flick("space");
    std::this_thread::sleep_for(500ms);
    paused.push_back(cpuOver(prog.pid(), 4s));
    desk.flick("space");
    while (!gameOver(desk, game)) std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(500ms);
    over.push_back(cpuOver(prog.pid(), 4s));
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
  return 0;
}
