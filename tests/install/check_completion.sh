#!/bin/sh
# The bash completion offers every long option of --help (and of `merge
# --help` after merge), files for the options whose argument is a FILE or
# PATH and for models, `merge` as the first word, the check boxes after --tick,
# and after --reader names the tool takes (and only those).
# usage: tests/install/check_completion.sh TOOL COMPLETION
set -eu
[ $# -eq 2 ] || { echo "usage: check_completion.sh TOOL COMPLETION" >&2; exit 2; }
abs() { echo "$(CDPATH= cd -- "$(dirname -- "$1")" && pwd)/$(basename -- "$1")"; }
tool=$(abs "$1") completion=$(abs "$2")
[ -f "$completion" ] || { echo "check_completion: no $completion"; exit 1; }
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
. "$here/long_options.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# What file completion sees: a folder and a file, in a tree of its own.
tree=$work/tree
mkdir -p "$tree/assets" && : >"$tree/assets/ship.obj" && : >"$tree/budgets.toml"
long_options "$tool" >"$work/options"
long_options "$tool" merge >"$work/merge-options"

# offered WORD...: what the completion offers for the command line WORD...,
# the last word being completed, one a line, sorted; run in $tree.
cat >"$work/offered" <<'SCRIPT'
set -e
. "$1"
shift
COMP_WORDS=("$@")
COMP_CWORD=$(($# - 1))
_veltrane_host
printf '%s\n' "${COMPREPLY[@]}" | sort
SCRIPT
offered() { (cd "$tree" && bash "$work/offered" "$completion" veltrane-host "$@"); }

failures=0
fail() { echo "check_completion: $*"; failures=$((failures + 1)); }
# same DESCRIPTION EXPECTED ACTUAL: the two lists (one a line) are equal.
same() {
  [ "$2" = "$3" ] || fail "$1: offers
$3
  where it should offer
$2"
}

same "options after --" "$(sort "$work/options")" "$(offered --)"
same "options after merge --" "$(sort "$work/merge-options")" "$(offered merge --)"
same "--max-t" "--max-triangles" "$(offered --max-t)"
same "a file after --policy" "budgets.toml" "$(offered --policy bud)"
same "a file after --plugin" "assets" "$(offered --plugin as)"
same "a file after merge --junit" "budgets.toml" "$(offered merge --junit b)"
same "models and merge first" "$(printf 'assets\nbudgets.toml\nmerge\n' | sort)" "$(offered '')"
same "no merge later" "$(printf 'assets\nbudgets.toml\n' | sort)" "$(offered --json '')"
same "nothing after a number's option" "" "$(offered --max-faces '')"
same "nothing after --shard" "" "$(offered --shard '')"
same "check boxes after --tick" "$(printf 'All\nFreeze\nPolygon\nTriangle\nUpdate\nVisible\n' | sort)" \
  "$(offered --tick '')"

# Every option that takes a FILE or PATH completes files; every other option
# offered is one --help lists.
for option in $(sed -n 's/^  \(-[a-zA-Z],\)\{0,1\}\(--[a-z-]*\) \(FILE\|PATH\).*/\2/p' <<EOF_HELP
$("$tool" --help)
EOF_HELP
); do
  same "files after $option" "assets" "$(offered "$option" ass)"
done

# The readers offered are the ones the tool takes, and it refuses what is not.
readers=$(offered --reader '')
[ -n "$readers" ] || fail "no reader offered after --reader"
for reader in $readers; do
  "$tool" --reader "$reader" --files "$tree/assets/ship.obj" >/dev/null 2>&1 ||
    fail "--reader $reader is offered but the tool refuses it"
done
"$tool" --reader no-such-reader --files "$tree/assets/ship.obj" >/dev/null 2>&1 &&
  fail "the tool takes any --reader, so the readers offered check nothing"

echo "check_completion: $(wc -l <"$work/options") options, $failures failures"
[ "$failures" -eq 0 ]
