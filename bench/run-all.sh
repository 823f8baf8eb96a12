#!/usr/bin/env bash
# Runs the benchmark pairs of the summary table, ours and the peer's alternately, logs every
# line and regenerates the table of bench/RESULTS.md from the log. BENCH_ROUNDS (default 2)
# is the number of alternations per pair; BENCH_ALL=1 also runs every task on every
# generated input afterwards (long), and the meshing benchmark (BENCH_MESHING=1 alone runs
# that one too). BENCH_ONLY="task ..." runs only the pairs of those
# tasks of ours, into a log of its own: the table then takes those rows from it and the
# others from the last full run.
set -euo pipefail
build=${1:-build}
bin=$build/bench/quorin-bench
inputs=bench/inputs
full_log=$build/bench/last-run.log
only=${BENCH_ONLY:-}
if [ -n "$only" ]; then
  log=${BENCH_LOG:-$build/bench/last-run-only.log}
else
  log=${BENCH_LOG:-$full_log}
fi
rounds=${BENCH_ROUNDS:-2}
[ -f $inputs/torus-1m-b.stl ] || $bin make-inputs $inputs
[ -f $inputs/tori-crossing-1m.stl ] || $bin make-crossing-input $inputs
[ -f $inputs/ball-1m.xyz ] || $bin make-clouds $inputs

tasks=$($bin --help | awk '/^  / {print $1}')
has() { grep -qx "$1" <<<"$tasks"; }

: >"$log"
{
  echo "# date=$(date -u +%Y-%m-%dT%H:%MZ) machine=$(uname -n) cpus=$(nproc)" \
    "cpu=\"$(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)\"" \
    "load-start=\"$(cut -d' ' -f1-3 /proc/loadavg)\"" "rounds=$rounds"
} >>"$log"

# One row per peer: ours, then each peer, `rounds` times over, so that both see the same load.
pair() {
  local ours=$1 peers=$2; shift 2
  has $ours || return 0
  [ -z "$only" ] || [[ " $only " == *" $ours "* ]] || return 0
  for round in $(seq "$rounds"); do
    echo "# pair=$ours:${peers// /,} round=$round args=$*" >>"$log"
    for task in $ours $peers; do
      if has $task; then
        $bin $task "$@" | tee -a "$log" || echo "task=$task failed" >>"$log"
      fi
    done
  done
}

t1m=$inputs/torus-1m.stl
pair decimate-quadric "decimate-quadric-vtk decimate-meshopt" $t1m 0.9
pair decimate-topo "decimate-quadric-vtk decimate-meshopt" $t1m 0.9
pair deviation deviation-cgal $t1m $inputs/torus-1m-b.stl --threads 2
pair deviation deviation-cgal $t1m $inputs/torus-1m-b.stl --threads 1
pair quality-4 quality-vtk-4 $t1m
pair quality quality-vtk $t1m
pair stl-read stl-read-kernel $t1m
pair ply-read ply-read-vtk $t1m
pair self-intersections self-intersections-cgal $inputs/tori-crossing-1m.stl --threads 1
pair self-intersections self-intersections-cgal $inputs/tori-crossing-1m.stl --threads 2
pair merge-nodes merge-nodes-vtk $t1m # also prints merge-nodes-vtk-static
pair merge-nodes merge-nodes-vtk $t1m --threads 1
pair hull hull-qhull $inputs/ball-1m.xyz
echo "# load-end=\"$(cut -d' ' -f1-3 /proc/loadavg)\"" >>"$log"

if [ -n "$only" ] && [ -f "$full_log" ] && [ "$log" != "$full_log" ]; then
  /usr/bin/python3 bench/summary.py "$full_log" "$log" bench/RESULTS.md
else
  /usr/bin/python3 bench/summary.py "$log" bench/RESULTS.md
fi

# Growth of time and memory from 1M to 2M triangles, every step in its own process: fails the
# run when a step is over its bytes-per-triangle budget or grows superlinearly (the 10M and
# 100M figures of RESULTS.md come from `quorin-bench scale DIR 1m,10m` run by hand).
if [ -z "$only" ]; then
  $bin scale /tmp/quorin-scale 1m,2m --check
fi

# The surface tessellator against Gmsh over every CAD part and generated part at 2 % and
# 0.5 % of its diagonal takes hours on two cores: BENCH_MESHING=1 (or BENCH_ALL=1) runs it.
if [ "${BENCH_MESHING:-0}" = 1 ] || [ "${BENCH_ALL:-0}" = 1 ]; then
  bash bench/run-meshing.sh "$build" | tee "$build/bench/meshing.log"
fi

if [ "${BENCH_ALL:-0}" = 1 ]; then
  for in in $inputs/torus-10k.stl $inputs/torus-200k.stl $t1m $inputs/tori-crossing-1m.stl; do
    for task in $($bin --help | awk '/^  / && $1 !~ /^make-/ && $1 !~ /^hull/ && $1 !~ /^scale/ {print $1}'); do
      $bin $task $in || echo "task=$task input=$in failed"
    done
  done
  for cloud in ball-1m sphere-1m torus-1m-nodes; do
    for task in $($bin --help | awk '/^  hull/ {print $1}'); do
      $bin $task $inputs/$cloud.xyz || echo "task=$task input=$inputs/$cloud.xyz failed"
    done
  done
fi
