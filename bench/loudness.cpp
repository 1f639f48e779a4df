// How loud each tune comes out of the mix, rendered offline through the synthesizer the game uses
// (no device, faster than real time): peak and RMS as before the limiter (then clipped at full
// scale, as the mix did) and after it, the change in loudness, and the samples at full scale.
// Our own tunes from build/sound, then the real General MIDI files of Debian's openttd-openmsx
// when they are installed. Run it as
//   build/bench/morofin_bench_loudness [soundfont] [seconds per tune]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/midi.h"
#include "platform/sdl/audio_synth.h"
#include "platform/sdl/limiter.h"
#include "platform/sdl/soundfont.h"
#include "platform/sequencer.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;

struct Level {
  double peak = 0, sum = 0;
  long full = 0, n = 0;
  void add(const float* s, int count) {
    for (int i = 0; i < count; ++i) {
      const double v = std::min(1.0, std::fabs(double(s[i])));
      peak = std::max(peak, v);
      sum += v * v;
      full += v >= 1.0;
      ++n;
    }
  }
  double rms() const { return n ? std::sqrt(sum / double(n)) : 0; }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string soundfont = argc > 1 ? argv[1] : platform::sdl::findSoundfont();
  const double seconds = argc > 2 ? std::atof(argv[2]) : 60;
  std::vector<std::string> files;
  for (const char* t : {"bgm_e", "bgm_n", "bgm_h", "bgm_d"})
    files.push_back(std::string(MOROFIN_BINARY_DIR) + "/sound/" + t + ".mid");
  const fs::path openmsx = "/usr/share/games/openttd/baseset/openmsx";
  std::vector<std::string> real;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(openmsx, ec))
    if (e.path().extension() == ".mid") real.push_back(e.path().string());
  std::sort(real.begin(), real.end());
  files.insert(files.end(), real.begin(), real.end());
  std::printf("soundfont %s, up to %.0f s a tune\n", soundfont.c_str(), seconds);
  std::printf("%-34s %6s %6s %6s %6s %8s %9s %9s\n", "tune", "peak", "rms", "peak'", "rms'",
              "change", "full", "full'");
  int over = 0, overAfter = 0;
  double worstOwn = 0;
  for (const auto& path : files) {
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    auto song = std::make_shared<platform::MidiSong>();
    std::string why;
    if (!platform::parseMidi(bytes.data(), bytes.size(), *song, why)) {
      std::printf("%-34s unreadable: %s\n", fs::path(path).filename().c_str(), why.c_str());
      continue;
    }
    platform::sdl::Synthesizer synth;
    if (!synth.load(soundfont, kRate)) return 1;
    platform::sdl::Limiter limiter(kRate);
    platform::MidiPlayer player(song, kRate);
    player.play();
    Level before, after;
    std::vector<float> block(2 * 512), limited(2 * 512);
    const long total = static_cast<long>(std::min(seconds * kRate, double(player.endFrame())));
    for (long done = 0; done < total; done += 512) {
      player.render(block.data(), 512, &synth);
      before.add(block.data(), 1024);
      limited = block;
      limiter.apply(limited.data(), 512);
      after.add(limited.data(), 1024);
    }
    const double change = 20 * std::log10(after.rms() / std::max(1e-9, before.rms()));
    const bool own = path.find("/sound/bgm_") != std::string::npos;
    if (own) worstOwn = std::max(worstOwn, std::fabs(change));
    over += before.full > 0;
    overAfter += after.full > 0;
    std::printf("%-34s %6.3f %6.3f %6.3f %6.3f %5.2f dB %9ld %9ld\n",
                fs::path(path).filename().c_str(), before.peak, before.rms(), after.peak,
                after.rms(), change, before.full, after.full);
  }
  std::printf("\nour own tunes: loudness changed by at most %.2f dB (target 1 dB)\n", worstOwn);
  std::printf("files with samples at full scale: %d before the limiter, %d after (target 0)\n",
              over, overAfter);
  return 0;
}
