#!/bin/sh
# `cmake --install` of a build tree into a throw-away prefix, then the tool run
# from there as a user runs it: it finds the plug-in and the host module in
# lib/veltrane/ (not in the build tree), counts the examples as the build
# tree's tool counts the samples, exits 1 over a budget and 2 on a missing
# model, and the man page and completion are where man and bash look.
# usage: tests/install/check_installed_tree.sh BUILD_DIR SOURCE_DIR
set -eu
[ $# -eq 2 ] || { echo "usage: check_installed_tree.sh BUILD_DIR SOURCE_DIR" >&2; exit 2; }
build=$(CDPATH= cd -- "$1" && pwd) source=$(CDPATH= cd -- "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/root/usr
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || {
  cat "$work/install.log"
  exit 1
}

failures=0
fail() { echo "check_installed_tree: $*"; failures=$((failures + 1)); }
examples=$prefix/share/doc/veltrane-host/examples
expect_file() {  # expect_file PATH MODE
  if [ ! -f "$prefix/$1" ]; then fail "$1 is not installed"
  elif [ "$(stat -c %a "$prefix/$1")" != "$2" ]; then fail "$1 is $(stat -c %a "$prefix/$1"), not $2"
  fi
}
expect_file bin/veltrane-host 755
expect_file lib/veltrane/Veltrane.so 644
expect_file lib/veltrane/libmqhost.so 644
expect_file share/bash-completion/completions/veltrane-host 644
expect_file share/doc/veltrane-host/examples/scene.json 644
if grep -q '^VELTRANE_HELP2MAN:FILEPATH=.*NOTFOUND' "$build/CMakeCache.txt"; then
  echo "check_installed_tree: no man page to check (help2man was not found)"
else
  expect_file share/man/man1/veltrane-host.1.gz 644
fi
# Every file the scene names is installed beside it.
for file in $(sed -n 's/.*"file": *"\([^"]*\)".*/\1/p' "$source/samples/scene.json" | sort -u); do
  expect_file "share/doc/veltrane-host/examples/$file" 644
done

tool=$prefix/bin/veltrane-host
# Nothing of the build tree is used: the libraries come from the prefix.
ldd "$tool" | grep -q "libmqhost.so => $prefix/bin/../lib/veltrane/libmqhost.so" ||
  fail "the installed tool does not load lib/veltrane/libmqhost.so: $(ldd "$tool" | grep mqhost)"
"$tool" --version | grep -qx "plug-in: $prefix/bin/../lib/veltrane/Veltrane.so, .*" ||
  fail "the installed tool does not load lib/veltrane/Veltrane.so: $("$tool" --version | grep plug-in)"

# The same counts as the build tree's tool on the same scene, run alike.
status=0
(cd "$examples" && "$tool" --json -j 1 scene.json) >"$work/installed.json" || status=$?
[ "$status" -eq 0 ] || fail "the installed tool exits $status on the examples' scene, not 0"
(cd "$source/samples" && "$build/bin/veltrane-host" --json -j 1 scene.json) >"$work/built.json" || true
cmp -s "$work/installed.json" "$work/built.json" ||
  fail "the installed tool's JSON differs from the build tree's: $(diff "$work/built.json" "$work/installed.json" | head -n 5)"
grep -q '"exit_status": *0' "$work/installed.json" || fail "no exit status 0 in the JSON"
status=0
(cd "$examples" && "$tool" --max-triangles 1 scene.json) >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "over a budget the installed tool exits $status, not 1"
status=0
"$tool" "$work/no-such-model.obj" >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "on a missing model the installed tool exits $status, not 2"

echo "check_installed_tree: $(cd "$prefix" && find . -type f | wc -l) files installed, $failures failures"
[ "$failures" -eq 0 ]
