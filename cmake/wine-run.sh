#!/bin/sh
# Runs a Windows test program under Wine, as CTest's cross-compiling emulator.
# usage: wine-run.sh PREFIX_DIR 32|64 PROGRAM [ARGS...]
#
# The Wine prefix is a throw-away directory of the build tree, created on first
# use. Where the kernel cannot execute 32-bit code, 32-bit Wine runs inside the
# virtual machine of scripts/prepare-vm.sh (slower, but a real 32-bit loader);
# VELTRANE_WIN32_VM=1 sends it there on any machine, so that path can be tested
# where 32-bit code runs natively (then a missing machine is an error).
# Exit status 77 (CTest's "skipped") when this machine cannot run the program
# at all: Wine is missing, or 32-bit code can run neither here nor in a VM.
set -u
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
prefix=$1 bits=$2
shift 2
if [ "$bits" = 32 ]; then loader=/usr/lib/wine/wine; else loader=/usr/lib/wine/wine64; fi
if [ ! -x "$loader" ]; then
  echo "wine-run: $loader is not installed; skipping" >&2
  exit 77
fi
run() { "$@"; }
if [ "$bits" = 32 ] && [ "${VELTRANE_WIN32_VM:-}" = 1 ]; then
  [ -f "$here/../build/vm/ready" ] || {
    echo "wine-run: VELTRANE_WIN32_VM=1, but no virtual machine is prepared (scripts/prepare-vm.sh)" >&2
    exit 1
  }
  run() { "$here/vm-run.sh" "$@"; }
elif ! "$loader" --version >/dev/null 2>&1; then
  if [ "$bits" = 32 ] && [ -f "$here/../build/vm/ready" ]; then
    run() { "$here/vm-run.sh" "$@"; }
  else
    echo "wine-run: this machine cannot execute $loader (the kernel's ${bits}-bit support is off) and has no virtual machine for it (scripts/prepare-vm.sh); skipping" >&2
    exit 77
  fi
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A 32-bit suite gets a plain 32-bit prefix; with 64-bit Wine installed too, Wine
# would otherwise make a 64-bit one that the 32-bit loader cannot use.
[ "$bits" = 32 ] && export WINEARCH=win32
# Several tests may start at once: only one of them creates the prefix.
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.ready" ]; then
  run "$loader" wineboot --init >/dev/null 2>&1 && touch "$prefix/.ready"
fi
flock -u 9
exec 9>&-
run "$loader" "$@"
