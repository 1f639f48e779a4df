#pragma once

#include "platform/picture.h"

namespace screens {

// Every picture the two screens carry, decoded once from the pixel maps built into the program.
struct Pictures {
  platform::Picture field;  // the clean playfield background
  platform::Picture clock;
  platform::Picture icon;
  platform::Picture num[10];
  platform::Picture wobo[7];  // by facing index; 4 is the mask
  platform::Picture zeka[7];
};

const Pictures& pictures();

}  // namespace screens
