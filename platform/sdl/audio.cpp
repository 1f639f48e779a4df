#include "platform/sdl/audio.h"

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <fluidsynth.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/midi.h"
#include "platform/say.h"
#include "platform/sdl/pulse_output.h"
#include "platform/sequencer.h"

namespace platform::sdl {
namespace {

constexpr int kRate = 44100;
// About 23 ms a buffer through SDL: a driver or sound server wakes up for every buffer, and longer
// ones make the effects late.
constexpr int kFrames = 1024;
// Our own stream on a PulseAudio server: what it keeps queued, and how much it asks for at once.
// The server splits the queue between the stream and its sink, so an effect is heard about 25 ms
// after it is asked for, and the server wakes about every 5 ms while the stream runs.
constexpr int kPulseBufferMs = 30;
constexpr int kPulseRequestMs = 5;
// A tune reports its end this many frames before its last frame is mixed: the game's next tick
// asks for the restart before then, and the restart follows the last frame directly.
constexpr int64_t kEndLead = 2 * kFrames;
// After this long with nothing to play the output stops, so a sound server can idle: long enough
// for the last sound to have left the queues, and for a quick run of effects to share one stream.
constexpr int kIdleFrames = kRate / 4;

class FluidTarget : public SynthTarget {
 public:
  explicit FluidTarget(fluid_synth_t* s) : s_(s) {}
  void send(const MidiEvent& e) override {
    const int ch = e.status & 0x0F;
    switch (e.status & 0xF0) {
      case 0x80:
        fluid_synth_noteoff(s_, ch, e.data1);
        break;
      case 0x90:
        if (e.data2) {
          fluid_synth_noteon(s_, ch, e.data1, e.data2);
        } else {
          fluid_synth_noteoff(s_, ch, e.data1);
        }
        break;
      case 0xA0:
        fluid_synth_key_pressure(s_, ch, e.data1, e.data2);
        break;
      case 0xB0:
        fluid_synth_cc(s_, ch, e.data1, e.data2);
        break;
      case 0xC0:
        fluid_synth_program_change(s_, ch, e.data1);
        break;
      case 0xD0:
        fluid_synth_channel_pressure(s_, ch, e.data1);
        break;
      case 0xE0:
        fluid_synth_pitch_bend(s_, ch, e.data1 | (e.data2 << 7));
        break;
      default:
        break;
    }
  }
  void render(float* stereo, int frames) override {
    fluid_synth_write_float(s_, frames, stereo, 0, 2, stereo, 1, 2);
  }
  bool sounding() const { return fluid_synth_get_active_voice_count(s_) > 0; }
  void allNotesOff() override { fluid_synth_all_notes_off(s_, -1); }
  void allSoundsOff() override { fluid_synth_all_sounds_off(s_, -1); }

 private:
  fluid_synth_t* s_;
};

void quietFluid(int level, const char* message, void*) {
  if (level <= FLUID_ERR) platform::sayProblem("synthesizer: %s", message);
}

class Audio;

class Sequencer : public MidiDevice {
 public:
  Sequencer(Audio& a, std::shared_ptr<const MidiSong> song);
  ~Sequencer() override;
  void play() override;
  void pause() override;
  void stop() override;
  void seekToStart() override;
  std::string mode() override;
  // Renders the next frames; a restart asked for near the end starts right at the end.
  void render(float* out, int frames, SynthTarget* synth);
  bool playing() const { return player.state() == MidiPlayer::State::kPlaying; }

 private:
  // Its end is closer than the lead: answered as stopped, though its last frames are still to come.
  bool ending() const { return playing() && player.endFrame() - player.position() <= kEndLead; }
  MidiPlayer player;
  Audio& audio_;
  bool rewound_ = false;  // "Seek" while ending: the rewind waits for the end
  bool restart_ = false;  // and "Play" after it: the tune starts again at its end
};

// Where the mixed sound goes. It runs only while something sounds.
class Output {
 public:
  virtual ~Output() = default;
  // Starts pulling frames; false (with why) when it cannot.
  virtual bool start(std::string& why) = 0;
  // Stops; called once what it still holds is silence.
  virtual void stop() = 0;
};

// An SDL audio device, opened for each run and closed after it: a device left open keeps its
// driver and any sound server busy although it plays only silence.
class SdlOutput : public Output {
 public:
  explicit SdlOutput(void* mixer) : mixer_(mixer) {}
  ~SdlOutput() override { stop(); }
  bool start(std::string& why) override {
    SDL_AudioSpec want{}, have{};
    want.freq = kRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = kFrames;
    want.callback = callback;
    want.userdata = mixer_;
    dev_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!dev_) return why = SDL_GetError(), false;
    SDL_PauseAudioDevice(dev_, 0);
    return true;
  }
  void stop() override {
    if (dev_) SDL_CloseAudioDevice(dev_);  // waits for the callback to return
    dev_ = 0;
  }
  static void callback(void* mixer, Uint8* stream, int len);

 private:
  void* mixer_;
  SDL_AudioDeviceID dev_ = 0;
};

class PulseStream : public Output {
 public:
  explicit PulseStream(std::unique_ptr<PulseOutput> out) : out_(std::move(out)) {}
  bool start(std::string& why) override { return out_->start(why); }
  void stop() override { out_->stop(); }

 private:
  std::unique_ptr<PulseOutput> out_;
};

class Audio : public MediaBackend {
 public:
  Audio() = default;
  // Finds where the sound goes and starts loading the soundfont; false (with why) when there is
  // no device. The output runs only while something sounds: on a PulseAudio server (and
  // PipeWire's) a stream of our own, elsewhere an SDL audio device.
  bool open(std::string& why) {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    if (!driver || std::strcmp(driver, "pulseaudio") == 0 || std::strcmp(driver, "pipewire") == 0) {
      std::string pulseWhy;
      if (auto pulse = PulseOutput::connect(
              kRate, kPulseBufferMs, kPulseRequestMs,
              [this](float* out, int frames) { mix(out, frames); }, pulseWhy))
        output_ = std::make_unique<PulseStream>(std::move(pulse));
    }
    if (!output_) {
      if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return why = SDL_GetError(), false;
      sdlAudio_ = true;
      output_ = std::make_unique<SdlOutput>(this);
      // A first opening tells whether there is a device at all; the idle time closes it again.
      if (!wake(why)) return false;
    }
    const std::string soundfont = findSoundfont();
    if (soundfont.empty()) {
      platform::sayProblem(
          "no General MIDI soundfont found (install timgm6mb-soundfont); the "
          "music is silent");
    } else {
      // Loading takes a while: do it beside the game, which can start meanwhile.
      loader_ = std::thread([this, soundfont] { load(soundfont); });
    }
    keeper_ = std::thread([this] { keep(); });
    return true;
  }
  ~Audio() override {
    if (loader_.joinable()) loader_.join();
    {
      std::lock_guard lk(m_);
      quit_ = true;
    }
    idle_.notify_one();
    if (keeper_.joinable()) keeper_.join();
    output_.reset();  // stops the callbacks first
    if (sdlAudio_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    target_.reset();
    if (synth_) delete_fluid_synth(synth_);
    if (settings_) delete_fluid_settings(settings_);
  }

  std::unique_ptr<MidiDevice> openSequencer(const std::string& path, std::string& why) override {
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)),
                               std::istreambuf_iterator<char>());
    auto song = std::make_shared<MidiSong>();
    if (!f.good() && !f.eof()) return why = "unreadable", nullptr;
    if (!parseMidi(bytes.data(), bytes.size(), *song, why)) return nullptr;
    return std::make_unique<Sequencer>(*this, std::move(song));
  }

  bool playWave(const std::string& path) override {
    SDL_AudioSpec format;
    Uint8* buf = nullptr;
    Uint32 len = 0;
    if (!SDL_LoadWAV(path.c_str(), &format, &buf, &len)) return false;
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, format.format, format.channels, format.freq, AUDIO_F32SYS, 2,
                          kRate) < 0) {
      SDL_FreeWAV(buf);
      return false;
    }
    std::vector<uint8_t> work(static_cast<size_t>(len) * cvt.len_mult);
    std::memcpy(work.data(), buf, len);
    SDL_FreeWAV(buf);
    cvt.buf = work.data();
    cvt.len = static_cast<int>(len);
    if (cvt.needed && SDL_ConvertAudio(&cvt) < 0) return false;
    const size_t bytes = cvt.needed ? static_cast<size_t>(cvt.len_cvt) : len;
    std::vector<float> samples(bytes / sizeof(float));
    std::memcpy(samples.data(), work.data(), samples.size() * sizeof(float));
    std::string why;
    return wake(why, [&] {
      wave_ = std::move(samples);  // cuts off a wave still playing
      wavePos_ = 0;
    });
  }

  // Starts the output if the idle time stopped it, after making the change that is to sound, so
  // that its first frames already carry it.
  bool wake(
      std::string& why, const std::function<void()>& change = [] {}) {
    std::lock_guard device(deviceMutex_);
    {
      std::lock_guard lk(m_);
      quietFrames_ = 0;
      change();
      if (running_ || lost_) return true;
      running_ = true;
    }
    if (!output_->start(why)) {
      std::lock_guard lk(m_);
      running_ = false;
      if (!keeper_.joinable()) return false;  // the first look finds no device
      // The device went away while the game ran: it goes on silently rather than try again on
      // every request.
      platform::sayProblem("the audio device cannot be opened again (%s); the game runs silent",
                           why.c_str());
      lost_ = true;
    }
    return true;
  }

  std::mutex& mutex() { return m_; }
  SynthTarget* synth() { return ready_.load() ? target_.get() : nullptr; }
  void attach(Sequencer* s) { players_.push_back(s); }
  void detach(Sequencer* s) { std::erase(players_, s); }

 private:
  friend class SdlOutput;
  void load(const std::string& path) {
    fluid_set_log_function(FLUID_PANIC, quietFluid, nullptr);
    fluid_set_log_function(FLUID_ERR, quietFluid, nullptr);
    fluid_set_log_function(FLUID_WARN, quietFluid, nullptr);
    fluid_set_log_function(FLUID_INFO, quietFluid, nullptr);
    fluid_set_log_function(FLUID_DBG, quietFluid, nullptr);
    settings_ = new_fluid_settings();
    if (settings_) {
      fluid_settings_setnum(settings_, "synth.sample-rate", kRate);
      fluid_settings_setnum(settings_, "synth.gain", 1.0);
      fluid_settings_setint(settings_, "synth.chorus.active", 0);
      // Dry: a pause must fall silent at once, with no reverberation left ringing.
      fluid_settings_setint(settings_, "synth.reverb.active", 0);
      fluid_settings_setint(settings_, "synth.cpu-cores", 1);
      synth_ = new_fluid_synth(settings_);
    }
    if (!synth_ || fluid_synth_sfload(synth_, path.c_str(), 1) == FLUID_FAILED) {
      platform::sayProblem("the synthesizer cannot use the soundfont %s; the music is silent",
                           path.c_str());
      return;
    }
    target_ = std::make_unique<FluidTarget>(synth_);
    ready_.store(true);
  }

  void mix(float* out, int frames) {
    std::lock_guard lk(m_);
    std::memset(out, 0, sizeof(float) * 2 * frames);
    SynthTarget* s = synth();
    bool rendered = false;
    for (Sequencer* p : players_) {
      if (p->playing()) {
        p->render(out, frames, rendered ? nullptr : s);
        rendered = true;
      }
    }
    // Let released notes fade out; a synthesizer with nothing sounding needs no work.
    const bool fading = !rendered && s && target_->sounding();
    if (fading) s->render(out, frames);
    const bool wave = wavePos_ < wave_.size();
    const size_t n = static_cast<size_t>(frames) * 2;
    for (size_t i = 0; i < n && wavePos_ < wave_.size(); ++i) out[i] += wave_[wavePos_++];
    for (size_t i = 0; i < n; ++i) out[i] = std::max(-1.0f, std::min(1.0f, out[i]));
    if (rendered || fading || wave) {
      quietFrames_ = 0;
    } else if ((quietFrames_ += frames) >= kIdleFrames) {
      idle_.notify_one();
    }
  }

  // Stops the output once it has had nothing to play for a while. Stopping may wait for the
  // output's thread, so it happens here rather than in the callback or on the game's thread.
  void keep() {
    std::unique_lock lk(m_);
    for (;;) {
      idle_.wait(lk, [this] { return quit_ || (running_ && quietFrames_ >= kIdleFrames); });
      if (quit_) return;
      lk.unlock();
      {
        std::lock_guard device(deviceMutex_);
        bool stop = false;
        {
          std::lock_guard again(m_);
          stop = running_ && quietFrames_ >= kIdleFrames;
          if (stop) running_ = false;
        }
        if (stop) output_->stop();
      }
      lk.lock();
    }
  }

  // Lock order: deviceMutex_ (starting and stopping the output), then m_ (what the callback plays).
  std::mutex deviceMutex_;
  std::mutex m_;
  std::condition_variable idle_;
  std::unique_ptr<Output> output_;
  bool sdlAudio_ = false;
  bool running_ = false;
  int quietFrames_ = 0;
  bool quit_ = false;
  bool lost_ = false;
  std::thread keeper_;
  std::thread loader_;
  std::atomic<bool> ready_{false};
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  std::unique_ptr<FluidTarget> target_;
  std::vector<Sequencer*> players_;
  std::vector<float> wave_;
  size_t wavePos_ = 0;
};

void SdlOutput::callback(void* mixer, Uint8* stream, int len) {
  static_cast<Audio*>(mixer)->mix(reinterpret_cast<float*>(stream),
                                  len / static_cast<int>(2 * sizeof(float)));
}

Sequencer::Sequencer(Audio& a, std::shared_ptr<const MidiSong> song)
    : player(std::move(song), kRate), audio_(a) {
  std::lock_guard lk(audio_.mutex());
  audio_.attach(this);
}

Sequencer::~Sequencer() {
  std::lock_guard lk(audio_.mutex());
  player.stop(audio_.synth());
  audio_.detach(this);
}

void Sequencer::play() {
  std::string why;
  audio_.wake(why, [this] {
    if (rewound_) {
      restart_ = true;
    } else {
      player.play();
    }
  });
}

void Sequencer::pause() {
  std::lock_guard lk(audio_.mutex());
  rewound_ = restart_ = false;
  player.pause(audio_.synth());
}

void Sequencer::stop() {
  std::lock_guard lk(audio_.mutex());
  rewound_ = restart_ = false;
  player.stop(audio_.synth());
}

void Sequencer::seekToStart() {
  std::lock_guard lk(audio_.mutex());
  if (ending()) {
    rewound_ = true;
    restart_ = false;
  } else {
    player.seekToStart(audio_.synth());
  }
}

void Sequencer::render(float* out, int frames, SynthTarget* synth) {
  const int64_t left = player.endFrame() - player.position();
  if (!rewound_ || left > frames) {
    player.render(out, frames, synth);
    return;
  }
  const int head = static_cast<int>(left);
  player.render(out, head, synth);
  player.seekToStart(synth);
  rewound_ = false;
  if (restart_) player.play();
  restart_ = false;
  if (playing()) {
    player.render(out + 2 * head, frames - head, synth);
  } else if (synth) {
    synth->render(out + 2 * head, frames - head);  // the notes just released fade out
  }
}

std::string Sequencer::mode() {
  std::lock_guard lk(audio_.mutex());
  if (restart_) return "playing";
  if (rewound_ || ending()) return "stopped";
  switch (player.state()) {
    case MidiPlayer::State::kPlaying:
      return "playing";
    case MidiPlayer::State::kPaused:
      return "paused";
    case MidiPlayer::State::kStopped:
      return "stopped";
  }
  return "not ready";
}

// Nothing to hear, but every request answers as the game expects.
class Silence : public MediaBackend {
 public:
  std::unique_ptr<MidiDevice> openSequencer(const std::string&, std::string& why) override {
    why = "no audio device";
    return nullptr;
  }
  bool playWave(const std::string&) override { return false; }
  bool silent() const override { return true; }
};

}  // namespace

std::unique_ptr<MediaBackend> silentAudio() {
  return std::make_unique<Silence>();
}

std::string findSoundfont() {
  namespace fs = std::filesystem;
  if (const char* env = std::getenv("MOROFIN_SOUNDFONT"))
    return fs::is_regular_file(env) ? env : "";
  for (const char* p :
       {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/soundfonts/default.sf2"}) {
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) return p;
  }
  return fluidsynthDefaultSoundfont();
}

std::string fluidsynthDefaultSoundfont() {
  fluid_settings_t* settings = new_fluid_settings();
  if (!settings) return {};
  std::string found;
  char* path = nullptr;
  if (fluid_settings_getstr_default(settings, "synth.default-soundfont", &path) == FLUID_OK &&
      path) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) found = path;
  }
  delete_fluid_settings(settings);
  return found;
}

namespace {
// ALSA's library talks on standard error when there is no sound card; the game says it once itself.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

std::unique_ptr<MediaBackend> openAudio() {
  snd_lib_error_set_handler(quietAlsa);
  auto audio = std::make_unique<Audio>();
  std::string why;
  if (!audio->open(why)) {
    platform::sayProblem("no audio device (%s); the game runs silent", why.c_str());
    return std::make_unique<Silence>();
  }
  return audio;
}

}  // namespace platform::sdl
