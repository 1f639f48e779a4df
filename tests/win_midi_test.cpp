// The music on Windows, through a recording stand-in for the MIDI synthesizer: what reaches the
// device, in order, and what a pause and the tune's end do.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/win32_sound.h"

using namespace platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class Recording : public win32::MidiSink {
 public:
  void shortMessage(uint32_t m) override {
    std::lock_guard lk(mutex);
    got.push_back(m);
  }
  std::vector<uint32_t> seen() {
    std::lock_guard lk(mutex);
    return got;
  }
  std::mutex mutex;
  std::vector<uint32_t> got;
};

// A tune of half a second at the default tempo (96 ticks a quarter): a program change and a
// note at once, the note let go at the end.
const unsigned char kTune[] = {
    'M',  'T',  'h',  'd',  0,   0, 0, 6, 0,  0,    0,    1,    0,
    96,   'M',  'T',  'r',  'k', 0, 0, 0, 16, 0x00, 0xC0, 0x05,  // program 5 on channel 1
    0x00, 0x90, 60,   100,                                       // middle C
    0x60, 0x80, 60,   0,                                         // let go 96 ticks (500 ms) later
    0x00, 0xFF, 0x2F, 0x00,                                      // end of track
    0x00, 0x00, 0x00, 0x00};

bool until(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

TEST(WindowsMusic, TheSequencerDrivesTheSynthesizerInOrder) {
  const fs::path file = fs::temp_directory_path() / "morofin-win-midi-test.mid";
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(kTune), sizeof kTune);
  auto* rec = new Recording;
  auto sound = win32::openSound(std::unique_ptr<win32::MidiSink>(rec));
  std::string why;
  auto tune = sound->openSequencer(file.string(), why);
  ASSERT_TRUE(tune) << why;
  EXPECT_EQ(tune->mode(), "stopped");
  tune->play();
  EXPECT_EQ(tune->mode(), "playing");
  ASSERT_TRUE(until([&] { return rec->seen().size() >= 2; }, 2s));
  EXPECT_EQ(rec->seen()[0], 0x05C0u) << "the program change, two bytes";
  EXPECT_EQ(rec->seen()[1], 0x643C90u) << "the note";
  // A pause silences every channel at once and keeps the place.
  tune->pause();
  EXPECT_EQ(tune->mode(), "paused");
  const auto paused = rec->seen();
  ASSERT_EQ(paused.size(), 2u + 16u) << "the note was let go before the pause";
  for (uint32_t ch = 0; ch < 16; ++ch) EXPECT_EQ(paused[2 + ch], 0xB0u | ch | 120u << 8);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(rec->seen().size(), paused.size()) << "a paused tune sent something";
  // Resumed, it plays to its end: the note let go, then every note off, and it stands stopped
  // for the loop check to start it again.
  tune->play();
  ASSERT_TRUE(until([&] { return tune->mode() == "stopped"; }, 3s));
  const auto done = rec->seen();
  ASSERT_EQ(done.size(), paused.size() + 1 + 16);
  EXPECT_EQ(done[paused.size()], 0x003C80u);
  EXPECT_EQ(done.back(), 0xB0u | 15u | 123u << 8);
  tune->seekToStart();  // lets go of every note once more
  tune->play();
  ASSERT_TRUE(until([&] { return rec->seen().size() > done.size() + 16 + 1; }, 2s));
  EXPECT_EQ(rec->seen()[done.size() + 16], 0x05C0u)
      << "the loop starts the tune from its beginning";
  tune.reset();
  sound.reset();
  fs::remove(file);
}

}  // namespace
