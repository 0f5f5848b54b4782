# Shared by the top-level scripts: installs what is missing, builds presets.
# Sourced, not run.

# The repository root, whatever the caller's working directory.
VELTRANE_ROOT=$(CDPATH= cd -- "$(dirname -- "$0")/.." && pwd)

# as_root CMD...: runs CMD as root (directly when we are root, else through sudo).
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# ensure_packages PKG...: installs the Debian packages that are not installed yet,
# or says which it could not install and returns 1. A mirror in the middle of a
# sync serves an index whose size or checksum does not match for a while: the
# update is tried again (VELTRANE_APT_TRIES times in all, default 4, a minute
# apart), then the install goes ahead on whatever indexes apt has.
ensure_packages() {
  missing=""
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
      missing="$missing $pkg"
  done
  [ -z "$missing" ] && return 0
  echo "==> installing Debian packages:$missing"
  case "$missing" in
    *:i386*)
      dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386 ;;
  esac
  tries=${VELTRANE_APT_TRIES:-4} try=1 update_error=""
  while :; do
    if out=$(as_root apt-get update -qq 2>&1); then update_error="" && break; fi
    update_error=$(printf '%s\n' "$out" | grep -m 2 '^E: ' || printf '%s\n' "$out" | tail -n 2)
    printf '%s\n' "$update_error" >&2
    if [ "$try" -ge "$tries" ]; then
      echo "==> apt-get update failed $tries times; installing from the indexes apt has" >&2
      break
    fi
    echo "==> apt-get update failed (try $try of $tries); again in 60 s" >&2
    try=$((try + 1))
    sleep 60
  done
  # Some i386 maintainer scripts cannot run on kernels without 32-bit support;
  # the packages are still unpacked, which is all the cross build needs.
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=300 $missing ||
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -f -o DPkg::Lock::Timeout=300 ||
    true
  absent=""
  for pkg in $missing; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null |
      grep -Eq "install ok (installed|unpacked|half-configured)" || absent="$absent $pkg"
  done
  [ -z "$absent" ] && return 0
  echo "ensure_packages: cannot install:$absent" >&2
  [ -z "$update_error" ] || printf 'ensure_packages: apt-get update still fails:\n%s\n' "$update_error" >&2
  echo "ensure_packages: install them (apt-get install$absent) and run this again" >&2
  return 1
}

# What the native build and its tests need (help2man makes the man page, groff
# shows it to its test, Chromium opens the HTML reports).
NATIVE_PACKAGES="cmake ninja-build g++ binutils libgtest-dev googletest libosd-dev libpugixml-dev libxml2-utils
libtinyobjloader-dev nlohmann-json3-dev libcli11-dev libassimp-dev libmeshoptimizer-dev libdraco-dev gltfpack libzip-dev libgit2-dev libtomlplusplus-dev assimp-testmodels
help2man groff-base chromium"

# What the Debian package needs to be made (CPack asks file and dpkg-shlibdeps)
# and checked (lintian; mmdebstrap makes the Debian system it is installed in).
DEB_PACKAGES="dpkg-dev file lintian mmdebstrap"

# What the fuzz harnesses need: clang and its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES="clang-14 libclang-rt-14-dev"

# What scripts/lint.sh needs: the formatter and clang-tidy of one clang release,
# and the clang whose compile database clang-tidy reads.
LINT_PACKAGES="clang-14 clang-format-14 clang-tidy-14"

# What the Windows builds and their runs under Wine need.
WINDOWS_PACKAGES="g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
binutils-mingw-w64-x86-64 wine wine64 wine32:i386 util-linux"

# How many compile jobs and test programs run at once: one per processor unless
# VELTRANE_JOBS says otherwise (the presets fix no count, so a bigger machine is used).
VELTRANE_JOBS=${VELTRANE_JOBS:-$(nproc 2>/dev/null || echo 2)}

# win32_in_vm: whether 32-bit Windows programs run in the virtual machine of
# scripts/prepare-vm.sh: where this kernel cannot execute 32-bit code, and on
# any machine with VELTRANE_WIN32_VM=1, so that path can be tested anywhere.
win32_in_vm() {
  [ "${VELTRANE_WIN32_VM:-}" = 1 ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1
}

# suite_ctest PRESET LOG: runs PRESET's built suite from the repository root,
# its output into LOG; returns non-zero when it fails. Where win32_in_vm says
# so, a 32-bit suite's programs all run in one boot of the virtual machine
# (prepared first; one that cannot be prepared fails the suite), and the checks
# labelled "host", which start no test program, run here rather than under
# emulation (first, so that LastTest.log tells of the programs).
suite_ctest() {
  if [ "$1" != win32 ] || ! win32_in_vm; then
    ctest --preset "$1" --parallel "$VELTRANE_JOBS" >"$2" 2>&1
    return
  fi
  if ! ./scripts/prepare-vm.sh >"$2" 2>&1; then
    echo "no virtual machine for the 32-bit suite: scripts/prepare-vm.sh failed" >>"$2"
    return 1
  fi
  suite_status=0
  ctest --preset "$1" --parallel "$VELTRANE_JOBS" -L '^host$' >>"$2" 2>&1 || suite_status=$?
  cmake/vm-run.sh ctest --preset "$1" --parallel "$VELTRANE_JOBS" -LE '^host$' >>"$2" 2>&1 ||
    suite_status=$?
  return "$suite_status"
}

# build_preset NAME: configures and builds one CMake preset.
build_preset() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" --parallel "$VELTRANE_JOBS"
}
