#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/errors.h"
#include "platform/media.h"
#include "platform/picture.h"

namespace platform {

class Form;
class Runtime;

// What a provider (the real desktop, or the headless one for tests) gives the runtime.
class Provider {
 public:
  virtual ~Provider() = default;

  // Monotonic time in microseconds.
  virtual int64_t nowUs() = 0;

  // A form's window: created hidden at the form's position (or where the system puts a new
  // window when the form has none), then shown; destroyed when the form is unloaded.
  virtual void openWindow(Form& form) = 0;
  virtual void closeWindow(Form& form) = 0;
  virtual void moveWindow(Form& form) = 0;
  // Where the form's window stands on the screen now, in pixels: the outer corner of its frame,
  // which the user may have moved. Nothing when the provider cannot tell.
  virtual std::optional<std::pair<int, int>> windowPlacePx(const Form&) { return std::nullopt; }

  virtual MediaBackend& mediaBackend() = 0;

  // The screen's pixel format, which picture boxes keep their images in so that a window's
  // image reaches the screen by plain copies. Fixed for the provider's life.
  virtual PixelFormat pixelFormat() const { return {}; }

  // Runs the message loop until the runtime has no form left (real providers only).
  virtual void runLoop(Runtime& rt) = 0;

  // A run-time error ended the program.
  virtual void reportError(const RuntimeError& e) = 0;
};

}  // namespace platform
