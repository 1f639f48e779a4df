#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, in the Wine prefix given first (made on
# first use), without Wine's debugging chatter. The Windows build's CMake runs its test programs
# and its tools through this.
#   wine-run.sh <prefix> program.exe [arguments...]
set -euo pipefail
export WINEPREFIX=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers when the prefix is made: nothing here needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1 || true
fi
exec "$wine" "$@"
