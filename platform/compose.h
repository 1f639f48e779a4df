#pragma once

#include <cstdint>
#include <vector>

#include "platform/form.h"
#include "platform/picture.h"

namespace platform {

// Where a window's client area is composed: 32-bit pixels in the screen's format, `stride`
// pixels from one row to the next, every client-area pixel drawn as a scale x scale block.
struct Canvas {
  uint32_t* pixels = nullptr;
  int width = 0, height = 0, stride = 0;
  PixelFormat format;
  int scale = 1;

  static Canvas over(NativeImage& image, int scale = 1) {
    return {image.pixels.data(), image.width, image.height, image.width, image.format, scale};
  }
  uint32_t* row(int y) const { return pixels + static_cast<size_t>(y) * stride; }
};

// Composes the part `clip` (client-area pixels) of a loaded form as the player sees it: the
// form's colour, then labels and images, then picture boxes (with the labels inside them over
// their image), buttons and text boxes. Both providers show exactly this image.
void composeRect(Form& form, const Canvas& canvas, Rect clip);

// Brings a kept window image up to date: recomposes what the form marked as changed since the
// last call and returns those places in canvas pixels, for presenting.
std::vector<Rect> composeChanges(Form& form, const Canvas& canvas);

// The whole client area as RGB, composed afresh.
Bitmap composeWindow(Form& form, int scale = 1);

}  // namespace platform
