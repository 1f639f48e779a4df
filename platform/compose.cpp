#include "platform/compose.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace platform {
namespace {

Rect scaled(Rect r, int n) {
  return {r.x * n, r.y * n, r.w * n, r.h * n};
}

void fill(const Canvas& c, Rect r, Rgb colour, Rect clip) {
  const Rect d = scaled(intersect(r, clip), c.scale);
  if (d.empty()) return;
  const uint32_t p = c.format.pack(colour);
  for (int y = d.y; y < d.y + d.h; ++y) std::fill_n(c.row(y) + d.x, d.w, p);
}

void hline(const Canvas& c, int x, int y, int w, Rgb colour, Rect clip) {
  fill(c, {x, y, w, 1}, colour, clip);
}
void vline(const Canvas& c, int x, int y, int h, Rgb colour, Rect clip) {
  fill(c, {x, y, 1, h}, colour, clip);
}

// Text comes rasterised at the canvas's scale, so it is placed in canvas pixels.
void drawText(const Canvas& c, const TextImage& t, int x, int y, Rgb colour, Rect clip) {
  const Rect r = intersect({x, y, t.width, t.height}, scaled(clip, c.scale));
  for (int yy = r.y; yy < r.y + r.h; ++yy) {
    uint32_t* row = c.row(yy);
    const uint8_t* alpha = t.alpha.data() + static_cast<size_t>(yy - y) * t.width;
    for (int xx = r.x; xx < r.x + r.w; ++xx) {
      const unsigned a = alpha[xx - x];
      if (!a) continue;
      const Rgb bg = c.format.unpack(row[xx]);
      auto mixc = [a](uint8_t f, uint8_t b) {
        return static_cast<uint8_t>((f * a + b * (255 - a) + 127) / 255);
      };
      row[xx] = c.format.pack({mixc(colour.r, bg.r), mixc(colour.g, bg.g), mixc(colour.b, bg.b)});
    }
  }
}

const TextImage& renderScaled(FontSpec font, const std::string& text, int scale) {
  font.sizePt *= static_cast<float>(scale);
  return Fonts::render(font, text);
}

// A picture at the canvas's scale: whole-row copies at scale 1, blocks of n x n above.
void drawPicture(const Canvas& c, const NativeImage& pic, int x, int y, Rect clip) {
  const Rect r = intersect({x, y, pic.width, pic.height}, clip);
  if (r.empty()) return;
  const int n = c.scale;
  const bool same = pic.format == c.format;
  for (int yy = r.y; yy < r.y + r.h; ++yy) {
    const uint32_t* src = pic.row(yy - y) + (r.x - x);
    uint32_t* dst = c.row(yy * n) + r.x * n;
    if (n == 1 && same) {
      std::memcpy(dst, src, static_cast<size_t>(r.w) * 4);
      continue;
    }
    for (int i = 0; i < r.w; ++i) {
      const uint32_t p = same ? src[i] : c.format.pack(pic.format.unpack(src[i]));
      std::fill_n(dst + i * n, n, p);
    }
    for (int k = 1; k < n; ++k)
      std::memcpy(c.row(yy * n + k) + r.x * n, dst, static_cast<size_t>(r.w) * n * 4);
  }
}

void drawLabel(const Canvas& c, const Label& l, int ox, int oy, Rect clip) {
  const Rect box{ox + l.leftPx(), oy + l.topPx(), l.widthPx(), l.heightPx()};
  const Rect area = intersect(box, clip);
  if (area.empty()) return;
  const int n = c.scale;
  const TextImage& t = renderScaled(l.font(), l.Caption(), n);
  int x = box.x * n;
  if (l.alignment() == Align::kCenter) x = box.x * n + (box.w * n - t.width) / 2;
  drawText(c, t, x, box.y * n, l.foreColor(), area);
}

void drawSunken(const Canvas& c, Rect r, Rect clip) {
  hline(c, r.x, r.y, r.w, {128, 128, 128}, clip);
  vline(c, r.x, r.y, r.h, {128, 128, 128}, clip);
  hline(c, r.x + 1, r.y + 1, r.w - 2, {64, 64, 64}, clip);
  vline(c, r.x + 1, r.y + 1, r.h - 2, {64, 64, 64}, clip);
  hline(c, r.x, r.y + r.h - 1, r.w, {255, 255, 255}, clip);
  vline(c, r.x + r.w - 1, r.y, r.h, {255, 255, 255}, clip);
  hline(c, r.x + 1, r.y + r.h - 2, r.w - 2, {212, 208, 200}, clip);
  vline(c, r.x + r.w - 2, r.y + 1, r.h - 2, {212, 208, 200}, clip);
}

void drawButton(const Canvas& c, const CommandButton& b, bool focused, Rect clip) {
  const Rect r{b.leftPx(), b.topPx(), b.widthPx(), b.heightPx()};
  if (intersect(r, clip).empty()) return;
  const Rgb face = b.graphical() ? b.backColor() : Rgb{212, 208, 200};
  fill(c, r, face, clip);
  const Rgb light{255, 255, 255}, shadow{128, 128, 128}, dark{0, 0, 0};
  if (b.pressed()) {
    hline(c, r.x, r.y, r.w, dark, clip);
    vline(c, r.x, r.y, r.h, dark, clip);
    hline(c, r.x, r.y + r.h - 1, r.w, dark, clip);
    vline(c, r.x + r.w - 1, r.y, r.h, dark, clip);
    hline(c, r.x + 1, r.y + 1, r.w - 2, shadow, clip);
    vline(c, r.x + 1, r.y + 1, r.h - 2, shadow, clip);
  } else {
    hline(c, r.x, r.y, r.w - 1, light, clip);
    vline(c, r.x, r.y, r.h - 1, light, clip);
    hline(c, r.x, r.y + r.h - 1, r.w, dark, clip);
    vline(c, r.x + r.w - 1, r.y, r.h, dark, clip);
    hline(c, r.x + 1, r.y + r.h - 2, r.w - 2, shadow, clip);
    vline(c, r.x + r.w - 2, r.y + 1, r.h - 2, shadow, clip);
  }
  const int n = c.scale;
  const TextImage& t = renderScaled(b.font(), b.Caption(), n);
  const int shift = b.pressed() ? n : 0;
  const Rect inner{r.x + 2, r.y + 2, r.w - 4, r.h - 4};
  drawText(c, t, r.x * n + (r.w * n - t.width) / 2 + shift,
           r.y * n + (r.h * n - t.height) / 2 + shift, {0, 0, 0}, intersect(inner, clip));
  if (focused) {
    // Dotted focus rectangle inside the edge.
    const Rect f{r.x + 4, r.y + 4, r.w - 8, r.h - 8};
    for (int x = f.x; x < f.x + f.w; x += 2) {
      fill(c, {x, f.y, 1, 1}, dark, clip);
      fill(c, {x, f.y + f.h - 1, 1, 1}, dark, clip);
    }
    for (int y = f.y; y < f.y + f.h; y += 2) {
      fill(c, {f.x, y, 1, 1}, dark, clip);
      fill(c, {f.x + f.w - 1, y, 1, 1}, dark, clip);
    }
  }
}

void drawTextBox(const Canvas& c, const TextBox& t, Rect clip) {
  const Rect r{t.leftPx(), t.topPx(), t.widthPx(), t.heightPx()};
  if (intersect(r, clip).empty()) return;
  fill(c, r, {255, 255, 255}, clip);
  drawSunken(c, r, clip);
  const int n = c.scale;
  const FontSpec f{"ＭＳ Ｐゴシック", 9.0f, false, false};
  drawText(c, renderScaled(f, t.Text(), n), (r.x + 3) * n, (r.y + 2) * n, {0, 0, 0},
           intersect({r.x + 2, r.y + 2, r.w - 4, r.h - 4}, clip));
}

void drawPictureBox(const Canvas& c, Form& form, const PictureBox& p, Rect clip) {
  const Rect r{p.leftPx(), p.topPx(), p.widthPx(), p.heightPx()};
  if (intersect(r, clip).empty()) return;
  const int b = p.borderPx();
  if (p.border() == Border::kFlat) {
    hline(c, r.x, r.y, r.w, {0, 0, 0}, clip);
    hline(c, r.x, r.y + r.h - 1, r.w, {0, 0, 0}, clip);
    vline(c, r.x, r.y, r.h, {0, 0, 0}, clip);
    vline(c, r.x + r.w - 1, r.y, r.h, {0, 0, 0}, clip);
  } else if (p.border() == Border::kSunken) {
    drawSunken(c, r, clip);
  }
  const Rect inner = intersect({r.x + b, r.y + b, r.w - 2 * b, r.h - 2 * b}, clip);
  if (inner.empty()) return;
  drawPicture(c, p.nativeImage(), r.x + b, r.y + b, inner);
  // Labels inside the box lie over its image.
  for (const auto& ctl : form.controls())
    if (ctl->Visible() && ctl->kind() == ControlKind::kLabel && ctl->parentName() == p.name())
      drawLabel(c, static_cast<const Label&>(*ctl), r.x + b, r.y + b, inner);
}

}  // namespace

void composeRect(Form& form, const Canvas& c, Rect clip) {
  clip = intersect(clip, {0, 0, form.clientWidthPx(), form.clientHeightPx()});
  if (clip.empty()) return;
  fill(c, clip, form.design().backColor, clip);
  const Control* focus = form.focused();
  // Lightweight controls first, as they live on the form's own surface.
  for (const auto& ctl : form.controls()) {
    if (!ctl->Visible() || !ctl->parentName().empty()) continue;
    if (ctl->kind() == ControlKind::kLabel) {
      drawLabel(c, static_cast<const Label&>(*ctl), 0, 0, clip);
    } else if (ctl->kind() == ControlKind::kImage) {
      const auto& img = static_cast<const Image&>(*ctl);
      if (!img.GetPicture().empty())
        drawPicture(c, img.GetPicture().native(c.format), img.leftPx(), img.topPx(), clip);
    }
  }
  for (const auto& ctl : form.controls()) {
    if (!ctl->Visible() || !ctl->parentName().empty()) continue;
    switch (ctl->kind()) {
      case ControlKind::kPictureBox:
        drawPictureBox(c, form, static_cast<const PictureBox&>(*ctl), clip);
        break;
      case ControlKind::kCommandButton:
        drawButton(c, static_cast<const CommandButton&>(*ctl), ctl.get() == focus, clip);
        break;
      case ControlKind::kTextBox:
        drawTextBox(c, static_cast<const TextBox&>(*ctl), clip);
        break;
      default:
        break;
    }
  }
}

std::vector<Rect> composeChanges(Form& form, const Canvas& canvas) {
  std::vector<Rect> done = form.takeDirty();
  for (Rect& r : done) {
    composeRect(form, canvas, r);
    r = scaled(r, canvas.scale);
  }
  return done;
}

Bitmap composeWindow(Form& form, int scale) {
  NativeImage img(form.clientWidthPx() * scale, form.clientHeightPx() * scale, form.pixelFormat());
  composeRect(form, Canvas::over(img, scale), {0, 0, form.clientWidthPx(), form.clientHeightPx()});
  return img.toBitmap();
}

}  // namespace platform
