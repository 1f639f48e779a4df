#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/media.h"
#include "platform/sdl/audio_output.h"
#include "platform/sdl/audio_synth.h"
#include "platform/sdl/late_synth.h"
#include "platform/sdl/limiter.h"
#include "platform/sequencer.h"

namespace platform::sdl {

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

// What a change did to the music: its frames already queued are then cut, or followed at once by
// the tune that now plays.
enum class MusicChange { kNone, kCut, kStart };

class Mixer;

// One tune, played by the mixer's synthesizer.
class Sequencer : public MidiDevice {
 public:
  Sequencer(Mixer& a, std::shared_ptr<const MidiSong> song);
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
  Mixer& audio_;
  bool rewound_ = false;  // "Seek" while ending: the rewind waits for the end
  bool restart_ = false;  // and "Play" after it: the tune starts again at its end
};

// The music and the effects mixed into one output, which runs only while something sounds.
class Mixer : public MediaBackend {
 public:
  Mixer() = default;
  ~Mixer() override;
  // Finds where the sound goes and starts loading the soundfont; false (with why) when there is
  // no device. The output runs only while something sounds: on a PulseAudio server (and
  // PipeWire's) a stream of our own, elsewhere an SDL audio device.
  bool open(std::string& why);

  std::unique_ptr<MidiDevice> openSequencer(const std::string& path, std::string& why) override;
  bool playWave(const std::string& path) override;

  // Makes a change to what sounds: `change` runs with the mixing held still and says what it did
  // to the music. On a running PulseAudio stream the change is written over the queued sound from
  // just after what is being heard, so the long queue does not delay it; otherwise it is mixed
  // next. A change that sounds starts the output if it is stopped.
  bool change(std::string& why, bool sounds, const std::function<MusicChange()>& change);

  // Starts the output if the idle time stopped it, after making the change that is to sound, so
  // that its first frames already carry it.
  bool wake(
      std::string& why, const std::function<void()>& change = [] {});

  std::mutex& mutex() { return m_; }
  // The synthesizer the tunes play into, there or not yet. Call with the mixing held still.
  SynthTarget* synth() { return &late_; }
  void attach(Sequencer* s) { players_.push_back(s); }
  void detach(Sequencer* s);

 private:
  void load(const std::string& path);
  void mix(float* out, int frames);
  // The next frames of music into out: the tunes that play (the first one through the
  // synthesizer, which it plays), or else the fading of released notes. The tune that sounds, if
  // any.
  Sequencer* renderMusic(float* out, int frames, bool& fading);
  // The music part of frames [from, from + frames), kept for mixing again.
  void keepMusic(const float* music, int64_t from, int frames, Sequencer* by);
  // Mixes the last `frames` frames written again into out, after a change. The music is as it was
  // mixed, unless the change cut or started a tune: then it is mixed anew after what the tunes
  // still playing have queued (a paused tune goes back by what of it will not be heard). A new
  // wave starts at the first of these frames.
  void remix(float* out, int frames, MusicChange music, bool newWave);
  // Stops the output once it has had nothing to play for a while. Stopping may wait for the
  // output's thread, so it happens here rather than in the callback or on the game's thread.
  void keep();

  // Lock order: deviceMutex_ (starting and stopping the output), then m_ (what the callback plays).
  std::mutex deviceMutex_;
  std::mutex m_;
  std::condition_variable idle_;
  std::condition_variable work_;    // for the loader: presets to load, or the end
  std::condition_variable pinned_;  // from the loader: the synthesizer is back
  std::unique_ptr<Output> output_;
  bool sdlAudio_ = false;
  bool running_ = false;
  int quietFrames_ = 0;
  bool quit_ = false;
  bool lost_ = false;
  std::thread keeper_;
  std::thread loader_;
  // The synthesizer, once its soundfont and the presets of the tunes opened so far are loaded;
  // until then the tunes play into late_, which gives it their channels' state when it comes.
  std::unique_ptr<Synthesizer> synth_;
  LateSynth late_;
  std::vector<std::pair<int, int>> presets_;  // of the tunes opened so far
  size_t held_ = 0;                           // of which loaded
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
  // The mix, kept under full scale; mixing again over the queue goes on from where it is.
  Limiter limiter_{kRate};
};

}  // namespace platform::sdl
