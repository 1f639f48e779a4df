#include "screens/designs.h"
#include "screens/pictures.h"

namespace screens {
namespace {

using platform::at;
using platform::ControlDesign;
using platform::ControlKind;

ControlDesign modeButton(const char* name, int top, const char* caption, int tab,
                         platform::Rgb colour, int left = 4043) {
  ControlDesign d = at(ControlKind::kCommandButton, name, -1, left, top, 3255, 375);
  d.caption = caption;
  d.tabIndex = tab;
  d.graphical = true;
  d.backColor = colour;
  d.font = {kGothic, 9.75f, true, false};
  return d;
}

ControlDesign dataText(int index, int top) {
  ControlDesign d = at(ControlKind::kTextBox, "dataText", index, 8160, top, 2055, 270);
  d.caption = "Text1";
  d.visible = false;
  d.tabIndex = 5 + index;
  return d;
}

platform::FormDesign build() {
  platform::FormDesign f;
  f.name = "title";
  f.caption = "モロフィン！V1.00";
  f.clientWidth = 11340;
  f.clientHeight = 4845;
  f.backColor = {255, 255, 255};
  f.icon = pictures().icon;

  ControlDesign label1 = at(ControlKind::kLabel, "Label1", -1, 1725, 720, 7890, 960);
  label1.caption = "モロフィン！";
  label1.foreColor = {0, 0, 192};
  label1.font = {kGothic, 48.0f, true, true};
  label1.autoSize = true;
  label1.tabIndex = 0;

  const platform::Rgb cyan{192, 255, 255}, yellow{255, 255, 128};
  f.controls = {
      label1,
      modeButton("Command1", 2160, "易しいモード", 1, cyan),
      modeButton("Command2", 2640, "普通モード", 2, cyan),
      modeButton("Command3", 3120, "難しいモード", 3, cyan),
      modeButton("Command4", 3600, "最速モード", 4, cyan),
      dataText(0, 2400),
      dataText(1, 2760),
      dataText(2, 3120),
      dataText(3, 3480),
      modeButton("Command5", 4200, "ゲーム終了", 9, yellow, 4080),
  };
  ControlDesign bgm = at(ControlKind::kTimer, "bgmTimer", -1, 0, 0, 0, 0);
  bgm.interval = 10;
  f.controls.push_back(bgm);
  return f;
}

}  // namespace

const platform::FormDesign& titleDesign() {
  static const platform::FormDesign d = build();
  return d;
}

}  // namespace screens
