// Golden pictures on Windows, where there is no libpng: our own PNG code.
#include <fstream>
#include <sstream>

#include "tests/png_codec.h"
#include "tests/png_io.h"
#include "tests/testkit.h"

namespace testkit {

bool writePng(const platform::Bitmap& b, const std::string& path) {
  std::ofstream f(fromUtf8(path), std::ios::binary);
  f << png::encode(b);
  return static_cast<bool>(f.flush());
}

std::optional<platform::Bitmap> readPng(const std::string& path) {
  std::ifstream f(fromUtf8(path), std::ios::binary);
  if (!f) return std::nullopt;
  std::stringstream s;
  s << f.rdbuf();
  return png::decode(s.str());
}

}  // namespace testkit
