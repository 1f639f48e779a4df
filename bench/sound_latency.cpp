// When the sound is heard on a PulseAudio server, set against when the program asked for it: the
// music after the game window appears, "wait.wav" when a pause ends (the stream corked before),
// "get.wav" at a catch over the music, and the seam where a short tune restarts. Each from its own
// private daemon, recorded from the sink's monitor. Then, for each General MIDI soundfont that is
// installed, a mode clicked as soon as the title is there: when the music is heard after the game
// window, and the peak resident memory over the game; and the server killed in a game and started
// again: when the game's stream plays on the new server. Run it under an X server:
//   tools/with-xvfb.sh build/bench/morofin_bench_sound [games]
#include <algorithm>
#include <fstream>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
  std::vector<double> play, shown, resume, get, seam, back;
};

long peakKb(int pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  for (std::string l; std::getline(f, l);)
    if (l.rfind("VmHWM:", 0) == 0) return std::stol(l.substr(6));
  return -1;
}

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
  // The title, after time for the soundfont to load unless `soundfont` names one to click at once.
  Window title(const std::string& soundfont = "") {
    auto env = server.env();
    env.push_back("MOROFIN_MEDIA_LOG=" + log);
    if (!soundfont.empty()) env.push_back("MOROFIN_SOUNDFONT=" + soundfont);
    prog.start(env);
    Window t = desk.find(kTitle);
    if (soundfont.empty()) std::this_thread::sleep_for(1000ms);  // the soundfont loads
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
  std::this_thread::sleep_for(700ms);
  // Found in what the sink played by its own samples, however loud the music under it: the best
  // match from 50 ms before the request to 500 ms after it.
  const auto effect = xdriver::readMonoWave(r.prog.folder() + "/sound/get.wav");
  // A catch soon after another is looked for only up to the next one's request.
  const auto asked = r.asked("get.wav");
  for (size_t i = 0; i < asked.size(); ++i) {
    const int64_t frame = r.monitor.frameAt(asked[i]);
    if (Clock::now() - asked[i] > 8s || r.monitor.rms(frame - 50 * kMs, 50 * kMs) < 0.002)
      continue;
    int64_t within = 550 * kMs;
    if (i + 1 < asked.size()) within = std::min(within, r.monitor.frameAt(asked[i + 1]) - frame);
    const auto m = r.monitor.find(effect, frame - 50 * kMs, within);
    f.get.push_back(m.score > 0.5 ? double(m.at - frame) / kMs : 999);
    if (m.score <= 0.5)
      std::fprintf(stderr, "unmatched catch: score %.2f, next request %.0f ms later\n", m.score,
                   double(within) / kMs);
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

// A mode clicked as soon as the title is there, with this soundfont: milliseconds from the game
// window to the music, and the peak memory in MB over the whole game (the quickest mode).
void soundfontStart(xdriver::Desk& desk, const std::string& soundfont, std::vector<double>& music,
                    std::vector<double>& peakMb) {
  Run r(desk);
  Window t = r.title(soundfont);
  desk.click(t, 300, 252);
  Window g = 0;
  const auto clicked = Clock::now();
  while (!(g = desk.find(kGame, 0ms)) && Clock::now() - clicked < 5s)
    std::this_thread::sleep_for(500us);
  const auto shown = Clock::now();
  std::this_thread::sleep_for(13000ms);  // the game and its end
  const int64_t at = r.monitor.frameAt(shown);
  const int64_t s = r.monitor.firstSound(at, 12000 * kMs);
  music.push_back(s < 0 ? 99999 : double(s - at) / kMs);
  peakMb.push_back(peakKb(r.prog.pid()) / 1024.0);
}

// The server killed in a game and started again a second later: milliseconds from its answering
// again to the game's stream playing on it.
void reconnect(xdriver::Desk& desk, Figures& f) {
  Run r(desk);
  Window t = r.title();
  desk.click(t, 300, 252);
  desk.find(kGame);
  std::this_thread::sleep_for(1500ms);
  r.server.crash();
  std::this_thread::sleep_for(1000ms);
  if (!r.server.launch()) return;
  const auto back = Clock::now();
  while (r.server.streams(r.prog.pid()) < 1 && Clock::now() - back < 5s)
    std::this_thread::sleep_for(2ms);
  f.back.push_back(std::chrono::duration<double, std::milli>(Clock::now() - back).count());
}

}  // namespace

int main(int argc, char** argv) {
  const int games = argc > 1 ? std::atoi(argv[1]) : 3;
  // "soundfonts", "server", "catches" or "resume": only that part.
  const std::string only = argc > 2 ? argv[2] : "";
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
  for (int i = 0; i < games && only != "soundfonts"; ++i) {
    if (only.empty() || only == "resume") musicAndResume(desk, f);
    if (only.empty() || only == "catches") catches(desk, f);
    if (only.empty()) seams(desk, f);
    if (only.empty() || only == "server") reconnect(desk, f);
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
  row("stream playing again after the server's return", f.back, "2000 ms");
  std::printf("\n%-44s %14s %14s   %s\n", "a mode clicked at once, soundfont", "music (median)",
              "peak memory", "targets");
  const struct {
    const char* path;
    const char* target;
  } fonts[] = {{"/usr/share/sounds/sf2/TimGM6mb.sf2", "1000 ms, 30 MB"},
               {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "1000 ms, 60 MB"},
               {"/usr/share/sounds/sf3/MuseScore_General_Full.sf3", "1000 ms, 100 MB"}};
  for (const auto& font : fonts) {
    if (!only.empty() && only != "soundfonts") break;
    if (!std::filesystem::exists(font.path)) {
      std::printf("%-44s not installed\n", font.path);
      continue;
    }
    std::vector<double> music, peak;
    for (int i = 0; i < games; ++i) soundfontStart(desk, font.path, music, peak);
    std::printf("%-44s %11.0f ms %11.1f MB   %s (max %.0f ms, %.1f MB)\n",
                std::filesystem::path(font.path).filename().c_str(), median(music), median(peak),
                font.target, maximum(music), maximum(peak));
  }
  return 0;
}
