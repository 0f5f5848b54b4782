#!/bin/sh
# Checks one Windows package as a user receives it, then runs the Windows suite
# against the DLL taken out of it, so that what is tested is what ships.
#
#   scripts/check-package.sh [--static] ZIP ARCH      (ARCH: win32 or win64)
#
# A ZIP named veltrane-host-* is the tool's package; see check_tool_package
# below for what is checked of it.
#
# ZIP is unpacked into a fresh folder, build/ARCH/package-check/, and must hold
# exactly Veltrane.dll, INSTALL.txt and LICENSE.txt. The DLL must be a stripped
# DLL of ARCH's machine type (i386, x86-64), export exactly the 14 entry points
# under their bare names and import system DLLs only (tests/check_exports.sh,
# with the build's list of entry points), and carry a version resource whose
# numbers and strings name the version of project() in CMakeLists.txt. The
# install note must name that version and both packages, the license must be
# LICENSE's text, and the SHA256SUMS beside ZIP must pass `sha256sum -c`.
#
# Then preset ARCH's suite (built first when it is not) runs under Wine with
# VELTRANE_TEST_PLUGIN naming the unpacked DLL, and veltrane-host identifies it.
# A 32-bit suite runs in the virtual machine of scripts/prepare-vm.sh where this
# kernel cannot run 32-bit code, or anywhere with VELTRANE_WIN32_VM=1; a machine
# that cannot be prepared then fails the suite. Where the machine cannot run
# ARCH's programs at all, the suite is skipped and the last line says why; the
# static checks still decide the exit status. --static checks the package only
# and runs no suite.
#
# The last line sums up, parts separated by "; ": the package, its size in
# bytes and its SHA-256; the static checks; the suite's result, test count and
# wall time. Exits 1 on any failed check, 2 on a usage error.
set -eu
usage="usage: scripts/check-package.sh [--static] ZIP win32|win64"
run_suite=1
[ "${1:-}" = --static ] && { run_suite=0; shift; }
[ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
zip=$1 arch=$2
case $arch in
  win32) bits=32 tool=i686-w64-mingw32 format=pei-i386 machine=i386 ;;
  win64) bits=64 tool=x86_64-w64-mingw32 format=pei-x86-64 machine=i386:x86-64 ;;
  *) echo "check-package: unknown ARCH '$arch'; $usage" >&2; exit 2 ;;
esac
[ -f "$zip" ] || { echo "check-package: $zip: no such file" >&2; exit 2; }
zip=$(CDPATH= cd -- "$(dirname -- "$zip")" && pwd)/$(basename -- "$zip")
. "$(dirname -- "$0")/common.sh"
ensure_packages cmake ninja-build binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
cd "$VELTRANE_ROOT"

name=$(basename -- "$zip")
failures=0
pass() { echo "  ok: $*"; }
fail() { echo "  FAILED: $*"; failures=$((failures + 1)); }
check() {  # check DESCRIPTION COMMAND...: runs COMMAND quietly, reports DESCRIPTION
  what=$1
  shift
  if "$@" >/dev/null 2>&1; then pass "$what"; else fail "$what"; fi
}

# check_tool_package: the tool's package, veltrane-host-<version>-ARCH.zip,
# unpacked into a fresh folder (build/ARCH/tool-package-check/), must hold
# exactly veltrane-host.exe, Veltrane.dll, README.txt and LICENSE.txt: the
# program an executable of ARCH's machine type, both stripped, neither
# importing anything but system DLLs (the DLL exports its 14 entry points);
# README.txt in Windows line ends naming the version, the exit codes and the
# formats; the license LICENSE's text; the package in SHA256SUMS. Then, under
# Wine, the packaged program (finding the plug-in beside it) counts an OBJ
# file, the sample scene, a file of each other format its build reads and a
# folder of them all, each with the exit status and the JSON the Linux tool
# (build/linux, built when it is not) gives for the same files; over a budget it
# exits 1, on a missing file 2. Its last line sums up as the plug-in's does.
check_tool_package() {
  check "named for version $version and $arch" test "$name" = "veltrane-host-$version-$arch.zip"
  unpacked=build/$arch/tool-package-check
  rm -rf "$unpacked"
  mkdir -p "$unpacked"
  if ! (cd "$unpacked" && cmake -E tar xf "$zip"); then
    fail "unpacks"
    echo "check-package: $name: cannot be unpacked"
    exit 1
  fi
  contents=$(cd "$unpacked" && find . -mindepth 1 | sed 's|^\./||' | sort | tr '\n' ' ')
  check "holds exactly LICENSE.txt README.txt Veltrane.dll veltrane-host.exe (holds: $contents)" \
    test "$contents" = "LICENSE.txt README.txt Veltrane.dll veltrane-host.exe "
  exe=$unpacked/veltrane-host.exe dll=$unpacked/Veltrane.dll
  [ -f "$exe" ] && [ -f "$dll" ] || { echo "check-package: $name: no veltrane-host.exe or Veltrane.dll"; exit 1; }
  header=$("$tool-objdump" -f "$exe" 2>&1 || true)
  check "veltrane-host.exe: machine type $machine ($format), an executable" sh -c '
    printf "%s\n" "$1" | grep -q "file format $2\$" &&
    printf "%s\n" "$1" | grep -q "^architecture: $3," &&
    ! "$4" -p "$5" | grep -A8 "^Characteristics" | grep -qx "[[:space:]]*DLL"' \
    - "$header" "$format" "$machine" "$tool-objdump" "$exe"
  for file in "$exe" "$dll"; do
    check "$(basename "$file"): stripped" sh -c '! "$1" -h "$2" | grep -q "\.debug" &&
      "$3" "$2" 2>&1 | grep -q "no symbols"' - "$tool-objdump" "$file" "$tool-nm"
  done
  imports=$("$tool-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u | tr '\n' ' ')
  check "veltrane-host.exe imports system DLLs only ($imports)" sh -c '
    for dll in $1; do
      case $(echo "$dll" | tr A-Z a-z) in
        kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|api-ms-win-*.dll|ucrtbase.dll) ;;
        *) exit 1 ;;
      esac
    done' - "$imports"
  entry_points=build/$arch/protocol/entry_points.txt
  [ -f "$entry_points" ] || cmake --preset "$arch" >/dev/null
  check "Veltrane.dll exports its entry points and imports system DLLs only" \
    tests/check_exports.sh "$dll" "$entry_points" "$(command -v "$tool-objdump")"
  readme=$unpacked/README.txt
  check "README.txt names veltrane-host $version" sh -c 'head -n 1 "$1" | grep -qF "veltrane-host $2 "' \
    - "$readme" "$version"
  check "README.txt says how to run it, its exit codes and the formats it reads" sh -c \
    'grep -q "^Running it" "$1" && grep -q "^Exit codes" "$1" && grep -q "^Formats this build reads" "$1"' \
    - "$readme"
  check "README.txt and LICENSE.txt have Windows line ends" sh -c \
    '! tr -d "\r" <"$1" | cmp -s - "$1" && [ "$(grep -c "$(printf "\r")\$" "$1")" -eq "$(wc -l <"$1")" ] &&
     ! tr -d "\r" <"$2" | cmp -s - "$2"' - "$readme" "$unpacked/LICENSE.txt"
  check "LICENSE.txt is LICENSE" sh -c 'tr -d "\r" <"$1" | cmp -s - LICENSE' - "$unpacked/LICENSE.txt"
  sums=$(dirname -- "$zip")/SHA256SUMS
  check "SHA256SUMS lists $name" grep -q "^[0-9a-f]\{64\}  $name\$" "$sums"
  check "sha256sum -c SHA256SUMS passes" sh -c 'cd "$(dirname -- "$1")" && sha256sum --strict -c SHA256SUMS' \
    - "$sums"
  size=$(wc -c <"$zip" | tr -d ' ')
  sha=$(sha256sum "$zip" | cut -d' ' -f1)
  static="static checks passed"
  [ "$failures" -eq 0 ] || static="$failures static checks FAILED"

  if [ "$bits" = 32 ]; then loader=/usr/lib/wine/wine; else loader=/usr/lib/wine/wine64; fi
  if [ "$run_suite" -eq 0 ]; then
    runs="not run (--static)"
  elif [ ! -x "$loader" ]; then
    runs="runs skipped: $loader is not installed"
  elif ! "$loader" --version >/dev/null 2>&1; then
    runs="runs skipped: this machine cannot execute $loader"
  else
    runs_start=$(date +%s)
    before=$failures
    run_packaged_tool
    took="$(($(date +%s) - runs_start)) s"
    if [ "$failures" -eq "$before" ]; then runs="runs under Wine match the Linux tool ($took)"
    else runs="runs under Wine FAILED ($took)"; fi
  fi
  echo "$name: $size bytes, sha256 $sha; $static; $runs"
  [ "$failures" -eq 0 ]
  exit
}

# run_packaged_tool: the unpacked tool under Wine against the Linux tool.
run_packaged_tool() {
  linux_tool=$PWD/build/linux/bin/veltrane-host
  if [ ! -x "$linux_tool" ]; then
    cmake --preset linux >/dev/null && cmake --build build/linux --target veltrane-host Veltrane \
      --parallel "$VELTRANE_JOBS" >/dev/null || { fail "the Linux tool to compare with builds"; return; }
  fi
  files=$PWD/build/$arch/tool-package-files
  rm -rf "$files"
  mkdir -p "$files/models"
  cp samples/*.obj samples/scene.json samples/crates.glb "$files/models/"
  # Formats samples/ has no file of: the smallest valid ones.
  printf 'ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n' \
    >"$files/models/tri.ply"
  printf 'solid tri\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\nendsolid tri\n' \
    >"$files/models/tri.stl"
  # What the packaged build says it reads; each must be among the files above.
  exe_abs=$PWD/$unpacked/veltrane-host.exe
  prefix=$PWD/build/$arch/wineprefix
  wine_tool() { "$VELTRANE_ROOT/cmake/wine-run.sh" "$prefix" "$bits" "$exe_abs" "$@"; }
  for extension in $(wine_tool --formats 2>/dev/null | tr -d '\r' | sed -n 's/^  \(\.[a-z0-9]*\) .*/\1/p'); do
    # A reader of .gltf reads .glb too (the same line); an extension with no
    # file here would go unchecked.
    case $extension in .gltf) extension=.glb ;; esac
    ls "$files/models/"*"$extension" >/dev/null 2>&1 ||
      fail "the packaged tool reads $extension, but no $extension file is checked"
  done
  # compare WHAT STATUS ARGS...: run in $files/models by both tools, with the
  # exit status STATUS and the same JSON (line ends and separators aside).
  compare() {
    what=$1 want=$2
    shift 2
    got_linux=0 got_windows=0
    (cd "$files/models" && "$linux_tool" --json -j 1 "$@") >"$files/linux.json" 2>/dev/null || got_linux=$?
    (cd "$files/models" && wine_tool --json "$@") 2>/dev/null | tr -d '\r' | sed 's|\\\\|/|g' \
      >"$files/windows.json" || true
    got_windows=$(sed -n 's/.*"exit_status": *\([0-9]*\).*/\1/p' "$files/windows.json" | head -n 1)
    if [ "$got_linux" != "$want" ]; then fail "$what: the Linux tool exits $got_linux, not $want"
    elif [ "$got_windows" != "$want" ]; then fail "$what: the packaged tool says exit status ${got_windows:-none}, not $want"
    elif ! cmp -s "$files/linux.json" "$files/windows.json"; then
      diff "$files/linux.json" "$files/windows.json" | head -n 10
      fail "$what: the packaged tool's JSON differs from the Linux tool's"
    else pass "$what: exit $want, the Linux tool's JSON"
    fi
  }
  compare "an OBJ file" 0 cage.obj
  compare "the sample scene" 0 scene.json
  compare "glTF" 0 crates.glb
  compare "PLY" 0 tri.ply
  compare "STL" 0 tri.stl
  compare "a folder" 0 --no-ignore .  # (the folder is in build/, which git ignores)
  compare "over a budget" 1 --max-triangles 1 scene.json
  compare "a missing file" 2 no-such-model.obj
  # The exit status itself, not only the JSON's word for it.
  status=0
  (cd "$files/models" && wine_tool --max-triangles 1 scene.json) >/dev/null 2>&1 || status=$?
  check "the packaged tool exits 1 over a budget (exits $status)" test "$status" -eq 1
}

echo "==> check-package $name ($arch)"
version=$(sed -n 's/^project(Veltrane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "check-package: no version in CMakeLists.txt's project()" >&2; exit 1; }
case $name in veltrane-host-*) check_tool_package ;; esac
check "named for version $version and $arch" test "$name" = "Veltrane-$version-$arch.zip"

# The build's list of entry points, made from the protocol's one list.
entry_points=build/$arch/protocol/entry_points.txt
[ -f "$entry_points" ] || cmake --preset "$arch" >/dev/null

# A fresh folder: nothing of an earlier check, or of the build, can stand in.
unpacked=build/$arch/package-check
rm -rf "$unpacked"
mkdir -p "$unpacked"
if ! (cd "$unpacked" && cmake -E tar xf "$zip"); then
  fail "unpacks"
  echo "check-package: $name: cannot be unpacked"
  exit 1
fi
contents=$(cd "$unpacked" && find . -mindepth 1 | sed 's|^\./||' | sort | tr '\n' ' ')
check "holds exactly INSTALL.txt LICENSE.txt Veltrane.dll (holds: $contents)" \
  test "$contents" = "INSTALL.txt LICENSE.txt Veltrane.dll "
dll=$unpacked/Veltrane.dll
[ -f "$dll" ] || { echo "check-package: $name: no Veltrane.dll"; exit 1; }

# Machine type and kind of file, from the PE headers.
header=$("$tool-objdump" -f "$dll" 2>&1 || true)
check "machine type $machine ($format)" sh -c '
  printf "%s\n" "$1" | grep -q "file format $2\$" &&
  printf "%s\n" "$1" | grep -q "^architecture: $3,"' - "$header" "$format" "$machine"
check "a DLL" sh -c '"$1" -p "$2" | grep -A8 "^Characteristics" | grep -qx "[[:space:]]*DLL"' \
  - "$tool-objdump" "$dll"
check "stripped: no debug sections" sh -c '! "$1" -h "$2" | grep -q "\.debug"' \
  - "$tool-objdump" "$dll"
check "stripped: no symbol table" sh -c '"$1" "$2" 2>&1 | grep -q "no symbols"' - "$tool-nm" "$dll"

# Exports and imports: the test the build runs on its own DLL.
if exports=$(tests/check_exports.sh "$dll" "$entry_points" "$(command -v "$tool-objdump")" 2>&1); then
  pass "$(printf '%s\n' "$exports" | tr '\n' ';' | sed 's/;$//; s/;/; /g')"
else
  printf '%s\n' "$exports"
  fail "exports and imports"
fi

# The version resource, read back from the DLL as resource script text.
resource=$("$tool-windres" -i "$dll" -O rc 2>&1 || true)
value() { printf '%s\n' "$resource" | sed -n "s/^[[:space:]]*VALUE \"$1\", \"\(.*\)\"\$/\1/p"; }
numbers() { printf '%s\n' "$resource" | sed -n "s/^[[:space:]]*$1 //p" | tr -d ' '; }
want_numbers=$(echo "$version.0.0.0" | cut -d. -f1-4 | tr . ,)
copyright=$(grep -m1 '^Copyright ' LICENSE)
check "FILEVERSION $want_numbers" test "$(numbers FILEVERSION)" = "$want_numbers"
check "PRODUCTVERSION $want_numbers" test "$(numbers PRODUCTVERSION)" = "$want_numbers"
check "FILETYPE DLL" test "$(numbers FILETYPE)" = 0x2
check "FileVersion \"$version\"" test "$(value FileVersion)" = "$version"
check "ProductVersion \"$version\"" test "$(value ProductVersion)" = "$version"
check "ProductName \"Veltrane\"" test "$(value ProductName)" = Veltrane
check "OriginalFilename \"Veltrane.dll\"" test "$(value OriginalFilename)" = Veltrane.dll
check "InternalName \"Veltrane\"" test "$(value InternalName)" = Veltrane
check "LegalCopyright \"$copyright\"" test "$(value LegalCopyright)" = "$copyright"
check "CompanyName \"$(value CompanyName)\"" test -n "$(value CompanyName)"
check "FileDescription \"$(value FileDescription)\" (${bits}-bit)" \
  sh -c 'printf "%s\n" "$1" | grep -q "(${2}-bit)"' - "$(value FileDescription)" "$bits"
check "a US English, UTF-16 string table" sh -c 'printf "%s\n" "$1" | grep -q "BLOCK \"040904b0\""' \
  - "$resource"

# The texts: the note names this version and both packages; the license is ours.
note=$unpacked/INSTALL.txt
check "INSTALL.txt names Veltrane $version" sh -c 'head -n 1 "$1" | grep -qF "Veltrane $2 "' \
  - "$note" "$version"
check "INSTALL.txt names both packages" sh -c \
  'grep -qF "Veltrane-$2-win32.zip" "$1" && grep -qF "Veltrane-$2-win64.zip" "$1"' - "$note" "$version"
check "INSTALL.txt says where the DLL goes and where the options are kept" sh -c \
  'grep -q "plug-in folder" "$1" && grep -q "^Where the options are kept" "$1"' - "$note"
check "INSTALL.txt and LICENSE.txt have Windows line ends" sh -c \
  '! tr -d "\r" <"$1" | cmp -s - "$1" && ! tr -d "\r" <"$2" | cmp -s - "$2"' - "$note" "$unpacked/LICENSE.txt"
check "LICENSE.txt is LICENSE" sh -c 'tr -d "\r" <"$1" | cmp -s - LICENSE' - "$unpacked/LICENSE.txt"

# The checksums published beside the package.
sums=$(dirname -- "$zip")/SHA256SUMS
check "SHA256SUMS lists $name" grep -q "^[0-9a-f]\{64\}  $name\$" "$sums"
check "sha256sum -c SHA256SUMS passes" sh -c 'cd "$(dirname -- "$1")" && sha256sum --strict -c SHA256SUMS' \
  - "$sums"
size=$(wc -c <"$zip" | tr -d ' ')
sha=$(sha256sum "$zip" | cut -d' ' -f1)

static="static checks passed"
[ "$failures" -eq 0 ] || static="$failures static checks FAILED"

# The suite, on the unpacked DLL. Wine takes a Windows path; its drive Z: is /.
suite=""
if [ "$bits" = 32 ]; then loader=/usr/lib/wine/wine; else loader=/usr/lib/wine/wine64; fi
where=""
if [ "$run_suite" -eq 0 ]; then
  suite="suite not run (--static)"
elif [ ! -x "$loader" ]; then
  suite="suite skipped: $loader is not installed"
elif [ "$bits" = 32 ] && win32_in_vm; then
  where=" in the virtual machine"
elif ! "$loader" --version >/dev/null 2>&1; then
  suite="suite skipped: this machine cannot execute $loader (the kernel's ${bits}-bit support is off)"
fi
if [ -z "$suite" ]; then
  suite_start=$(date +%s)
  VELTRANE_TEST_PLUGIN="Z:$(printf '%s' "$PWD/$dll" | tr / '\\')"
  export VELTRANE_TEST_PLUGIN
  printf '==> suite %s against %s\n' "$arch" "$VELTRANE_TEST_PLUGIN"
  log=build/$arch-package-ctest.log
  status=0
  if build_preset "$arch"; then
    suite_ctest "$arch" "$log" || status=$?
    cat "$log"
    # The suite's Wine server lingers a few seconds after its last program and
    # refuses a program that connects as it goes ("wine client error ...
    # Connection reset by peer"): the next one starts once it has ended.
    WINEPREFIX="$PWD/build/$arch/wineprefix" /usr/lib/wine/wineserver -w 2>/dev/null || true
    identity=$(cmake/wine-run.sh "$PWD/build/$arch/wineprefix" "$bits" "build/$arch/bin/veltrane-host.exe" \
      --plugin "$VELTRANE_TEST_PLUGIN" --identify 2>&1) || status=$?
    printf '%s\n' "$identity"
    printf '%s\n' "$identity" | grep -q "identity *product 5A3C9E41, plug-in 2D7B6F18, type 6" ||
      status=1
  else
    status=1
  fi
  # One count per ctest run (two where the virtual machine runs the programs).
  ran=$(sed -n 's/.* tests passed, [0-9]* tests failed out of \([0-9]*\)$/\1/p' "$log" 2>/dev/null |
    awk '{ n += $1 } END { if (NR) print n }')
  skipped=$(grep -c '(Skipped)' "$log" 2>/dev/null || true)
  took="$(($(date +%s) - suite_start)) s$where"
  if [ "$status" -ne 0 ]; then
    suite="suite FAILED ($took, see $log)"
    failures=$((failures + 1))
  elif [ "${skipped:-0}" -gt 0 ]; then
    suite="suite passed, ${ran:-?} tests, $skipped skipped ($took)"
  else
    suite="suite passed, ${ran:-?} tests ($took)"
  fi
fi
echo "$name: $size bytes, sha256 $sha; $static; $suite"
[ "$failures" -eq 0 ]
