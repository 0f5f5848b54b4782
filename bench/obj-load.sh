#!/bin/sh
# Times loading a generated OBJ grid of about FACES quads (default 1000000: a
# 1000 x 1000 grid, 53 MB), in one run: veltrane-host loading it and counting it
# through the plug-in; awk scanning it for its face lines (the floor: one pass
# that builds nothing); tinyobjloader alone (the library the host's reader
# replaced; no document built); and `assimp info` (Debian assimp-utils). Prints
# wall time and peak memory of each, their ratios to veltrane-host's, and the
# size of the document's own arrays for the grid. veltrane-host and awk run
# RUNS times each (default 5) and show their median wall time: on a shared
# machine single runs wobble by a third. Installs what it needs and builds only
# the programs it runs.
# usage: [RUNS=N] bench/obj-load.sh [FACES]   (e.g. 10000000 for the 10M-face grid)
set -eu
. "$(dirname -- "$0")/../scripts/common.sh"
root=$VELTRANE_ROOT
faces=${1:-1000000}
runs=${RUNS:-5}
n=$(awk -v f="$faces" 'BEGIN { n = int(sqrt(f) + 0.5); print n < 1 ? 1 : n }')
ensure_packages $NATIVE_PACKAGES libbenchmark-dev assimp-utils time
(cd "$root" && cmake --preset linux >/dev/null &&
  cmake --build build/linux --target veltrane-host Veltrane >/dev/null &&
  cmake --preset bench >/dev/null && cmake --build build/bench --target tinyobj_load >/dev/null)
tool=$root/build/linux/bin/veltrane-host
tinyobj=$root/build/bench/bin/tinyobj_load

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/bench/make-grid-obj.sh" "$n" >"$work/grid.obj"
vertices=$(((n + 1) * (n + 1)))
# positions (3 doubles) and reference counts per vertex; start and size per
# face; one index per face point
document=$((vertices * 28 + n * n * 8 + n * n * 16))
echo "grid.obj: $n x $n = $((n * n)) quads, $vertices vertices, $(wc -c <"$work/grid.obj") bytes"
echo "document arrays: $((document / 1000000)) MB (limit for the host's peak: 2x, $((2 * document / 1000000)) MB)"

# run NAME COMMAND...: one run; appends "wall-s peak-KiB" to $work/NAME.runs, or
# "failed: ERROR" when the command fails
run() {
  name=$1
  shift
  if /usr/bin/time -o "$work/time" -f "%e %M" "$@" >"$work/out" 2>"$work/err"; then
    cat "$work/time" >>"$work/$name.runs"
  else
    printf 'failed: %s\n' "$(head -c 200 "$work/err" | tr '\n\t' '  ')" >>"$work/$name.runs"
  fi
}
# row LABEL NAME: appends "LABEL<tab>median-wall largest-peak" to the table, or
# LABEL and the first failure
: >"$work/table"
row() {
  if grep -q '^failed' "$work/$2.runs"; then
    printf '%s\t%s\n' "$1" "$(grep -m1 '^failed' "$work/$2.runs")" >>"$work/table"
  else
    printf '%s\t%s\n' "$1" "$(sort -n "$work/$2.runs" | awk '
      { wall[NR] = $1; if ($2 > peak) peak = $2 }
      END { print (NR % 2 ? wall[(NR + 1) / 2] : (wall[NR / 2] + wall[NR / 2 + 1]) / 2), peak }')" \
      >>"$work/table"
  fi
}

# veltrane-host and awk take turns, so that a slow moment of the machine falls
# on both.
i=0
while [ "$i" -lt "$runs" ]; do
  run host "$tool" --no-settings --tick Update --tick All --json "$work/grid.obj"
  grep -q "\"quads\": $((n * n))," "$work/out" || echo "warning: veltrane-host did not count $((n * n)) quads"
  run awk awk '$1=="f"{n++} END{print n}' "$work/grid.obj"
  i=$((i + 1))
done
row "veltrane-host --tick Update --tick All --json (load + count), median of $runs" host
row "awk '\$1==\"f\"{n++} END{print n}' (scan only), median of $runs" awk
run tinyobj "$tinyobj" "$work/grid.obj"
row "tinyobj_load (tinyobjloader alone, no document)" tinyobj
if command -v assimp >/dev/null 2>&1; then
  run assimp assimp info "$work/grid.obj"
  row "assimp info" assimp
else
  printf 'assimp info\tnot installed (apt-get install assimp-utils)\n' >>"$work/table"
fi

awk -F '\t' -v document="$document" '
  { label[NR] = $1; split($2, f, " "); wall[NR] = f[1]; peak[NR] = f[2]; ok[NR] = f[2] ~ /^[0-9]+$/ }
  END {
    printf "| command | wall | peak memory | wall / veltrane-host | peak / veltrane-host |\n"
    printf "|---|---:|---:|---:|---:|\n"
    for (i = 1; i <= NR; i++) {
      if (!ok[i]) { printf "| %s | %s | | | |\n", label[i], $2; continue }
      printf "| %s | %.2f s | %.0f MiB | %.2f | %.2f |\n", label[i], wall[i], peak[i] / 1024,
        (wall[1] > 0 ? wall[i] / wall[1] : 0), (peak[1] > 0 ? peak[i] / peak[1] : 0)
    }
    if (ok[1] && ok[2]) {
      printf "\nveltrane-host: %.2f x the awk scan time (target: at most 1); ", wall[1] / wall[2]
      printf "peak %.2f x the document arrays (target: at most 2)\n", peak[1] * 1024 / document
    }
  }' "$work/table"
