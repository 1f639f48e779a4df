#include "drawing/digits.h"

namespace drawing {

void showDigits(const platform::ControlArray<platform::Image>& display,
                const platform::ControlArray<platform::PictureBox>& num, platform::I16 tens,
                platform::I16 ones) {
  display[0].setPicture(num[tens].GetPicture());
  display[1].setPicture(num[ones].GetPicture());
}

}  // namespace drawing
