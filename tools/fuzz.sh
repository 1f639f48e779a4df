#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (command strings, score files, MIDI files) and runs each.
#   tools/fuzz.sh            a short run of each, as CI does
#   tools/fuzz.sh 1000000    a million inputs each
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20000}
out=build-fuzz
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -I. -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
platform=(platform/api.cpp platform/controls.cpp platform/errors.cpp platform/files.cpp platform/form.cpp
          platform/media.cpp platform/midi.cpp platform/picture.cpp platform/random.cpp platform/runtime.cpp
          platform/sequencer.cpp platform/xpm.cpp)
build() {
  local name=$1; shift
  if [ ! -x "$out/$name" ] || [ -n "$(find "$@" platform -newer "$out/$name" -name '*.[ch]*' | head -n1)" ]; then
    clang++-14 "${flags[@]}" "$@" -o "$out/$name"
  fi
}
build fuzz_mci tests/fuzz/fuzz_mci.cpp "${platform[@]}"
build fuzz_score tests/fuzz/fuzz_score.cpp storage/hiscore.cpp "${platform[@]}"
build fuzz_midi tests/fuzz/fuzz_midi.cpp "${platform[@]}"
for name in mci score midi; do
  work="$out/corpus-$name"
  mkdir -p "$work"
  echo "fuzz_$name: $runs inputs"
  "$out/fuzz_$name" -runs="$runs" -max_len=4096 -print_final_stats=1 "$work" "tests/fuzz/corpus/$name" 2>&1 |
    grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|crash|Done' || true
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "fuzz_$name found a failure" >&2; exit 1; }
done
