#!/bin/sh
# Builds and runs every test suite, and prints each suite's result.
# Exits non-zero when any suite fails.
set -eu
. "$(dirname -- "$0")/common.sh"
ensure_packages $NATIVE_PACKAGES
cd "$VELTRANE_ROOT"

failed=""
summary=""
run_suite() {  # run_suite NAME PRESET
  echo "==> suite $1: building"
  if build_preset "$2" && ctest --preset "$2"; then
    summary="$summary\n  $1: passed"
  else
    summary="$summary\n  $1: FAILED"
    failed="$failed $1"
  fi
}

run_suite native linux

printf "==> results:$summary\n"
[ -z "$failed" ]
