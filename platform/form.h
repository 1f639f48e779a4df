#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"
#include "platform/design.h"

namespace platform {

class Runtime;

// The controls of one load of a form. They outlive an unload until no handler is running, so a
// handler that unloads its own form (or one further up the stack) never sees freed controls.
struct ControlSet {
  std::vector<std::unique_ptr<Control>> controls;
};

// Elements of a control array, reached by index; a missing index is a run-time error.
template <typename T>
class ControlArray {
 public:
  ControlArray(Form& form, std::string name) : form_(&form), name_(std::move(name)) {}
  T& operator[](I16 index) const;

 private:
  Form* form_;
  std::string name_;
};

class Form {
 public:
  Form(Runtime& rt, const FormDesign& design);
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& name() const { return design_.name; }
  const FormDesign& design() const { return design_; }
  Runtime& runtime() const { return rt_; }
  bool loaded() const { return controls_ != nullptr; }
  bool shown() const { return shown_; }

  // Loads the form if needed (running Form_Load to its end), then shows it modeless.
  void Show();
  // Runs Form_Unload, then closes the window and discards the controls.
  void Unload();

  // Window position in twips: the outer corner of the window, frame included, where it stands now.
  float Left() const;
  float Top() const;
  void setLeft(float twips);
  void setTop(float twips);
  bool hasPosition() const { return position_.has_value(); }
  // In pixels, once the form has a position of its own or from its window.
  std::pair<int, int> positionPx() const;
  // A place in pixels from outside the game: a provider puts a form that has none where its
  // window went.
  void setPositionPx(int x, int y);

  int clientWidthPx() const { return twipsToPx(design_.clientWidth); }
  int clientHeightPx() const { return twipsToPx(design_.clientHeight); }

  // A control of the loaded form by name (and index for arrays); the wrong kind or a missing
  // control is a run-time error.
  Control& control(std::string_view name, int index = -1) const;
  template <typename T>
  T& ctl(std::string_view name, int index = -1) const {
    auto* c = dynamic_cast<T*>(&control(name, index));
    if (!c) raise(err::kObjectRequired, std::string(name));
    return *c;
  }
  template <typename T>
  ControlArray<T> arr(std::string name) {
    return ControlArray<T>(*this, std::move(name));
  }
  const std::vector<std::unique_ptr<Control>>& controls() const;

  // Keyboard focus: the control that takes Space and Enter. At each load it goes to the first
  // control in tab order that can take it; Tab and Shift+Tab move it, skipping hidden ones.
  Control* focused() const;
  void moveFocus(bool backwards);
  void setFocus(Control* c);

  // Part of the client area (pixels) looks different now; the window recomposes and presents
  // only such parts. Without a rectangle, the whole client area.
  void invalidate(Rect r);
  void invalidate();
  // What changed since the last call, as a few rectangles inside the client area; forgets it.
  std::vector<Rect> takeDirty();
  bool dirty() const { return !dirty_.empty(); }
  // The pixel format the form's picture boxes keep their images in (the screen's).
  PixelFormat pixelFormat() const;

  virtual void Form_Load() {}
  virtual void Form_Unload() {}

 protected:
  // Attaches the handlers to the freshly created controls of a load.
  virtual void bindEvents() {}

 private:
  Runtime& rt_;
  const FormDesign& design_;
  std::unique_ptr<ControlSet> controls_;
  bool shown_ = false;
  Control* focus_ = nullptr;
  bool loading_ = false;
  std::pair<float, float> place() const;
  std::optional<std::pair<float, float>> position_;
  std::vector<Rect> dirty_;
};

template <typename T>
T& ControlArray<T>::operator[](I16 index) const {
  if (index.value() < 0) raise(err::kSubscript, name_);
  return form_->ctl<T>(name_, index.value());
}

}  // namespace platform
