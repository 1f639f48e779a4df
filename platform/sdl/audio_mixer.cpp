#include "platform/sdl/audio_mixer.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/midi.h"
#include "platform/say.h"
#include "platform/sdl/soundfont.h"

namespace platform::sdl {
namespace {

// Whatever is left over full scale after the limiter (nothing, unless a sample is not a number
// it can scale).
void clipToFullScale(float* samples, size_t n) {
  for (size_t i = 0; i < n; ++i) samples[i] = std::max(-1.0f, std::min(1.0f, samples[i]));
}

}  // namespace

bool Mixer::open(std::string& why) {
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  const bool pulse = driver && (std::strcmp(driver, "pulseaudio") == 0 || std::strcmp(driver, "pipewire") == 0);
  const auto pull = [this](float* out, int frames) { mix(out, frames); };
  std::string pulseWhy;
  // Asked for a sound server, the game waits for one that is not there yet.
  if (!driver || pulse) {
    if (auto out = PulseOutput::connect(kRate, kPulseBufferMs, kPulseRequestMs, pull, pulseWhy, pulse)) {
      pulse_ = out.get();
      output_ = pulseStream(std::move(out));
      if (pulse && !pulseWhy.empty())
        platform::sayProblem("no sound server (%s); silent until one comes", pulseWhy.c_str());
    }
  }
  if (!output_) {
    std::string sdlWhy;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
      sdlAudio_ = true;
      output_ = sdlOutput(kRate, kFrames, pull);
      // A first opening tells whether there is a device at all; the idle time closes it again.
      if (!wake(sdlWhy)) {
        output_.reset();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sdlAudio_ = false;
      }
    } else {
      sdlWhy = SDL_GetError();
    }
    // With no driver named and no device, a sound server may still come.
    if (!output_ && !driver) {
      if (auto out = PulseOutput::connect(kRate, kPulseBufferMs, kPulseRequestMs, pull, pulseWhy, true)) {
        platform::sayProblem("no audio device (%s); silent until a sound server comes", sdlWhy.c_str());
        pulse_ = out.get();
        output_ = pulseStream(std::move(out));
      }
    }
    if (!output_) return why = sdlWhy, false;
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

Mixer::~Mixer() {
  {
    std::lock_guard lk(m_);
    quit_ = true;
  }
  work_.notify_one();
  if (loader_.joinable()) loader_.join();
  idle_.notify_one();
  if (keeper_.joinable()) keeper_.join();
  output_.reset();  // stops the callbacks first
  if (sdlAudio_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  synth_.reset();
}

std::unique_ptr<MidiDevice> Mixer::openSequencer(const std::string& path, std::string& why) {
  std::ifstream f(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  auto song = std::make_shared<MidiSong>();
  if (!f.good() && !f.eof()) return why = "unreadable", nullptr;
  if (!parseMidi(bytes.data(), bytes.size(), *song, why)) return nullptr;
  {
    // A preset not loaded yet is loaded beside the game, never while the music is being mixed: a
    // program change that loaded it there would hold the mixing still for as long (seconds, for
    // some instruments of a large compressed soundfont). Meanwhile the channels that play it are
    // silent; a load that is quick is waited for, so nothing of the tune is missed.
    std::unique_lock lk(m_);
    const size_t had = presets_.size();
    for (const auto& p : presetsOf(*song))
      if (std::find(presets_.begin(), presets_.end(), p) == presets_.end()) presets_.push_back(p);
    if (presets_.size() > had && synth_) {
      work_.notify_one();
      pinned_.wait_for(lk, std::chrono::milliseconds(50), [this] { return held_ == presets_.size(); });
    }
  }
  return std::make_unique<Sequencer>(*this, std::move(song));
}

bool Mixer::playWave(const std::string& path) {
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

bool Mixer::change(std::string& why, bool sounds, const std::function<MusicChange()>& change) {
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

bool Mixer::wake(
    std::string& why, const std::function<void()>& change) {
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

void Mixer::mix(float* out, int frames) {
  std::lock_guard lk(m_);
  bool fading = false;
  Sequencer* by = renderMusic(out, frames, fading);
  const bool rendered = by != nullptr;
  keepMusic(out, mixed_, frames, by);
  mixed_ += frames;
  const bool wave = wavePos_ < wave_.size();
  const size_t n = static_cast<size_t>(frames) * 2;
  for (size_t i = 0; i < n && wavePos_ < wave_.size(); ++i) out[i] += wave_[wavePos_++];
  limiter_.apply(out, static_cast<size_t>(frames));
  clipToFullScale(out, n);
  if (rendered || fading || wave) {
    quietFrames_ = 0;
  } else if ((quietFrames_ += frames) >= kIdleFrames) {
    idle_.notify_one();
  }
}

Sequencer* Mixer::renderMusic(float* out, int frames, bool& fading) {
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
  fading = !by && late_.ready() && synth_->sounding();
  if (fading) s->render(out, frames);
  return by;
}

void Mixer::keepMusic(const float* music, int64_t from, int frames, Sequencer* by) {
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

void Mixer::remix(float* out, int frames, MusicChange music, bool newWave) {
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
  limiter_.apply(out, static_cast<size_t>(frames));
  clipToFullScale(out, 2 * static_cast<size_t>(frames));
}

void Mixer::keep() {
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

void Mixer::load(const std::string& path) {
  auto synth = std::make_unique<Synthesizer>();
  if (!synth->load(path, kRate)) return;
  Synthesizer* s = synth.get();
  std::unique_lock lk(m_);
  // The standard drum kit first, before any tune asks: nearly every General MIDI tune plays it,
  // and in some soundfonts it is the largest preset.
  if (std::find(presets_.begin(), presets_.end(), std::pair{128, 0}) == presets_.end())
    presets_.insert(presets_.begin(), {128, 0});
  synth_ = std::move(synth);
  late_.arrive(s);
  // The presets of the tunes opened so far, then those of each tune opened later as it is opened,
  // one at a time: each channel plays as soon as its own preset is there. The synthesizer is set
  // aside while it loads one, since it cannot render meanwhile: the mixing would wait for it.
  for (;;) {
    work_.wait(lk, [&] { return quit_ || held_ < presets_.size(); });
    if (quit_) return;
    const auto preset = presets_[held_];
    late_.arrive(nullptr);
    lk.unlock();
    s->hold(preset.first, preset.second);
    lk.lock();
    late_.loaded(preset);
    late_.arrive(s);
    ++held_;
    pinned_.notify_all();
  }
}

void Mixer::detach(Sequencer* s) {
  std::erase(players_, s);
  for (Chunk& c : chunks_)
    if (c.by == s) c.by = nullptr;
}

}  // namespace platform::sdl
