# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the POSIX threads flavour, which
# std::thread and std::mutex need). tools/make-windows.sh configures build-win/ with this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MOROFIN_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MOROFIN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MOROFIN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${MOROFIN_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MOROFIN_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in: no MinGW runtime DLL has to travel beside a program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The tools and test programs run under Wine on the build machine, in a Wine prefix of the build's
# own.
set(MOROFIN_WINEPREFIX "${CMAKE_BINARY_DIR}/wine" CACHE PATH "Wine prefix of the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh;${MOROFIN_WINEPREFIX}")
