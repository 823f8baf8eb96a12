#!/usr/bin/env bash
# Runs every benchmark on the generated inputs; prints one line per run.
set -euo pipefail
build=${1:-build}
bin=$build/bench/quorin-bench
inputs=bench/inputs
[ -f $inputs/torus-1m.stl ] || $bin make-inputs $inputs
[ -f $inputs/tori-crossing-1m.stl ] || $bin make-crossing-input $inputs
for in in $inputs/torus-10k.stl $inputs/torus-200k.stl $inputs/torus-1m.stl \
          $inputs/tori-crossing-1m.stl; do
  for task in $($bin --help | awk '/^  / && $1 !~ /^make-/ && $1 !~ /^hull/ && $1 !~ /^scale/ {print $1}'); do
    $bin $task $in || echo "task=$task input=$in failed"
  done
done
[ -f $inputs/ball-1m.xyz ] || $bin make-clouds $inputs
for cloud in ball-1m sphere-1m torus-1m-nodes; do
  for task in $($bin --help | awk '/^  hull/ {print $1}'); do
    $bin $task $inputs/$cloud.xyz || echo "task=$task input=$inputs/$cloud.xyz failed"
  done
done
# Growth of time and memory from 1M to 2M triangles, every step in its own process; the
# 10M and 100M figures of RESULTS.md come from `quorin-bench scale DIR 1m,10m` and
# `quorin-bench scale DIR 100m STEPS` run by hand.
$bin scale /tmp/quorin-scale 1m,2m --check || echo "task=scale failed"
