#!/bin/sh
# The man page as man shows it names every long option of --help and of
# `merge --help`, and the README's reference sections, and groff reads it
# without a warning.
# usage: tests/install/check_man_page.sh TOOL PAGE
set -eu
[ $# -eq 2 ] || { echo "usage: check_man_page.sh TOOL PAGE" >&2; exit 2; }
tool=$1 page=$2
. "$(dirname -- "$0")/long_options.sh"
# A line wide enough that no option is broken across lines, no hyphenation,
# no bold or underline: the text a reader sees.
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
text=$(groff -man -Tutf8 -rLL=400n -rHY=0 -P-cbou -ww "$page" 2>"$errors") || {
  cat "$errors"
  exit 1
}
if [ -s "$errors" ]; then cat "$errors"; echo "check_man_page: groff warns on $page"; exit 1; fi
failures=0
options=$( { long_options "$tool"; long_options "$tool" merge; } | sort -u)
[ -n "$options" ] || { echo "check_man_page: no options in $tool --help"; exit 1; }
for option in $options; do
  # As an option, not inside a longer one (--json in --jsonl).
  if ! printf '%s\n' "$text" | grep -q -- "$option\([^a-z0-9-]\|\$\)"; then
    echo "check_man_page: $option is in --help but not in the page"
    failures=$((failures + 1))
  fi
done
for section in NAME SYNOPSIS DESCRIPTION OPTIONS OUTPUT JSON MERGE "BUDGET POLICY" "EXIT STATUS" EXAMPLES; do
  printf '%s\n' "$text" | grep -qx "$section" || {
    echo "check_man_page: no section $section"
    failures=$((failures + 1))
  }
done
version=$("$tool" --version | head -n 1)
printf '%s\n' "$text" | head -n 1 | grep -q "^VELTRANE-HOST(1) " &&
  printf '%s\n' "$text" | tail -n 1 | grep -qF "$version" || {
  echo "check_man_page: the page's header and footer do not name VELTRANE-HOST(1) and '$version'"
  failures=$((failures + 1))
}
echo "check_man_page: $(printf '%s\n' "$options" | wc -l) options checked, $failures missing"
[ "$failures" -eq 0 ]
