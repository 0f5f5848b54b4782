#!/bin/sh
# Builds the release: both Windows packages and their checksums, in build/dist/.
#
#   Veltrane-<version>-win32.zip   for 32-bit hosts (preset win32)
#   Veltrane-<version>-win64.zip   for 64-bit hosts (preset win64)
#   SHA256SUMS                     `sha256sum -c SHA256SUMS` there checks both
#
# The version is project()'s in CMakeLists.txt, the one place it is written.
# Only the plug-in is built for each preset (configured first), not the tests;
# scripts/check-package.sh checks what this makes. Prints each package with its
# size in bytes and its SHA-256.
#
#   scripts/package.sh
set -eu
. "$(dirname -- "$0")/common.sh"
[ $# -eq 0 ] || { echo "usage: scripts/package.sh" >&2; exit 2; }
ensure_packages cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
cd "$VELTRANE_ROOT"

dist=build/dist
names=""
for arch in win32 win64; do
  echo "==> package $arch"
  cmake --preset "$arch" >/dev/null
  cmake --build "build/$arch" --target Veltrane --parallel "$VELTRANE_JOBS"
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "build/$arch/CMakeCache.txt")
  name=Veltrane-$version-$arch.zip
  # CPack alone, not the package target, which would build every test first.
  rm -f "build/$arch/package/$name"
  (cd "build/$arch" && cpack --config CPackConfig.cmake >/dev/null)
  [ -f "build/$arch/package/$name" ] || { echo "package: CPack made no build/$arch/package/$name" >&2; exit 1; }
  names="$names $name"
done

# The folder holds this release only: what an older version left goes.
mkdir -p "$dist"
rm -f "$dist"/Veltrane-*-win32.zip "$dist"/Veltrane-*-win64.zip "$dist/SHA256SUMS"
for name in $names; do
  arch=${name##*-}
  cp "build/${arch%.zip}/package/$name" "$dist/$name"
done
# shellcheck disable=SC2086
(cd "$dist" && sha256sum $names >SHA256SUMS.tmp && mv SHA256SUMS.tmp SHA256SUMS)

echo "==> packages in $dist:"
for name in $names; do
  echo "  $name  $(wc -c <"$dist/$name" | tr -d ' ') bytes  sha256 $(sed -n "s/^\([0-9a-f]*\)  $name\$/\1/p" "$dist/SHA256SUMS")"
done
echo "  SHA256SUMS"
