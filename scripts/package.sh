#!/bin/sh
# Builds the release: the Windows packages of the plug-in, the tool's Windows
# package and its Debian package, and their checksums, in build/dist/.
#
#   Veltrane-<version>-win32.zip          the plug-in for 32-bit hosts (preset win32)
#   Veltrane-<version>-win64.zip          the plug-in for 64-bit hosts (preset win64)
#   veltrane-host-<version>-win64.zip     the tool with the plug-in it loads (preset win64)
#   veltrane-host_<version>_amd64.deb     the tool for Debian (preset deb)
#   SHA256SUMS                            `sha256sum -c SHA256SUMS` there checks them all
#
# The version is project()'s in CMakeLists.txt, the one place it is written.
# Only what ships is built for each preset (configured first), not the tests;
# scripts/check-package.sh checks the zips, scripts/check-deb.sh the Debian
# package. Prints each package with its size in bytes and its SHA-256.
#
#   scripts/package.sh
set -eu
. "$(dirname -- "$0")/common.sh"
[ $# -eq 0 ] || { echo "usage: scripts/package.sh" >&2; exit 2; }
# shellcheck disable=SC2086
ensure_packages $NATIVE_PACKAGES $DEB_PACKAGES g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
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

# The tool for 64-bit Windows, with the plug-in it loads beside it.
echo "==> package veltrane-host win64"
cmake --build build/win64 --target tool_package --parallel "$VELTRANE_JOBS"
name=veltrane-host-$version-win64.zip
[ -f "build/win64/package/$name" ] || { echo "package: no build/win64/package/$name" >&2; exit 1; }
names="$names $name"

# The tool for Debian: an optimised build installed under /usr, its
# dependencies found by dpkg-shlibdeps.
echo "==> package veltrane-host deb"
cmake --preset deb >/dev/null
cmake --build build/deb --target veltrane-host Veltrane veltrane_man_page veltrane_completion \
  --parallel "$VELTRANE_JOBS"
arch=$(dpkg --print-architecture)
name=veltrane-host_${version}_$arch.deb
rm -f "build/deb/package/$name"
(cd build/deb && cpack --config CPackConfig.cmake >/dev/null 2>&1) || {
  (cd build/deb && cpack --config CPackConfig.cmake)  # again, to show why
  exit 1
}
[ -f "build/deb/package/$name" ] || { echo "package: CPack made no build/deb/package/$name" >&2; exit 1; }
names="$names $name"

# The folder holds this release only: what an older version left goes.
mkdir -p "$dist"
rm -f "$dist"/Veltrane-*-win32.zip "$dist"/Veltrane-*-win64.zip "$dist"/veltrane-host-*-win64.zip \
  "$dist"/veltrane-host_*.deb "$dist/SHA256SUMS"
for name in $names; do
  case $name in
    *.deb) preset=deb ;;
    *) preset=${name##*-} preset=${preset%.zip} ;;
  esac
  cp "build/$preset/package/$name" "$dist/$name"
done
# shellcheck disable=SC2086
(cd "$dist" && sha256sum $names >SHA256SUMS.tmp && mv SHA256SUMS.tmp SHA256SUMS)

echo "==> packages in $dist:"
for name in $names; do
  echo "  $name  $(wc -c <"$dist/$name" | tr -d ' ') bytes  sha256 $(sed -n "s/^\([0-9a-f]*\)  $name\$/\1/p" "$dist/SHA256SUMS")"
done
echo "  SHA256SUMS"
