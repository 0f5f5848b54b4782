#!/bin/sh
# Lints our C++ sources: clang-format over every tracked source and header
# (the root .clang-format), then clang-tidy over our own .cpp files (the
# root .clang-tidy sets the checks) on a compile database made by clang: the
# lint preset, configured but not built. Prints each finding; exits non-zero
# when there is any. Run it alone, or through scripts/run-tests.sh.
#
# Only the sources this Linux build compiles are tidied: the Windows-only files
# have no compile command here (the cross builds' -Werror covers them).
set -eu
. "$(dirname -- "$0")/common.sh"
ensure_packages $LINT_PACKAGES
cd "$VELTRANE_ROOT"

failed=""

echo "==> lint: clang-format"
# The fuzz corpora are inputs, not code, whatever their names.
if git ls-files -- '*.cpp' '*.h' ':(exclude)fuzz/corpus/*' |
  xargs clang-format-14 --dry-run -Werror; then
  echo "clang-format: clean"
else
  failed="$failed clang-format"
fi

echo "==> lint: clang-tidy"
cmake --preset lint >/dev/null
# Our own translation units, once each (a source built into two libraries has
# two entries), as the database names them.
files=$(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' build/lint/compile_commands.json |
  sed "s#^$VELTRANE_ROOT/##" | grep -E '^(frame|widgets|counter|platform|protocol|host)/' |
  sort -u)
[ -n "$files" ] || { echo "lint: no sources in build/lint/compile_commands.json" >&2; exit 1; }
# Any finding fails the lint, not only the checks .clang-tidy makes errors.
# Files are checked in parallel, each into a log of its own, so that each
# report is printed whole rather than interleaved with another's.
logs=build/lint/clang-tidy
rm -rf "$logs" && mkdir -p "$logs"
# shellcheck disable=SC2016,SC2086
if printf '%s\n' $files | xargs -P "$VELTRANE_JOBS" -n 1 sh -c \
  'clang-tidy-14 -p build/lint --quiet --warnings-as-errors="*" "$1" \
     >"$0/$(echo "$1" | tr / _).log" 2>&1' "$logs"; then
  echo "clang-tidy: clean ($(echo "$files" | wc -l) files)"
else
  # The counts of suppressed warnings (in system headers) go; the findings stay.
  cat "$logs"/*.log | grep -v -e '^[0-9]* warnings\{0,1\}\( and [0-9]* errors\{0,1\}\)\{0,1\} generated' \
    -e '^Suppressed [0-9]* warnings' -e '^Use -header-filter' || true
  failed="$failed clang-tidy"
fi

[ -z "$failed" ] || { echo "lint: FAILED:$failed" >&2; exit 1; }
echo "lint: clean"
