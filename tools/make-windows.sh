#!/usr/bin/env bash
# Builds everything that exists for Windows so far into build-win/: the portable runtime, the game's
# libraries, the headless provider and the test programs, cross-built with Debian's MinGW-w64,
# statically linked, warnings as errors. Installs what is missing first (MinGW-w64, Wine for the
# tests, GoogleTest's sources). Then: ctest --test-dir build-win runs the tests under Wine.
#   tools/make-windows.sh [more CMake options]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++-mingw-w64-x86-64-posix wine64 googletest cmake nsis)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    sudo_cmd=()
  elif command -v sudo >/dev/null 2>&1; then
    sudo_cmd=(sudo)
  else
    echo "make-windows: these packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
    exit 1
  fi
  echo "make-windows: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Other package runs on the machine may hold dpkg's lock for a while.
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 update -qq
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/windows-toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DMOROFIN_BUILD_BENCH=OFF "$@"
cmake --build build-win -j2
