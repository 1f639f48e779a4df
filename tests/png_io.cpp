#include "tests/png_io.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace testkit {
namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

}  // namespace

bool writePng(const platform::Bitmap& b, const std::string& path) {
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f.get());
  png_set_IHDR(png, info, b.width, b.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < b.height; ++y)
    png_write_row(png, b.pixels.data() + static_cast<size_t>(y) * b.width * 3);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::optional<platform::Bitmap> readPng(const std::string& path) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) return std::nullopt;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return std::nullopt;
  }
  png_init_io(png, f.get());
  png_read_info(png, info);
  // Whatever a picture editor saved: 8-bit RGB, no alpha.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  png_read_update_info(png, info);
  platform::Bitmap b;
  b.width = static_cast<int>(png_get_image_width(png, info));
  b.height = static_cast<int>(png_get_image_height(png, info));
  if (png_get_rowbytes(png, info) != static_cast<size_t>(b.width) * 3) {
    png_destroy_read_struct(&png, &info, nullptr);
    return std::nullopt;
  }
  b.pixels.resize(static_cast<size_t>(b.width) * b.height * 3);
  std::vector<png_bytep> rows(static_cast<size_t>(b.height));
  for (int y = 0; y < b.height; ++y)
    rows[y] = b.pixels.data() + static_cast<size_t>(y) * b.width * 3;
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  return b;
}

}  // namespace testkit
