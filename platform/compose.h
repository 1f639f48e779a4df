#pragma once

#include "platform/form.h"
#include "platform/picture.h"

namespace platform {

// Composes a loaded form's client area as the player sees it: the form's colour, then labels and
// images, then picture boxes (with the labels inside them over their image), buttons and text
// boxes. Both providers show exactly this image.
Bitmap composeWindow(Form& form);
void composeWindowInto(Form& form, Bitmap& out);

}  // namespace platform
