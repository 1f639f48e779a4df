#!/usr/bin/env bash
# The Windows build under Wine (run under an X server): the tick beside a bare sleeper, and the
# start-up of morofin.exe to its title window, median of 5 starts. These are Wine's figures on
# this machine, not a Windows machine's. Needs tools/make-windows.sh to have built build-win/.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=$(mktemp -d /tmp/morofin-bench-wine-XXXXXX)
trap 'WINEPREFIX=$prefix/p /usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
tools/wine-run.sh "$prefix/p" wineboot --init 2>/dev/null
[ "${1:-}" = startup ] || tools/wine-run.sh "$prefix/p" build-win/bench/morofin_bench_win_tick.exe 2>/dev/null
# Keep one Wine server for the prefix, as a running desktop session has.
WINEPREFIX=$prefix/p /usr/lib/wine/wineserver -p || true  # one may run already
times=()
for _ in 1 2 3 4 5; do
  t0=$(date +%s%N)
  WINEPREFIX=$prefix/p WINEDEBUG=-all /usr/lib/wine/wine64 build-win/morofin.exe >/dev/null 2>&1 &
  pid=$!
  xdotool search --sync --onlyvisible --name 'V1\.00' >/dev/null
  t1=$(date +%s%N)
  times+=($(( (t1 - t0) / 1000000 )))
  kill "$pid"; wait "$pid" 2>/dev/null || true
  sleep 0.5
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start-up to the title window under Wine: median ${sorted[2]} ms (runs: ${times[*]} ms)"
