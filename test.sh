#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs the whole test suite: the normal build
# (its sound tests also against PipeWire), then the same suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer; at the end the Windows build and its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2
bash tools/with-xvfb.sh ctest --test-dir build --output-on-failure
# The sound tests once more, against PipeWire's pulse server rather than a PulseAudio daemon.
bash tools/with-xvfb.sh tools/with-pipewire.sh build/tests/morofin_pulse_tests
bash tools/make-deb.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOROFIN_SANITIZE=ON -DMOROFIN_BUILD_BENCH=OFF
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0 \
  bash tools/with-xvfb.sh ctest --test-dir build-asan --output-on-failure
bash tools/fuzz.sh 20000
# The Windows build (MinGW-w64) and its headless tests under Wine, in a Wine prefix of the build's
# own whose Wine server ends with them.
bash tools/make-windows.sh
bash tools/with-xvfb.sh tools/test-windows.sh
# The real morofin.exe and its installer under Wine beside a window manager, each test in a Wine
# prefix of its own.
bash tools/with-xvfb.sh build/tests/morofin_x11_tests --gtest_filter='Wine.*'

