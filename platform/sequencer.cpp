#include "platform/sequencer.h"

#include <algorithm>
#include <cstring>

namespace platform {

MidiPlayer::MidiPlayer(std::shared_ptr<const MidiSong> song, int sampleRate)
    : song_(std::move(song)), rate_(sampleRate) {
  // The end is the first frame at or after the last event.
  end_ = (song_->endUs * rate_ + 999999) / 1000000;
}

int64_t MidiPlayer::frameOf(const MidiEvent& e) const {
  return e.timeUs * rate_ / 1000000;
}

const char* MidiPlayer::modeText() const {
  switch (state_) {
    case State::kPlaying:
      return "playing";
    case State::kPaused:
      return "paused";
    case State::kStopped:
      return "stopped";
  }
  return "not ready";
}

int64_t MidiPlayer::nextFrame() const {
  const auto& events = song_->events;
  return next_ < events.size() ? std::min(frameOf(events[next_]), end_) : end_;
}

void MidiPlayer::play() {
  if (pos_ >= end_) {
    // At the end there is nothing left to play: a tune paused there runs out at once, so the
    // next loop check sees it stopped and starts it again.
    state_ = State::kStopped;
    return;
  }
  state_ = State::kPlaying;
}

void MidiPlayer::pause(SynthTarget* synth) {
  // A tune that has just run out pauses like a playing one; otherwise the loop check of the
  // pausing tick would find it stopped and start it again under the pause.
  const bool atEnd = state_ == State::kStopped && pos_ >= end_;
  if (state_ != State::kPlaying && !atEnd) return;
  state_ = State::kPaused;
  if (synth) synth->allSoundsOff();
}

void MidiPlayer::stop(SynthTarget* synth) {
  state_ = State::kStopped;
  if (synth) synth->allSoundsOff();
}

void MidiPlayer::seekToStart(SynthTarget* synth) {
  pos_ = 0;
  next_ = 0;
  state_ = State::kStopped;
  if (synth) synth->allNotesOff();
}

void MidiPlayer::stepBack(int64_t frames) {
  pos_ = std::max<int64_t>(0, pos_ - frames);
  // The events at the new place and after it are sent again: what they began was never heard.
  const auto& events = song_->events;
  next_ = static_cast<size_t>(
      std::lower_bound(events.begin(), events.end(), pos_,
                       [this](const MidiEvent& e, int64_t at) { return frameOf(e) < at; }) -
      events.begin());
}

void MidiPlayer::render(float* out, int frames, SynthTarget* synth) {
  const auto& events = song_->events;
  int done = 0;
  while (done < frames) {
    if (state_ != State::kPlaying) break;
    while (next_ < events.size() && frameOf(events[next_]) <= pos_) {
      if (synth) synth->send(events[next_]);
      ++next_;
    }
    if (pos_ >= end_) {
      state_ = State::kStopped;
      if (synth) synth->allNotesOff();
      break;
    }
    int64_t until = std::min<int64_t>(pos_ + (frames - done), end_);
    if (next_ < events.size()) until = std::min(until, frameOf(events[next_]));
    const int chunk = static_cast<int>(until - pos_);
    if (synth) {
      synth->render(out + 2 * done, chunk);
    } else {
      std::memset(out + 2 * done, 0, sizeof(float) * 2 * chunk);
    }
    pos_ += chunk;
    done += chunk;
  }
  if (done < frames) {
    // Not playing: the synthesizer's notes fade out on their own.
    if (synth) {
      synth->render(out + 2 * done, frames - done);
    } else {
      std::memset(out + 2 * done, 0, sizeof(float) * 2 * (frames - done));
    }
  }
}

}  // namespace platform
