#include "platform/controls.h"

#include <algorithm>
#include <cmath>

#include "platform/form.h"
#include "platform/runtime.h"
#include "platform/text.h"

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
  if (form_.loaded()) form_.invalidate(bounds());
}

Rect Control::bounds() const {
  Rect r{leftPx(), topPx(), widthPx(), heightPx()};
  if (!parent_.empty()) {
    const auto& box = static_cast<const PictureBox&>(form_.control(parent_));
    const Rect p = box.bounds();
    r.x += p.x + box.borderPx();
    r.y += p.y + box.borderPx();
  }
  return r;
}

// A control of an unloaded form (a handler still running after its form's unload) has no window
// to show it in.
void Control::changed() {
  if (visible_ && form_.loaded()) form_.invalidate(bounds());
}

void Control::changed(Rect inside) {
  if (!visible_ || !form_.loaded()) return;
  const Rect b = bounds();
  form_.invalidate({b.x + inside.x, b.y + inside.y, inside.w, inside.h});
}

Label::Label(Form& form, const ControlDesign& d)
    : Control(form, d),
      caption_(d.caption),
      font_(d.font),
      fore_(d.foreColor),
      autoSize_(d.autoSize),
      align_(d.align) {
  fit();
}

void Label::fit() {
  if (!autoSize_) return;
  const TextImage& t = Fonts::render(font_, caption_);
  if (t.width > 0) setSizeTwips(t.width * kTwipsPerPixel, t.height * kTwipsPerPixel);
}

void Label::setCaption(std::string c) {
  if (c == caption_) return;
  changed();
  caption_ = std::move(c);
  fit();
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
  image_ = NativeImage(std::max(widthPx() - 2 * b, 0), std::max(heightPx() - 2 * b, 0),
                       form.pixelFormat());
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
  const Rect before = bounds();
  if (autoSize_ && !p.empty()) resizeToPicture();
  const int b = borderPx();
  const int w = std::max(widthPx() - 2 * b, 0), h = std::max(heightPx() - 2 * b, 0);
  const PixelFormat f = form().pixelFormat();
  const bool covers = !p.empty() && p.width() >= w && p.height() >= h;
  if (covers && p == resetFrom_ && !paintedAll_ && image_.width == w && image_.height == h) {
    // Only the painted places differ from the picture; the result is the same as a full reset.
    for (Rect r : painted_) {
      copyRect(image_, p.native(f), r);
      changed({b + r.x, b + r.y, r.w, r.h});
    }
  } else {
    if (image_.width != w || image_.height != h) image_ = NativeImage(w, h, f);
    // The persistent image starts again from the picture; what lies outside it is the back
    // colour.
    if (!covers) std::fill(image_.pixels.begin(), image_.pixels.end(), f.pack({255, 255, 255}));
    if (!p.empty()) copyRect(image_, p.native(f), {0, 0, p.width(), p.height()});
    if (Visible()) form().invalidate(before);
    changed();
  }
  resetFrom_ = p;
  painted_.clear();
  paintedAll_ = false;
}

void PictureBox::paintedOn(Rect r) {
  if (r.empty()) return;
  constexpr size_t kMostPlaces = 8;
  if (painted_.size() < kMostPlaces)
    painted_.push_back(r);
  else
    paintedAll_ = true;
  changed({borderPx() + r.x, borderPx() + r.y, r.w, r.h});
}

void PictureBox::PaintPicture(const Picture& p, float x, float y, int32_t rop) {
  if (p.empty()) raise(err::kInvalidCall, "PaintPicture without a picture");
  if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e6f || std::fabs(y) > 1e6f)
    raise(err::kOverflow, "PaintPicture position");
  auto op = static_cast<RasterOp>(rop);
  if (op != RasterOp::kSrcCopy && op != RasterOp::kSrcAnd && op != RasterOp::kMergePaint)
    raise(err::kInvalidCall, "raster operation");
  paintedOn(blit(image_, p.native(image_.format), static_cast<int>(std::nearbyint(x)),
                 static_cast<int>(std::nearbyint(y)), op));
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
