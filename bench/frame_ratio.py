#!/usr/bin/env python3
"""Runs the frame benchmark and prints each timing as a ratio to the plain frame copy of the same run."""
import json
import subprocess
import sys

exe = sys.argv[1] if len(sys.argv) > 1 else "build/bench/morofin_bench_frame"
out = subprocess.run([exe, "--benchmark_format=json", "--benchmark_repetitions=9",
                      "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.2"],
                     check=True, capture_output=True, text=True).stdout
runs = json.loads(out)["benchmarks"]
median = {b["run_name"]: b["real_time"] for b in runs if b.get("aggregate_name") == "median"}
unit = next(b["time_unit"] for b in runs)
copy = median["PlainFrameCopy"]
print(f"{'measure':<22}{'median':>12}  ratio to copy  (target <= 1.5)")
for name in ("PlainFrameCopy", "ComposePlayfield", "GameTick"):
    print(f"{name:<22}{median[name]:>10.2f} {unit}  {median[name] / copy:>6.2f}")
