#include "platform/xpm.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/errors.h"

namespace platform {

Bitmap decodeXpm(const char* const* lines, size_t count) {
  int w = 0, h = 0, ncolours = 0, cpp = 0;
  if (count < 1 || std::sscanf(lines[0], "%d %d %d %d", &w, &h, &ncolours, &cpp) != 4 || cpp != 1 ||
      w <= 0 || h <= 0 || ncolours <= 0 || count < static_cast<size_t>(1 + ncolours + h))
    raise(err::kInvalidCall, "malformed picture header");
  std::array<Rgb, 256> table{};
  std::array<bool, 256> known{};
  for (int i = 0; i < ncolours; ++i) {
    const char* line = lines[1 + i];
    unsigned r = 0, g = 0, b = 0;
    if (std::strlen(line) < 2 || std::sscanf(line + 1, " c #%02x%02x%02x", &r, &g, &b) != 3)
      raise(err::kInvalidCall, std::string("malformed picture colour: ") + line);
    auto sym = static_cast<unsigned char>(line[0]);
    table[sym] = {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
    known[sym] = true;
  }
  Bitmap bmp(w, h);
  for (int y = 0; y < h; ++y) {
    const char* row = lines[1 + ncolours + y];
    if (std::strlen(row) != static_cast<size_t>(w))
      raise(err::kInvalidCall, "malformed picture row");
    for (int x = 0; x < w; ++x) {
      auto sym = static_cast<unsigned char>(row[x]);
      if (!known[sym]) raise(err::kInvalidCall, "unknown picture colour");
      bmp.set(x, y, table[sym]);
    }
  }
  return bmp;
}

}  // namespace platform
