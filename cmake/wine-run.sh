#!/bin/sh
# Runs a Windows test program under Wine, as CTest's cross-compiling emulator.
# usage: wine-run.sh PREFIX_DIR 32|64 PROGRAM [ARGS...]
#
# The Wine prefix is a throw-away directory of the build tree, created on first
# use. Exit status 77 (CTest's "skipped") when this machine cannot run the
# program at all: Wine is missing, or the kernel cannot execute 32-bit code.
set -u
prefix=$1 bits=$2
shift 2
if [ "$bits" = 32 ]; then loader=/usr/lib/wine/wine; else loader=/usr/lib/wine/wine64; fi
if [ ! -x "$loader" ]; then
  echo "wine-run: $loader is not installed; skipping" >&2
  exit 77
fi
if ! "$loader" --version >/dev/null 2>&1; then
  echo "wine-run: this machine cannot execute $loader (the kernel's ${bits}-bit support is off); skipping" >&2
  exit 77
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Several tests may start at once: only one of them creates the prefix.
if [ ! -f "$prefix/.ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  flock "$prefix.lock" sh -c '
    [ -f "$WINEPREFIX/.ready" ] && exit 0
    "$1" wineboot --init >/dev/null 2>&1 && touch "$WINEPREFIX/.ready"' sh "$loader"
fi
exec "$loader" "$@"
