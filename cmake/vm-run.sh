#!/bin/sh
# Runs one command inside the virtual machine that scripts/prepare-vm.sh made,
# in the current directory, with WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES, WINEARCH
# and VELTRANE_TEST_PLUGIN (the plug-in the suites load) passed through; prints
# its output and exits with its status. One machine runs at a time (they share
# the Wine prefix).
#
#   vm-run.sh COMMAND [ARGS...]
#   vm-run.sh --job-only DIR COMMAND [ARGS...]
#
# --job-only writes the script the machine would run, DIR/run.sh, into the
# existing folder DIR and stops there: no machine is needed. Run with `sh`, the
# script leaves the command's output in DIR/stdout and DIR/stderr and its exit
# status in DIR/status; DIR stays the caller's.
set -u
job_only=""
if [ "${1:-}" = --job-only ]; then
  [ $# -ge 3 ] && [ -d "$2" ] || { echo "usage: vm-run.sh --job-only DIR COMMAND [ARGS...]" >&2; exit 2; }
  job_only=$2
  shift 2
fi
[ $# -ge 1 ] || { echo "usage: vm-run.sh COMMAND [ARGS...]" >&2; exit 2; }

# quote VALUE: VALUE as one single-quoted word of sh, byte for byte (the x keeps
# the trailing newlines that command substitution would take).
quote() {
  q=$(printf '%s' "$1" | sed "s/'/'\\\\''/g"; echo x)
  printf "'%s'" "${q%x}"
}

# write_job DIR COMMAND...: DIR/run.sh, for the guest's /bin/sh. Every line goes
# through printf '%s': echo in dash would read a Windows path's backslashes
# (Z:\work\main\build\...) as escapes.
write_job() {
  dir=$1
  shift
  {
    printf '%s\n' "cd $(quote "$PWD") || exit 1"
    for name in WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEARCH VELTRANE_TEST_PLUGIN; do
      eval "value=\${$name-}"
      [ -n "$value" ] && printf '%s\n' "export $name=$(quote "$value")"
    done
    # The guest runs 32-bit code itself: wine-run.sh must not send it on to a
    # machine inside the machine.
    printf '%s\n' "export VELTRANE_WIN32_VM=0"
    printf '%s' "exec >$(quote "$dir/stdout") 2>$(quote "$dir/stderr");"
    for arg in "$@"; do printf ' %s' "$(quote "$arg")"; done
    printf '\n%s\n' "echo \$? >$(quote "$dir/status")"
  } >"$dir/run.sh"
}

if [ -n "$job_only" ]; then
  write_job "$(CDPATH= cd -- "$job_only" && pwd)" "$@"
  exit
fi

vm="$(CDPATH= cd -- "$(dirname -- "$0")/.." && pwd)/build/vm"
[ -f "$vm/ready" ] || { echo "vm-run: no virtual machine prepared in $vm" >&2; exit 77; }
mkdir -p "$vm/jobs"
job=$(mktemp -d "$vm/jobs/job.XXXXXX")
trap 'rm -rf "$job"' EXIT
write_job "$job" "$@"

flock "$vm/lock" timeout 1800 qemu-system-x86_64 -m 2048 -smp 2 -accel tcg,thread=multi \
  -cpu qemu64,+ssse3,+sse4.1,+sse4.2,+popcnt -nographic -no-reboot \
  -kernel "$vm/vmlinuz" -initrd "$vm/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1 vmjob=$job/run.sh" \
  -fsdev local,id=root,path=/,security_model=passthrough,multidevs=remap \
  -device virtio-9p-pci,fsdev=root,mount_tag=hostroot >"$job/console" 2>&1

cat "$job/stdout" 2>/dev/null
cat "$job/stderr" >&2 2>/dev/null
if [ ! -f "$job/status" ]; then
  echo "vm-run: the machine stopped before the command finished; its console:" >&2
  tail -n 30 "$job/console" >&2
  exit 1
fi
exit "$(cat "$job/status")"
