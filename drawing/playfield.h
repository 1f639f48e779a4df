#pragma once

#include "platform/controls.h"
#include "platform/form.h"
#include "platform/int16.h"

namespace drawing {

// Where the two creatures stand and which way they face, as the frame shows them.
struct Sprites {
  platform::I16 zekaX, zekaY, zekaDir;
  platform::I16 woboX, woboY, woboDir;
};

// One frame of the playfield: the clean background, then the zeka and the wobo, each through its
// mask (index 4) first.
void drawFrame(platform::PictureBox& map, const platform::PictureBox& mapPicture,
               const platform::ControlArray<platform::PictureBox>& zeka,
               const platform::ControlArray<platform::PictureBox>& wobo, const Sprites& s);

}  // namespace drawing
