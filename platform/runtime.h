#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/keys.h"
#include "platform/media.h"
#include "platform/provider.h"
#include "platform/random.h"

namespace platform {

// The project description handed to the runtime at start-up: the forms and which one starts.
struct Project {
  std::string startupForm;
  std::map<std::string, std::function<std::unique_ptr<Form>(class Runtime&)>> forms;
};

class Runtime {
 public:
  Runtime(Provider& provider, Project project);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // The runtime the game's handlers talk to.
  static Runtime& current();

  // The one instance of a form, created on first reference.
  Form& form(const std::string& name);
  template <typename F>
  F& form() {
    auto* f = dynamic_cast<F*>(&form(F::kName));
    if (!f) raise(err::kObjectRequired, F::kName);
    return *f;
  }
  std::vector<Form*> loadedForms() const;
  bool anyLoaded() const;

  // Shows the start-up form; false (with the error reported) when that failed.
  bool start();
  // Start-up and the provider's message loop; the process exit status.
  int run();

  // One pass of the message loop's timer work at time nowUs: each due timer fires once, earliest
  // deadline first. Returns false when a run-time error ended the program.
  bool fireDueTimers(int64_t nowUs);
  // The earliest deadline of a running timer, if any. A key poll that has seen the keys as they
  // are has none until they change.
  std::optional<int64_t> nextDeadline() const;
  // Whether every change of the keys reaches the runtime as it happens, waking the message loop.
  // While the keys are instead read once per pass of the loop, key polls keep their schedule.
  void setKeysArriveAsEvents(bool yes);

  // Runs an event handler of a form; a run-time error ends the program. Returns false then.
  bool dispatch(const std::function<void()>& handler);
  // Frees what unloads left behind, once no handler runs.
  void collect();

  bool ended() const { return ended_; }
  int exitStatus() const { return exitStatus_; }
  void endWithError(const RuntimeError& e);

  // Scheduler hooks for timers.
  void timerChanged(Timer& t);
  void timerGone(Timer& t);
  // Keeps a form's controls alive until no handler is running.
  void retire(std::unique_ptr<ControlSet> set);
  void formUnloaded();

  Provider& provider() { return provider_; }
  KeyState& keys() { return keys_; }
  Media& media() { return media_; }
  RandomSource& random() { return *random_; }
  void setRandom(std::unique_ptr<RandomSource> r) { random_ = std::move(r); }

  // App.Path: the executable's folder, unless a test sets another.
  const std::string& appPath() const { return appPath_; }
  void setAppPath(std::string p) { appPath_ = std::move(p); }

 private:
  Provider& provider_;
  Project project_;
  std::map<std::string, std::unique_ptr<Form>> forms_;
  std::vector<Timer*> timers_;
  struct Due {
    Timer* timer;
    int64_t deadline;
    uint64_t generation;
  };
  std::vector<Due> due_;
  bool asleep(const Timer& t) const {
    return t.pollsKeysOnly && keysArriveAsEvents_ && t.keysSeen == keys_.changes();
  }
  // Moves a deadline that is not after nowUs on along the timer's own grid to its first point
  // after nowUs: a late timer's, or a key poll's that slept through it.
  static void onGrid(Timer& t, int64_t nowUs);
  bool keysArriveAsEvents_ = true;
  std::vector<std::unique_ptr<ControlSet>> retired_;
  KeyState keys_;
  Media media_;
  std::unique_ptr<RandomSource> random_;
  std::string appPath_;
  int depth_ = 0;
  bool ended_ = false;
  int exitStatus_ = 0;
  Runtime* previous_ = nullptr;
};

}  // namespace platform
