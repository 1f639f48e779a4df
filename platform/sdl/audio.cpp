#include "platform/sdl/audio.h"

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
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
// The server splits the queue between the stream and its sink and wakes about every 50 ms while
// the stream runs. A change that must be heard at once (an effect, the music pausing, stopping or
// starting) is written over the queue from this long after what is being heard.
constexpr int kPulseBufferMs = 200;
constexpr int kPulseRequestMs = 50;
constexpr int kReplaceLeadFrames = kRate * 5 / 1000;
// The music last mixed, kept to be mixed again with a new effect over the queue.
constexpr int64_t kHistoryFrames = int64_t{kRate} * kPulseBufferMs * 2 / 1000;
// A tune reports its end this many frames before its last frame is mixed: the game's next tick
// asks for the restart before then, and the restart follows the last frame directly.
// Longer than what a sound server asks for at once, so the game sees the end coming in time.
constexpr int64_t kEndLead = std::max<int64_t>(2 * kFrames, kRate * (kPulseRequestMs + 30) / 1000);
// After this long with nothing to play the output stops, so a sound server can idle: long enough
// for the last sound to have left the queues, and for a quick run of effects to share one stream.
constexpr int kIdleFrames = kRate * (kPulseBufferMs + 300) / 1000;

void clipToFullScale(float* samples, size_t n) {
  for (size_t i = 0; i < n; ++i) samples[i] = std::max(-1.0f, std::min(1.0f, samples[i]));
}

// What a change did to the music: its frames already queued are then cut, or followed at once by
// the tune that now plays.
enum class MusicChange { kNone, kCut, kStart };

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
  // Paused, these last frames of its were mixed but are not to be heard: they play on resuming.
  void unheard(int64_t frames) {
    if (player.state() == MidiPlayer::State::kPaused && player.position() < player.endFrame())
      player.stepBack(frames);
  }

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
              [this](float* out, int frames) { mix(out, frames); }, pulseWhy)) {
        pulse_ = pulse.get();
        output_ = std::make_unique<PulseStream>(std::move(pulse));
      }
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
    return change(why, true, [&] {
      wave_ = std::move(samples);  // cuts off a wave still playing
      wavePos_ = 0;
      waveStart_ = mixed_;
      newWave_ = true;
      return MusicChange::kNone;
    });
  }

  // Makes a change to what sounds: `change` runs with the mixing held still and says what it did
  // to the music. On a running PulseAudio stream the change is written over the queued sound from
  // just after what is being heard, so the long queue does not delay it; otherwise it is mixed
  // next. A change that sounds starts the output if it is stopped.
  bool change(std::string& why, bool sounds, const std::function<MusicChange()>& change) {
    if (pulse_) {
      std::lock_guard device(deviceMutex_);
      const bool replaced = pulse_->replaceQueued(kReplaceLeadFrames, [&](float* out, int frames) {
        std::lock_guard lk(m_);
        newWave_ = false;
        const MusicChange music = change();
        if (sounds) quietFrames_ = 0;
        remix(out, frames, music, newWave_);
      });
      if (replaced) return true;
    }
    if (sounds) return wake(why, [&] { change(); });
    std::lock_guard lk(m_);
    change();
    return true;
  }

  // Starts the output if the idle time stopped it, after making the change that is to sound, so
  // that its first frames already carry it.
  bool wake(
      std::string& why, const std::function<void()>& change = [] {}) {
    std::lock_guard device(deviceMutex_);
    {
      std::lock_guard lk(m_);
      quietFrames_ = 0;
      if (!running_) {
        // A new run of the output: its frames count from its start.
        mixed_ = 0;
        chunks_.clear();
      }
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
  void detach(Sequencer* s) {
    std::erase(players_, s);
    for (Chunk& c : chunks_)
      if (c.by == s) c.by = nullptr;
  }

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
    bool fading = false;
    Sequencer* by = renderMusic(out, frames, fading);
    const bool rendered = by != nullptr;
    keepMusic(out, mixed_, frames, by);
    mixed_ += frames;
    const bool wave = wavePos_ < wave_.size();
    const size_t n = static_cast<size_t>(frames) * 2;
    for (size_t i = 0; i < n && wavePos_ < wave_.size(); ++i) out[i] += wave_[wavePos_++];
    clipToFullScale(out, n);
    if (rendered || fading || wave) {
      quietFrames_ = 0;
    } else if ((quietFrames_ += frames) >= kIdleFrames) {
      idle_.notify_one();
    }
  }

  // The next frames of music into out: the tunes that play (the first one through the
  // synthesizer, which it plays), or else the fading of released notes. The tune that sounds, if
  // any.
  Sequencer* renderMusic(float* out, int frames, bool& fading) {
    std::memset(out, 0, sizeof(float) * 2 * static_cast<size_t>(frames));
    SynthTarget* s = synth();
    Sequencer* by = nullptr;
    for (Sequencer* p : players_) {
      if (p->playing()) {
        p->render(out, frames, by ? nullptr : s);
        if (!by) by = p;
      }
    }
    // Let released notes fade out; a synthesizer with nothing sounding needs no work.
    fading = !by && s && target_->sounding();
    if (fading) s->render(out, frames);
    return by;
  }

  // The music part of frames [from, from + frames), kept for mixing again.
  void keepMusic(const float* music, int64_t from, int frames, Sequencer* by) {
    if (!pulse_) return;
    for (int i = 0; i < frames; ++i) {
      const size_t at = static_cast<size_t>((from + i) % kHistoryFrames) * 2;
      history_[at] = music[2 * i];
      history_[at + 1] = music[2 * i + 1];
    }
    while (!chunks_.empty() && chunks_.back().start >= from) chunks_.pop_back();
    if (!chunks_.empty()) {
      Chunk& last = chunks_.back();
      last.frames = static_cast<int>(std::min<int64_t>(last.frames, from - last.start));
    }
    chunks_.push_back({from, frames, by});
    while (chunks_.size() > 1 && chunks_.front().start + chunks_.front().frames <=
                                     from + frames - kHistoryFrames)
      chunks_.pop_front();
  }

  // Mixes the last `frames` frames written again into out, after a change. The music is as it was
  // mixed, unless the change cut or started a tune: then it is mixed anew after what the tunes
  // still playing have queued (a paused tune goes back by what of it will not be heard). A new
  // wave starts at the first of these frames.
  void remix(float* out, int frames, MusicChange music, bool newWave) {
    const int64_t from = mixed_ - frames;
    if (frames <= 0) return;
    int64_t anew = mixed_;  // the music is mixed again from here
    if (music != MusicChange::kNone) {
      anew = from;
      for (const Chunk& c : chunks_) {
        const int64_t end = std::min(c.start + c.frames, mixed_);
        if (!c.by) continue;
        if (c.by->playing()) {
          anew = std::max(anew, end);
        } else if (end > from) {
          c.by->unheard(end - std::max(c.start, from));
        }
      }
    }
    for (int64_t f = from; f < anew; ++f) {
      const size_t at = static_cast<size_t>(f % kHistoryFrames) * 2;
      out[2 * (f - from)] = history_[at];
      out[2 * (f - from) + 1] = history_[at + 1];
    }
    if (anew < mixed_) {
      float* fresh = out + 2 * (anew - from);
      const int n = static_cast<int>(mixed_ - anew);
      bool fading = false;
      keepMusic(fresh, anew, n, renderMusic(fresh, n, fading));
    }
    if (newWave) waveStart_ = from;
    for (int i = 0; i < 2 * frames; ++i) {
      const int64_t at = (from - waveStart_) * 2 + i;
      if (at >= 0 && at < static_cast<int64_t>(wave_.size()))
        out[i] += wave_[static_cast<size_t>(at)];
    }
    wavePos_ = static_cast<size_t>(
        std::clamp<int64_t>((mixed_ - waveStart_) * 2, 0, static_cast<int64_t>(wave_.size())));
    clipToFullScale(out, 2 * static_cast<size_t>(frames));
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
  // On a PulseAudio stream: the frames mixed since the output started, where the wave started
  // among them, and the music of the last of them with the tune that played it.
  PulseOutput* pulse_ = nullptr;
  int64_t mixed_ = 0;
  int64_t waveStart_ = 0;
  bool newWave_ = false;
  struct Chunk {
    int64_t start;
    int frames;
    Sequencer* by;
  };
  std::deque<Chunk> chunks_;
  std::vector<float> history_ = std::vector<float>(2 * kHistoryFrames);
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
  audio_.change(why, true, [this] {
    if (rewound_) {
      restart_ = true;  // follows the end that is still to come: nothing heard changes now
      return MusicChange::kNone;
    }
    const bool was = playing();
    player.play();
    return playing() && !was ? MusicChange::kStart : MusicChange::kNone;
  });
}

void Sequencer::pause() {
  std::string why;
  audio_.change(why, false, [this] {
    rewound_ = restart_ = false;
    player.pause(audio_.synth());
    return MusicChange::kCut;
  });
}

void Sequencer::stop() {
  std::string why;
  audio_.change(why, false, [this] {
    rewound_ = restart_ = false;
    player.stop(audio_.synth());
    return MusicChange::kCut;
  });
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
