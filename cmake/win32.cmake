# The Windows desktop provider and the program itself: the system's own windows, keys, MIDI
# synthesizer and wave playback.
enable_language(RC)
add_library(morofin_win32 STATIC
  platform/win32/win32_provider.cpp
  platform/win32/win32_sound.cpp
  platform/win32/xinput_pads.cpp)
target_link_libraries(morofin_win32 PUBLIC morofin_platform imm32 winmm gdi32 user32)

# The program's icon, made from the icon picture (the window's own icon is the design's).
add_executable(morofin_make_ico tools/make_ico.cpp)
target_link_libraries(morofin_make_ico PRIVATE morofin_platform)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/morofin.ico
  COMMAND morofin_make_ico ${CMAKE_BINARY_DIR}/morofin.ico
  DEPENDS morofin_make_ico
  COMMENT "Making the program's icon")
set(MOROFIN_ICO ${CMAKE_BINARY_DIR}/morofin.ico)
add_custom_target(morofin_ico DEPENDS ${MOROFIN_ICO})
configure_file(app/morofin.rc.in ${CMAKE_BINARY_DIR}/morofin.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/morofin.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/morofin.ico)
# A desktop program: no console window opens beside it.
add_executable(morofin WIN32 app/main_win32.cpp ${CMAKE_BINARY_DIR}/morofin.rc)
target_link_libraries(morofin PRIVATE morofin_rules morofin_win32)
set_target_properties(morofin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(morofin morofin_assets morofin_sounds morofin_ico)

# The packages: a zip to unpack anywhere, and an installer made with NSIS (makensis).
set(MOROFIN_STAGE ${CMAKE_BINARY_DIR}/package/morofin-${PROJECT_VERSION})
set(MOROFIN_ZIP ${CMAKE_BINARY_DIR}/morofin-${PROJECT_VERSION}-windows-x64.zip)
set(MOROFIN_SETUP ${CMAKE_BINARY_DIR}/morofin-${PROJECT_VERSION}-setup.exe)
configure_file(packaging/windows/README.txt ${CMAKE_BINARY_DIR}/package/README.txt @ONLY)
configure_file(packaging/windows/morofin.nsi.in ${CMAKE_BINARY_DIR}/package/morofin.nsi @ONLY)
find_program(MOROFIN_MAKENSIS makensis)
add_custom_command(OUTPUT ${MOROFIN_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${MOROFIN_STAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MOROFIN_STAGE}/data
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:morofin> ${MOROFIN_STAGE}/
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_BINARY_DIR}/sound ${MOROFIN_STAGE}/sound
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/data ${MOROFIN_STAGE}/data
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/LICENSE ${MOROFIN_STAGE}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/package/README.txt ${MOROFIN_STAGE}/
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package
          ${CMAKE_COMMAND} -E tar cf ${MOROFIN_ZIP} --format=zip morofin-${PROJECT_VERSION}
  DEPENDS morofin morofin_sounds ${CMAKE_BINARY_DIR}/package/README.txt
  COMMENT "Packing ${MOROFIN_ZIP}")
add_custom_command(OUTPUT ${MOROFIN_SETUP}
  COMMAND ${MOROFIN_MAKENSIS} -V2 ${CMAKE_BINARY_DIR}/package/morofin.nsi
  DEPENDS ${MOROFIN_ZIP} ${CMAKE_BINARY_DIR}/package/morofin.nsi
  COMMENT "Making the installer ${MOROFIN_SETUP}")
if(MOROFIN_MAKENSIS)
  add_custom_target(morofin_packages ALL DEPENDS ${MOROFIN_ZIP} ${MOROFIN_SETUP})
else()
  message(WARNING "makensis not found: the installer is not made (Debian's nsis has it)")
  add_custom_target(morofin_packages ALL DEPENDS ${MOROFIN_ZIP})
endif()

# The tick on Windows beside a bare sleeper (bench/run_all.sh runs it under Wine).
if(BUILD_TESTING)
  add_executable(morofin_bench_win_tick bench/win_tick_period.cpp)
  target_link_libraries(morofin_bench_win_tick PRIVATE morofin_rules morofin_win32)
  set_target_properties(morofin_bench_win_tick PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                        ${CMAKE_BINARY_DIR}/bench)
endif()
