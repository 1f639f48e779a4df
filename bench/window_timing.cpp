// The real program in a real window, timed from outside as a user sees it: start-up to the title
// window on screen, and a mode button's click to the game window on screen (its music started),
// with sound and without; and the peak resident memory over a whole game. Run it under an X
// server: tools/with-xvfb.sh build/bench/morofin_bench_window
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/x11/xdriver.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Waits for a viewable window with this title, polling every half millisecond.
Window waitFor(xdriver::Desk& desk, const char* title) {
  for (int i = 0; i < 20000; ++i) {
    if (Window w = desk.find(title, 0ms)) return w;
    std::this_thread::sleep_for(500us);
  }
  return 0;
}

long peakKb(int pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  for (std::string l; std::getline(f, l);)
    if (l.rfind("VmHWM:", 0) == 0) return std::stol(l.substr(6));
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
  xdriver::Desk desk;
  if (!desk.ok()) {
    std::fprintf(stderr, "morofin_bench_window: needs an X display\n");
    return 2;
  }
  struct Variant {
    const char* name;
    const char* env;
    std::vector<double> startup, click;
  } variants[] = {{"with sound", "SDL_AUDIODRIVER=dummy", {}, {}},
                  {"silent", "SDL_AUDIODRIVER=none", {}, {}}};
  for (int r = 0; r < runs; ++r) {
    for (Variant& v : variants) {
      xdriver::Program prog;
      const auto t0 = Clock::now();
      prog.start({v.env});
      Window title = waitFor(desk, "モロフィン！V1.00");
      const auto t1 = Clock::now();
      if (!title) return 1;
      std::this_thread::sleep_for(300ms);
      desk.click(title, 300, 156);  // returns right after the button is released
      const auto t2 = Clock::now();
      Window game = waitFor(desk, "モロフィン！");
      const auto t3 = Clock::now();
      if (!game) return 1;
      v.startup.push_back(ms(t1 - t0));
      v.click.push_back(ms(t3 - t2));
      desk.closeBox(game);
      prog.wait(5s);
    }
  }
  std::printf("%-28s %12s %12s   (median of %d runs)\n", "measure", "with sound", "silent", runs);
  std::printf("%-28s %9.1f ms %9.1f ms   (target 200)\n", "start-up to title on screen",
              median(variants[0].startup), median(variants[1].startup));
  std::printf("%-28s %9.1f ms %9.1f ms   (target 100; sound may add 50)\n",
              "click to game on screen", median(variants[0].click), median(variants[1].click));

  // A whole game of each mode on the real clock against what its ticks say, and the peak memory.
  std::printf("\n%-6s %8s %12s %12s %8s\n", "mode", "ticks", "ticks x 10ms", "measured", "ratio");
  struct Mode {
    const char* name;
    int y, ticks;
  } modes[] = {{"e", 156, 1820}, {"n", 188, 1620}, {"h", 220, 1420}, {"d", 252, 1220}};
  long peak = 0;
  for (const Mode& m : modes) {
    xdriver::Program prog;
    prog.start({"SDL_AUDIODRIVER=dummy"});
    Window title = waitFor(desk, "モロフィン！V1.00");
    std::this_thread::sleep_for(300ms);
    desk.click(title, 300, m.y);
    Window game = waitFor(desk, "モロフィン！");
    const auto shown = Clock::now();
    // "GameOver..." in red over the field.
    auto over = [&] {
      int red = 0;
      for (int x = 160; x < 480; x += 4) {
        auto p = desk.pixel(game, x, 136);
        red += p.r > 200 && p.g < 60 && p.b < 60;
      }
      return red > 5;
    };
    while (!over()) std::this_thread::sleep_for(1ms);
    const double seconds = ms(Clock::now() - shown) / 1000.0;
    peak = std::max(peak, peakKb(prog.pid()));
    desk.closeBox(game);
    prog.wait(5s);
    std::printf("%-6s %8d %10.2f s %10.2f s %8.4f\n", m.name, m.ticks, m.ticks / 100.0, seconds,
                seconds / (m.ticks / 100.0));
  }
  std::printf("\n%-28s %9.1f MB   (target under 60)\n", "peak resident memory, a game",
              peak / 1024.0);
  return 0;
}
