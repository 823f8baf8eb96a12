#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, skipping those already present.
# npm fetches the pinned viewer library of the HTML quality report at configure time;
# chromium opens the report in the browser test.
# Safe to run repeatedly; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  libocct-foundation-dev libocct-modeling-data-dev libocct-modeling-algorithms-dev
  libocct-data-exchange-dev libocct-ocaf-dev libocct-visualization-dev
  libvtk9-dev libopenmesh-dev libtbb-dev libgtest-dev zlib1g-dev liblzma-dev chromium
  pybind11-dev python3-pybind11 python3-dev python3-numpy python3-dask python3-distributed
  python3-pandas python3-pytest
)
# A Node.js installed from elsewhere brings its own npm, which Debian's package would
# conflict with.
command -v npm >/dev/null 2>&1 || packages+=(npm)
# Fuzzing needs clang's libFuzzer; benchmarks compare with peer libraries and programs,
# which the library itself does not need.
if [ "${WITH_FUZZ:-0}" = 1 ]; then packages+=(clang libclang-rt-14-dev); fi
if [ "${WITH_PEERS:-0}" = 1 ]; then packages+=(libqhull-dev libcgal-dev libmeshoptimizer-dev gmsh); fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
