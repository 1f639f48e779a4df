#include "platform/controls.h"

#include <cmath>

#include "platform/form.h"
#include "platform/runtime.h"

namespace platform {

Control::Control(Form& form, const ControlDesign& d)
    : form_(form),
      kind_(d.kind),
      name_(d.name),
      index_(d.index),
      parent_(d.parent),
      left_(d.left),
      top_(d.top),
      width_(d.width),
      height_(d.height),
      tabIndex_(d.tabIndex),
      visible_(d.visible) {}

void Control::setVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  changed();
}

void Control::changed() {
  form_.invalidate();
}

Label::Label(Form& form, const ControlDesign& d)
    : Control(form, d),
      caption_(d.caption),
      font_(d.font),
      fore_(d.foreColor),
      autoSize_(d.autoSize),
      align_(d.align) {}

void Label::setCaption(std::string c) {
  if (c == caption_) return;
  caption_ = std::move(c);
  changed();
}

CommandButton::CommandButton(Form& form, const ControlDesign& d)
    : Control(form, d),
      caption_(d.caption),
      font_(d.font),
      back_(d.backColor),
      graphical_(d.graphical) {}

void CommandButton::setPressed(bool p) {
  if (p == pressed_) return;
  pressed_ = p;
  changed();
}

TextBox::TextBox(Form& form, const ControlDesign& d) : Control(form, d), text_(d.caption) {}

void TextBox::setText(std::string t) {
  text_ = std::move(t);
  if (Visible()) changed();
}

Timer::Timer(Form& form, const ControlDesign& d) : Control(form, d), interval_(d.interval) {
  form.runtime().timerChanged(*this);
}

Timer::~Timer() {
  form().runtime().timerGone(*this);
}

void Timer::setInterval(int ms) {
  if (ms < 0 || ms > 65535) raise(err::kInvalidCall, "timer interval");
  interval_ = ms;
  ++generation;
  form().runtime().timerChanged(*this);
}

PictureBox::PictureBox(Form& form, const ControlDesign& d)
    : Control(form, d), border_(d.border), autoSize_(d.autoSize) {
  int b = borderPx();
  image_ = Bitmap(std::max(widthPx() - 2 * b, 0), std::max(heightPx() - 2 * b, 0));
  if (!d.picture.empty()) setPicture(d.picture);
}

int PictureBox::borderPx() const {
  switch (border_) {
    case Border::kNone:
      return 0;
    case Border::kFlat:
      return 1;
    case Border::kSunken:
      return 2;
  }
  return 0;
}

void PictureBox::resizeToPicture() {
  int b = borderPx();
  setSizeTwips((picture_.width() + 2 * b) * kTwipsPerPixel,
               (picture_.height() + 2 * b) * kTwipsPerPixel);
}

void PictureBox::setPicture(const Picture& p) {
  picture_ = p;
  if (autoSize_ && !p.empty()) resizeToPicture();
  int b = borderPx();
  int w = std::max(widthPx() - 2 * b, 0), h = std::max(heightPx() - 2 * b, 0);
  if (image_.width != w || image_.height != h) image_ = Bitmap(w, h);
  // The persistent image starts again from the picture; what lies outside it is the back colour.
  if (p.empty() || p.width() < w || p.height() < h) image_.fillRect(0, 0, w, h, {255, 255, 255});
  if (!p.empty()) copyInto(image_, *p.bitmap(), 0, 0);
  changed();
}

void PictureBox::PaintPicture(const Picture& p, float x, float y, int32_t rop) {
  if (p.empty()) raise(err::kInvalidCall, "PaintPicture without a picture");
  if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e6f || std::fabs(y) > 1e6f)
    raise(err::kOverflow, "PaintPicture position");
  auto op = static_cast<RasterOp>(rop);
  if (op != RasterOp::kSrcCopy && op != RasterOp::kSrcAnd && op != RasterOp::kMergePaint)
    raise(err::kInvalidCall, "raster operation");
  blit(image_, *p.bitmap(), static_cast<int>(std::nearbyint(x)),
       static_cast<int>(std::nearbyint(y)), op);
  changed();
}

Image::Image(Form& form, const ControlDesign& d) : Control(form, d), picture_(d.picture) {
  if (!picture_.empty())
    setSizeTwips(picture_.width() * kTwipsPerPixel, picture_.height() * kTwipsPerPixel);
}

void Image::setPicture(const Picture& p) {
  if (p == picture_) return;
  picture_ = p;
  changed();
}

std::unique_ptr<Control> makeControl(Form& form, const ControlDesign& d) {
  switch (d.kind) {
    case ControlKind::kLabel:
      return std::make_unique<Label>(form, d);
    case ControlKind::kCommandButton:
      return std::make_unique<CommandButton>(form, d);
    case ControlKind::kTextBox:
      return std::make_unique<TextBox>(form, d);
    case ControlKind::kTimer:
      return std::make_unique<Timer>(form, d);
    case ControlKind::kPictureBox:
      return std::make_unique<PictureBox>(form, d);
    case ControlKind::kImage:
      return std::make_unique<Image>(form, d);
  }
  raise(err::kInvalidCall, "unknown control kind");
}

}  // namespace platform
