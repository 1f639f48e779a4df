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

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

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
  std::printf("%-28s %9.1f ms %9.1f ms   (target 200)\n", "start-up to title on screen", median(variants[0].startup),
              median(variants[1].startup));
  std::printf("%-28s %9.1f ms %9.1f ms   (target 100; sound may add 50)\n", "click to game on screen",
              median(variants[0].click), median(variants[1].click));

  // Peak memory over a whole game of the quickest mode, with sound.
  xdriver::Program prog;
  prog.start({"SDL_AUDIODRIVER=dummy"});
  Window title = waitFor(desk, "モロフィン！V1.00");
  std::this_thread::sleep_for(300ms);
  desk.click(title, 300, 252);
  Window game = waitFor(desk, "モロフィン！");
  std::this_thread::sleep_for(12500ms);
  const long kb = peakKb(prog.pid());
  desk.closeBox(game);
  prog.wait(5s);
  std::printf("%-28s %9.1f MB                (target under 60)\n", "peak resident memory", kb / 1024.0);
  return 0;
}
