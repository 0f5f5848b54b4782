#!/bin/sh
# Times loading a generated OBJ of N x N quads (default 1000: a million faces)
# with the stand-in host's loaders, and with `assimp info` when it is installed
# (Debian assimp-utils), on the same file. Builds the loader if it is missing.
# usage: bench/obj-load.sh [N]
set -eu
root=$(CDPATH= cd -- "$(dirname -- "$0")/.." && pwd)
n=${1:-1000}
loader=$root/build/linux/bin/vhost-load-model
if [ ! -x "$loader" ]; then
  (cd "$root" && cmake --preset linux >/dev/null && cmake --build --preset linux --target vhost-load-model)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/bench/make-grid-obj.sh" "$n" >"$work/grid.obj"
echo "grid.obj: $n x $n quads, $(wc -c <"$work/grid.obj") bytes"

measure() {  # measure LABEL COMMAND...: wall time and peak memory of one run
  label=$1
  shift
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f "$label: %e s wall, %U s user, %S s system, %M KiB peak" "$@" >/dev/null
  else
    start=$(date +%s.%N)
    "$@" >/dev/null
    echo "$label: $(echo "$(date +%s.%N) - $start" | bc) s wall"
  fi
}

measure vhost-load-model "$loader" --summary "$work/grid.obj"
if command -v assimp >/dev/null 2>&1; then
  measure "assimp info" assimp info "$work/grid.obj"
else
  echo "assimp info: not installed (apt-get install assimp-utils)"
fi
