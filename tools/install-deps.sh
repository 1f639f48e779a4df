#!/usr/bin/env bash
# Installs the Debian 12 packages morofin needs to build, test and play, only those that are missing.
# Works as root and through sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic libpng-dev
  libsdl2-dev libx11-dev libxtst-dev
  libasound2-dev libpulse-dev libfluidsynth-dev timgm6mb-soundfont pulseaudio pulseaudio-utils
  fluid-soundfont-gm musescore-general-soundfont openttd-openmsx
  pipewire pipewire-pulse wireplumber dbus-daemon
  ibus ibus-anthy libglib2.0-bin libxres-dev
  xvfb xauth x11-utils x11-apps xdotool imagemagick openbox
  clang-14 libclang-rt-14-dev
  zlib1g-dev desktop-file-utils appstream lintian dpkg-dev file man-db
  util-linux
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo_cmd=()
elif command -v sudo >/dev/null 2>&1; then
  sudo_cmd=(sudo)
else
  echo "install-deps: these packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
