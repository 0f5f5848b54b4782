# Shared by the top-level scripts: installs what is missing, builds presets.
# Sourced, not run.

# The repository root, whatever the caller's working directory.
VELTRANE_ROOT=$(CDPATH= cd -- "$(dirname -- "$0")/.." && pwd)

# as_root CMD...: runs CMD as root (directly when we are root, else through sudo).
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# ensure_packages PKG...: installs the Debian packages that are not installed yet.
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
  as_root apt-get update -qq
  # Some i386 maintainer scripts cannot run on kernels without 32-bit support;
  # the packages are still unpacked, which is all the cross build needs.
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    $missing || as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -f
}

# What the native build and its tests need.
NATIVE_PACKAGES="cmake ninja-build g++ binutils libgtest-dev googletest libosd-dev libpugixml-dev
libtinyobjloader-dev nlohmann-json3-dev libcli11-dev libassimp-dev libmeshoptimizer-dev libzip-dev assimp-testmodels"

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

# build_preset NAME: configures and builds one CMake preset.
build_preset() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" --parallel "$VELTRANE_JOBS"
}
