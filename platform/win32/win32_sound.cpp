#include "platform/win32/win32_sound.h"

// clang-format off
#include "platform/utf16_windows.h"
#include <mmsystem.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/midi.h"
#include "platform/say.h"
#include "platform/sequencer.h"

namespace platform::win32 {
namespace {

// The sequencer's clock counts milliseconds: an event reaches the synthesizer within one of its
// time in the file.
constexpr int kRate = 1000;

int64_t nowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The system's MIDI mapper.
class MidiMapper : public MidiSink {
 public:
  explicit MidiMapper(HMIDIOUT h) : h_(h) {}
  ~MidiMapper() override {
    midiOutReset(h_);
    midiOutClose(h_);
  }
  void shortMessage(uint32_t m) override { midiOutShortMsg(h_, m); }

 private:
  HMIDIOUT h_;
};

// The mapper, or nothing at all (said once) without a MIDI device.
std::unique_ptr<MidiSink> systemMidi() {
  HMIDIOUT h = nullptr;
  if (midiOutGetNumDevs() > 0 &&
      midiOutOpen(&h, MIDI_MAPPER, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR)
    return std::make_unique<MidiMapper>(h);
  platform::sayProblem("no MIDI synthesizer: the music is silent");
  return nullptr;
}

// The sequencer's events as channel messages.
class MidiOut : public SynthTarget {
 public:
  explicit MidiOut(std::unique_ptr<MidiSink> sink) : sink_(std::move(sink)) {}
  void send(const MidiEvent& e) override {
    const bool twoBytes = (e.status & 0xE0) == 0xC0;  // program change, channel pressure
    uint32_t msg = e.status | uint32_t{e.data1} << 8;
    if (!twoBytes) msg |= uint32_t{e.data2} << 16;
    if (sink_) sink_->shortMessage(msg);
  }
  void render(float* stereo, int frames) override {
    std::fill(stereo, stereo + 2 * frames, 0.0f);  // the synthesizer plays on its own
  }
  void allNotesOff() override { controlAll(123); }
  void allSoundsOff() override { controlAll(120); }

 private:
  void controlAll(uint8_t controller) {
    if (!sink_) return;
    for (uint32_t ch = 0; ch < 16; ++ch) sink_->shortMessage(0xB0 | ch | uint32_t{controller} << 8);
  }
  std::unique_ptr<MidiSink> sink_;
};

class Sound;

class Sequencer : public MidiDevice {
 public:
  Sequencer(Sound& s, std::shared_ptr<const MidiSong> song) : sound_(s), player_(song, kRate) {}
  ~Sequencer() override;
  void play() override;
  void pause() override;
  void stop() override;
  void seekToStart() override;
  std::string mode() override;
  // Brings the tune up to now; the microseconds until it next has something to send, or -1.
  int64_t advance(int64_t now, SynthTarget& out);

 private:
  Sound& sound_;
  MidiPlayer player_;
  int64_t clockUs_ = 0;  // where the player's position stands on the real clock
};

class Sound : public MediaBackend {
 public:
  // With no sink the system's synthesizer is opened when the first tune is.
  explicit Sound(std::unique_ptr<MidiSink> sink)
      : sink_(std::move(sink)), waves_(waveOutGetNumDevs() > 0), thread_([this] { run(); }) {
    if (!waves_) platform::sayProblem("no wave device: the effects are silent");
  }
  ~Sound() override {
    {
      std::lock_guard lk(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  std::unique_ptr<MidiDevice> openSequencer(const std::string& path, std::string& why) override {
    std::ifstream in(widen(path).c_str(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    auto song = std::make_shared<MidiSong>();
    if (!in && bytes.empty()) {
      why = "cannot read it";
      return nullptr;
    }
    if (!parseMidi(bytes.data(), bytes.size(), *song, why)) return nullptr;
    std::lock_guard lk(mutex_);
    if (!out_) out_ = std::make_unique<MidiOut>(sink_ ? std::move(sink_) : systemMidi());
    auto s = std::make_unique<Sequencer>(*this, std::move(song));
    sequencers_.insert(s.get());
    return s;
  }
  bool playWave(const std::string& path) override {
    if (!waves_) return true;  // said once: nothing to hear, and nothing wrong with the file
    return PlaySoundW(widen(path).c_str(), nullptr, SND_ASYNC | SND_FILENAME | SND_NODEFAULT);
  }

  std::mutex& mutex() { return mutex_; }
  SynthTarget& out() { return *out_; }
  void changed() { changed_.notify_all(); }
  void forget(Sequencer* s) {
    std::lock_guard lk(mutex_);
    sequencers_.erase(s);
  }

 private:
  // Sends every tune's due events on time, sleeping until the next one is due or a tune changes.
  void run() {
    std::unique_lock lk(mutex_);
    while (!quit_) {
      int64_t sleepUs = -1;
      const int64_t now = nowUs();
      for (Sequencer* s : sequencers_) {
        const int64_t next = s->advance(now, *out_);
        if (next >= 0 && (sleepUs < 0 || next < sleepUs)) sleepUs = next;
      }
      if (sleepUs < 0)
        changed_.wait(lk);
      else
        changed_.wait_for(lk, std::chrono::microseconds(std::max<int64_t>(sleepUs, 500)));
    }
  }
  std::unique_ptr<MidiSink> sink_;
  const bool waves_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::set<Sequencer*> sequencers_;
  std::unique_ptr<MidiOut> out_;
  bool quit_ = false;
  std::thread thread_;
};

Sequencer::~Sequencer() {
  stop();
  sound_.forget(this);
}

void Sequencer::play() {
  {
    std::lock_guard lk(sound_.mutex());
    player_.play();
    clockUs_ = nowUs();
  }
  sound_.changed();
}

void Sequencer::pause() {
  std::lock_guard lk(sound_.mutex());
  player_.pause(&sound_.out());
}

void Sequencer::stop() {
  std::lock_guard lk(sound_.mutex());
  player_.stop(&sound_.out());
}

void Sequencer::seekToStart() {
  std::lock_guard lk(sound_.mutex());
  player_.seekToStart(&sound_.out());
}

std::string Sequencer::mode() {
  std::lock_guard lk(sound_.mutex());
  return player_.modeText();
}

int64_t Sequencer::advance(int64_t now, SynthTarget& out) {
  if (player_.state() != MidiPlayer::State::kPlaying) return -1;
  const int64_t frames = (now - clockUs_) * kRate / 1000000;
  if (frames > 0) {
    std::vector<float> scratch(static_cast<size_t>(2 * frames));
    player_.render(scratch.data(), static_cast<int>(frames), &out);
    clockUs_ += frames * 1000000 / kRate;
  }
  if (player_.state() != MidiPlayer::State::kPlaying) return -1;
  const int64_t untilNext = (player_.nextFrame() - player_.position()) * 1000000 / kRate;
  return std::max<int64_t>(0, untilNext - (now - clockUs_));
}

}  // namespace

std::unique_ptr<MediaBackend> openSound() {
  return std::make_unique<Sound>(nullptr);
}

std::unique_ptr<MediaBackend> openSound(std::unique_ptr<MidiSink> sink) {
  return std::make_unique<Sound>(std::move(sink));
}

}  // namespace platform::win32
