#include "platform/sdl/soundfont.h"

#include <fluidsynth.h>

#include <cstdlib>
#include <filesystem>

namespace platform::sdl {

std::string findSoundfont() {
  namespace fs = std::filesystem;
  if (const char* env = std::getenv("MOROFIN_SOUNDFONT"))
    return fs::is_regular_file(env) ? env : "";
  for (const char* p :
       {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/soundfonts/default.sf2"}) {
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) return p;
  }
  return fluidsynthDefaultSoundfont();
}

std::string fluidsynthDefaultSoundfont() {
  fluid_settings_t* settings = new_fluid_settings();
  if (!settings) return {};
  std::string found;
  char* path = nullptr;
  if (fluid_settings_getstr_default(settings, "synth.default-soundfont", &path) == FLUID_OK &&
      path) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) found = path;
  }
  delete_fluid_settings(settings);
  return found;
}

}  // namespace platform::sdl
