#include "platform/headless/headless.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>

namespace platform::headless {
namespace {

class FakeSequencer : public MidiDevice {
 public:
  FakeSequencer(std::shared_ptr<FakeSequencerState> s, HeadlessProvider& p)
      : s_(std::move(s)), p_(p) {}
  ~FakeSequencer() override { s_->open = false; }
  void play() override {
    if (s_->mode == "playing") return;
    if (s_->atEnd) {  // paused at its end: runs out at once
      s_->mode = "stopped";
      return;
    }
    s_->mode = "playing";
    s_->playingSinceUs = p_.nowUs();
    ++s_->plays;
  }
  void pause() override {
    if (s_->mode == "playing") {
      s_->positionUs += p_.nowUs() - s_->playingSinceUs;
      s_->mode = "paused";
    } else if (s_->mode == "stopped" && s_->atEnd) {
      s_->mode = "paused";
    }
  }
  void stop() override {
    if (s_->mode == "playing") s_->positionUs += p_.nowUs() - s_->playingSinceUs;
    s_->mode = "stopped";
  }
  void seekToStart() override {
    s_->positionUs = 0;
    s_->atEnd = false;
    s_->mode = "stopped";
  }
  std::string mode() override { return s_->mode; }

 private:
  std::shared_ptr<FakeSequencerState> s_;
  HeadlessProvider& p_;
};

}  // namespace

HeadlessProvider::HeadlessProvider() = default;

void HeadlessProvider::openWindow(Form& form) {
  if (!form.hasPosition()) form.setPositionPx(defaultX, defaultY);
  auto [x, y] = form.positionPx();
  windows.push_back({form.name(), x, y, true});
}

void HeadlessProvider::closeWindow(Form& form) {
  for (auto& w : windows)
    if (w.form == form.name() && w.open) w.open = false;
}

void HeadlessProvider::moveWindow(Form& form) {
  auto [x, y] = form.positionPx();
  for (auto& w : windows)
    if (w.form == form.name() && w.open) {
      w.x = x;
      w.y = y;
    }
}

const WindowRecord* HeadlessProvider::window(const std::string& form) const {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it)
    if (it->form == form && it->open) return &*it;
  return nullptr;
}

void HeadlessProvider::runLoop(Runtime& rt) {
  // Without a display nothing but timers can happen: run them until the program ends or nothing
  // is left to fire.
  while (fireNext(rt, INT64_MAX)) {
  }
}

bool HeadlessProvider::fireNext(Runtime& rt, int64_t limitUs) {
  const auto next = rt.nextDeadline();
  if (rt.ended() || !next || *next > limitUs) return false;
  nowUs_ = std::max(nowUs_, *next);
  rt.fireDueTimers(nowUs_);
  rt.collect();
  return true;
}

bool HeadlessProvider::advance(Runtime& rt, int64_t ms) {
  const int64_t target = nowUs_ + ms * 1000;
  while (fireNext(rt, target)) {
  }
  if (!rt.ended()) nowUs_ = std::max(nowUs_, target);
  return !rt.ended();
}

namespace {

// Paths are UTF-8 text, which std::filesystem takes as such on every system.
std::ifstream openFile(const std::string& path) {
  return std::ifstream(std::filesystem::path(std::u8string(path.begin(), path.end())),
                       std::ios::binary);
}

}  // namespace

std::unique_ptr<MidiDevice> HeadlessProvider::openSequencer(const std::string& path,
                                                            std::string& why) {
  std::ifstream f = openFile(path);
  char head[4] = {};
  if (!f.read(head, 4) || std::string(head, 4) != "MThd") {
    why = "not a MIDI file";
    return nullptr;
  }
  auto s = std::make_shared<FakeSequencerState>();
  s->path = path;
  sequencers_.push_back(s);
  return std::make_unique<FakeSequencer>(s, *this);
}

bool HeadlessProvider::playWave(const std::string& path) {
  std::ifstream f = openFile(path);
  char head[4] = {};
  // What the game asked for is in the media log; here only whether it could be played.
  return f.read(head, 4) && std::string(head, 4) == "RIFF";
}

std::shared_ptr<FakeSequencerState> HeadlessProvider::sequencer() const {
  for (auto it = sequencers_.rbegin(); it != sequencers_.rend(); ++it)
    if ((*it)->open) return *it;
  return nullptr;
}

void HeadlessProvider::finishMusic() {
  if (auto s = sequencer(); s && s->mode == "playing") {
    s->positionUs += nowUs_ - s->playingSinceUs;
    s->mode = "stopped";
    s->atEnd = true;
  }
}

}  // namespace platform::headless
