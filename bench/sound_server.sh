#!/usr/bin/env bash
# CPU of the sound server and of the game in each state of a game, the real program playing
# through its PulseAudio stream into a private PulseAudio daemon with a null sink. Run it as
#   tools/with-xvfb.sh tools/with-pulse.sh bench/sound_server.sh [seconds per state] [build folder]
# (the build folder, build by default, lets another build of the program be measured beside it)
# Figures are percent of one core, from the kernel's run-time accounting of every thread.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-5}
build=${2:-build}
[ -n "${MOROFIN_PULSE_PID:-}" ] || { echo "run under tools/with-pulse.sh" >&2; exit 2; }
runtime_ns() {  # the run time of a process: its living threads to the nanosecond, or, when the
  # process is the game (whose sound thread comes and goes), its own total with ended threads
  if [ "$1" = "$MOROFIN_PULSE_PID" ]; then
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%d", s}'
  else
    local hz
    hz=$(getconf CLK_TCK)
    sed 's/.*) //' /proc/"$1"/stat | awk -v hz="$hz" '{printf "%d", ($12 + $13) * 1e9 / hz}'
  fi
}
measure() {  # name: the CPU of both processes over $secs seconds
  local s0 g0 s1 g1
  s0=$(runtime_ns "$MOROFIN_PULSE_PID"); g0=$(runtime_ns "$game")
  sleep "$secs"
  s1=$(runtime_ns "$MOROFIN_PULSE_PID"); g1=$(runtime_ns "$game")
  local inputs
  inputs=$(pactl list short sink-inputs | wc -l)
  awk -v n="$1" -v s=$((s1 - s0)) -v g=$((g1 - g0)) -v t="$secs" -v i="$inputs" \
    'BEGIN {printf "%-22s sound server %6.2f %%   game %6.2f %%   streams %d\n", n, s/t/1e7, g/t/1e7, i}'
}
space() { xdotool key space; }
work=$(mktemp -d)
trap 'kill "$game" 2>/dev/null; wait "$game" 2>/dev/null; rm -rf "$work"' EXIT
cp -r "$build"/morofin "$build"/sound "$build"/data "$work/"
"$work/morofin" 2>"$work/err" &
game=$!
for _ in $(seq 100); do
  title=$(xdotool search --name 'V1.00$' 2>/dev/null | head -1) && [ -n "$title" ] && break
  sleep 0.05
done
sleep 1  # the soundfont loads
measure "title"
xdotool mousemove --window "$title" 300 252 click 1   # the shortest mode: 12.2 s of play
sleep 0.5
! xdotool search --name 'V1.00' >/dev/null || { echo "the game window did not come" >&2; exit 1; }
measure "playing (music)"
space
sleep 1  # wait.wav runs out
measure "paused"
space
sleep 13  # to the end of the clock and past end.wav
measure "game over"
