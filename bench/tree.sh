#!/bin/sh
# Times veltrane-host counting a generated asset tree with one worker and with
# two (-j 1, -j 2), and checks the targets for worker processes:
#
#   small: 2,000 small models (grids of 10 to 16 quads a side) in OBJ, GLB, PLY
#          and STL, in 40 folders;
#   large: 20 large models (grids of 400 to 1000 quads a side: 320,000 to
#          2,000,000 triangles, what hero assets come to) in the same formats.
#
# Each tree is counted RUNS times with each -j, in turns (median wall, largest
# peak); every run's JSON must equal the first one's, byte for byte. Targets:
# the small tree at least 1.8 x as fast with -j 2 as with -j 1, the large tree
# at least 1.6 x; the peak with -j 2 on the large tree at most the two largest
# models' peaks counted alone, summed, plus 8 MiB. Installs what it needs and
# builds only veltrane-host, the plug-in and the grid writer.
#
# usage: [RUNS=N] [VELTRANE_HOST=PATH] bench/tree.sh [OUT_DIR]
#   OUT_DIR   where the trees are written and kept (default build/bench-tree)
#   RUNS      runs of each command (default 5)
#   RESULTS   the report's copy (default bench/results/tree.txt; '' for none)
set -eu
. "$(dirname -- "$0")/../scripts/common.sh"
root=$VELTRANE_ROOT
out=${1:-$root/build/bench-tree}

# shellcheck disable=SC2086
ensure_packages $NATIVE_PACKAGES libbenchmark-dev time python3
tool=${VELTRANE_HOST:-}
if [ -z "$tool" ]; then
  tool=$root/build/linux/bin/veltrane-host
  (cd "$root" && cmake --preset linux >/dev/null &&
    cmake --build build/linux --target veltrane-host Veltrane >/dev/null)
fi
[ -x "$tool" ] || { echo "tree: no veltrane-host at $tool" >&2; exit 2; }
(cd "$root" && cmake --preset bench >/dev/null && cmake --build build/bench --target make_grid >/dev/null)

mkdir -p "$out" "$root/bench/results"
VELTRANE_HOST=$tool MAKE_GRID=$root/build/bench/bin/make_grid GRID_OBJ=$root/bench/make-grid-obj.sh
OUT_DIR=$out RUNS=${RUNS:-5} RESULTS=${RESULTS-$root/bench/results/tree.txt}
export VELTRANE_HOST MAKE_GRID GRID_OBJ OUT_DIR RUNS RESULTS
exec python3 "$root/bench/tree.py"
