#!/usr/bin/env bash
# Every measurement, in one run: the tick and the composed frame against a plain frame copy, the
# tick period beside a bare sleeper and a tick all the way to the screen in a real window, the
# whole program's CPU time with its synthesizer running, start-up and mode-button timings, a
# game's length per mode on the real clock and the peak memory; then the sound: CPU per state,
# when sounds are heard, 100 catches and the server's return on PulseAudio and on PipeWire, music
# start and memory per soundfont, and each tune's loudness before and after the limiter. Needs a
# built tree (cmake --build build). MOROFIN_BASELINE=folder (another build, of main say) has its
# sound CPU measured beside ours in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "== one tick and one frame against a plain 640 x 320 frame copy (medians of 9 repetitions)"
python3 bench/frame_ratio.py build/bench/morofin_bench_frame
echo
echo "== the 10 ms tick in a real window under Xvfb"
SDL_AUDIODRIVER=dummy tools/with-xvfb.sh build/bench/morofin_bench_tick
echo
echo "== the whole program's CPU time, its synthesizer writing to /dev/null through SDL's disk driver"
tools/with-xvfb.sh build/bench/morofin_bench_cpu "${2:-3}"
echo
echo "== the real program, timed from outside"
tools/with-xvfb.sh build/bench/morofin_bench_window "${1:-7}"
echo
echo "== sound on a private PulseAudio daemon: CPU per state, then when sounds are heard"
tools/with-xvfb.sh tools/with-pulse.sh bench/sound_server.sh 10
if [ -n "${MOROFIN_BASELINE:-}" ]; then
  echo "-- the same for $MOROFIN_BASELINE"
  tools/with-xvfb.sh tools/with-pulse.sh bench/sound_server.sh 10 "$MOROFIN_BASELINE"
fi
tools/with-xvfb.sh build/bench/morofin_bench_sound 3
echo
echo "== 100 catches in a row and the server's return: PulseAudio, then PipeWire"
tools/with-xvfb.sh build/bench/morofin_bench_sound 10 catches | grep get.wav
tools/with-xvfb.sh build/bench/morofin_bench_sound 3 server | grep return
tools/with-xvfb.sh tools/with-pipewire.sh build/bench/morofin_bench_sound 10 catches | grep get.wav
tools/with-xvfb.sh tools/with-pipewire.sh build/bench/morofin_bench_sound 3 server | grep return
echo
echo "== each tune's loudness through the synthesizer, before and after the limiter"
build/bench/morofin_bench_loudness /usr/share/sounds/sf2/TimGM6mb.sf2 60 | tail -3
if [ -f build-win/bench/morofin_bench_win_tick.exe ]; then
  echo
  echo "== the Windows build under Wine (Wine's figures on this machine, not a Windows machine's)"
  tools/with-xvfb.sh bench/wine.sh
fi
