#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds the game and starts it.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2
exec build/morofin
