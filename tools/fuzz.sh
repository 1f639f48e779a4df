#!/usr/bin/env bash
# Builds the libFuzzer targets (command strings, score files, MIDI files) and runs each.
#   tools/fuzz.sh            a short run of each, as CI does
#   tools/fuzz.sh 1000000    a million inputs each
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20000}
out=build-fuzz
# The fuzz targets are CMake targets of a clang build of their own.
cmake -S . -B "$out" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMOROFIN_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$out" -j2 --target fuzz_mci fuzz_score fuzz_midi
for name in mci score midi; do
  work="$out/corpus-$name"
  mkdir -p "$work"
  echo "fuzz_$name: $runs inputs"
  status=0
  "$out/fuzz_$name" -runs="$runs" -max_len=4096 -print_final_stats=1 "$work" "tests/fuzz/corpus/$name" \
    >"$out/fuzz_$name.log" 2>&1 || status=$?
  grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|crash|Done' "$out/fuzz_$name.log" || true
  [ "$status" -eq 0 ] || { echo "fuzz_$name found a failure (exit $status; $out/fuzz_$name.log)" >&2; exit 1; }
done
