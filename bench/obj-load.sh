#!/bin/sh
# Times loading a generated OBJ of N x N quads (default 1000: a million faces):
# veltrane-host loading and counting it through the plug-in, the stand-in host's
# loader alone, and `assimp info` (Debian assimp-utils) on the same file, in one
# run. Installs what it needs and builds what is missing.
# usage: bench/obj-load.sh [N]
set -eu
. "$(dirname -- "$0")/../scripts/common.sh"
root=$VELTRANE_ROOT
n=${1:-1000}
ensure_packages $NATIVE_PACKAGES assimp-utils time
(cd "$root" && cmake --preset linux >/dev/null && cmake --build --preset linux >/dev/null)
loader=$root/build/linux/bin/vhost-load-model
tool=$root/build/linux/bin/veltrane-host

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

measure "veltrane-host (load + count)" \
  "$tool" --no-settings --tick Update --tick All --json "$work/grid.obj"
measure "vhost-load-model (load)" "$loader" --summary "$work/grid.obj"
if command -v assimp >/dev/null 2>&1; then
  measure "assimp info" assimp info "$work/grid.obj"
else
  echo "assimp info: not installed (apt-get install assimp-utils)"
fi
