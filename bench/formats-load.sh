#!/bin/sh
# Times veltrane-host loading and counting generated grids in the formats it
# reads besides OBJ, beside the tools a user would compare it with, and checks
# the load-time targets (PASS/FAIL each; PENDING while the tool's own GLB, PLY
# and STL readers have not landed, which it tells by `--reader assimp`, the
# option that comes with them):
#
#   a 1000 x 1000 grid (1,002,001 vertices, 2,000,000 triangles) as GLB (36 MB),
#   binary PLY and binary STL; a 2237 x 2237 grid as GLB (10,008,338
#   triangles); 300 small GLB files beside 300 OBJ files of about their size,
#   all in one run of the tool each.
#
# On each large file, RUNS times each in turns (median wall, largest peak):
# `veltrane-host --json`, `veltrane-host --reader assimp --json` (said to be
# "not available" while the tool has no such option), `assimp info` (Debian
# assimp-utils) and, for GLB, `gltf-transform inspect` (npm
# @gltf-transform/cli, pinned, installed under build/). Every report of
# veltrane-host is checked against the counts the grid holds. Installs what
# it needs and builds only the programs it runs: veltrane-host and the
# plug-in (linux preset), the grid writer (bench preset).
#
# usage: [RUNS=N] [VELTRANE_HOST=PATH] bench/formats-load.sh [OUT_DIR]
#   OUT_DIR   where the files are written and kept (default build/bench-formats)
#   RUNS      runs of each command (default 5)
#   VELTRANE_HOST  another build's veltrane-host (Veltrane.so beside it) instead
#             of this checkout's, which is then not built
#   RESULTS   the report's copy (default bench/results/formats-load.txt, and
#             every single run beside it in formats-load.runs.tsv; '' for none)
set -eu
. "$(dirname -- "$0")/../scripts/common.sh"
root=$VELTRANE_ROOT
out=${1:-$root/build/bench-formats}
gltf_version=4.5.1

# shellcheck disable=SC2086
ensure_packages $NATIVE_PACKAGES libbenchmark-dev assimp-utils time python3
tool=${VELTRANE_HOST:-}
if [ -z "$tool" ]; then
  tool=$root/build/linux/bin/veltrane-host
  (cd "$root" && cmake --preset linux >/dev/null &&
    cmake --build build/linux --target veltrane-host Veltrane >/dev/null)
fi
[ -x "$tool" ] || { echo "formats-load: no veltrane-host at $tool" >&2; exit 2; }
(cd "$root" && cmake --preset bench >/dev/null && cmake --build build/bench --target make_grid >/dev/null)

# gltf-transform into a folder of its own version, never globally: a run finds
# it there the next time. Its release needs Node.js 20 or later; without it the
# column says why and the rest runs.
gltf_dir=$root/build/gltf-transform-$gltf_version
gltf=$gltf_dir/node_modules/.bin/gltf-transform
gltf_why=""
if [ ! -x "$gltf" ]; then
  command -v npm >/dev/null 2>&1 || ensure_packages nodejs npm || true
  node_major=$(node -p 'process.versions.node.split(".")[0]' 2>/dev/null || echo 0)
  if [ "$node_major" -lt 20 ]; then
    gltf_why="not available: @gltf-transform/cli $gltf_version needs Node.js 20 or later"
  else
    echo "==> installing @gltf-transform/cli@$gltf_version into $gltf_dir"
    mkdir -p "$gltf_dir"
    npm install --prefix "$gltf_dir" --no-audit --no-fund --loglevel=error \
      "@gltf-transform/cli@$gltf_version" >"$gltf_dir.log" 2>&1 ||
      gltf_why="not available: npm install failed (see $gltf_dir.log)"
  fi
fi
[ -x "$gltf" ] || { gltf=""; gltf_why=${gltf_why:-not available: not installed}; }

mkdir -p "$out" "$root/bench/results"
VELTRANE_HOST=$tool MAKE_GRID=$root/build/bench/bin/make_grid
GRID_OBJ=$root/bench/make-grid-obj.sh GLTF_TRANSFORM=$gltf GLTF_TRANSFORM_WHY=$gltf_why
GLTF_TRANSFORM_VERSION=$gltf_version
OUT_DIR=$out RUNS=${RUNS:-5} RESULTS=${RESULTS-$root/bench/results/formats-load.txt}
export VELTRANE_HOST MAKE_GRID GRID_OBJ GLTF_TRANSFORM GLTF_TRANSFORM_WHY GLTF_TRANSFORM_VERSION \
  OUT_DIR RUNS RESULTS
exec python3 "$root/bench/formats-load.py"
