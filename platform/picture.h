#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(Rgb, Rgb) = default;
};

// A 24-bit RGB image, rows top to bottom, three bytes a pixel.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  Bitmap() = default;
  Bitmap(int w, int h, Rgb fill = {255, 255, 255});
  Rgb at(int x, int y) const {
    const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
  void set(int x, int y, Rgb c) {
    uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
  }
  void fillRect(int x, int y, int w, int h, Rgb c);
};

// A picture object as controls hold it: shared by reference, its pixels never change.
class Picture {
 public:
  Picture() = default;
  explicit Picture(std::shared_ptr<const Bitmap> b) : bitmap_(std::move(b)) {}
  static Picture of(Bitmap b) { return Picture(std::make_shared<const Bitmap>(std::move(b))); }

  const Bitmap* bitmap() const { return bitmap_.get(); }
  bool empty() const { return !bitmap_; }
  int width() const { return bitmap_ ? bitmap_->width : 0; }
  int height() const { return bitmap_ ? bitmap_->height : 0; }
  // Two pictures are the same when they are the same object, not when their pixels agree.
  friend bool operator==(const Picture& a, const Picture& b) { return a.bitmap_ == b.bitmap_; }

 private:
  std::shared_ptr<const Bitmap> bitmap_;
};

// Raster operations of PaintPicture, by their 32-bit codes.
enum class RasterOp : int32_t {
  kSrcCopy = 0x00CC0020,
  kSrcAnd = 0x008800C6,      // dest = dest AND src
  kMergePaint = 0x00BB0226,  // dest = dest OR (NOT src)
};

// Draws all of src at (x, y) into dest, clipped to dest, combining every channel bit by rop.
void blit(Bitmap& dest, const Bitmap& src, int x, int y, RasterOp rop);

// Copies src into the rectangle of dest at (x, y), clipped (used when composing windows).
void copyInto(Bitmap& dest, const Bitmap& src, int x, int y);

}  // namespace platform
