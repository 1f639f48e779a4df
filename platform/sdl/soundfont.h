#pragma once

#include <string>

namespace platform::sdl {

// Where the soundfont is looked for: MOROFIN_SOUNDFONT, then Debian's usual places, then
// FluidSynth's own default.
std::string findSoundfont();

// FluidSynth's default soundfont when that file exists, else empty. Debian points it, through its
// alternatives, at the system's default General MIDI soundfont, whichever package provides it
// (.sf2 or .sf3).
std::string fluidsynthDefaultSoundfont();

}  // namespace platform::sdl
