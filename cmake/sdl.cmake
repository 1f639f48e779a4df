# The desktop provider and the program itself.
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
find_package(X11 REQUIRED)

add_library(morofin_sdl STATIC
  platform/sdl/audio.cpp
  platform/sdl/audio_mixer.cpp
  platform/sdl/audio_output.cpp
  platform/sdl/audio_sequencer.cpp
  platform/sdl/audio_synth.cpp
  platform/sdl/gamepads.cpp
  platform/sdl/global_keys.cpp
  platform/sdl/late_synth.cpp
  platform/sdl/limiter.cpp
  platform/sdl/pulse_output.cpp
  platform/sdl/sdl_provider.cpp
  platform/sdl/soundfont.cpp
  platform/sdl/window_manager.cpp
  platform/sdl/x11_connection.cpp)
target_link_libraries(morofin_sdl PUBLIC morofin_platform PkgConfig::SDL2 PkgConfig::FLUIDSYNTH PkgConfig::ALSA PkgConfig::PULSE X11::X11)

add_executable(morofin app/main.cpp)
target_link_libraries(morofin PRIVATE morofin_rules morofin_sdl)
set_target_properties(morofin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(morofin morofin_assets morofin_sounds)
