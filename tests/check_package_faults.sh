#!/bin/sh
# Shows that scripts/check-package.sh refuses broken packages: from a good
# package ZIP of ARCH it makes copies with one fault each (an unstripped DLL, a
# file too many, a file missing, a text with Unix line ends, a stale checksum, a
# name of another version) and expects the static check to fail on each and to
# name the check that failed, and to pass on the good one. UNSTRIPPED is the
# build tree's DLL of ARCH. Works in build/ARCH/package-faults/. For the tool's
# package (veltrane-host-*.zip) UNSTRIPPED is the build tree's veltrane-host.exe,
# the file missing the plug-in and the text README.txt.
# usage: tests/check_package_faults.sh ZIP ARCH UNSTRIPPED
set -eu
[ $# -eq 3 ] || { echo "usage: tests/check_package_faults.sh ZIP ARCH UNSTRIPPED" >&2; exit 2; }
root=$(CDPATH= cd -- "$(dirname -- "$0")/.." && pwd)
abs() { echo "$(CDPATH= cd -- "$(dirname -- "$1")" && pwd)/$(basename -- "$1")"; }
zip=$(abs "$1") arch=$2 unstripped=$(abs "$3")
name=$(basename -- "$zip")
case $name in
  veltrane-host-*) program=veltrane-host.exe needed=Veltrane.dll text=README.txt prefix=veltrane-host ;;
  *) program=Veltrane.dll needed=LICENSE.txt text=INSTALL.txt prefix=Veltrane ;;
esac
work=$root/build/$arch/package-faults
rm -rf "$work"
mkdir -p "$work/good"
(cd "$work/good" && cmake -E tar xf "$zip")

failures=0
# expect CASE PATTERN [FILE]: the package built in $work/CASE/files must fail
# the check with a line matching PATTERN; FILE names the zip (default: $name).
expect() {
  case=$1 pattern=$2 file=${3:-$name}
  dir=$work/$1
  (cd "$dir/files" && cmake -E tar cf "$dir/$file" --format=zip -- $(ls))
  [ -f "$dir/SHA256SUMS" ] || (cd "$dir" && sha256sum "$file" >SHA256SUMS)
  if out=$("$root/scripts/check-package.sh" --static "$dir/$file" "$arch" 2>&1); then
    echo "check_package_faults: $case: the check passed a broken package"
    failures=$((failures + 1))
  elif ! printf '%s\n' "$out" | grep -q "FAILED: .*$pattern"; then
    printf '%s\n' "$out"
    echo "check_package_faults: $case: failed, but not on '$pattern'"
    failures=$((failures + 1))
  else
    echo "check_package_faults: $case: refused ($(printf '%s\n' "$out" | grep -m1 'FAILED: '))"
  fi
}
variant() { mkdir -p "$work/$1/files" && cp "$work/good/"* "$work/$1/files/"; }

variant unstripped && cp "$unstripped" "$work/unstripped/files/$program"
expect unstripped "stripped"
variant extra-file && echo "left over" >"$work/extra-file/files/notes.txt"
expect extra-file "holds exactly"
variant no-license && rm "$work/no-license/files/$needed"
expect no-license "holds exactly"
variant unix-text && tr -d '\r' <"$work/good/$text" >"$work/unix-text/files/$text"
expect unix-text "Windows line ends"
variant stale-sum && mkdir -p "$work/stale-sum" &&
  echo "$(printf '0%.0s' $(seq 64))  $name" >"$work/stale-sum/SHA256SUMS"
expect stale-sum "sha256sum -c"
variant other-version
expect other-version "named for version" "$(echo "$name" | sed "s/^$prefix-[0-9.]*-/$prefix-0.0.1-/")"

# And the good package itself passes, so the refusals above mean something.
mkdir -p "$work/as-shipped" && cp "$zip" "$work/as-shipped/" &&
  (cd "$work/as-shipped" && sha256sum "$name" >SHA256SUMS)
if "$root/scripts/check-package.sh" --static "$work/as-shipped/$name" "$arch" >/dev/null 2>&1; then
  echo "check_package_faults: as shipped: passes"
else
  echo "check_package_faults: the good package $name fails the check"
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
