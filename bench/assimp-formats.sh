#!/bin/sh
# Times veltrane-host beside `assimp info` (Debian assimp-utils) on one mesh of a
# million triangles stored two ways, a binary STL and a GLB (bench/make-triangles.py
# writes them into OUT_DIR when they are missing), and prints one table of wall
# time and peak memory per command and file, with veltrane-host's share of each.
# Builds and installs nothing: it runs build/linux/bin/veltrane-host (or
# $VELTRANE_HOST) and stops unless that counts the 1,000,000 triangles and
# 501,501 vertices the files hold, so a wrong or failed load cannot pass for a
# fast one.
#
#   bench/assimp-formats.sh [OUT_DIR]     (default build/bench-assimp)
set -eu
root=$(CDPATH= cd -- "$(dirname -- "$0")/.." && pwd)
out=${1:-$root/build/bench-assimp}
tool=${VELTRANE_HOST:-$root/build/linux/bin/veltrane-host}
[ -x "$tool" ] || { echo "no veltrane-host at $tool (build the linux preset or set VELTRANE_HOST)" >&2; exit 2; }
command -v assimp >/dev/null 2>&1 || { echo "no assimp command (Debian package assimp-utils)" >&2; exit 2; }
command -v python3 >/dev/null 2>&1 || { echo "python3 is needed" >&2; exit 2; }

if [ ! -f "$out/triangles.stl" ] || [ ! -f "$out/triangles.glb" ]; then
  echo "==> writing the meshes into $out"
  python3 "$root/bench/make-triangles.py" "$out"
fi

# measure COMMAND...: prints "SECONDS KIB" (wall, peak resident set) of one run,
# its output thrown away; fails when the command does. GNU time where the Debian
# package `time` is installed, else python's resource module.
measure() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f "%e %M" -o "$out/.time" "$@" >/dev/null 2>"$out/.stderr" ||
      { cat "$out/.stderr" >&2; return 1; }
    tail -n 1 "$out/.time"
  else
    python3 - "$@" <<'PY'
import resource, subprocess, sys, time
start = time.monotonic()
done = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL)
wall = time.monotonic() - start
if done.returncode != 0:
    sys.exit(done.returncode)
print("%.2f %d" % (wall, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
PY
  fi
}

# check FILE: veltrane-host's JSON must count the whole mesh.
check() {
  "$tool" --json "$1" >"$out/.json" || { echo "veltrane-host failed on $1" >&2; exit 1; }
  python3 - "$out/.json" "$1" <<'PY' || exit 1
import json, sys
report = json.load(open(sys.argv[1]))
model = report["models"][0]
counts = model.get("all") or {}
want = {"vertices": 501501, "triangles": 1000000, "total": 1000000}
got = {key: counts.get(key) for key in want}
if model.get("error") is not None or got != want:
    sys.exit("%s: veltrane-host counted %s (error %r), expected %s" % (sys.argv[2], got, model.get("error"), want))
PY
}

rows=""
for file in triangles.stl triangles.glb; do
  path=$out/$file
  check "$path"
  host=$(measure "$tool" --json "$path") || exit 1
  assimp=$(measure assimp info "$path") || exit 1
  # shellcheck disable=SC2086
  set -- $host $assimp
  host_s=$1 host_k=$2 assimp_s=$3 assimp_k=$4
  rows="$rows$file $(wc -c <"$path") $host_s $host_k $assimp_s $assimp_k
"
done
rm -f "$out/.time" "$out/.stderr" "$out/.json"

printf '%s' "$rows" | python3 -c '
import sys
print("| file | size | veltrane-host --json: wall | peak | assimp info: wall | peak | wall ratio | memory ratio |")
print("|---|---:|---:|---:|---:|---:|---:|---:|")
for line in sys.stdin:
    name, size, hs, hk, as_, ak = line.split()
    hs, hk, as_, ak = float(hs), int(hk), float(as_), int(ak)
    print("| %s | %.1f MB | %.2f s | %d MiB | %.2f s | %d MiB | %.2f | %.2f |" % (
        name, int(size) / 1e6, hs, hk / 1024, as_, ak / 1024,
        hs / as_ if as_ else float("nan"), hk / ak if ak else float("nan")))
print()
print("ratios are veltrane-host / assimp info: below 1 is veltrane-host faster or smaller")'
