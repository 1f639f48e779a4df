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

// Text rasterised by the system: FreeType through fontconfig on Linux (text_freetype.cpp), GDI on
// Windows (text_gdi.cpp). The designs ask for "ＭＳ Ｐゴシック"; it is looked up as that name first,
// then as another Japanese gothic: on Linux a proportional one such as IPA P Gothic, on Windows
// Yu Gothic or Meiryo, which every Windows 10 and 11 has; failing those, any face that can show
// Japanese. Bold and italic are synthesised where a face has none. Sizes are points at 96 dots per
// inch.
class Fonts {
 public:
  // Renders one line of UTF-8 text; an empty image when no usable font is installed.
  static const TextImage& render(const FontSpec& font, const std::string& utf8);
  // What the designs' face resolves to (its file on Linux, its face name on Windows), or empty
  // when there is none.
  static const std::string& fontFile();
  // Why no font could be used, or empty.
  static const std::string& problem();
  // Which face stands in for the designed one, where the player should be told; else empty.
  static const std::string& faceNote();
};

}  // namespace platform
