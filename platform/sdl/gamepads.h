#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/pads.h"

union SDL_Event;
struct _SDL_GameController;

namespace platform::sdl {

// The gamepads SDL knows (its built-in mapping database, and SDL_GAMECONTROLLERCONFIG for a pad it
// does not), opened as they are plugged in and read as standard pads.
class Gamepads {
 public:
  // Starts SDL's game controller support; false (and why) when it cannot.
  bool start(std::string& why);
  // Closes the pads and SDL's game controller support; before SDL itself quits.
  void stop();
  ~Gamepads() { stop(); }

  struct Change {
    int id;
    std::optional<PadReading> reading;  // none: the pad was pulled out
  };
  // What a pad event changed; none for other events.
  std::optional<Change> handle(const SDL_Event& e);
  bool any() const { return !open_.empty(); }

 private:
  std::map<int, _SDL_GameController*> open_;  // by joystick instance id
  bool started_ = false;
};

}  // namespace platform::sdl
