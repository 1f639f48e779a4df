#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/design.h"

namespace platform {

// A caption rendered to coverage values (0..255), one byte a pixel.
struct TextImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> alpha;
};

// Text rasterised with FreeType through fontconfig. The designs ask for "ＭＳ Ｐゴシック"; it is
// looked up as that name first, then as a Japanese proportional gothic such as IPA P Gothic.
// Sizes are points at 96 dots per inch.
class Fonts {
 public:
  // Renders one line of UTF-8 text; an empty image when no usable font is installed.
  static const TextImage& render(const FontSpec& font, const std::string& utf8);
  // The font file the designs' face resolves to, or empty when there is none.
  static const std::string& fontFile();
  // Why no font could be used, or empty.
  static const std::string& problem();
};

}  // namespace platform
