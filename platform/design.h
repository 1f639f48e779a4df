#pragma once

#include <string>
#include <vector>

#include "platform/picture.h"

namespace platform {

inline constexpr int kTwipsPerPixel = 15;

// Twips to the nearest whole pixel, halves away from zero.
constexpr int twipsToPx(int twips) {
  return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                    : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

enum class ControlKind { kLabel, kCommandButton, kTextBox, kTimer, kPictureBox, kImage };
enum class Align { kLeft, kCenter };
enum class Border { kNone, kFlat, kSunken };

struct FontSpec {
  std::string name;
  float sizePt = 9.0f;
  bool bold = false;
  bool italic = false;
};

// One control of a screen design, with every property a design may set. Lengths are twips of the
// parent's client area; `parent` is empty for the form itself or names a picture box.
struct ControlDesign {
  ControlKind kind = ControlKind::kLabel;
  std::string name;
  int index = -1;  // element of a control array, or -1 for a single control
  std::string parent;
  int left = 0, top = 0, width = 0, height = 0;
  std::string caption;  // label and button caption, text box text
  Rgb foreColor{0, 0, 0};
  Rgb backColor{255, 255, 255};
  FontSpec font;
  bool autoSize = false;
  Align align = Align::kLeft;
  bool visible = true;
  int tabIndex = -1;       // -1: takes no focus
  bool graphical = false;  // button style that shows backColor
  Border border = Border::kSunken;
  int interval = 0;  // timers, milliseconds
  Picture picture;
};

struct FormDesign {
  std::string name;
  std::string caption;
  int clientWidth = 0, clientHeight = 0;  // twips
  Rgb backColor{255, 255, 255};
  Picture icon;
  std::vector<ControlDesign> controls;
};

// Builder helpers so that a design reads as a table.
inline ControlDesign at(ControlKind kind, std::string name, int index, int l, int t, int w, int h) {
  ControlDesign d;
  d.kind = kind;
  d.name = std::move(name);
  d.index = index;
  d.left = l;
  d.top = t;
  d.width = w;
  d.height = h;
  return d;
}

}  // namespace platform
