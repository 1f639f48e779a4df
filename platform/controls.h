#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/design.h"
#include "platform/int16.h"
#include "platform/picture.h"

namespace platform {

class Form;

// A control as the game sees it: created from its design at every load of its form and destroyed
// with the form.
class Control {
 public:
  Control(Form& form, const ControlDesign& design);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  int index() const { return index_; }
  Form& form() const { return form_; }
  const std::string& parentName() const { return parent_; }
  int tabIndex() const { return tabIndex_; }

  bool Visible() const { return visible_; }
  void setVisible(bool v);

  // Position and size in twips of the parent's client area, and the same in pixels.
  int leftTwips() const { return left_; }
  int topTwips() const { return top_; }
  int widthTwips() const { return width_; }
  int heightTwips() const { return height_; }
  int leftPx() const { return twipsToPx(left_); }
  int topPx() const { return twipsToPx(top_); }
  int widthPx() const { return twipsToPx(width_); }
  int heightPx() const { return twipsToPx(height_); }
  // Where the control lies in its form's client area, in pixels.
  Rect bounds() const;

 protected:
  void setSizeTwips(int w, int h) {
    width_ = w;
    height_ = h;
  }
  // The control looks different now: its window recomposes the place it covers.
  void changed();
  void changed(Rect insideControl);

 private:
  Form& form_;
  ControlKind kind_;
  std::string name_;
  int index_;
  std::string parent_;
  int left_, top_, width_, height_;
  int tabIndex_;
  bool visible_;
};

class Label : public Control {
 public:
  Label(Form& form, const ControlDesign& d);
  const std::string& Caption() const { return caption_; }
  void setCaption(std::string c);
  const FontSpec& font() const { return font_; }
  Rgb foreColor() const { return fore_; }
  bool autoSize() const { return autoSize_; }
  Align alignment() const { return align_; }

 private:
  // Auto-size labels take the size of their rendered caption.
  void fit();
  std::string caption_;
  FontSpec font_;
  Rgb fore_;
  bool autoSize_;
  Align align_;
};

class CommandButton : public Control {
 public:
  CommandButton(Form& form, const ControlDesign& d);
  const std::string& Caption() const { return caption_; }
  const FontSpec& font() const { return font_; }
  Rgb backColor() const { return back_; }
  bool graphical() const { return graphical_; }
  // The look while the mouse or the space key holds the button down.
  bool pressed() const { return pressed_; }
  void setPressed(bool p);

  std::function<void()> onClick;

 private:
  std::string caption_;
  FontSpec font_;
  Rgb back_;
  bool graphical_;
  bool pressed_ = false;
};

class TextBox : public Control {
 public:
  TextBox(Form& form, const ControlDesign& d);
  const std::string& Text() const { return text_; }
  void setText(std::string t);

 private:
  std::string text_;
};

class Timer : public Control {
 public:
  Timer(Form& form, const ControlDesign& d);
  ~Timer() override;
  int Interval() const { return interval_; }
  // 0 stops the timer; a positive value (re)starts it from now.
  void setInterval(int ms);

  std::function<void()> onTimer;
  // Set for a poll whose handler looks at the keyboard and at nothing else: a firing that finds
  // the keys as the previous firing left them can do nothing, so the runtime lets the poll sleep
  // until a key changes rather than wake the program for it every interval.
  bool pollsKeysOnly = false;

  // Kept by the runtime's scheduler.
  int64_t deadlineUs = 0;
  uint64_t generation = 0;
  std::optional<uint64_t> keysSeen;  // the keyboard's change count after a key poll last fired

 private:
  int interval_;
};

// A picture box keeps a persistent image of its inner area: setting its picture resets that image
// to the picture, PaintPicture draws into it.
class PictureBox : public Control {
 public:
  PictureBox(Form& form, const ControlDesign& d);
  const Picture& GetPicture() const { return picture_; }
  void setPicture(const Picture& p);
  float ScaleWidth() const { return static_cast<float>(image_.width); }
  float ScaleHeight() const { return static_cast<float>(image_.height); }
  void PaintPicture(const Picture& p, float x, float y, int32_t rop);
  // The persistent image, in the screen's pixel format, and the same as RGB.
  const NativeImage& nativeImage() const { return image_; }
  Bitmap image() const { return image_.toBitmap(); }
  Border border() const { return border_; }
  int borderPx() const;

 private:
  void resizeToPicture();
  void paintedOn(Rect r);
  Picture picture_;
  NativeImage image_;
  // What the image holds besides its picture: the picture it was last reset to and the places
  // painted on since. Setting that picture again restores only those places.
  Picture resetFrom_;
  std::vector<Rect> painted_;
  bool paintedAll_ = true;
  Border border_;
  bool autoSize_;
};

class Image : public Control {
 public:
  Image(Form& form, const ControlDesign& d);
  const Picture& GetPicture() const { return picture_; }
  void setPicture(const Picture& p);

 private:
  Picture picture_;
};

std::unique_ptr<Control> makeControl(Form& form, const ControlDesign& d);

}  // namespace platform
