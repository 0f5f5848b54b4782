#!/bin/sh
# Builds and runs the test suites and prints each suite's result and wall time.
# The full run: native (Linux), native under the address, leak and
# undefined-behaviour sanitizers, the lint (scripts/lint.sh), the validator's
# long run under the sanitizers, each fuzz harness for a bounded time, win32 and
# win64 (under Wine) and the release's two packages, each checked as shipped
# with its Windows suite run against the packaged DLL. --quick runs the first
# two only, the tier to run before every commit. Exits non-zero when any suite
# fails.
#
#   scripts/run-tests.sh [--quick | --help]
#
#   VELTRANE_JOBS            compile jobs and test programs at once (default: nproc)
#   VELTRANE_VALIDATOR_SEED  the long validator run's seed (default: a fixed one)
#   VELTRANE_FUZZ_SECONDS    how long each fuzz harness runs (default 60)
set -eu
usage="usage: scripts/run-tests.sh [--quick | --help]"
quick=0
case $# in
  0) ;;
  1)
    case $1 in
      --quick) quick=1 ;;
      --help | -h)
        echo "$usage"
        echo "  (no argument)  every suite: linux asan lint validator fuzz win32 win64 package"
        echo "  --quick        the native and sanitizer suites only (linux asan)"
        exit 0 ;;
      *) echo "run-tests: unknown argument '$1'; $usage" >&2; exit 2 ;;
    esac ;;
  *) echo "run-tests: one argument at most; $usage" >&2; exit 2 ;;
esac
. "$(dirname -- "$0")/common.sh"
if [ "$quick" -eq 1 ]; then
  ensure_packages $NATIVE_PACKAGES
else
  ensure_packages $NATIVE_PACKAGES $FUZZ_PACKAGES $LINT_PACKAGES $WINDOWS_PACKAGES
fi
cd "$VELTRANE_ROOT"

failed=""
summary=""
note() { summary="$summary
  $1"; }
run_start=$(date +%s)
# started: marks a suite's start; took: the seconds since then, for its result.
started() { suite_start=$(date +%s); }
took() { echo "$(($(date +%s) - suite_start)) s"; }

run_suite() {  # run_suite PRESET
  started
  echo "==> suite $1: building"
  log="build/$1-ctest.log"
  mkdir -p build
  status=0
  tests="ctest --preset $1 --parallel $VELTRANE_JOBS"
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
      note "$1: passed ($(took)), $skipped skipped (${reason:-see $log})"
    else
      note "$1: passed ($(took))"
    fi
  else
    note "$1: FAILED ($(took))"
    failed="$failed $1"
  fi
}

run_suite linux
run_suite asan

if [ "$quick" -eq 1 ]; then
  echo "==> results:$summary
  total: $(($(date +%s) - run_start)) s (quick: linux asan)"
  [ -z "$failed" ] && exit 0
  exit 1
fi

# Formatting and clang-tidy; the script prints each finding.
started
echo "==> suite lint"
if ./scripts/lint.sh; then
  note "lint: passed ($(took))"
else
  note "lint: FAILED ($(took))"
  failed="$failed lint"
fi

# The validator's long run, on the sanitizer build the asan suite just made: a
# few thousand seeded sequences, lifecycle stress, every host fault and the full
# allocation-failure sweep. A fixed seed keeps the run repeatable; a failure
# prints the seed and steps that replay it.
started
echo "==> suite validator"
log=build/validator.log
if [ -x build/asan/bin/validator ] &&
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/asan/bin/validator --seed "${VELTRANE_VALIDATOR_SEED:-20261208}" \
    --cases 3000 --steps 60 --cycles 300 --loads 100 >"$log" 2>&1; then
  cat "$log"
  note "validator: passed ($(took); $(sed -n "s/^validator: \([0-9]\)/\1/p" "$log"))"
else
  cat "$log" 2>/dev/null || true
  note "validator: FAILED ($(took), see $log)"
  failed="$failed validator"
fi

# Each fuzz harness for a bounded time, under the sanitizers.
started
echo "==> suite fuzz"
log=build/fuzz.log
if ./fuzz/run-fuzzers.sh "${VELTRANE_FUZZ_SECONDS:-60}" >"$log" 2>&1; then
  sed -n '/^==> fuzz results:/,$p' "$log"
  runs=$(sed -n 's/^  \([a-z_]*\): \([0-9]*\) executions, clean.*$/ \1 \2 runs/p' "$log" |
    tr '\n' ',' | sed 's/,$//')
  note "fuzz: passed ($(took));$runs"
else
  cat "$log"  # the build, or the failing harness's report and the results
  note "fuzz: FAILED ($(took), see $log)"
  failed="$failed fuzz"
fi
run_suite win32
run_suite win64

# The release: both packages and their checksums, each checked as a user
# receives it, with its Windows suite run against the DLL taken out of the zip.
started
echo "==> suite package"
log=build/package.log
if ./scripts/package.sh >"$log" 2>&1; then
  sed -n '/^==> packages in/,$p' "$log"
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
  for arch in win32 win64; do
    started
    zip=build/dist/Veltrane-$version-$arch.zip
    checklog=build/package-$arch.log
    # First that the check refuses broken copies of the package, then the
    # package itself, with its suite.
    if ! tests/check_package_faults.sh "$zip" "$arch" "build/$arch/bin/Veltrane.dll"; then
      note "package $arch: FAILED ($(took)), the check passes broken packages"
      failed="$failed package-$arch"
    elif ./scripts/check-package.sh "$zip" "$arch" >"$checklog" 2>&1; then
      grep -v '^  ok: ' "$checklog"
      note "package $arch: passed ($(took)), $(tail -n 1 "$checklog")"
    else
      cat "$checklog"
      note "package $arch: FAILED ($(took)), $(tail -n 1 "$checklog")"
      failed="$failed package-$arch"
    fi
  done
else
  cat "$log"
  note "package: FAILED to build ($(took), see $log)"
  failed="$failed package"
fi

echo "==> results:$summary
  total: $(($(date +%s) - run_start)) s"
[ -z "$failed" ]
