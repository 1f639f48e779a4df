#include "platform/sdl/audio_mixer.h"

namespace platform::sdl {

Sequencer::Sequencer(Mixer& a, std::shared_ptr<const MidiSong> song)
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
  return player.modeText();
}

}  // namespace platform::sdl
