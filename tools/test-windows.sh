#!/usr/bin/env bash
# Runs the Windows build's tests (build-win/, made by tools/make-windows.sh) under Wine, in the
# build's own Wine prefix, and ends that prefix's Wine server afterwards. One Wine server stays up
# for the whole run, so that each test program starts in a fraction of a second rather than
# seconds. Run it under an X server (tools/with-xvfb.sh), as Wine expects one.
#   tools/test-windows.sh [more ctest options]
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=$(sed -n 's/^MOROFIN_WINEPREFIX:PATH=//p' build-win/CMakeCache.txt)
[ -n "$prefix" ] || { echo "test-windows: build-win/ is not configured; run tools/make-windows.sh" >&2; exit 1; }
export WINEPREFIX=$prefix
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
mkdir -p "$WINEPREFIX"
# A server that the build's own runs left behind ends a few seconds after them; then one that
# stays, until the end of this script.
"$wineserver" -w
trap '"$wineserver" -k 2>/dev/null || true; "$wineserver" -w 2>/dev/null || true' EXIT
"$wineserver" -p
# The prefix is made (once) by the first program run in it.
tools/wine-run.sh "$WINEPREFIX" cmd /c exit >/dev/null 2>&1 || true
ctest --test-dir build-win --output-on-failure "$@"
