#!/usr/bin/env bash
# Runs a command beside a private PulseAudio daemon with one null sink ("morofin"), started here and
# ended afterwards by its process id. The command gets PULSE_SERVER, SDL_AUDIODRIVER=pulseaudio and
# MOROFIN_PULSE_PID (the daemon, for CPU figures); "parec -d morofin.monitor" records what it plays.
# The daemon has its own runtime and home folders, so it never meets a desktop's sound server. As
# root (CI) PulseAudio only warns that it is meant for a user session, which this private one is.
set -euo pipefail
command -v pulseaudio >/dev/null || { echo "with-pulse: pulseaudio is not installed" >&2; exit 1; }
dir=$(mktemp -d)
XDG_RUNTIME_DIR="$dir" HOME="$dir" pulseaudio --daemonize=no -n --exit-idle-time=-1 \
  --use-pid-file=no --disable-shm=yes --log-target=stderr --log-level=error \
  -L "module-null-sink sink_name=morofin rate=44100" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/native" 2>"$dir/log" &
pulse=$!
trap 'kill "$pulse" 2>/dev/null; wait "$pulse" 2>/dev/null; rm -rf "$dir"' EXIT
export PULSE_SERVER="unix:$dir/native" SDL_AUDIODRIVER=pulseaudio MOROFIN_PULSE_PID=$pulse
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  kill -0 "$pulse" 2>/dev/null || { cat "$dir/log" >&2; echo "with-pulse: pulseaudio did not start" >&2; exit 1; }
  sleep 0.05
done
"$@"
