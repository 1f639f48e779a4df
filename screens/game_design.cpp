#include "screens/designs.h"
#include "screens/game_numbers.h"
#include "screens/pictures.h"

namespace screens {
namespace {

using platform::Align;
using platform::at;
using platform::Border;
using platform::ControlDesign;
using platform::ControlKind;
using platform::Rgb;

const Rgb kRed{255, 0, 0};

ControlDesign label(const char* name, int index, int l, int t, int w, int h, const char* caption,
                    Rgb colour, float size) {
  ControlDesign d = at(ControlKind::kLabel, name, index, l, t, w, h);
  d.caption = caption;
  d.foreColor = colour;
  d.font = {kGothic, size, true, false};
  return d;
}

ControlDesign image(const char* name, int index, int l, int t, int w, int h,
                    const platform::Picture& p) {
  ControlDesign d = at(ControlKind::kImage, name, index, l, t, w, h);
  d.picture = p;
  return d;
}

ControlDesign store(const char* name, int index, const platform::Picture& p, int top) {
  // Hidden picture boxes below the window's client area that only hold pictures.
  ControlDesign d = at(ControlKind::kPictureBox, name, index, 120 + index * 600, top, 600, 600);
  d.picture = p;
  d.visible = false;
  d.autoSize = true;
  return d;
}

platform::FormDesign build() {
  const Pictures& pics = pictures();
  platform::FormDesign f;
  f.name = "game";
  f.caption = "モロフィン！";
  f.clientWidth = 11340;
  f.clientHeight = 4845;
  f.backColor = {255, 255, 255};
  f.icon = pics.icon;

  ControlDesign map = at(ControlKind::kPictureBox, "map", -1, 0, 0, 9630, 4830);
  map.border = Border::kFlat;
  map.autoSize = true;
  map.picture = pics.field;

  ControlDesign over0 = label("gameoverL", 0, 2280, 1560, 5025, 960, "GameOver...", kRed, 48.0f);
  over0.parent = "map";
  over0.visible = false;
  over0.autoSize = true;
  ControlDesign pause = label("pauseL", -1, 2280, 1920, 5025, 960, "Pause", {0, 0, 255}, 48.0f);
  pause.parent = "map";
  pause.visible = false;
  pause.align = Align::kCenter;
  ControlDesign over1 =
      label("gameoverL", 1, 2265, 2520, 5055, 480, "スペースキーを押してね", kRed, 20.25f);
  over1.parent = "map";
  over1.visible = false;
  over1.align = Align::kCenter;

  ControlDesign equals = label("Label1", 1, 10080, 638, 225, 195, "=", {0, 0, 0}, 12.0f);
  equals.align = Align::kCenter;
  ControlDesign times = label("Label1", 0, 10080, 1725, 225, 195, "×", {0, 0, 0}, 9.75f);
  times.autoSize = true;
  ControlDesign heading = label("Label3", -1, 9720, 2520, 1470, 315, "ハイスコア", kRed, 15.75f);
  heading.autoSize = true;
  ControlDesign mode = label("dT", -1, 9600, 4440, 1680, 285, "ノーマル", kRed, 14.25f);
  mode.font.italic = true;
  mode.align = Align::kCenter;

  f.controls = {
      map,
      over0,
      pause,
      over1,
      image("Image2", -1, 9720, 615, 240, 240, pics.clock),
      equals,
      image("lastT", 0, 10320, 360, 450, 750, pics.num[0]),
      image("lastT", 1, 10800, 360, 450, 750, pics.num[0]),
      image("Image1", -1, 9720, 1695, 240, 240, pics.zeka[0]),
      times,
      image("scoreP", 0, 10320, 1440, 450, 750, pics.num[0]),
      image("scoreP", 1, 10800, 1440, 450, 750, pics.num[0]),
      heading,
      image("hiS", 0, 10320, 2880, 450, 750, pics.num[0]),
      image("hiS", 1, 10800, 2880, 450, 750, pics.num[0]),
      mode,
  };
  ControlDesign mapPicture = at(ControlKind::kPictureBox, "mapPicture", -1, 120, 5040, 855, 375);
  mapPicture.picture = pics.field;
  mapPicture.visible = false;
  f.controls.push_back(mapPicture);
  for (int d = 0; d < 10; ++d) f.controls.push_back(store("num", d, pics.num[d], 5520));
  for (int i = 0; i < 7; ++i) f.controls.push_back(store("wobo", i, pics.wobo[i], 6360));
  for (int i = 0; i < 7; ++i) f.controls.push_back(store("zeka", i, pics.zeka[i], 7080));

  ControlDesign wobo = at(ControlKind::kTimer, "woboTimer", -1, 0, 0, 0, 0);
  wobo.interval = kTickMs;
  ControlDesign wait = at(ControlKind::kTimer, "waitTimer", -1, 0, 0, 0, 0);
  ControlDesign end = at(ControlKind::kTimer, "endTimer", -1, 0, 0, 0, 0);
  f.controls.push_back(wobo);
  f.controls.push_back(wait);
  f.controls.push_back(end);
  return f;
}

}  // namespace

const platform::FormDesign& gameDesign() {
  static const platform::FormDesign d = build();
  return d;
}

}  // namespace screens
