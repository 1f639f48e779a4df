#pragma once

#include <cstddef>

#include "platform/picture.h"

namespace platform {

// Decodes an XPM pixel map (one character per pixel, colours as #RRGGBB) as the game's pictures are
// kept. Raises a run-time error on a malformed map.
Bitmap decodeXpm(const char* const* lines, size_t count);

}  // namespace platform
