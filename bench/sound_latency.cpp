// When the sound is heard on a PulseAudio server, set against when the program asked for it: the
// music after the game window appears, "wait.wav" when a pause ends (the stream corked before),
// "get.wav" at a catch over the music, and the seam where a short tune restarts. Each from its own
// private daemon, recorded from the sink's monitor. Run it under an X server:
//   tools/with-xvfb.sh build/bench/morofin_bench_sound [games]
#include <algorithm>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#include "tests/x11/pulse.h"
#include "tests/x11/xdriver.h"

using namespace std::chrono_literals;
using xdriver::Clock;

namespace {

constexpr int64_t kMs = xdriver::Monitor::kRate / 1000;
const char* kTitle = "モロフィン！V1.00";
const char* kGame = "モロフィン！";

struct Figures {
  std::vector<double> play, shown, resume, get, seam;
};

double median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double maximum(const std::vector<double>& v) {
  return v.empty() ? -1 : *std::max_element(v.begin(), v.end());
}

// A run of the program into its own daemon, with its media log.
struct Run {
  xdriver::PulseServer server;
  xdriver::Monitor monitor{server};
  xdriver::Program prog;
  xdriver::Desk& desk;
  std::string log = prog.folder() + "/media.log";
  explicit Run(xdriver::Desk& d) : desk(d) {}
  Window title() {
    auto env = server.env();
    env.push_back("MOROFIN_MEDIA_LOG=" + log);
    prog.start(env);
    Window t = desk.find(kTitle);
    std::this_thread::sleep_for(1000ms);  // the soundfont loads
    return t;
  }
  std::vector<Clock::time_point> asked(const std::string& what) {
    std::vector<Clock::time_point> at;
    for (const auto& r : xdriver::readMediaLog(log))
      if (r.text.find(what) != std::string::npos) at.push_back(r.at);
    return at;
  }
  // Milliseconds from t to the first sound louder than `level` about then. The monitor's clock
  // may run a few milliseconds ahead (the sink hands over a block as it takes it), so the search
  // starts a little before t.
  double heard(Clock::time_point t, double level = 0.002) {
    const int64_t at = monitor.frameAt(t);
    const int64_t s = monitor.firstSound(at - 20 * kMs, 300 * kMs, level);
    return s < 0 ? 999 : double(s - at) / kMs;
  }
  ~Run() {
    if (Window g = desk.find(kGame, 100ms)) desk.closeBox(g);
    prog.wait(5s);
  }
};

void musicAndResume(xdriver::Desk& desk, Figures& f) {
  Run r(desk);
  Window t = r.title();
  desk.click(t, 300, 252);
  Window g = 0;
  while (!(g = desk.find(kGame, 0ms))) std::this_thread::sleep_for(500us);
  const auto shown = Clock::now();
  std::this_thread::sleep_for(1500ms);
  const auto plays = r.asked("Play Midi");
  if (plays.empty()) return;
  f.play.push_back(r.heard(plays.front()));
  f.shown.push_back(f.play.back() -
                    std::chrono::duration<double, std::milli>(shown - plays.front()).count());
  desk.flick("space");
  std::this_thread::sleep_for(1500ms);  // "wait.wav" ends and the stream is corked
  desk.flick("space");
  std::this_thread::sleep_for(500ms);
  const auto waits = r.asked("wait.wav");
  if (waits.size() >= 2) f.resume.push_back(r.heard(waits.back()));  // over the music's return
}

void catches(xdriver::Desk& desk, Figures& f) {
  Run r(desk);
  Window t = r.title();
  desk.click(t, 300, 156);
  Window g = desk.find(kGame);
  {
    xdriver::Chaser player(desk, g);
    const auto start = Clock::now();
    while (Clock::now() - start < 8s) {
      player.step();
      std::this_thread::sleep_for(8ms);
    }
  }
  std::this_thread::sleep_for(300ms);
  for (auto at : r.asked("get.wav")) {
    // Over the music: the first millisecond twice as loud as the music just before.
    const int64_t frame = r.monitor.frameAt(at);
    const double music = r.monitor.rms(frame - 50 * kMs, 50 * kMs);
    if (Clock::now() - at > 7s || music < 0.002) continue;
    f.get.push_back(r.heard(at, 2.5 * music));
  }
}

void seams(xdriver::Desk& desk, Figures& f) {
  Run r(desk);
  xdriver::writeLoopTune(r.prog.folder() + "/sound/bgm_d.mid", 2);
  Window t = r.title();
  desk.click(t, 300, 252);
  std::this_thread::sleep_for(6000ms);
  const auto plays = r.asked("Play Midi");
  if (plays.empty()) return;
  int64_t before = r.monitor.firstSound(r.monitor.frameAt(plays.front()) - 50 * kMs, 500 * kMs);
  for (int k = 1; k <= 5 && before >= 0; ++k) {
    const int64_t struck = r.monitor.firstSound(before + 1000 * kMs - 100 * kMs, 200 * kMs);
    if (struck < 0) break;
    f.seam.push_back(double(struck - before - 1000 * kMs) / kMs);
    before = struck;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int games = argc > 1 ? std::atoi(argv[1]) : 3;
  xdriver::Desk desk;
  if (!desk.ok()) {
    std::fprintf(stderr, "morofin_bench_sound: needs an X display\n");
    return 2;
  }
  if (!xdriver::PulseServer().ok()) {
    std::fprintf(stderr, "morofin_bench_sound: %s\n", xdriver::PulseServer().why().c_str());
    return 2;
  }
  Figures f;
  for (int i = 0; i < games; ++i) {
    musicAndResume(desk, f);
    catches(desk, f);
    seams(desk, f);
  }
  std::printf("%-44s %8s %8s %6s   %s\n", "heard after the request", "median", "max", "n",
              "target");
  auto row = [](const char* name, std::vector<double> v, const char* target) {
    const auto lost = std::erase_if(v, [](double ms) { return ms >= 999; });
    std::printf("%-44s %5.1f ms %5.1f ms %6zu   %s", name, median(v), maximum(v), v.size(), target);
    if (lost) std::printf("   (%zu not told apart from the music)", lost);
    std::printf("\n");
  };
  row("music, after its \"Play Midi\"", f.play, "");
  row("music, after the game window is on screen", f.shown, "50 ms");
  row("wait.wav ending a pause (no stream before)", f.resume, "30 ms");
  row("get.wav at a catch, over the music", f.get, "30 ms");
  row("loop seam, beyond the tune's own timing", f.seam, "10 ms");
  return 0;
}
