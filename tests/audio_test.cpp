// The real sound path through SDL's disk audio driver, which writes what the device would play to
// a file at the pace of real time: the file's length tells when something was asked for. The
// device is closed while nothing sounds, and each opening starts the file afresh.
#include "platform/sdl/audio.h"
#include "platform/sdl/late_synth.h"
#include "platform/sdl/limiter.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/media.h"
#include "tests/testkit.h"

using namespace std::chrono_literals;
using platform::Media;
using platform::mcierr::kOk;

namespace {

constexpr double kRate = 44100;
const std::string kSound = std::string(MOROFIN_BINARY_DIR) + "/sound/";

// The game's own lines on standard error (SDL's disk driver announces itself too).
std::string ours(const std::string& err) {
  std::istringstream in(err);
  std::string out;
  for (std::string l; std::getline(in, l);)
    if (l.rfind("morofin:", 0) == 0) out += l + "\n";
  return out;
}

struct DiskAudio {
  std::string file;
  std::unique_ptr<platform::MediaBackend> backend;
  std::unique_ptr<Media> media;
  explicit DiskAudio(const char* soundfont = nullptr, bool waitForSoundfont = true) {
    file = (std::filesystem::temp_directory_path() /
            ("morofin-audio-" + std::to_string(::getpid()) + ".raw"))
               .string();
    std::filesystem::remove(file);
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    if (soundfont) {
      ::setenv("MOROFIN_SOUNDFONT", soundfont, 1);
    } else {
      ::unsetenv("MOROFIN_SOUNDFONT");
    }
    backend = platform::sdl::openAudio();
    media = std::make_unique<Media>(*backend);
    // The soundfont loads meanwhile, as on the title screen.
    if (waitForSoundfont) std::this_thread::sleep_for(1500ms);
  }
  ~DiskAudio() {
    media.reset();
    backend.reset();
    SDL_Quit();
    std::filesystem::remove(file);
  }
  // Frames written so far by the device opened last.
  int64_t now() const {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_size / 8;
  }
  uint32_t send(const std::string& c) { return media->sendString(c.c_str(), nullptr, 0, 0); }
  std::string mode() {
    char buf[16] = {};
    media->sendString("status Midi mode", buf, 16, 0);
    return buf;
  }
  // The loudness of [from, from + frames) as RMS.
  double rms(int64_t from, int64_t frames) const {
    std::ifstream f(file, std::ios::binary);
    f.seekg(from * 8);
    std::vector<float> s(static_cast<size_t>(frames) * 2);
    f.read(reinterpret_cast<char*>(s.data()), static_cast<std::streamsize>(s.size() * 4));
    double sum = 0;
    size_t n = static_cast<size_t>(f.gcount()) / 4;
    for (size_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
    return n ? std::sqrt(sum / n) : 0;
  }
  // The loudness of each channel over [from, from + frames).
  std::pair<double, double> sides(int64_t from, int64_t frames) const {
    std::ifstream f(file, std::ios::binary);
    f.seekg(from * 8);
    std::vector<float> s(static_cast<size_t>(frames) * 2);
    f.read(reinterpret_cast<char*>(s.data()), static_cast<std::streamsize>(s.size() * 4));
    const size_t n = static_cast<size_t>(f.gcount()) / 8;
    double l = 0, r = 0;
    for (size_t i = 0; i < n; ++i) l += double(s[2 * i]) * s[2 * i], r += double(s[2 * i + 1]) * s[2 * i + 1];
    return {n ? std::sqrt(l / n) : 0, n ? std::sqrt(r / n) : 0};
  }
  // The highest sample of all written so far.
  float peak() const {
    std::ifstream f(file, std::ios::binary);
    float top = 0;
    for (float v; f.read(reinterpret_cast<char*>(&v), sizeof v);) top = std::max(top, std::fabs(v));
    return top;
  }
  // The first frame at or after `from` where 5 ms windows turn loud, or -1.
  int64_t firstSound(int64_t from, int64_t within) const {
    for (int64_t at = from; at < from + within; at += 220)
      if (rms(at, 220) > 0.002) return at;
    return -1;
  }
};

// A MIDI file of one 16-byte track at 480 ticks a quarter.
std::string tuneOf(const std::string& track) {
  return std::string("MThd\0\0\0\6\0\0\0\1\x01\xE0MTrk\0\0\0\x10", 22) + track;
}

// One note, a quarter at 120 bpm: the file ends after 0.5 s.
std::string oneNoteTune() {
  return tuneOf(
      std::string("\x00\xC0\x00\x00\x90\x48\x64\x83\x60\x80\x48\x00\x00\xFF\x2F\x00", 16));
}

TEST(Audio, MusicSoundsAtOncePausesToSilenceAndResumes) {
  DiskAudio a;
  ASSERT_EQ(a.send("open \"" + kSound + "bgm_n.mid\" alias Midi"), kOk);
  ASSERT_EQ(a.send("Seek Midi to Start"), kOk);
  ASSERT_EQ(a.send("Play Midi"), kOk);  // opens the device: its file starts with the music
  std::this_thread::sleep_for(800ms);
  const int64_t heard = a.firstSound(0, static_cast<int64_t>(kRate));
  ASSERT_GE(heard, 0) << "no sound at all";
  EXPECT_LT(heard / kRate, 0.030);
  ASSERT_EQ(a.send("Pause Midi"), kOk);
  EXPECT_EQ(a.mode(), "paused");
  const int64_t paused = a.now();
  std::this_thread::sleep_for(600ms);
  // Silent from one buffer after the pause, and then no stream at all: the file stops growing.
  const int64_t closed = a.now();
  EXPECT_LT(a.rms(paused + 2048, closed - paused - 2048), 1e-4);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(a.now(), closed);
  EXPECT_EQ(a.mode(), "paused");
  ASSERT_EQ(a.send("Play Midi"), kOk);
  std::this_thread::sleep_for(500ms);
  // Notes that sounded at the pause are not struck again: the music comes back with its next note.
  EXPECT_GE(a.firstSound(0, static_cast<int64_t>(kRate / 2)), 0);
  ASSERT_EQ(a.send("Close Midi"), kOk);
}

TEST(Audio, ATuneThatEndsRestartsWithinATickOfItsEnd) {
  testkit::AppFolder folder;
  // One short note, then silence to the end of the file: a quarter at 120 bpm, 0.5 s in all.
  folder.write(
      "short.mid",
      tuneOf(std::string("\x00\xC0\x00\x00\x90\x48\x64\x60\x80\x48\x00\x83\x00\xFF\x2F\x00", 16)));
  DiskAudio a;
  ASSERT_EQ(a.send("open \"" + folder.file("short.mid").string() + "\" alias Midi"), kOk);
  ASSERT_EQ(a.send("Play Midi"), kOk);
  // The game's loop check, once a tick.
  int restarts = 0;
  for (int tick = 0; tick < 130 && restarts < 2; ++tick) {
    if (a.mode() == "stopped") {
      ASSERT_EQ(a.send("Seek Midi to Start"), kOk);
      ASSERT_EQ(a.send("Play Midi"), kOk);
      ++restarts;
    }
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_EQ(restarts, 2);
  std::this_thread::sleep_for(300ms);
  // Each note is struck where the tune's own timing puts it, give or take one tick.
  const int64_t first = a.firstSound(0, 4410);
  ASSERT_GE(first, 0);
  for (int round = 1; round <= 2; ++round) {
    const int64_t due = first + round * static_cast<int64_t>(kRate / 2);
    const int64_t struck = a.firstSound(due - 4410, 3 * 4410);
    EXPECT_GE(struck, due - 220) << "round " << round;
    EXPECT_LE(struck, due + 441) << "round " << round;
  }
}

// The pause that comes in the tick after the tune ran out: the device takes it, stays silent
// through the pause, and the resuming play lets it run out so that the loop check restarts it.
TEST(Audio, ATunePausedRightAtItsEndStaysSilent) {
  testkit::AppFolder folder;
  folder.write("short.mid", oneNoteTune());
  DiskAudio a;
  ASSERT_EQ(a.send("open \"" + folder.file("short.mid").string() + "\" alias Midi"), kOk);
  ASSERT_EQ(a.send("Play Midi"), kOk);
  while (a.mode() == "playing") std::this_thread::sleep_for(1ms);
  ASSERT_EQ(a.send("Pause Midi"), kOk);
  EXPECT_EQ(a.mode(), "paused");
  const int64_t paused = a.now();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(a.mode(), "paused");
  // Silent from a buffer after the pause; a device closed while nothing sounds writes nothing.
  const int64_t later = a.now();
  if (later > paused + 2048) {
    EXPECT_LT(a.rms(paused + 2048, later - paused - 2048), 1e-4);
  }
  ASSERT_EQ(a.send("Play Midi"), kOk);
  EXPECT_EQ(a.mode(), "stopped");
}

TEST(Audio, TheCatchEffectIsHeardOverTheMusic) {
  DiskAudio a;
  ASSERT_EQ(a.send("open \"" + kSound + "bgm_h.mid\" alias Midi"), kOk);
  ASSERT_EQ(a.send("Play Midi"), kOk);
  std::this_thread::sleep_for(600ms);
  const int64_t at = a.now();
  ASSERT_TRUE(a.media->playSound((kSound + "get.wav").c_str(), 1));
  std::this_thread::sleep_for(400ms);
  const double before = a.rms(at - 4410, 4410);
  const double with = a.rms(at + 1024, 4410);
  EXPECT_GT(before, 0.002);  // the music
  EXPECT_GT(with, 1.5 * before);
}

// A synthesizer that writes down what reaches it.
struct Recorder : platform::SynthTarget {
  std::vector<std::string> got;
  void send(const platform::MidiEvent& e) override {
    char b[16];
    std::snprintf(b, sizeof b, "%02X %d %d", e.status, e.data1, e.data2);
    got.push_back(b);
  }
  void render(float* stereo, int frames) override {
    std::fill(stereo, stereo + 2 * frames, 0.25f);
  }
  void allNotesOff() override { got.push_back("notes off"); }
  void allSoundsOff() override { got.push_back("sounds off"); }
};

// The soundfont still loading when a tune begins: what the tune set on its channels meanwhile
// reaches the synthesizer when it comes, before the next note, and nothing of it is lost.
TEST(Audio, ALateSynthesizerGetsTheChannelsAsTheTuneSetThem) {
  using platform::MidiEvent;
  const auto ev = [](int status, int d1, int d2 = 0) {
    return MidiEvent{0, uint8_t(status), uint8_t(d1), uint8_t(d2)};
  };
  platform::sdl::LateSynth late;
  // Set while there is no synthesizer: renders silence, takes every event.
  for (const MidiEvent& e :
       {ev(0xB1, 0, 1), ev(0xC1, 48), ev(0xB1, 7, 90), ev(0xB1, 10, 20), ev(0xC1, 50),
        ev(0x91, 60, 100), ev(0xE1, 0, 80), ev(0xB1, 64, 127), ev(0xC9, 25), ev(0xD2, 40),
        ev(0xB2, 11, 70), ev(0xB2, 121, 0), ev(0xB2, 7, 30), ev(0xB2, 123, 0)})
    late.send(e);
  float out[4] = {1, 1, 1, 1};
  late.render(out, 2);
  EXPECT_EQ(std::vector<float>(out, out + 4), std::vector<float>(4, 0.0f));
  Recorder synth;
  for (const auto& p : {std::pair{1, 50}, {128, 25}, {0, 0}}) late.loaded(p);
  late.arrive(&synth);
  late.send(ev(0x91, 64, 100));
  // Channel by channel: bank, the last program, the controllers, pressure, pitch bend. The note
  // that went by is not struck late; a reset took back what came before it, not the volume.
  const std::vector<std::string> want = {
      "B1 0 1",  "C1 50 0", "B1 7 90", "B1 10 20", "B1 64 127", "E1 0 80",
      "B2 7 30", "C9 25 0", "91 64 100"};
  EXPECT_EQ(synth.got, want);
  // A program change to a preset still loading: the channel is silent until it is there, and
  // then set as the tune has set it.
  synth.got.clear();
  for (const MidiEvent& e : {ev(0xC1, 60), ev(0xB1, 7, 80), ev(0x91, 65, 100), ev(0x92, 70, 90)})
    late.send(e);
  EXPECT_EQ(synth.got, std::vector<std::string>{"92 70 90"});
  synth.got.clear();
  late.loaded({1, 60});
  late.send(ev(0x91, 66, 100));
  const std::vector<std::string> then = {"B1 0 1",   "C1 60 0", "B1 7 80", "B1 10 20",
                                         "B1 64 127", "E1 0 80", "91 66 100"};
  EXPECT_EQ(synth.got, then);
  late.render(out, 2);
  EXPECT_EQ(out[0], 0.25f);
}

// A tune started before the soundfont has loaded: what it set at its start (two channels turned
// down to nothing, one by its volume, one by its expression) holds for the notes heard once the
// synthesizer is there, while a third channel plays as loud as ever. The small soundfont takes
// longer to load than the tune takes to begin; the large ones, when installed, take longer still.
TEST(Audio, ATuneStartedBeforeTheSoundfontKeepsWhatItSet) {
  testkit::AppFolder folder;
  // Half-second steps for eight seconds: a note on channels 0 and 1 in each, on channel 2 in the
  // first twelve.
  std::string track = std::string("\x00\xB0\x07\x00\x00\xB1\x0B\x00", 8);
  for (int k = 0; k < 16; ++k) {
    track += std::string("\x81\x70\x90\x45\x70\x00\x91\x40\x70", 9);
    track += k < 12 ? std::string("\x00\x92\x48\x70", 4) : std::string("\x00\x92\x48\x00", 4);
    track += std::string("\x81\x70\x80\x45\x00\x00\x81\x40\x00\x00\x82\x48\x00", 13);
  }
  track += std::string("\x00\xFF\x2F\x00", 4);
  std::string head = std::string("MThd\0\0\0\6\0\0\0\1\x01\xE0MTrk\0\0", 20);
  head += char(track.size() >> 8);
  head += char(track.size() & 0xFF);
  folder.write("set.mid", head + track);
  std::vector<std::string> fonts = {"/usr/share/sounds/sf2/TimGM6mb.sf2"};
  for (const char* big :
       {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf3/MuseScore_General_Full.sf3"})
    if (std::filesystem::exists(big)) fonts.push_back(big);
  for (const auto& font : fonts) {
    SCOPED_TRACE(font);
    if (!std::filesystem::exists(font)) continue;
    DiskAudio a(font.c_str(), false);
    ASSERT_EQ(a.send("open \"" + folder.file("set.mid").string() + "\" alias Midi"), kOk);
    ASSERT_EQ(a.send("Play Midi"), kOk);
    std::this_thread::sleep_for(8000ms);
    ASSERT_EQ(a.send("Close Midi"), kOk);
    // Long after any of these soundfonts has loaded: channel 2 with the others, then the others
    // alone.
    const double three = a.rms(4 * 44100, 2 * 44100);
    const double two = a.rms(6 * 44100 + 35280, 44100);
    EXPECT_GT(three, 0.01) << "no music";
    EXPECT_LT(two, 0.01 * three) << "a volume or an expression set before the soundfont was lost";
  }
}

// What a song selects, to be loaded before it plays: program changes with their bank, the drum
// channel in bank 128, and program 0 for a channel that plays without one.
TEST(Audio, ASongsPresetsAreFoundBeforeItPlays) {
  platform::MidiSong song;
  const auto ev = [](int status, int d1, int d2 = 0) {
    return platform::MidiEvent{0, uint8_t(status), uint8_t(d1), uint8_t(d2)};
  };
  song.events = {ev(0xB0, 0, 8), ev(0xC0, 4),  ev(0x90, 60, 90), ev(0x93, 40, 90),
                 ev(0xC9, 16),   ev(0x99, 36, 90), ev(0xC0, 4),   ev(0x94, 50, 0)};
  const std::vector<std::pair<int, int>> want = {{8, 4}, {0, 0}, {128, 16}};
  EXPECT_EQ(platform::sdl::presetsOf(song), want);
}

// Below the ceiling the limiter leaves the sound as it is; above it, nothing comes out over the
// ceiling, and a tune loud all through keeps one gain instead of breathing with its beats.
TEST(Audio, TheLimiterLeavesQuietSoundAloneAndHoldsLoudSoundSteady) {
  constexpr int kR = 44100;
  struct Case {
    const char* name;
    float beat, between;  // the level of a beat (20 ms, twice a second) and of what is between
  };
  for (const Case c : {Case{"as loud as our tunes", 0.55f, 0.3f}, Case{"three times full scale", 3.0f, 1.0f},
                       Case{"loud beats over quiet", 2.5f, 0.1f}}) {
    SCOPED_TRACE(c.name);
    platform::sdl::Limiter limiter(kR);
    std::vector<float> in(2 * 8 * kR);
    for (size_t i = 0; i < in.size() / 2; ++i) {
      const bool beat = i % (kR / 2) < kR / 50;
      const float v = (beat ? c.beat : c.between) * std::sin(float(i) * 0.0627f);
      in[2 * i] = v;
      in[2 * i + 1] = -v;
    }
    std::vector<float> out = in;
    float lowest = 1, highest = 0;
    for (size_t at = 0; at < out.size() / 2; at += 441) {
      limiter.apply(out.data() + 2 * at, 441);
      if (at >= size_t{kR}) lowest = std::min(lowest, limiter.gain()), highest = std::max(highest, limiter.gain());
    }
    float top = 0;
    for (float v : out) top = std::max(top, std::fabs(v));
    EXPECT_LE(top, 0.9f);
    if (c.beat < 0.89f) {
      EXPECT_EQ(out, in) << "a sound under the ceiling was changed";
    } else {
      // After the first second, the gain moves by less than half a decibel.
      EXPECT_LT(20 * std::log10(highest / lowest), 0.5) << lowest << " to " << highest;
      EXPECT_GT(top, 0.8f) << "limited far more than needed";
    }
  }
}

// A loud General MIDI file in the place of a tune: a cluster of notes struck hard on many
// channels at full volume, made here, and a real one from Debian's openttd-openmsx when it is
// installed. Nothing reaches full scale, and it is still loud.
TEST(Audio, ALoudTuneIsKeptUnderFullScale) {
  testkit::AppFolder folder;
  std::string track;
  for (int ch = 0; ch < 6; ++ch) {
    track += std::string("\x00", 1) + char(0xB0 | ch) + "\x07\x7F";
    track += std::string("\x00", 1) + char(0xB0 | ch) + "\x0B\x7F";
    track += std::string("\x00", 1) + char(0xC0 | ch) + char(ch * 8);
    for (int k = 0; k < 6; ++k) track += std::string("\x00", 1) + char(0x90 | ch) + char(48 + 7 * k) + "\x7F";
  }
  track += std::string("\x87\x40\xFF\x2F\x00", 5);  // four seconds on
  std::string loud = std::string("MThd\0\0\0\6\0\0\0\1\x01\xE0MTrk\0\0", 20);
  loud += char(track.size() >> 8);
  loud += char(track.size() & 0xFF);
  folder.write("loud.mid", loud + track);
  std::vector<std::string> files = {folder.file("loud.mid").string()};
  const std::string real = "/usr/share/games/openttd/baseset/openmsx/flying_scotsman.mid";
  if (std::filesystem::exists(real)) files.push_back(real);
  for (const auto& path : files) {
    SCOPED_TRACE(path);
    DiskAudio a;
    ASSERT_EQ(a.send("open \"" + path + "\" alias Midi"), kOk);
    ASSERT_EQ(a.send("Play Midi"), kOk);
    std::this_thread::sleep_for(3000ms);
    ASSERT_EQ(a.send("Close Midi"), kOk);
    EXPECT_LT(a.peak(), 0.9f);
    EXPECT_GT(a.peak(), 0.5f) << "hardly loud";
  }
}


// Any package that provides Debian's default General MIDI soundfont will do, .sf3 ones included:
// the soundfont FluidSynth itself names is found, loads, and plays the music.
TEST(Audio, FluidSynthsDefaultSoundfontPlaysTheMusic) {
  const std::string soundfont = platform::sdl::fluidsynthDefaultSoundfont();
  ASSERT_FALSE(soundfont.empty()) << "FluidSynth names no soundfont that exists";
  testing::internal::CaptureStderr();
  DiskAudio a(soundfont.c_str());
  const std::string err = ours(testing::internal::GetCapturedStderr());
  EXPECT_EQ(err, "");
  ASSERT_EQ(a.send("open \"" + kSound + "bgm_e.mid\" alias Midi"), kOk);
  const int64_t start = a.now();
  ASSERT_EQ(a.send("Play Midi"), kOk);
  std::this_thread::sleep_for(600ms);
  EXPECT_GE(a.firstSound(start, static_cast<int64_t>(kRate / 2)), 0) << soundfont;
  ASSERT_EQ(a.send("Close Midi"), kOk);
}

TEST(Audio, MissingFilesAndSoundfontLeaveTheRestWorking) {
  testkit::AppFolder folder;
  folder.write("broken.mid", "MThd garbage");
  folder.write("broken.wav", "RIFF garbage");
  testing::internal::CaptureStderr();
  DiskAudio a("/nonexistent/soundfont.sf2");
  std::string err = ours(testing::internal::GetCapturedStderr());
  EXPECT_NE(err.find("soundfont"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(a.send("open \"" + folder.file("missing.mid").string() + "\" alias Midi"), kOk);
  EXPECT_NE(a.send("open \"" + folder.file("broken.mid").string() + "\" alias Midi"), kOk);
  EXPECT_FALSE(a.media->playSound(folder.file("broken.wav").c_str(), 1));
  EXPECT_FALSE(a.media->playSound(folder.file("none.wav").c_str(), 1));
  // The music opens and runs (silent without a soundfont); the effects still sound.
  ASSERT_EQ(a.send("open \"" + kSound + "bgm_e.mid\" alias Midi"), kOk);
  ASSERT_EQ(a.send("Play Midi"), kOk);
  EXPECT_EQ(a.mode(), "playing");
  const int64_t at = a.now();
  ASSERT_TRUE(a.media->playSound((kSound + "end.wav").c_str(), 1));
  std::this_thread::sleep_for(300ms);
  EXPECT_GE(a.firstSound(at, 4410), 0);
}

TEST(Audio, NoDeviceAtAllRunsAWholeGameSilently) {
  ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  testing::internal::CaptureStderr();
  auto backend = platform::sdl::openAudio();
  std::string err = ours(testing::internal::GetCapturedStderr());
  EXPECT_NE(err.find("silent"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  // The game on the headless clock, with this backend instead of the fakes.
  testkit::Game g;
  g.provider.useMediaBackend(backend.get());
  g.rt.reset();
  g.rt = std::make_unique<platform::Runtime>(g.provider, rules::morofinProject());
  g.rt->setAppPath(g.folder.path().string());
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(4));
  ASSERT_TRUE(g.ticks(1220));
  EXPECT_TRUE(g.over());
  SDL_Quit();
}

}  // namespace
