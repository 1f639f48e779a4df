#!/usr/bin/env bash
# Runs a command beside a private PipeWire (what desktops run today): its own session bus,
# pipewire, wireplumber and pipewire-pulse in their own runtime and home folders, with one null
# sink ("morofin") made through the pulse server, all ended afterwards by their process ids. The
# command gets what tools/with-pulse.sh gives it (PULSE_SERVER, SDL_AUDIODRIVER=pulseaudio,
# MOROFIN_PULSE_PID: here pipewire-pulse) and MOROFIN_TEST_SOUND_SERVER(_PID), which point the
# sound tests at this server instead of a PulseAudio daemon of their own.
set -euo pipefail
for tool in dbus-daemon pipewire wireplumber pipewire-pulse pactl; do
  command -v "$tool" >/dev/null || { echo "with-pipewire: $tool is not installed" >&2; exit 1; }
done
dir=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$dir" HOME="$dir" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus"
dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" >"$dir/dbus.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$dir/bus" ] && break; sleep 0.05; done
pipewire >"$dir/pipewire.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$dir/pipewire-0" ] && break; sleep 0.05; done
wireplumber >"$dir/wireplumber.log" 2>&1 &
pids+=($!)
pipewire-pulse >"$dir/pipewire-pulse.log" 2>&1 &
pulse=$!
pids+=($pulse)
export PULSE_SERVER="unix:$dir/pulse/native"
started=
for _ in $(seq 200); do
  if pactl info >/dev/null 2>&1; then started=1; break; fi
  sleep 0.05
done
[ -n "$started" ] || { tail -n 5 "$dir"/*.log >&2; echo "with-pipewire: no pulse server" >&2; exit 1; }
pactl load-module module-null-sink sink_name=morofin rate=44100 >/dev/null
# wireplumber makes the new sink the default once it has seen it
ready=
for _ in $(seq 200); do
  if pactl info 2>/dev/null | grep -q '^Default Sink: morofin$'; then ready=1; break; fi
  sleep 0.05
done
[ -n "$ready" ] || { tail -n 5 "$dir"/*.log >&2; echo "with-pipewire: the null sink is not the default" >&2; exit 1; }
export SDL_AUDIODRIVER=pulseaudio MOROFIN_PULSE_PID=$pulse
export MOROFIN_TEST_SOUND_SERVER="$PULSE_SERVER" MOROFIN_TEST_SOUND_SERVER_PID=$pulse
"$@"
