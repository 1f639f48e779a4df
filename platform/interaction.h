#pragma once

#include "platform/form.h"

namespace platform {

class Runtime;

// How a form's buttons answer the mouse and the keyboard, as on a desktop: a press shows the
// button pushed in, a release inside it clicks; Tab and Shift+Tab move the focus; Space pressed and
// released on the focused button clicks it, and so does Enter. Providers report what the user did
// to the window that got it; clicks run through the runtime's dispatch.
class Interaction {
 public:
  explicit Interaction(Runtime& rt) : rt_(rt) {}

  void mouseDown(Form& form, int x, int y);
  void mouseMove(Form& form, int x, int y);
  void mouseUp(Form& form, int x, int y);
  // Keys the window received (not the global key state the game polls).
  void keyDown(Form& form, int vk, bool shift);
  void keyUp(Form& form, int vk);
  // The window lost the keyboard or the mouse: nothing stays pushed in.
  void cancel(Form& form);

 private:
  CommandButton* buttonAt(Form& form, int x, int y) const;
  void click(CommandButton& b);
  Runtime& rt_;
  // Identified by form and name, never held as pointers across events: a click may unload.
  std::string captureForm_, captureName_;
  std::string spaceForm_, spaceName_;
};

}  // namespace platform
