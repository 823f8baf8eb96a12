#!/usr/bin/env bash
# Runs every benchmark on the generated inputs; prints one line per run.
set -euo pipefail
build=${1:-build}
bin=$build/bench/quorin-bench
inputs=bench/inputs
[ -f $inputs/torus-1m.stl ] || $bin make-inputs $inputs
for size in 10k 200k 1m; do
  in=$inputs/torus-$size.stl
  for task in $($bin --help | awk '/^  / && $1 != "make-inputs" {print $1}'); do
    $bin $task $in || echo "task=$task input=$in failed"
  done
done
