#pragma once

#include "platform/runtime.h"

namespace rules {

// The game's project description: its two forms, starting with the title screen.
platform::Project morofinProject();

}  // namespace rules
