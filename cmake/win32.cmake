# The Windows desktop provider and the program itself: the system's own windows, keys, MIDI
# synthesizer and wave playback.
enable_language(RC)
add_library(morofin_win32 STATIC
  platform/win32/win32_provider.cpp
  platform/win32/win32_sound.cpp
  platform/win32/xinput_pads.cpp)
target_link_libraries(morofin_win32 PUBLIC morofin_platform imm32 winmm gdi32 user32)

configure_file(app/morofin.rc.in ${CMAKE_BINARY_DIR}/morofin.rc @ONLY)
# A desktop program: no console window opens beside it.
add_executable(morofin WIN32 app/main_win32.cpp ${CMAKE_BINARY_DIR}/morofin.rc)
target_link_libraries(morofin PRIVATE morofin_rules morofin_win32)
set_target_properties(morofin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(morofin morofin_assets morofin_sounds)
