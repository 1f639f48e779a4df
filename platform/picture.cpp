#include "platform/picture.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"

namespace platform {

Bitmap::Bitmap(int w, int h, Rgb fill)
    : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3) {
  fillRect(0, 0, w, h, fill);
}

void Bitmap::fillRect(int x, int y, int w, int h, Rgb c) {
  int x0 = std::max(x, 0), y0 = std::max(y, 0);
  int x1 = std::min(x + w, width), y1 = std::min(y + h, height);
  for (int yy = y0; yy < y1; ++yy) {
    uint8_t* p = &pixels[(static_cast<size_t>(yy) * width + x0) * 3];
    for (int xx = x0; xx < x1; ++xx, p += 3) {
      p[0] = c.r;
      p[1] = c.g;
      p[2] = c.b;
    }
  }
}

namespace {

struct Clip {
  int sx, sy, dx, dy, w, h;
};

bool clip(const Bitmap& dest, const Bitmap& src, int x, int y, Clip& c) {
  c.sx = std::max(0, -x);
  c.sy = std::max(0, -y);
  c.dx = x + c.sx;
  c.dy = y + c.sy;
  c.w = std::min(src.width - c.sx, dest.width - c.dx);
  c.h = std::min(src.height - c.sy, dest.height - c.dy);
  return c.w > 0 && c.h > 0;
}

template <typename Op>
void combine(Bitmap& dest, const Bitmap& src, const Clip& c, Op op) {
  const size_t n = static_cast<size_t>(c.w) * 3;
  for (int row = 0; row < c.h; ++row) {
    uint8_t* d = &dest.pixels[(static_cast<size_t>(c.dy + row) * dest.width + c.dx) * 3];
    const uint8_t* s = &src.pixels[(static_cast<size_t>(c.sy + row) * src.width + c.sx) * 3];
    for (size_t i = 0; i < n; ++i) d[i] = op(d[i], s[i]);
  }
}

}  // namespace

void blit(Bitmap& dest, const Bitmap& src, int x, int y, RasterOp rop) {
  Clip c;
  if (!clip(dest, src, x, y, c)) return;
  switch (rop) {
    case RasterOp::kSrcCopy:
      combine(dest, src, c, [](uint8_t, uint8_t s) { return s; });
      return;
    case RasterOp::kSrcAnd:
      combine(dest, src, c, [](uint8_t d, uint8_t s) { return static_cast<uint8_t>(d & s); });
      return;
    case RasterOp::kMergePaint:
      combine(dest, src, c, [](uint8_t d, uint8_t s) { return static_cast<uint8_t>(d | ~s); });
      return;
  }
  raise(err::kInvalidCall, "unknown raster operation");
}

void copyInto(Bitmap& dest, const Bitmap& src, int x, int y) {
  Clip c;
  if (!clip(dest, src, x, y, c)) return;
  const size_t n = static_cast<size_t>(c.w) * 3;
  if (c.w == dest.width && c.w == src.width) {
    // Whole rows on both sides: one contiguous copy.
    std::memcpy(&dest.pixels[static_cast<size_t>(c.dy) * n],
                &src.pixels[static_cast<size_t>(c.sy) * n], n * c.h);
    return;
  }
  for (int row = 0; row < c.h; ++row) {
    std::memcpy(&dest.pixels[(static_cast<size_t>(c.dy + row) * dest.width + c.dx) * 3],
                &src.pixels[(static_cast<size_t>(c.sy + row) * src.width + c.sx) * 3], n);
  }
}

}  // namespace platform
