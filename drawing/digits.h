#pragma once

#include "platform/controls.h"
#include "platform/form.h"
#include "platform/int16.h"

namespace drawing {

// A two-digit display shows the digit pictures of num: item 0 the tens, item 1 the ones. The
// images share num's pictures.
void showDigits(const platform::ControlArray<platform::Image>& display,
                const platform::ControlArray<platform::PictureBox>& num, platform::I16 tens,
                platform::I16 ones);

}  // namespace drawing
