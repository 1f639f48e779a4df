#include "platform/runtime.h"

#include <algorithm>
#include <cstdio>

#include "platform/files.h"

namespace platform {
namespace {
Runtime* g_current = nullptr;
}

Runtime::Runtime(Provider& provider, Project project)
    : provider_(provider),
      project_(std::move(project)),
      media_(provider.mediaBackend()),
      random_(std::make_unique<ClockRandom>()),
      appPath_(executableFolder()),
      previous_(g_current) {
  g_current = this;
}

Runtime::~Runtime() {
  media_.closeAll();
  // Retired controls still refer to their forms, so they go first.
  retired_.clear();
  for (auto& [name, f] : forms_) f.reset();
  g_current = previous_;
}

Runtime& Runtime::current() {
  if (!g_current) raise(err::kObjectRequired, "no runtime");
  return *g_current;
}

Form& Runtime::form(const std::string& name) {
  auto it = forms_.find(name);
  if (it != forms_.end()) return *it->second;
  auto factory = project_.forms.find(name);
  if (factory == project_.forms.end()) raise(err::kObjectRequired, "form " + name);
  return *(forms_[name] = factory->second(*this));
}

std::vector<Form*> Runtime::loadedForms() const {
  std::vector<Form*> out;
  for (const auto& [name, f] : forms_)
    if (f->loaded()) out.push_back(f.get());
  return out;
}

bool Runtime::anyLoaded() const {
  return std::any_of(forms_.begin(), forms_.end(),
                     [](const auto& p) { return p.second->loaded(); });
}

bool Runtime::start() {
  return dispatch([this] { form(project_.startupForm).Show(); });
}

int Runtime::run() {
  if (start()) provider_.runLoop(*this);
  collect();
  return exitStatus_;
}

bool Runtime::dispatch(const std::function<void()>& handler) {
  if (ended_) return false;
  ++depth_;
  try {
    handler();
  } catch (const RuntimeError& e) {
    --depth_;
    endWithError(e);
    return false;
  } catch (const std::exception& e) {
    --depth_;
    endWithError(RuntimeError(51, std::string("Internal error (") + e.what() + ")"));
    return false;
  }
  --depth_;
  if (depth_ == 0 && !anyLoaded()) ended_ = true;
  return !ended_;
}

void Runtime::endWithError(const RuntimeError& e) {
  ended_ = true;
  exitStatus_ = 1;
  media_.closeAll();
  provider_.reportError(e);
}

void Runtime::collect() {
  if (depth_ == 0) retired_.clear();
}

void Runtime::retire(std::unique_ptr<ControlSet> set) {
  retired_.push_back(std::move(set));
}

void Runtime::formUnloaded() {
  if (depth_ == 0 && !anyLoaded()) ended_ = true;
}

void Runtime::timerChanged(Timer& t) {
  if (std::find(timers_.begin(), timers_.end(), &t) == timers_.end()) timers_.push_back(&t);
  if (t.Interval() > 0) t.deadlineUs = provider_.nowUs() + int64_t{t.Interval()} * 1000;
  t.keysSeen.reset();
}

void Runtime::timerGone(Timer& t) {
  std::erase(timers_, &t);
}

std::optional<int64_t> Runtime::nextDeadline() const {
  std::optional<int64_t> best;
  for (const Timer* t : timers_)
    if (t->Interval() > 0 && t->onTimer && !asleep(*t) && (!best || t->deadlineUs < *best))
      best = t->deadlineUs;
  return best;
}

void Runtime::onGrid(Timer& t, int64_t nowUs) {
  const int64_t iv = int64_t{t.Interval()} * 1000;
  if (iv > 0 && t.deadlineUs <= nowUs) t.deadlineUs += ((nowUs - t.deadlineUs) / iv + 1) * iv;
}

void Runtime::setKeysArriveAsEvents(bool yes) {
  if (yes == keysArriveAsEvents_) return;
  if (!yes)
    for (Timer* t : timers_)
      if (asleep(*t)) onGrid(*t, provider_.nowUs());
  keysArriveAsEvents_ = yes;
}

bool Runtime::fireDueTimers(int64_t nowUs) {
  if (ended_) return false;
  // Kept between passes: a 1 ms poll passes here a thousand times a second.
  std::vector<Due> nested;
  std::vector<Due>& due = depth_ == 0 ? due_ : nested;
  due.clear();
  for (Timer* t : timers_) {
    // A key poll woken by a change of the keys: had it fired through its sleep it would have
    // seen nothing, so it goes on at its next point on its own grid, as it would have.
    if (!t->pollsKeysOnly || !t->keysSeen || *t->keysSeen == keys_.changes()) continue;
    t->keysSeen.reset();
    if (keysArriveAsEvents_) onGrid(*t, nowUs);
  }
  for (Timer* t : timers_)
    if (t->Interval() > 0 && t->onTimer && t->deadlineUs <= nowUs && !asleep(*t))
      due.push_back({t, t->deadlineUs, t->generation});
  if (due.size() > 1)
    std::stable_sort(due.begin(), due.end(),
                     [](const Due& a, const Due& b) { return a.deadline < b.deadline; });
  for (const Due& d : due) {
    // A handler earlier in this pass may have stopped, restarted or unloaded this timer. Retired
    // controls are only freed by collect(), after the pass, so the pointer stays valid here.
    if (std::find(timers_.begin(), timers_.end(), d.timer) == timers_.end()) continue;
    Timer& t = *d.timer;
    if (t.generation != d.generation || t.Interval() <= 0) continue;
    std::function<void()> handler = t.onTimer;
    if (!dispatch(handler)) return false;
    if (std::find(timers_.begin(), timers_.end(), d.timer) == timers_.end()) continue;
    if (t.generation != d.generation || t.Interval() <= 0) continue;
    if (t.pollsKeysOnly) t.keysSeen = keys_.changes();
    // Absolute deadlines: the next one lies on the timer's own grid; a late timer fired once and
    // its missed deadlines are skipped rather than made up in a burst.
    t.deadlineUs = d.deadline + int64_t{t.Interval()} * 1000;
    onGrid(t, nowUs);
  }
  return !ended_;
}

}  // namespace platform
