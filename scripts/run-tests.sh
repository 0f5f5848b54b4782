#!/bin/sh
# Builds and runs every test suite: native (Linux), native under the address,
# leak and undefined-behaviour sanitizers, the validator's long run under the
# sanitizers, each fuzz harness for a bounded time, win32 and win64 (under
# Wine), and prints each suite's result. Exits non-zero when any suite fails.
#
#   VELTRANE_VALIDATOR_SEED  the long validator run's seed (default: a fixed one)
#   VELTRANE_FUZZ_SECONDS    how long each fuzz harness runs (default 60)
set -eu
. "$(dirname -- "$0")/common.sh"
ensure_packages $NATIVE_PACKAGES $FUZZ_PACKAGES $WINDOWS_PACKAGES
cd "$VELTRANE_ROOT"

failed=""
summary=""
note() { summary="$summary
  $1"; }

run_suite() {  # run_suite PRESET
  echo "==> suite $1: building"
  log="build/$1-ctest.log"
  mkdir -p build
  status=0
  tests="ctest --preset $1"
  if [ "$1" = win32 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    # This kernel cannot execute 32-bit code: run the whole suite inside one
    # virtual machine whose kernel can (one boot instead of one per program).
    ./scripts/prepare-vm.sh && tests="cmake/vm-run.sh $tests"
  fi
  if build_preset "$1"; then
    $tests >"$log" 2>&1 || status=$?
    cat "$log"
  else
    status=1
  fi
  if [ "$status" -eq 0 ]; then
    skipped=$(grep -c '(Skipped)' "$log" || true)
    if [ "$skipped" -gt 0 ]; then
      # Wine's reason for a skipped program, else the message of a skipped test.
      testlog=build/$1/Testing/Temporary/LastTest.log
      reason=$({
        grep -h -o 'wine-run: .*; skipping' "$testlog" || true
        awk 'skipped { print; skipped = 0 } /: Skipped$/ { skipped = 1 }' "$testlog"
      } | sort -u | head -n 1)
      note "$1: passed, $skipped skipped (${reason:-see $log})"
    else
      note "$1: passed"
    fi
  else
    note "$1: FAILED"
    failed="$failed $1"
  fi
}

run_suite linux
run_suite asan

# The validator's long run, on the sanitizer build the asan suite just made: a
# few thousand seeded sequences, lifecycle stress, every host fault and the full
# allocation-failure sweep. A fixed seed keeps the run repeatable; a failure
# prints the seed and steps that replay it.
echo "==> suite validator"
log=build/validator.log
if [ -x build/asan/bin/validator ] &&
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/asan/bin/validator --seed "${VELTRANE_VALIDATOR_SEED:-20261208}" \
    --cases 3000 --steps 60 --cycles 300 --loads 100 >"$log" 2>&1; then
  cat "$log"
  note "validator: passed ($(sed -n "s/^validator: \([0-9]\)/\1/p" "$log"))"
else
  cat "$log" 2>/dev/null || true
  note "validator: FAILED (see $log)"
  failed="$failed validator"
fi

# Each fuzz harness for a bounded time, under the sanitizers.
echo "==> suite fuzz"
log=build/fuzz.log
if ./fuzz/run-fuzzers.sh "${VELTRANE_FUZZ_SECONDS:-60}" >"$log" 2>&1; then
  sed -n '/^==> fuzz results:/,$p' "$log"
  runs=$(sed -n 's/^  \([a-z_]*\): \([0-9]*\) executions, clean$/ \1 \2 runs/p' "$log" |
    tr '\n' ',' | sed 's/,$//')
  note "fuzz: passed;$runs"
else
  cat "$log"  # the build, or the failing harness's report and the results
  note "fuzz: FAILED (see $log)"
  failed="$failed fuzz"
fi
run_suite win32
run_suite win64

# The shipping package, and what it holds.
if cmake --build build/win32 --target package >/dev/null; then
  zip=build/win32/package/Veltrane-$(sed -n 's/^project(Veltrane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)-win32.zip
  contents=$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')
  if [ "$contents" = "INSTALL.txt LICENSE.txt Veltrane.dll " ]; then
    note "package: $zip ($contents)"
  else
    note "package: FAILED, $zip holds: $contents"
    failed="$failed package"
  fi
else
  note "package: FAILED to build"
  failed="$failed package"
fi

echo "==> results:$summary"
[ -z "$failed" ]
