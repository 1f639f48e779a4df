#include "platform/compose.h"

#include <algorithm>

#include "platform/text.h"

namespace platform {
namespace {

struct Rect {
  int x, y, w, h;
};

Rect intersect(Rect a, Rect b) {
  int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  int x1 = std::min(a.x + a.w, b.x + b.w), y1 = std::min(a.y + a.h, b.y + b.h);
  return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

void fill(Bitmap& out, Rect r, Rgb c, Rect clip) {
  Rect d = intersect(r, clip);
  out.fillRect(d.x, d.y, d.w, d.h, c);
}

void hline(Bitmap& out, int x, int y, int w, Rgb c, Rect clip) {
  fill(out, {x, y, w, 1}, c, clip);
}
void vline(Bitmap& out, int x, int y, int h, Rgb c, Rect clip) {
  fill(out, {x, y, 1, h}, c, clip);
}

void drawText(Bitmap& out, const TextImage& t, int x, int y, Rgb colour, Rect clip) {
  Rect r = intersect({x, y, t.width, t.height}, clip);
  for (int yy = r.y; yy < r.y + r.h; ++yy) {
    for (int xx = r.x; xx < r.x + r.w; ++xx) {
      unsigned a = t.alpha[static_cast<size_t>(yy - y) * t.width + (xx - x)];
      if (!a) continue;
      Rgb bg = out.at(xx, yy);
      auto mixc = [a](uint8_t f, uint8_t b) {
        return static_cast<uint8_t>((f * a + b * (255 - a) + 127) / 255);
      };
      out.set(xx, yy, {mixc(colour.r, bg.r), mixc(colour.g, bg.g), mixc(colour.b, bg.b)});
    }
  }
}

void drawPicture(Bitmap& out, const Bitmap& pic, int x, int y, Rect clip) {
  Rect r = intersect({x, y, pic.width, pic.height}, clip);
  for (int yy = r.y; yy < r.y + r.h; ++yy)
    for (int xx = r.x; xx < r.x + r.w; ++xx) out.set(xx, yy, pic.at(xx - x, yy - y));
}

void drawLabel(Bitmap& out, Label& l, int ox, int oy, Rect clip) {
  const TextImage& t = Fonts::render(l.font(), l.Caption());
  if (l.autoSize() && t.width > 0) l.fitTo(t.width, t.height);
  Rect box{ox + l.leftPx(), oy + l.topPx(), l.widthPx(), l.heightPx()};
  int x = box.x;
  if (l.alignment() == Align::kCenter) x = box.x + (box.w - t.width) / 2;
  drawText(out, t, x, box.y, l.foreColor(), intersect(box, clip));
}

void drawSunken(Bitmap& out, Rect r, Rect clip) {
  hline(out, r.x, r.y, r.w, {128, 128, 128}, clip);
  vline(out, r.x, r.y, r.h, {128, 128, 128}, clip);
  hline(out, r.x + 1, r.y + 1, r.w - 2, {64, 64, 64}, clip);
  vline(out, r.x + 1, r.y + 1, r.h - 2, {64, 64, 64}, clip);
  hline(out, r.x, r.y + r.h - 1, r.w, {255, 255, 255}, clip);
  vline(out, r.x + r.w - 1, r.y, r.h, {255, 255, 255}, clip);
  hline(out, r.x + 1, r.y + r.h - 2, r.w - 2, {212, 208, 200}, clip);
  vline(out, r.x + r.w - 2, r.y + 1, r.h - 2, {212, 208, 200}, clip);
}

void drawButton(Bitmap& out, const CommandButton& b, bool focused, Rect clip) {
  Rect r{b.leftPx(), b.topPx(), b.widthPx(), b.heightPx()};
  const Rgb face = b.graphical() ? b.backColor() : Rgb{212, 208, 200};
  fill(out, r, face, clip);
  const Rgb light{255, 255, 255}, shadow{128, 128, 128}, dark{0, 0, 0};
  if (b.pressed()) {
    hline(out, r.x, r.y, r.w, dark, clip);
    vline(out, r.x, r.y, r.h, dark, clip);
    hline(out, r.x, r.y + r.h - 1, r.w, dark, clip);
    vline(out, r.x + r.w - 1, r.y, r.h, dark, clip);
    hline(out, r.x + 1, r.y + 1, r.w - 2, shadow, clip);
    vline(out, r.x + 1, r.y + 1, r.h - 2, shadow, clip);
  } else {
    hline(out, r.x, r.y, r.w - 1, light, clip);
    vline(out, r.x, r.y, r.h - 1, light, clip);
    hline(out, r.x, r.y + r.h - 1, r.w, dark, clip);
    vline(out, r.x + r.w - 1, r.y, r.h, dark, clip);
    hline(out, r.x + 1, r.y + r.h - 2, r.w - 2, shadow, clip);
    vline(out, r.x + r.w - 2, r.y + 1, r.h - 2, shadow, clip);
  }
  const TextImage& t = Fonts::render(b.font(), b.Caption());
  int shift = b.pressed() ? 1 : 0;
  Rect inner{r.x + 2, r.y + 2, r.w - 4, r.h - 4};
  drawText(out, t, r.x + (r.w - t.width) / 2 + shift, r.y + (r.h - t.height) / 2 + shift, {0, 0, 0},
           intersect(inner, clip));
  if (focused) {
    // Dotted focus rectangle inside the edge.
    Rect f{r.x + 4, r.y + 4, r.w - 8, r.h - 8};
    for (int x = f.x; x < f.x + f.w; x += 2) {
      fill(out, {x, f.y, 1, 1}, dark, clip);
      fill(out, {x, f.y + f.h - 1, 1, 1}, dark, clip);
    }
    for (int y = f.y; y < f.y + f.h; y += 2) {
      fill(out, {f.x, y, 1, 1}, dark, clip);
      fill(out, {f.x + f.w - 1, y, 1, 1}, dark, clip);
    }
  }
}

void drawTextBox(Bitmap& out, const TextBox& t, Rect clip) {
  Rect r{t.leftPx(), t.topPx(), t.widthPx(), t.heightPx()};
  fill(out, r, {255, 255, 255}, clip);
  drawSunken(out, r, clip);
  FontSpec f{"ＭＳ Ｐゴシック", 9.0f, false, false};
  drawText(out, Fonts::render(f, t.Text()), r.x + 3, r.y + 2, {0, 0, 0},
           intersect({r.x + 2, r.y + 2, r.w - 4, r.h - 4}, clip));
}

void drawPictureBox(Bitmap& out, Form& form, PictureBox& p, Rect clip) {
  Rect r{p.leftPx(), p.topPx(), p.widthPx(), p.heightPx()};
  const int b = p.borderPx();
  if (p.border() == Border::kFlat) {
    hline(out, r.x, r.y, r.w, {0, 0, 0}, clip);
    hline(out, r.x, r.y + r.h - 1, r.w, {0, 0, 0}, clip);
    vline(out, r.x, r.y, r.h, {0, 0, 0}, clip);
    vline(out, r.x + r.w - 1, r.y, r.h, {0, 0, 0}, clip);
  } else if (p.border() == Border::kSunken) {
    drawSunken(out, r, clip);
  }
  Rect inner = intersect({r.x + b, r.y + b, r.w - 2 * b, r.h - 2 * b}, clip);
  drawPicture(out, p.image(), r.x + b, r.y + b, inner);
  // Labels inside the box lie over its image.
  for (const auto& c : form.controls())
    if (c->parentName() == p.name() && c->Visible() && c->kind() == ControlKind::kLabel)
      drawLabel(out, static_cast<Label&>(*c), r.x + b, r.y + b, inner);
}

}  // namespace

void composeWindowInto(Form& form, Bitmap& out) {
  const int w = form.clientWidthPx(), h = form.clientHeightPx();
  if (out.width != w || out.height != h) out = Bitmap(w, h);
  out.fillRect(0, 0, w, h, form.design().backColor);
  const Rect all{0, 0, w, h};
  const Control* focus = form.focused();
  // Lightweight controls first, as they live on the form's own surface.
  for (const auto& c : form.controls()) {
    if (!c->Visible() || !c->parentName().empty()) continue;
    if (c->kind() == ControlKind::kLabel) {
      drawLabel(out, static_cast<Label&>(*c), 0, 0, all);
    } else if (c->kind() == ControlKind::kImage) {
      const auto& img = static_cast<const Image&>(*c);
      if (!img.GetPicture().empty())
        drawPicture(out, *img.GetPicture().bitmap(), img.leftPx(), img.topPx(), all);
    }
  }
  for (const auto& c : form.controls()) {
    if (!c->Visible() || !c->parentName().empty()) continue;
    switch (c->kind()) {
      case ControlKind::kPictureBox:
        drawPictureBox(out, form, static_cast<PictureBox&>(*c), all);
        break;
      case ControlKind::kCommandButton:
        drawButton(out, static_cast<const CommandButton&>(*c), c.get() == focus, all);
        break;
      case ControlKind::kTextBox:
        drawTextBox(out, static_cast<const TextBox&>(*c), all);
        break;
      default:
        break;
    }
  }
}

Bitmap composeWindow(Form& form) {
  Bitmap out;
  composeWindowInto(form, out);
  return out;
}

}  // namespace platform
