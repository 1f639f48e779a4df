// Writes the desktop's icons for the installed game: the 32 x 32 icon picture as PNG files at each
// size the desktop asks for, scaled by whole blocks so the pixels stay crisp. Run by the build.
//   morofin_make_icons <folder> <size>...   writes <folder>/<size>.png for each size
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/xpm.h"

namespace {

#include "assets/pictures/icon.xpm"

void put32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xff);
}

void chunk(std::string& out, const char* type, const std::string& data) {
  put32(out, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  put32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                         static_cast<uInt>(body.size()))));
}

// An 8-bit RGB PNG of `bmp` scaled by `factor` (nearest neighbour).
std::string png(const platform::Bitmap& bmp, int factor) {
  const int w = bmp.width * factor, h = bmp.height * factor;
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(h) * (1 + 3 * w));
  for (int y = 0; y < h; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < w; ++x) {
      const platform::Rgb c = bmp.at(x / factor, y / factor);
      raw.insert(raw.end(), {c.r, c.g, c.b});
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(),
                static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
    throw std::runtime_error("zlib could not compress the icon");
  packed.resize(packedSize);

  std::string header;
  put32(header, static_cast<uint32_t>(w));
  put32(header, static_cast<uint32_t>(h));
  header += std::string{8, 2, 0, 0, 0};  // 8 bits a sample, RGB, deflate, no filter, no interlace
  std::string out = "\x89PNG\r\n\x1a\n";
  chunk(out, "IHDR", header);
  chunk(out, "IDAT", packed);
  chunk(out, "IEND", "");
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <folder> <size>...\n", argv[0]);
    return 2;
  }
  try {
    const platform::Bitmap bmp = platform::decodeXpm(icon, sizeof icon / sizeof icon[0]);
    for (int i = 2; i < argc; ++i) {
      const int size = std::atoi(argv[i]);
      if (size <= 0 || size % bmp.width != 0 || bmp.width != bmp.height) {
        std::fprintf(stderr, "%s: %s is not a whole multiple of the %d px icon\n", argv[0], argv[i],
                     bmp.width);
        return 2;
      }
      const std::string path = std::string(argv[1]) + "/" + argv[i] + ".png";
      std::ofstream f(path, std::ios::binary);
      f << png(bmp, size / bmp.width);
      if (!f.flush()) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
        return 1;
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
