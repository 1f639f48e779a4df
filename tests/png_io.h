#pragma once

#include <optional>
#include <string>

#include "platform/picture.h"

namespace testkit {

// Golden pictures are PNG files, so that a person can open them.
bool writePng(const platform::Bitmap& b, const std::string& path);
// An 8-bit RGB or RGBA PNG as RGB; nothing when the file is missing or not such a PNG.
std::optional<platform::Bitmap> readPng(const std::string& path);

}  // namespace testkit
