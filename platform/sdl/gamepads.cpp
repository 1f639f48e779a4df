#include "platform/sdl/gamepads.h"

#include <SDL.h>

#include <string>

namespace platform::sdl {
namespace {

PadReading readingOf(SDL_GameController* c) {
  auto button = [c](SDL_GameControllerButton b) { return SDL_GameControllerGetButton(c, b) != 0; };
  PadReading r;
  r.up = button(SDL_CONTROLLER_BUTTON_DPAD_UP);
  r.down = button(SDL_CONTROLLER_BUTTON_DPAD_DOWN);
  r.left = button(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
  r.right = button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  r.south = button(SDL_CONTROLLER_BUTTON_A);
  r.start = button(SDL_CONTROLLER_BUTTON_START);
  r.stickX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
  r.stickY = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY);
  return r;
}

}  // namespace

bool Gamepads::start(std::string& why) {
  // Pads are read whichever window has the keyboard, as the keys are.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
    why = SDL_GetError();
    return false;
  }
  started_ = true;
  return true;
}

void Gamepads::stop() {
  for (auto& [id, c] : open_) SDL_GameControllerClose(c);
  open_.clear();
  if (started_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  started_ = false;
}

std::optional<Gamepads::Change> Gamepads::handle(const SDL_Event& e) {
  switch (e.type) {
    case SDL_CONTROLLERDEVICEADDED: {
      // Added events carry the device index; everything after, the instance id.
      SDL_GameController* c = SDL_GameControllerOpen(e.cdevice.which);
      if (!c) return std::nullopt;
      const int id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(c));
      if (open_.count(id)) {
        SDL_GameControllerClose(c);  // already open: SDL announces pads present at start again
        return std::nullopt;
      }
      open_[id] = c;
      return Change{id, readingOf(c)};
    }
    case SDL_CONTROLLERDEVICEREMOVED: {
      auto it = open_.find(e.cdevice.which);
      if (it == open_.end()) return std::nullopt;
      SDL_GameControllerClose(it->second);
      open_.erase(it);
      return Change{e.cdevice.which, std::nullopt};
    }
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
    case SDL_CONTROLLERAXISMOTION: {
      const int id = e.type == SDL_CONTROLLERAXISMOTION ? e.caxis.which : e.cbutton.which;
      auto it = open_.find(id);
      if (it == open_.end()) return std::nullopt;
      return Change{id, readingOf(it->second)};
    }
    default:
      return std::nullopt;
  }
}

}  // namespace platform::sdl
