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

NativeImage NativeImage::from(const Bitmap& b, PixelFormat f) {
  NativeImage n(b.width, b.height, f);
  const uint8_t* s = b.pixels.data();
  for (uint32_t& d : n.pixels) {
    d = f.pack({s[0], s[1], s[2]});
    s += 3;
  }
  return n;
}

Bitmap NativeImage::toBitmap() const {
  Bitmap b(width, height);
  uint8_t* d = b.pixels.data();
  for (uint32_t p : pixels) {
    const Rgb c = format.unpack(p);
    d[0] = c.r;
    d[1] = c.g;
    d[2] = c.b;
    d += 3;
  }
  return b;
}

const NativeImage& Picture::native(PixelFormat f) const {
  if (!native_->made || native_->image.format != f) {
    native_->image = NativeImage::from(*bitmap_, f);
    native_->made = true;
  }
  return native_->image;
}

Rect intersect(Rect a, Rect b) {
  int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  int x1 = std::min(a.x + a.w, b.x + b.w), y1 = std::min(a.y + a.h, b.y + b.h);
  return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

Rect unite(Rect a, Rect b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
  return {x0, y0, x1 - x0, y1 - y0};
}

namespace {

template <typename Op>
void combineNative(NativeImage& dest, const NativeImage& src, Rect d, int sx, int sy, Op op) {
  for (int row = 0; row < d.h; ++row) {
    uint32_t* dp = dest.row(d.y + row) + d.x;
    const uint32_t* sp = src.row(sy + row) + sx;
    for (int i = 0; i < d.w; ++i) dp[i] = op(dp[i], sp[i]);
  }
}

}  // namespace

Rect blit(NativeImage& dest, const NativeImage& src, int x, int y, RasterOp rop) {
  const Rect d = intersect({x, y, src.width, src.height}, {0, 0, dest.width, dest.height});
  if (d.empty()) return {};
  const int sx = d.x - x, sy = d.y - y;
  const uint32_t channels = dest.format.channelMask();
  switch (rop) {
    case RasterOp::kSrcCopy:
      combineNative(dest, src, d, sx, sy, [](uint32_t, uint32_t s) { return s; });
      return d;
    case RasterOp::kSrcAnd:
      combineNative(dest, src, d, sx, sy, [](uint32_t a, uint32_t s) { return a & s; });
      return d;
    case RasterOp::kMergePaint:
      combineNative(dest, src, d, sx, sy,
                    [channels](uint32_t a, uint32_t s) { return a | (~s & channels); });
      return d;
  }
  raise(err::kInvalidCall, "unknown raster operation");
}

void copyRect(NativeImage& dest, const NativeImage& src, Rect r) {
  r = intersect(r, {0, 0, std::min(dest.width, src.width), std::min(dest.height, src.height)});
  if (r.empty()) return;
  if (r.x == 0 && r.w == dest.width && dest.width == src.width) {
    std::memcpy(dest.row(r.y), src.row(r.y), static_cast<size_t>(r.w) * r.h * 4);
    return;
  }
  for (int y = r.y; y < r.y + r.h; ++y)
    std::memcpy(dest.row(y) + r.x, src.row(y) + r.x, static_cast<size_t>(r.w) * 4);
}

}  // namespace platform
