#!/usr/bin/env bash
# Meshing quality against Gmsh: every shared CAD part and every generated part at 2 % and
# 0.5 % of its bounding-box diagonal, ours and Gmsh's runs alternating so that both see the
# same machine load. `run-meshing.sh BUILD PART...` runs only the parts given (files,
# generated names such as `torus`, or names with a prefix such as `nurbs:generated:crank`,
# see `quorin-bench` mesh-quality). Needs `WITH_PEERS=1 scripts/install-deps.sh` for gmsh.
set -uo pipefail
build=${1:-build}
bin=$build/bench/quorin-bench
parts=()
if [ $# -gt 1 ]; then
  for name in "${@:2}"; do
    if [ -f "$name" ] || [[ "$name" == *:* ]]; then parts+=("$name"); else parts+=("generated:$name"); fi
  done
else
  for part in ../shared/data/cad/*.brep ../shared/data/cad/*.step; do
    [ -f "$part" ] && parts+=("$part")
  done
  for name in nut plate narrow cylinder crank linkrod sphere tinystep roundbox cone torus vase \
    filletcyl chamferbox drilled cutcone cutsphere pulley bentpipe thincup shortedge tangent \
    crossdrilled halftorus boredsphere filletchamfer crescent loft sweep shell varfillet freeform; do
    parts+=("generated:$name")
  done
fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for fraction in 0.02 0.005; do
  for part in "${parts[@]}"; do
    $bin mesh-quality "$part" $fraction || echo "task=mesh-quality input=$part failed"
    $bin mesh-gmsh "$part" $fraction || echo "task=mesh-gmsh input=$part failed"
  done
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
