#!/bin/sh
# Runs one command inside the virtual machine that scripts/prepare-vm.sh made,
# in the current directory, with WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES, WINEARCH
# and VELTRANE_TEST_PLUGIN (the plug-in the suites load) passed through; prints
# its output and exits with its status. One machine runs at a time (they share
# the Wine prefix).
# usage: vm-run.sh COMMAND [ARGS...]
set -u
vm="$(CDPATH= cd -- "$(dirname -- "$0")/.." && pwd)/build/vm"
[ -f "$vm/ready" ] || { echo "vm-run: no virtual machine prepared in $vm" >&2; exit 77; }
mkdir -p "$vm/jobs"
job=$(mktemp -d "$vm/jobs/job.XXXXXX")
trap 'rm -rf "$job"' EXIT

quote() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
{
  echo "cd $(quote "$PWD") || exit 1"
  for name in WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEARCH VELTRANE_TEST_PLUGIN; do
    eval "value=\${$name-}"
    [ -n "$value" ] && echo "export $name=$(quote "$value")"
  done
  printf '%s' "exec >$(quote "$job/stdout") 2>$(quote "$job/stderr");"
  for arg in "$@"; do printf ' %s' "$(quote "$arg")"; done
  echo
  echo "echo \$? > $(quote "$job/status")"
} > "$job/run.sh"

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
