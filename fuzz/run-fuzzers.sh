#!/bin/sh
# Builds the fuzz preset and runs every harness for a bounded time each
# (default 60 s) on a copy of its seed corpus, fuzz/corpus/<harness>/ (with the
# words of fuzz/dict/<harness>.dict where there is one), printing the executions
# of each. A harness with fuzz/<harness>.lsan.supp runs with those LeakSanitizer
# suppressions (leaks inside a system library we cannot fix, each explained
# there); the summary says how many allocations they ignored.
# Exits non-zero when any harness finds a crash, a sanitizer report, a leak or
# a timeout; the input that did it is kept in build/fuzz/artifacts/.
#
#   fuzz/run-fuzzers.sh [SECONDS]
set -eu
seconds=${1:-60}
root=$(CDPATH= cd -- "$(dirname -- "$0")/.." && pwd)
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --parallel "${VELTRANE_JOBS:-$(nproc 2>/dev/null || echo 2)}"

work=build/fuzz/corpus-work
artifacts=build/fuzz/artifacts
mkdir -p "$work" "$artifacts"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=""
summary=""
found=0
for harness in build/fuzz/bin/fuzz_*; do
  [ -x "$harness" ] || continue
  found=$((found + 1))
  name=${harness##*/fuzz_}
  seeds=fuzz/corpus/$name
  mkdir -p "$seeds" "$work/$name"
  log=build/fuzz/$name.log
  echo "==> fuzz $name: ${seconds}s"
  status=0
  # New inputs go to the work copy; the seeds in the repository stay as they are.
  # A harness whose input has a syntax gets the syntax's words from fuzz/dict/.
  dict=""
  [ -f "fuzz/dict/$name.dict" ] && dict="-dict=fuzz/dict/$name.dict"
  supp=""
  [ -f "fuzz/$name.lsan.supp" ] && supp="fuzz/$name.lsan.supp"
  # shellcheck disable=SC2086
  LSAN_OPTIONS=${supp:+suppressions=$root/$supp:print_suppressions=1} \
  "$harness" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 \
    $dict -artifact_prefix="$artifacts/$name-" "$work/$name" "$seeds" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  ignored=""
  # The last table LeakSanitizer printed: how many leaks the suppressions hid.
  if [ -n "$supp" ] && grep -q '^Suppressions used:' "$log"; then
    hidden=$(sed -n '/^Suppressions used:/,/^---/p' "$log" | awk '$1 ~ /^[0-9]+$/ { n = $1 } END { print n + 0 }')
    ignored=" (leaks inside a system library ignored: $hidden allocations, see $supp)"
  fi
  if [ "$status" -eq 0 ]; then
    summary="$summary
  $name: ${runs:-0} executions, clean$ignored"
  else
    tail -n 60 "$log"
    summary="$summary
  $name: FAILED after ${runs:-?} executions (exit $status; see $log and $artifacts/)"
    failed="$failed $name"
  fi
done

echo "==> fuzz results:$summary"
if [ "$found" -eq 0 ]; then
  echo "no fuzz harness was built"
  exit 1
fi
[ -z "$failed" ]
