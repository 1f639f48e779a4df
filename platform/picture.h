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

// Where the three 8-bit channels lie in a 32-bit pixel, as the screen keeps them. The remaining
// byte stays 0 in everything we draw.
struct PixelFormat {
  int rShift = 16, gShift = 8, bShift = 0;
  uint32_t pack(Rgb c) const {
    return uint32_t{c.r} << rShift | uint32_t{c.g} << gShift | uint32_t{c.b} << bShift;
  }
  Rgb unpack(uint32_t p) const {
    return {static_cast<uint8_t>(p >> rShift), static_cast<uint8_t>(p >> gShift),
            static_cast<uint8_t>(p >> bShift)};
  }
  uint32_t channelMask() const { return pack({255, 255, 255}); }
  friend bool operator==(PixelFormat, PixelFormat) = default;
};

// A 32-bit image in a screen's pixel format, rows one after another.
struct NativeImage {
  int width = 0;
  int height = 0;
  PixelFormat format;
  std::vector<uint32_t> pixels;

  NativeImage() = default;
  NativeImage(int w, int h, PixelFormat f, Rgb fill = {255, 255, 255})
      : width(w), height(h), format(f), pixels(static_cast<size_t>(w) * h, f.pack(fill)) {}
  static NativeImage from(const Bitmap& b, PixelFormat f);
  Rgb at(int x, int y) const { return format.unpack(pixels[static_cast<size_t>(y) * width + x]); }
  uint32_t* row(int y) { return &pixels[static_cast<size_t>(y) * width]; }
  const uint32_t* row(int y) const { return &pixels[static_cast<size_t>(y) * width]; }
  Bitmap toBitmap() const;
};

// A picture object as controls hold it: shared by reference, its pixels never change.
class Picture {
 public:
  Picture() = default;
  explicit Picture(std::shared_ptr<const Bitmap> b)
      : bitmap_(std::move(b)), native_(std::make_shared<Native>()) {}
  static Picture of(Bitmap b) { return Picture(std::make_shared<const Bitmap>(std::move(b))); }

  const Bitmap* bitmap() const { return bitmap_.get(); }
  // The same pixels in a screen's format, converted once and shared by every copy of the picture.
  const NativeImage& native(PixelFormat f) const;
  bool empty() const { return !bitmap_; }
  int width() const { return bitmap_ ? bitmap_->width : 0; }
  int height() const { return bitmap_ ? bitmap_->height : 0; }
  // Two pictures are the same when they are the same object, not when their pixels agree.
  friend bool operator==(const Picture& a, const Picture& b) { return a.bitmap_ == b.bitmap_; }

 private:
  struct Native {
    bool made = false;
    NativeImage image;
  };
  std::shared_ptr<const Bitmap> bitmap_;
  std::shared_ptr<Native> native_;
};

// Raster operations of PaintPicture, by their 32-bit codes.
enum class RasterOp : int32_t {
  kSrcCopy = 0x00CC0020,
  kSrcAnd = 0x008800C6,      // dest = dest AND src
  kMergePaint = 0x00BB0226,  // dest = dest OR (NOT src)
};

// A rectangle in pixels.
struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool empty() const { return w <= 0 || h <= 0; }
  friend bool operator==(Rect, Rect) = default;
};
Rect intersect(Rect a, Rect b);
// The smallest rectangle holding both (an empty one adds nothing).
Rect unite(Rect a, Rect b);

// Draws all of src at (x, y) into dest, clipped to dest, combining every channel bit by rop. The
// images are in a screen's format; the operations are bitwise on every channel, so they give the
// same colours in any format. Returns the part of dest that was drawn on.
Rect blit(NativeImage& dest, const NativeImage& src, int x, int y, RasterOp rop);
// Copies the rectangle r of src to the same place in dest (both of one size and format).
void copyRect(NativeImage& dest, const NativeImage& src, Rect r);

}  // namespace platform
