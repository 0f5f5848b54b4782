#!/bin/sh
# Shows that cmake/vm-run.sh hands the virtual machine its working directory,
# environment and arguments byte for byte, with no machine: it has vm-run.sh
# write the job script (--job-only), runs that in sh as the guest would, and
# compares what the command saw with what was given. The values are what a
# shell or echo could mangle: a Windows path's backslashes, quotes, $,
# backticks, spaces, newlines.
# usage: tests/check_vm_run.sh WORK_DIR
set -eu
[ $# -eq 1 ] || { echo "usage: tests/check_vm_run.sh WORK_DIR" >&2; exit 2; }
vm_run=$(CDPATH= cd -- "$(dirname -- "$0")/../cmake" && pwd)/vm-run.sh
work=$1/vm-run-job
rm -rf "$work"
mkdir -p "$work/job" "$work/seen"
work=$(CDPATH= cd -- "$work" && pwd)

# Literal backslash escapes (\b, \n, \c, \\, \0), a real newline, both quotes, $,
# a backtick command, spaces, and a trailing newline.
nasty='Z:\work\main\build\win32\new \c\\ \0101 it'"'"'s "$HOME" `false` $(false)
tab	end
'
# Each variable gets its own value, so that one arriving as another's shows.
set -- WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEARCH VELTRANE_TEST_PLUGIN
for name in "$@"; do
  eval "$name=\"\$name=\$nasty\""
  export "${name?}"
done
# The working directory: a folder named with all of it but the newlines and /.
dir=$work/$(printf '%s' "$nasty" | tr -d '\n/')
mkdir -p "$dir"

# The command writes what it sees, one file each, and exits 3.
report='pwd >"$1/pwd"; cd "$1"; printf %s "$2" >arg; shift 2
  for name in "$@"; do eval "printf %s \"\${$name-(unset)}\"" >"$name"; done; exit 3'
(cd "$dir" && "$vm_run" --job-only "$work/job" sh -c "$report" report "$work/seen" "$nasty" "$@")
# A bare environment, as the guest's: what arrives came through the script.
(cd / && env -i PATH="$PATH" sh "$work/job/run.sh") || true

failures=0
# same WHAT FILE VALUE: FILE holds exactly VALUE.
same() {
  if printf '%s' "$3" | cmp -s - "$2"; then return 0; fi
  echo "check_vm_run: $1 arrived as:"
  od -c "$2" 2>&1 | sed 's/^/  /'
  failures=$((failures + 1))
}
same "the working directory" "$work/seen/pwd" "$dir
"
same "an argument" "$work/seen/arg" "$nasty"
for name in "$@"; do
  same "$name" "$work/seen/$name" "$name=$nasty"
done
same "the exit status" "$work/job/status" "3
"
[ "$failures" -eq 0 ] && echo "check_vm_run: directory, environment, argument and status arrive as given"
[ "$failures" -eq 0 ]
