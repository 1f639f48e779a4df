#pragma once

#include "platform/design.h"

namespace screens {

// The two screen designs, as data: every control with its design-time properties.
const platform::FormDesign& titleDesign();
const platform::FormDesign& gameDesign();

// One row of the mode table: what a mode button hands to the game screen.
struct ModeRow {
  const char* key;
  const char* timeText;
  const char* speedText;
  const char* displayName;
};
inline constexpr ModeRow kModeTable[4] = {
    {"e", "91", "-2", "イージー"},
    {"n", "81", "-1", "ノーマル"},
    {"h", "71", "0", "ハード"},
    {"d", "61", "+1", "ディフィカルト"},
};

inline constexpr const char* kGothic = "ＭＳ Ｐゴシック";

}  // namespace screens
