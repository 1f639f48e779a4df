#!/usr/bin/env bash
# Installs the build into a staging folder with DESTDIR, as a package build does, and checks what a
# player gets: the tree and its relative links, the desktop entry and metainfo (with the desktop's
# own validators when they are installed), and the installed launcher started up to a game with
# every sound file found. Exit status 77 when there is no X display to start it on.
#   tools/check_install.sh <build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
id=io.github.morofin.morofin
stage=$(mktemp -d "${TMPDIR:-/tmp}/morofin-install-XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$stage"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

DESTDIR="$stage/root" cmake --install "$build" --prefix /usr >"$stage/install.log"
usr="$stage/root/usr"

# The tree: the program with its folders beside it, all links relative and resolving inside it.
for f in lib/games/morofin/morofin lib/games/morofin/installed \
         share/games/morofin/sound/bgm_e.mid share/games/morofin/sound/get.wav \
         share/games/morofin/data/e.dat share/games/morofin/data/d.dat \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/man/man6/morofin.6.gz share/doc/morofin/copyright share/doc/morofin/changelog.gz; do
  [ -f "$usr/$f" ] || fail "$f is not installed"
done
[ -x "$usr/lib/games/morofin/morofin" ] || fail "the program is not executable"
for link in games/morofin lib/games/morofin/sound lib/games/morofin/data; do
  if [ ! -L "$usr/$link" ]; then fail "$link is not a symbolic link"; continue; fi
  target=$(readlink "$usr/$link")
  case "$target" in /*) fail "$link points to the absolute path $target" ;; esac
  resolved=$(readlink -f "$usr/$link")
  case "$resolved" in "$usr"/*) ;; *) fail "$link leads out of the installed tree: $resolved" ;; esac
done
[ "$(readlink -f "$usr/games/morofin")" = "$usr/lib/games/morofin/morofin" ] ||
  fail "the launcher does not lead to the program"
[ "$(readlink -f "$usr/lib/games/morofin/sound")" = "$usr/share/games/morofin/sound" ] ||
  fail "sound does not lead to the shared sound folder"

for size in 32 64 128 256; do
  png="$usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
  if [ ! -f "$png" ]; then fail "no ${size} px icon"; continue; fi
  # The PNG signature, then IHDR's width and height as big-endian numbers.
  [ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
  [ "$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')" = \
    "0 0 $((size / 256)) $((size % 256)) 0 0 $((size / 256)) $((size % 256))" ] ||
    fail "$png is not $size x $size"
done

# Compressed as Debian wants: no file name and no time stored (gzip -n), so rebuilds are identical.
for gz in share/man/man6/morofin.6.gz share/doc/morofin/changelog.gz; do
  # Byte 3 holds the flags (8: a name follows), bytes 4 to 7 the time.
  [ "$(od -An -tu1 -j3 -N5 "$usr/$gz" | tr -s ' ' | sed 's/^ //')" = "0 0 0 0 0" ] ||
    fail "$gz stores a name or a time"
done
grep -qx 'StartupWMClass=.*' "$usr/share/applications/$id.desktop" ||
  fail "the desktop entry has no StartupWMClass"
grep -qx 'Categories=Game;ArcadeGame;' "$usr/share/applications/$id.desktop" ||
  fail "the desktop entry is not listed among the arcade games"

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$usr/share/applications/$id.desktop" 2>&1) || true
  [ -z "$out" ] || fail "desktop-file-validate: $out"
else
  echo "desktop-file-validate is not installed: the desktop entry is not validated"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$usr/share/metainfo/$id.metainfo.xml" ||
    fail "appstreamcli finds errors in the metainfo"
else
  echo "appstreamcli is not installed: the metainfo is not validated"
fi
if command -v man >/dev/null; then
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$usr/share/man/man6/morofin.6.gz" 2>&1 >/dev/null) ||
    fail "man cannot show the man page"
  [ -z "$out" ] || fail "man page warnings: $out"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures problems in the installed tree" >&2
  exit 1
fi
echo "the installed tree is complete"

if [ -z "${DISPLAY:-}" ] || ! command -v xdotool >/dev/null || ! command -v xprop >/dev/null; then
  echo "skipped starting the installed game: no X display (run through tools/with-xvfb.sh) or no xdotool"
  exit 77
fi

# The installed launcher, run from the staging folder: nothing may depend on where it was built or
# on the prefix being /usr. The player's home is a fresh folder.
mkdir -p "$stage/home"
err="$stage/stderr.txt"
HOME="$stage/home" XDG_DATA_HOME="$stage/home/.local/share" SDL_AUDIODRIVER=dummy \
  MOROFIN_NO_ERROR_BOX=1 "$usr/games/morofin" 2>"$err" &
pid=$!

# The game's visible window of the given exact title, waiting up to ten seconds. The title is
# compared as UTF-8 (_NET_WM_NAME): xdotool's own name match reads the legacy WM_NAME.
window() {
  for _ in $(seq 100); do
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      if [ "$(xprop -id "$w" _NET_WM_NAME 2>/dev/null)" = "_NET_WM_NAME(UTF8_STRING) = \"$1\"" ]; then
        echo "$w"
        return 0
      fi
    done
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
title=$(window 'モロフィン！V1.00') || { cat "$err" >&2; echo "FAIL: no title screen" >&2; exit 1; }
class=$(grep '^StartupWMClass=' "$usr/share/applications/$id.desktop" | cut -d= -f2)
xprop -id "$title" WM_CLASS | grep -q "\"$class\", \"$class\"" ||
  fail "the window's class is not $class: $(xprop -id "$title" WM_CLASS)"

# The first mode's button (its middle, in the title window's own pixels), then a pause: the game's
# music and the pause effect are opened from the installed sound folder.
xdotool mousemove --window "$title" 378 156 click 1
window 'モロフィン！' >/dev/null || { cat "$err" >&2; echo "FAIL: no game screen" >&2; exit 1; }
sleep 0.5
xdotool key space
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "the installed game ended by itself"
if grep -q 'cannot play\|no General MIDI soundfont\|runs silent' "$err"; then
  fail "sound files or the soundfont were not found: $(cat "$err")"
fi
if [ "$failures" -ne 0 ]; then exit 1; fi
echo "the installed launcher starts the game with its sound"
