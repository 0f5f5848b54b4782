#!/bin/sh
# Builds and runs the test suites and prints each suite's result and wall time.
# The full run: native (Linux), native under the address, leak and
# undefined-behaviour sanitizers, the lint (scripts/lint.sh), win32 and win64
# built and the release's packages made of them and of an optimised Linux
# build; then, side by side, the validator's long run under the sanitizers,
# each fuzz harness for a bounded time, the Debian package linted and installed
# into a fresh Debian system, and each Windows package checked as shipped, the
# plug-in's with its Windows suite run once, under Wine, on the DLL taken out
# of it, the tool's with its program run under Wine against the Linux tool.
# --quick runs the first two only, the tier to run before every commit. Exits
# non-zero when any suite fails.
#
#   scripts/run-tests.sh [--quick | --help]
#
#   VELTRANE_JOBS            compile jobs and test programs at once (default: nproc)
#   VELTRANE_VALIDATOR_SEED  the long validator run's seed (default: a fixed one)
#   VELTRANE_FUZZ_SECONDS    how long each fuzz harness runs (default 60)
#   VELTRANE_WIN32_VM=1      the 32-bit suite runs in the virtual machine of
#                            scripts/prepare-vm.sh even where this kernel can run
#                            32-bit code (it does where it cannot), to test that path
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
        echo "  (no argument)  every suite: linux asan lint validator fuzz deb, then win32 win64 on their packages"
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
  ensure_packages $NATIVE_PACKAGES $FUZZ_PACKAGES $LINT_PACKAGES $WINDOWS_PACKAGES $DEB_PACKAGES
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

run_suite() {  # run_suite PRESET [WHAT]: builds PRESET, runs its suite; WHAT ends its result
  started
  echo "==> suite $1: building"
  log="build/$1-ctest.log"
  mkdir -p build
  rm -f "$log"
  status=0
  if build_preset "$1"; then
    suite_ctest "$1" "$log" || status=$?
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
      note "$1: passed ($(took)), $skipped skipped (${reason:-see $log})${2:+, $2}"
    else
      note "$1: passed ($(took))${2:+, $2}"
    fi
  else
    note "$1: FAILED ($(took))${2:+, $2}"
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

# The release, built first: each Windows preset once, and both packages made of
# what was built. Each Windows suite then runs once, on the DLL taken out of its
# package (scripts/check-package.sh): what is tested is what ships. Should the
# packages not be made, the suites run on the build's DLLs instead, so that
# their results are still known.
built="" built_win32="" built_win64=""
for arch in win32 win64; do
  started
  echo "==> suite $arch: building"
  if build_preset "$arch"; then
    built="$built $arch"
    eval "built_$arch=\$(took)"
  else
    note "$arch: FAILED to build ($(took))"
    failed="$failed $arch"
  fi
done
started
packaged=0
if [ "$built" != " win32 win64" ]; then
  note "package: not made (a Windows preset failed to build)"
  failed="$failed package"
else
  echo "==> suite package"
  if ./scripts/package.sh >build/package.log 2>&1; then
    sed -n '/^==> packages in/,$p' build/package.log
    packaged=1
  else
    cat build/package.log
    note "package: FAILED to build ($(took), see build/package.log)"
    failed="$failed package"
  fi
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt 2>/dev/null || true)

# What is left keeps few processors busy each: the validator's long run and
# each fuzz harness one for minutes, the 32-bit suite under emulation in the
# virtual machine little more than one. They run side by side: the validator
# and the 32-bit package's check in the background, the fuzz harnesses and then
# the 64-bit package's check here. Each background job is a session of its own,
# so that an early end of this script stops it with everything it started.
background=""
stop_background() {
  for pid in $background; do kill -- "-$pid" 2>/dev/null || true; done
}
trap stop_background EXIT
trap 'exit 130' INT TERM
# in_background LOG COMMAND...: starts COMMAND, output to LOG; its pid in $!,
# the second it ended in LOG.end.
in_background() {
  log=$1
  shift
  rm -f "$log.end"
  setsid -w sh -c '"$@"; status=$?; date +%s >"$0.end"; exit $status' "$log" "$@" >"$log" 2>&1 &
  background="$background $!"
}
# background_result PID LOG START: waits for PID; its status in $status, its
# wall time in $bg_took.
background_result() {
  status=0
  wait "$1" || status=$?
  end=$(cat "$2.end" 2>/dev/null || date +%s)
  bg_took="$((end - $3)) s"
}

# The validator's long run, on the sanitizer build the asan suite made: a few
# thousand seeded sequences, lifecycle stress, every host fault and the full
# allocation-failure sweep. A fixed seed keeps the run repeatable; a failure
# prints the seed and steps that replay it.
validator_log=build/validator.log
validator_start=$(date +%s)
if [ -x build/asan/bin/validator ]; then
  echo "==> suite validator: in the background ($validator_log)"
  in_background "$validator_log" env ASAN_OPTIONS=detect_leaks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/asan/bin/validator --seed "${VELTRANE_VALIDATOR_SEED:-20261208}" \
    --cases 3000 --steps 60 --cycles 300 --loads 100
else
  in_background "$validator_log" sh -c 'echo "run-tests: no build/asan/bin/validator"; exit 1'
fi
validator_pid=$!

# The Debian package: lintian, then installed, run and purged in a fresh
# Debian system (scripts/check-deb.sh), in the background: most of it is
# apt's, which waits on the network and dpkg rather than the processors.
deb_log=build/deb.log
deb_start=$(date +%s)
deb_pid=""
if [ "$packaged" -eq 1 ]; then
  echo "==> suite deb: in the background ($deb_log)"
  in_background "$deb_log" ./scripts/check-deb.sh "build/dist/veltrane-host_${version}_$(dpkg --print-architecture).deb"
  deb_pid=$!
fi

# check_package ARCH: first that the check refuses broken copies of ARCH's
# package (its log: build/package-ARCH-faults.log), then, in the background,
# the package itself with its suite (build/package-ARCH.log). The pid in $!.
check_package() {
  eval "$1_start=\$(date +%s)"
  eval "$1_refuses=1"
  tests/check_package_faults.sh "build/dist/Veltrane-$version-$1.zip" "$1" "build/$1/bin/Veltrane.dll" \
    >"build/package-$1-faults.log" 2>&1 || eval "$1_refuses=0"
  echo "==> suite $1: checking its package and running the suite on its DLL (build/package-$1.log)"
  in_background "build/package-$1.log" ./scripts/check-package.sh "build/dist/Veltrane-$version-$1.zip" "$1"
}
# report_package ARCH PID: waits for ARCH's check and notes its results.
report_package() {
  eval "start=\$$1_start refuses=\$$1_refuses build_time=\$built_$1"
  checklog=build/package-$1.log
  background_result "$2" "$checklog" "$start"
  echo "==> suite $1 and its package"
  if [ "$refuses" -eq 0 ]; then cat "build/package-$1-faults.log"; fi
  if [ "$status" -eq 0 ]; then grep -v '^  ok: ' "$checklog"; else cat "$checklog"; fi
  # Its last line: the package, its size and SHA-256; the static checks; the suite.
  last=$(tail -n 1 "$checklog")
  case $last in
    *"; suite "*)
      package=${last%; suite *} suite=${last##*; suite }
      [ "$refuses" -eq 1 ] || package="$package; the check passes broken packages"
      case $package in
        *FAILED* | *broken*)
          package_note="package $1: FAILED ($bg_took with the suite), $package"
          failed="$failed package-$1" ;;
        *) package_note="package $1: passed ($bg_took with the suite), $package" ;;
      esac
      case $suite in FAILED*) failed="$failed $1" ;; esac
      suite_note="$1: $suite on the packaged DLL; built in $build_time" ;;
    *)
      # The check stopped before its summary: a package it could not unpack.
      package_note="package $1: FAILED ($bg_took), $last"
      suite_note="$1: not run (its package's check stopped); built in $build_time"
      failed="$failed package-$1 $1" ;;
  esac
  eval "$1_suite_note=\$suite_note $1_package_note=\$package_note"
}

win32_pid=""
[ "$packaged" -eq 1 ] && check_package win32 && win32_pid=$!

# Each fuzz harness for a bounded time, under the sanitizers.
started
echo "==> suite fuzz"
log=build/fuzz.log
if ./fuzz/run-fuzzers.sh "${VELTRANE_FUZZ_SECONDS:-60}" >"$log" 2>&1; then
  sed -n '/^==> fuzz results:/,$p' "$log"
  runs=$(sed -n 's/^  \([a-z_]*\): \([0-9]*\) executions, clean.*$/ \1 \2 runs/p' "$log" |
    tr '\n' ',' | sed 's/,$//')
  fuzz_note="fuzz: passed ($(took));$runs"
else
  cat "$log"  # the build, or the failing harness's report and the results
  fuzz_note="fuzz: FAILED ($(took), see $log)"
  failed="$failed fuzz"
fi

if [ "$packaged" -eq 1 ]; then
  check_package win64
  report_package win64 $!
  report_package win32 "$win32_pid"
  # The tool's Windows package, once the 64-bit suite is done with Wine: first
  # that its check refuses broken copies, then the package, its program run.
  started
  tool_zip=veltrane-host-$version-win64.zip
  echo "==> suite package $tool_zip"
  tool_log=build/package-tool-win64.log
  tool_refuses=1
  tests/check_package_faults.sh "build/dist/$tool_zip" win64 build/win64/bin/veltrane-host.exe \
    >build/package-tool-win64-faults.log 2>&1 || tool_refuses=0
  tool_status=0
  ./scripts/check-package.sh "build/dist/$tool_zip" win64 >"$tool_log" 2>&1 || tool_status=$?
  [ "$tool_refuses" -eq 1 ] || cat build/package-tool-win64-faults.log
  if [ "$tool_status" -eq 0 ]; then grep -v '^  ok: ' "$tool_log"; else cat "$tool_log"; fi
  if [ "$tool_status" -eq 0 ] && [ "$tool_refuses" -eq 1 ]; then
    tool_package_note="package veltrane-host win64: passed ($(took)), $(tail -n 1 "$tool_log")"
  else
    [ "$tool_refuses" -eq 1 ] || tool_broken="; the check passes broken packages"
    tool_package_note="package veltrane-host win64: FAILED ($(took)), $(tail -n 1 "$tool_log")${tool_broken:-}"
    failed="$failed package-tool-win64"
  fi
fi

background_result "$validator_pid" "$validator_log" "$validator_start"
echo "==> suite validator"
cat "$validator_log"
if [ "$status" -eq 0 ]; then
  note "validator: passed ($bg_took, in the background; $(sed -n "s/^validator: \([0-9]\)/\1/p" "$validator_log"))"
else
  note "validator: FAILED ($bg_took, see $validator_log)"
  failed="$failed validator"
fi
note "$fuzz_note"
if [ -n "$deb_pid" ]; then
  background_result "$deb_pid" "$deb_log" "$deb_start"
  echo "==> suite deb"
  if [ "$status" -eq 0 ]; then grep -v '^  ok: ' "$deb_log"; else cat "$deb_log"; fi
  if [ "$status" -eq 0 ]; then
    note "deb: passed ($bg_took, in the background), $(tail -n 1 "$deb_log")"
  else
    note "deb: FAILED ($bg_took, see $deb_log), $(tail -n 1 "$deb_log")"
    failed="$failed deb"
  fi
else
  note "deb: not run (the packages were not made)"
  failed="$failed deb"
fi
if [ "$packaged" -eq 1 ]; then
  note "$win32_suite_note"
  note "$win64_suite_note"
  note "$win32_package_note"
  note "$win64_package_note"
  note "$tool_package_note"
else
  for arch in $built; do run_suite "$arch" "on the build's DLL (no package)"; done
fi
background=""

echo "==> results:$summary
  total: $(($(date +%s) - run_start)) s"
[ -z "$failed" ]
