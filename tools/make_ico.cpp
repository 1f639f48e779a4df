// Writes the Windows icon of the program: the 32 x 32 icon picture at the sizes Windows shows
// (16, 32, 48 and 64 pixels, scaled by nearest pixel so they stay crisp), as one .ico file of
// 32-bit images. Run by the Windows build.
//   morofin_make_ico <file.ico>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/xpm.h"

namespace {

#include "assets/pictures/icon.xpm"

void put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>((v >> 8) & 0xff);
}
void put32(std::string& out, uint32_t v) {
  put16(out, v & 0xffff);
  put16(out, v >> 16);
}

// One image of the icon: a bitmap header of twice the height (the colours, then the mask), the
// pixels bottom row first, and an all-clear mask: every pixel opaque.
std::string image(const platform::Bitmap& b, int size) {
  std::string out;
  put32(out, 40);
  put32(out, static_cast<uint32_t>(size));
  put32(out, static_cast<uint32_t>(size * 2));
  put16(out, 1);
  put16(out, 32);
  for (int i = 0; i < 6; ++i) put32(out, 0);
  for (int y = size - 1; y >= 0; --y)
    for (int x = 0; x < size; ++x) {
      const size_t i =
          (static_cast<size_t>(y * b.height / size) * b.width + x * b.width / size) * 3;
      out += static_cast<char>(b.pixels[i + 2]);
      out += static_cast<char>(b.pixels[i + 1]);
      out += static_cast<char>(b.pixels[i]);
      out += static_cast<char>(0xff);
    }
  const int maskRow = (size + 31) / 32 * 4;
  out.append(static_cast<size_t>(maskRow) * size, '\0');
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: morofin_make_ico <file.ico>\n");
    return 2;
  }
  const platform::Bitmap bmp = platform::decodeXpm(icon, sizeof icon / sizeof icon[0]);
  const int sizes[] = {16, 32, 48, 64};
  std::vector<std::string> images;
  for (int s : sizes) images.push_back(image(bmp, s));
  std::string out;
  put16(out, 0);
  put16(out, 1);  // an icon
  put16(out, static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    out += static_cast<char>(sizes[i]);
    out += static_cast<char>(sizes[i]);
    out += '\0';  // no palette
    out += '\0';
    put16(out, 1);
    put16(out, 32);
    put32(out, static_cast<uint32_t>(images[i].size()));
    put32(out, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& img : images) out += img;
  std::ofstream f(argv[1], std::ios::binary);
  f.write(out.data(), static_cast<std::streamsize>(out.size()));
  if (!f) {
    std::fprintf(stderr, "morofin_make_ico: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
