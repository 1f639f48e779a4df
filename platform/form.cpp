#include "platform/form.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/runtime.h"

namespace platform {

Form::Form(Runtime& rt, const FormDesign& design) : rt_(rt), design_(design) {}

void Form::Show() {
  if (!loaded()) {
    controls_ = std::make_unique<ControlSet>();
    for (const auto& d : design_.controls) controls_->controls.push_back(makeControl(*this, d));
    bindEvents();
    focus_ = nullptr;
    moveFocus(false);
    // A key press belongs to the screen that had the keyboard when it was made: the Space that
    // clicked a title button must not pause the game it started.
    rt_.keys().forgetPresses();
    loading_ = true;
    Form_Load();
    loading_ = false;
    if (!loaded()) return;  // the load handler unloaded its own form
  }
  if (!shown_) {
    shown_ = true;
    rt_.provider().openWindow(*this);
  }
}

void Form::Unload() {
  if (!loaded()) return;
  Form_Unload();
  if (!loaded()) return;  // unloaded again from inside its own unload handler
  if (shown_) rt_.provider().closeWindow(*this);
  shown_ = false;
  for (auto& c : controls_->controls)
    if (c->kind() == ControlKind::kTimer) rt_.timerGone(static_cast<Timer&>(*c));
  focus_ = nullptr;
  rt_.retire(std::move(controls_));
  position_.reset();
  rt_.formUnloaded();
}

std::pair<float, float> Form::place() const {
  if (shown_) {
    if (auto px = rt_.provider().windowPlacePx(*this))
      return {static_cast<float>(px->first * kTwipsPerPixel),
              static_cast<float>(px->second * kTwipsPerPixel)};
  }
  return position_.value_or(std::pair{0.0f, 0.0f});
}

float Form::Left() const {
  return place().first;
}
float Form::Top() const {
  return place().second;
}

void Form::setLeft(float twips) {
  if (!std::isfinite(twips)) raise(err::kOverflow, "Left");
  position_ = {twips, place().second};
  if (shown_) rt_.provider().moveWindow(*this);
}

void Form::setTop(float twips) {
  if (!std::isfinite(twips)) raise(err::kOverflow, "Top");
  position_ = {place().first, twips};
  if (shown_) rt_.provider().moveWindow(*this);
}

std::pair<int, int> Form::positionPx() const {
  return {static_cast<int>(std::lround(Left() / kTwipsPerPixel)),
          static_cast<int>(std::lround(Top() / kTwipsPerPixel))};
}

void Form::setPositionPx(int x, int y) {
  position_ = {static_cast<float>(x * kTwipsPerPixel), static_cast<float>(y * kTwipsPerPixel)};
}

const std::vector<std::unique_ptr<Control>>& Form::controls() const {
  if (!controls_) raise(err::kObjectRequired, "form " + design_.name + " is not loaded");
  return controls_->controls;
}

Control& Form::control(std::string_view name, int index) const {
  bool nameSeen = false;
  for (const auto& c : controls()) {
    if (c->name() != name) continue;
    nameSeen = true;
    if (c->index() == index) return *c;
  }
  if (nameSeen) raise(err::kSubscript, std::string(name) + "(" + std::to_string(index) + ")");
  raise(err::kObjectRequired, std::string(name));
}

namespace {
bool canFocus(const Control& c) {
  return c.Visible() && c.tabIndex() >= 0 &&
         (c.kind() == ControlKind::kCommandButton || c.kind() == ControlKind::kTextBox);
}
}  // namespace

Control* Form::focused() const {
  return loaded() ? focus_ : nullptr;
}

void Form::setFocus(Control* c) {
  if (c == focus_) return;
  if (focus_) invalidate(focus_->bounds());
  focus_ = c;
  if (focus_) invalidate(focus_->bounds());
}

void Form::moveFocus(bool backwards) {
  if (!loaded()) return;
  std::vector<Control*> order;
  for (auto& c : controls_->controls)
    if (canFocus(*c)) order.push_back(c.get());
  if (order.empty()) return setFocus(nullptr);
  std::stable_sort(order.begin(), order.end(),
                   [](Control* a, Control* b) { return a->tabIndex() < b->tabIndex(); });
  auto it = std::find(order.begin(), order.end(), focus_);
  if (it == order.end()) return setFocus(backwards ? order.back() : order.front());
  size_t i = static_cast<size_t>(it - order.begin());
  size_t n = order.size();
  setFocus(order[backwards ? (i + n - 1) % n : (i + 1) % n]);
}

void Form::invalidate() {
  invalidate({0, 0, clientWidthPx(), clientHeightPx()});
}

void Form::invalidate(Rect r) {
  r = intersect(r, {0, 0, clientWidthPx(), clientHeightPx()});
  if (r.empty()) return;
  // Rectangles that overlap or touch become one; a tick's few changes stay a few rectangles.
  for (size_t i = 0; i < dirty_.size();) {
    const Rect d = dirty_[i];
    const Rect grown{d.x - 1, d.y - 1, d.w + 2, d.h + 2};
    if (intersect(grown, r).empty()) {
      ++i;
      continue;
    }
    r = unite(r, d);
    dirty_.erase(dirty_.begin() + static_cast<std::ptrdiff_t>(i));
    i = 0;
  }
  dirty_.push_back(r);
  constexpr size_t kMostRects = 16;
  if (dirty_.size() > kMostRects) {
    Rect all;
    for (Rect d : dirty_) all = unite(all, d);
    dirty_.assign(1, all);
  }
}

std::vector<Rect> Form::takeDirty() {
  return std::exchange(dirty_, {});
}

PixelFormat Form::pixelFormat() const {
  return rt_.provider().pixelFormat();
}

}  // namespace platform
