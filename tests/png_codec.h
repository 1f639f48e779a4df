#pragma once

// PNG without libpng, for systems that have none (Debian has no libpng built for Windows): the
// golden pictures are read there with this, and a picture is written uncompressed.
#include <optional>
#include <string>

#include "platform/picture.h"

namespace testkit::png {

// A non-interlaced PNG of 1 to 16 bits a sample, grey, RGB, palette, with or without alpha, as
// 8-bit RGB (alpha dropped, 16-bit samples cut to their high byte); nothing when it is not such a
// PNG or is damaged.
std::optional<platform::Bitmap> decode(const std::string& bytes);

// An 8-bit RGB PNG whose image data is stored without compression.
std::string encode(const platform::Bitmap& b);

}  // namespace testkit::png
