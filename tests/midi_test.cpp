#include "platform/midi.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/sequencer.h"

using namespace platform;

namespace {

std::string be(uint32_t v, int n) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string file(int format, int division, const std::vector<std::string>& tracks) {
  std::string f = "MThd" + be(6, 4) + be(format, 2) + be(static_cast<uint32_t>(tracks.size()), 2) +
                  be(division, 2);
  for (const auto& t : tracks) f += "MTrk" + be(static_cast<uint32_t>(t.size()), 4) + t;
  return f;
}

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s += static_cast<char>(v);
  return s;
}

const std::string kEnd = bytes({0x00, 0xFF, 0x2F, 0x00});

bool parse(const std::string& f, MidiSong& song, std::string* why = nullptr) {
  std::string e;
  bool ok = parseMidi(reinterpret_cast<const uint8_t*>(f.data()), f.size(), song, e);
  if (why) *why = e;
  return ok;
}

TEST(Midi, FormatZeroWithRunningStatusAndATempoChange) {
  // 480 ticks a quarter; 120 bpm, then 60 bpm from tick 480.
  std::string t =
      bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 500000 us
             0x00, 0x90, 60,   100,                     // note on
             0x83, 0x60, 60,   0,                       // 480 ticks later, running status
             0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,  // 1000000 us
             0x00, 0x62, 100,                           // running status survives? no: meta cancels
             0x83, 0x60, 0xF0, 0x02, 0x11, 0xF7,        // sysex skipped, 480 ticks later
             0x00, 0x80, 0x62, 0x00, 0x81, 0x70, 0xFF, 0x2F, 0x00});  // end after 240 ticks
  MidiSong song;
  std::string why;
  // A data byte right after a meta event has no status to run on.
  EXPECT_FALSE(parse(file(0, 480, {t}), song, &why));
  EXPECT_NE(why.find("running status"), std::string::npos);
  t.replace(t.find(bytes({0x00, 0x62, 100})), 3, bytes({0x00, 0x90, 0x62, 100}));
  ASSERT_TRUE(parse(file(0, 480, {t}), song, &why)) << why;
  ASSERT_EQ(song.events.size(), 4u);
  EXPECT_EQ(song.events[0].timeUs, 0);
  EXPECT_EQ(song.events[1].timeUs, 500000);  // running status note-off at one quarter
  EXPECT_EQ(song.events[1].status, 0x90);
  EXPECT_EQ(song.events[1].data2, 0);
  EXPECT_EQ(song.events[2].timeUs, 500000);
  EXPECT_EQ(song.events[3].timeUs, 1500000);  // a quarter at the new tempo
  EXPECT_EQ(song.endUs, 2000000);             // half a quarter more
}

TEST(Midi, FormatOneMergesTracksOnOneTempoMap) {
  std::string tempo =
      bytes({0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0,        // 600000 us
             0x87, 0x40, 0xFF, 0x51, 0x03, 0x03, 0x0D, 0x40,  // 960 ticks: 200000 us
             0x00, 0xFF, 0x2F, 0x00});
  std::string notes = bytes({0x00, 0xC0, 5,             // program change: one data byte
                             0x8F, 0x00, 0x91, 64, 90,  // tick 1920
                             0x60, 0xE1, 0x00, 0x40,    // tick 2016: pitch bend
                             0x00, 0xFF, 0x2F, 0x00});
  MidiSong song;
  std::string why;
  ASSERT_TRUE(parse(file(1, 480, {tempo, notes}), song, &why)) << why;
  ASSERT_EQ(song.events.size(), 3u);
  EXPECT_EQ(song.events[0].status, 0xC0);
  // 960 ticks at 0.6 s a quarter = 1.2 s, then 960 at 0.2 s = 0.4 s.
  EXPECT_EQ(song.events[1].timeUs, 1600000);
  EXPECT_EQ(song.events[2].timeUs, 1600000 + 96 * 200000 / 480);
  EXPECT_EQ(song.endUs, song.events[2].timeUs);
  // Exact arithmetic: 1 tick of 500000 us at 96 ticks a quarter.
  EXPECT_EQ(midiTicksToUs(1, 500000, 96), 5208);
  EXPECT_EQ(midiTicksToUs(96000, 500000, 96), 500000000);
}

TEST(Midi, MalformedFilesAreRefused) {
  const std::string good = file(0, 96, {bytes({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0}) + kEnd});
  MidiSong song;
  ASSERT_TRUE(parse(good, song));
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"not midi", "RIFF0000WAVEfmt "},
      {"truncated header", good.substr(0, 12)},
      {"truncated track", good.substr(0, good.size() - 3)},
      {"track longer than file", file(0, 96, {"x"}).substr(0, 22) + be(1000, 4)},
      {"zero division", file(0, 0, {kEnd})},
      {"no tracks", file(0, 96, {})},
      {"format 3", file(3, 96, {kEnd})},
      {"vlq too long", file(0, 96, {bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1}) + kEnd})},
      {"data byte with high bit", file(0, 96, {bytes({0x00, 0x90, 0x80, 1}) + kEnd})},
      {"zero tempo", file(0, 96, {bytes({0x00, 0xFF, 0x51, 0x03, 0, 0, 0}) + kEnd})},
      {"system message", file(0, 96, {bytes({0x00, 0xF2, 1, 1}) + kEnd})},
      {"meta longer than track", file(0, 96, {bytes({0x00, 0xFF, 0x01, 0x40, 'a'})})},
  };
  for (const Case& c : cases) EXPECT_FALSE(parse(c.bytes, song)) << c.name;
}

// Records what the sequencer sends, and when.
struct Recorder : SynthTarget {
  int64_t frame = 0;
  std::vector<std::pair<int64_t, int>> sent;  // frame, key
  int notesOff = 0, soundsOff = 0;
  void send(const MidiEvent& e) override { sent.push_back({frame, e.data1}); }
  void render(float* out, int frames) override {
    for (int i = 0; i < 2 * frames; ++i) out[i] = 0.25f;
    frame += frames;
  }
  void allNotesOff() override { ++notesOff; }
  void allSoundsOff() override { ++soundsOff; }
};

std::shared_ptr<MidiSong> songOf(std::vector<MidiEvent> events, int64_t endUs) {
  auto song = std::make_shared<MidiSong>();
  song->events = std::move(events);
  song->endUs = endUs;
  return song;
}

TEST(Sequencer, EventsLandOnTheirFramesAndTheEndIsExact) {
  auto song = songOf(
      {{0, 0x90, 60, 90}, {10000, 0x90, 62, 90}, {10000, 0x90, 64, 90}, {250000, 0x80, 60, 0}},
      300000);
  MidiPlayer p(song, 1000);  // 1 frame per millisecond
  Recorder r;
  std::vector<float> buf(2 * 64);
  p.play();
  while (p.state() == MidiPlayer::State::kPlaying) p.render(buf.data(), 64, &r);
  EXPECT_EQ(r.sent, (std::vector<std::pair<int64_t, int>>{{0, 60}, {10, 62}, {10, 64}, {250, 60}}));
  EXPECT_EQ(p.position(), 300);  // stopped exactly at the last event's frame
  EXPECT_EQ(p.endFrame(), 300);
  EXPECT_EQ(r.notesOff, 1);
  // Play at the end does nothing until rewound.
  p.play();
  EXPECT_EQ(p.state(), MidiPlayer::State::kStopped);
  p.seekToStart(&r);
  p.play();
  EXPECT_EQ(p.state(), MidiPlayer::State::kPlaying);
}

TEST(Sequencer, PauseKeepsThePositionAndSilences) {
  auto song = songOf({{0, 0x90, 60, 90}, {100000, 0x90, 62, 90}}, 200000);
  MidiPlayer p(song, 1000);
  Recorder r;
  std::vector<float> buf(2 * 50);
  p.play();
  p.render(buf.data(), 50, &r);
  p.pause(&r);
  EXPECT_EQ(r.soundsOff, 1);
  p.render(buf.data(), 50, &r);  // paused: the clock stands
  EXPECT_EQ(p.position(), 50);
  p.play();
  p.render(buf.data(), 50, &r);
  p.render(buf.data(), 50, &r);
  ASSERT_EQ(r.sent.size(), 2u);
  EXPECT_EQ(p.position(), 150);
  // Without a synthesizer the clock still runs, in silence.
  p.render(buf.data(), 50, nullptr);
  EXPECT_EQ(buf[0], 0.0f);
  EXPECT_EQ(p.position(), 200);
}

// Frames rendered ahead but never heard (a pause cut them from the sound queue) play again on
// resuming, with every event at or after the place gone back to, and none before it.
TEST(Sequencer, SteppingBackPlaysTheUnheardFramesAndTheirEventsAgain) {
  auto song = songOf({{0, 0x90, 60, 90}, {100000, 0x90, 62, 90}, {120000, 0x90, 64, 90}}, 300000);
  MidiPlayer p(song, 1000);
  Recorder r;
  std::vector<float> buf(2 * 130);
  p.play();
  p.render(buf.data(), 130, &r);
  p.pause(&r);
  p.stepBack(30);  // frames 100 to 129 were not heard
  EXPECT_EQ(p.position(), 100);
  r.sent.clear();
  r.frame = 100;
  p.play();
  p.render(buf.data(), 40, &r);
  EXPECT_EQ(r.sent, (std::vector<std::pair<int64_t, int>>{{100, 62}, {120, 64}}));
  p.stepBack(1000);  // never before the start
  EXPECT_EQ(p.position(), 0);
}

// A tune that has just run out takes a pause like a playing one and stays silent; the play that
// resumes it lets it run out at once.
TEST(Sequencer, PausedAtItsEndStaysSilentAndRunsOutOnPlay) {
  auto song = songOf({{0, 0x90, 60, 90}}, 50000);
  MidiPlayer p(song, 1000);
  Recorder r;
  std::vector<float> buf(2 * 100);
  p.play();
  p.render(buf.data(), 100, &r);
  ASSERT_EQ(p.state(), MidiPlayer::State::kStopped);
  p.pause(&r);
  EXPECT_EQ(p.state(), MidiPlayer::State::kPaused);
  EXPECT_EQ(r.soundsOff, 1);  // the last notes' tails cut off
  p.play();
  EXPECT_EQ(p.state(), MidiPlayer::State::kStopped);
  // Stopped by a stop in the middle of the tune, a pause still does nothing.
  p.seekToStart(&r);
  p.play();
  p.render(buf.data(), 10, &r);
  p.stop(&r);
  p.pause(&r);
  EXPECT_EQ(p.state(), MidiPlayer::State::kStopped);
}

TEST(Music, TheGamesTunesAreShorterThanTheirGamesAndFasterByMode) {
  struct Tune {
    const char* file;
    double gameSeconds;
  } tunes[] = {{"bgm_e.mid", 18.2}, {"bgm_n.mid", 16.2}, {"bgm_h.mid", 14.2}, {"bgm_d.mid", 12.2}};
  double lastNotesPerSecond = 0;
  for (const Tune& t : tunes) {
    std::ifstream f(std::string(MOROFIN_BINARY_DIR) + "/sound/" + t.file, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    MidiSong song;
    std::string why;
    ASSERT_TRUE(parse(b, song, &why)) << t.file << ": " << why;
    EXPECT_GT(song.endUs, 8000000) << t.file;
    EXPECT_LT(song.endUs, t.gameSeconds * 1e6) << t.file;
    int notes = 0;
    for (const auto& e : song.events) notes += (e.status & 0xF0) == 0x90 && e.data2 > 0;
    const double rate = notes / (song.endUs / 1e6);
    EXPECT_GT(rate, lastNotesPerSecond) << t.file;
    lastNotesPerSecond = rate;
  }
}

}  // namespace
