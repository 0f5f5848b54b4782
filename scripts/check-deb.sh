#!/bin/sh
# Checks the tool's Debian package as a user installs it.
#
#   scripts/check-deb.sh [--static] DEB
#
# Static checks: the name names project()'s version and this machine's
# architecture; lintian reports no error and no warning; every file and folder
# is root's, folders 0755, files 0644 but the tool's 0755; the package has no
# maintainer scripts; the copyright file is in Debian's machine-readable
# format; the SHA256SUMS beside DEB lists it and passes `sha256sum -c`.
#
# Then (not with --static) it is installed with apt-get into a fresh Debian
# system of this machine's release, in a chroot of its own (made once by
# mmdebstrap and kept as build/deb-root/base.tar; the packages apt fetches are
# kept in build/deb-root/archives): the installed veltrane-host counts the
# examples' scene as the deb build tree's tool counts the samples, exit 0;
# exits 1 over a budget; the man page and the completion are where man and
# bash look. `apt-get remove --purge` must then leave the system as it was
# before the package came (its dependencies, already installed, stay).
#
# The last line sums up, parts separated by "; ": the package, its size in
# bytes and its SHA-256; the static checks; the install's result and wall time.
# Exits 1 on any failed check, 2 on a usage error.
set -eu
usage="usage: scripts/check-deb.sh [--static] DEB"
install_it=1
[ "${1:-}" = --static ] && { install_it=0; shift; }
[ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }
deb=$1
[ -f "$deb" ] || { echo "check-deb: $deb: no such file" >&2; exit 2; }
deb=$(CDPATH= cd -- "$(dirname -- "$deb")" && pwd)/$(basename -- "$deb")
. "$(dirname -- "$0")/common.sh"
# shellcheck disable=SC2086
ensure_packages $DEB_PACKAGES
cd "$VELTRANE_ROOT"

name=$(basename -- "$deb")
failures=0
pass() { echo "  ok: $*"; }
fail() { echo "  FAILED: $*"; failures=$((failures + 1)); }
check() {  # check DESCRIPTION COMMAND...: runs COMMAND quietly, reports DESCRIPTION
  what=$1
  shift
  if "$@" >/dev/null 2>&1; then pass "$what"; else fail "$what"; fi
}

echo "==> check-deb $name"
version=$(sed -n 's/^project(Veltrane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
check "named for version $version and $arch" test "$name" = "veltrane-host_${version}_$arch.deb"
check "its control names veltrane-host $version" sh -c \
  '[ "$(dpkg-deb -f "$1" Package Version | tr "\n" " ")" = "Package: veltrane-host Version: $2 " ]' \
  - "$deb" "$version"

# lintian: what it says is printed; an error or a warning fails.
lintian_out=$(lintian --allow-root "$deb" 2>&1) || true
[ -z "$lintian_out" ] || printf '%s\n' "$lintian_out" | sed 's/^/  lintian: /'
check "lintian: no errors or warnings" sh -c '! printf "%s\n" "$1" | grep -q "^[EW]: "' - "$lintian_out"

# Owners and modes, from the archive itself.
contents=$(dpkg-deb -c "$deb")
check "every entry is root/root" sh -c '! printf "%s\n" "$1" | awk "\$2 != \"root/root\"" | grep -q .' \
  - "$contents"
check "folders 0755, files 0644, the tool 0755" sh -c '! printf "%s\n" "$1" | awk "
  /^d/ && \$1 != \"drwxr-xr-x\" { print; next }
  /^-/ && \$6 == \"./usr/bin/veltrane-host\" && \$1 != \"-rwxr-xr-x\" { print; next }
  /^-/ && \$6 != \"./usr/bin/veltrane-host\" && \$1 != \"-rw-r--r--\" { print; next }
  !/^[d-]/ { print }" | grep -q .' - "$contents"
check "no maintainer scripts" sh -c '[ "$(dpkg-deb --ctrl-tarfile "$1" | tar t | grep -v "^\./$" | sort | tr "\n" " ")" = "./control ./md5sums " ]' \
  - "$deb"
check "the copyright file is machine-readable" sh -c 'dpkg-deb --fsys-tarfile "$1" |
  tar xO ./usr/share/doc/veltrane-host/copyright | head -n 1 |
  grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"' - "$deb"

sums=$(dirname -- "$deb")/SHA256SUMS
check "SHA256SUMS lists $name" grep -q "^[0-9a-f]\{64\}  $name\$" "$sums"
check "sha256sum -c SHA256SUMS passes" sh -c 'cd "$(dirname -- "$1")" && sha256sum --strict -c SHA256SUMS' \
  - "$sums"
size=$(wc -c <"$deb" | tr -d ' ')
sha=$(sha256sum "$deb" | cut -d' ' -f1)
static="static checks passed"
[ "$failures" -eq 0 ] || static="$failures static checks FAILED"

if [ "$install_it" -eq 0 ]; then
  echo "$name: $size bytes, sha256 $sha; $static; install not tried (--static)"
  [ "$failures" -eq 0 ]
  exit
fi

# --- Installed into a fresh Debian system -------------------------------------
install_start=$(date +%s)
cache=build/deb-root
mkdir -p "$cache/archives/partial"
if [ ! -f "$cache/base.tar" ]; then
  # This machine's apt sources, so that the system has its release and updates.
  sources=/etc/apt/sources.list.d/debian.sources
  [ -f "$sources" ] || sources=/etc/apt/sources.list
  . /etc/os-release
  echo "==> a Debian $VERSION_CODENAME system for the install (once: $cache/base.tar)"
  mmdebstrap --quiet --variant=apt --mode=root --format=tar "$VERSION_CODENAME" \
    "$cache/base.tar.tmp" "$sources" && mv "$cache/base.tar.tmp" "$cache/base.tar" ||
    fail "mmdebstrap could not make a Debian system"
fi
root=$PWD/$cache/root
rm -rf "$root"
mkdir -p "$root"
log=$PWD/build/deb-install.log
: >"$log"
if [ -f "$cache/base.tar" ] && tar -xf "$cache/base.tar" -C "$root"; then
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  cp "$deb" "$root/tmp/$name"
  # What the deb build tree's tool says of the samples, for the installed one to match.
  (cd samples && "$VELTRANE_ROOT/build/deb/bin/veltrane-host" --json -j 1 scene.json) \
    >"$root/tmp/expected.json" 2>>"$log" || true
  cat >"$root/tmp/check.sh" <<'EOF'
set -eu
deb=/tmp/$1
apt() { DEBIAN_FRONTEND=noninteractive apt-get -qq -o Dir::Cache::archives=/var/cache/veltrane-archives \
  -o APT::Keep-Downloaded-Packages=true -o Dpkg::Use-Pty=0 "$@"; }
# The system as it is once the dependencies are in, before the package.
snapshot() {
  find / -xdev \( -path /proc -o -path /dev -o -path /tmp -o -path /var/cache -o -path /var/lib/apt \
    -o -path /var/lib/dpkg -o -path /var/log -o -path /run \) -prune -o -print | sort
}
apt update
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*//; s/|.*//; s/ //g')
apt install --no-install-recommends $depends >/dev/null
snapshot >/tmp/before
apt install --no-install-recommends "$deb" >/dev/null
echo "installed: $(dpkg-query -W -f='${Package} ${Version} ${Status}' veltrane-host)"
dpkg -L veltrane-host >/tmp/files
status=0
(cd /usr/share/doc/veltrane-host/examples && veltrane-host --json -j 1 scene.json) >/tmp/installed.json || status=$?
[ "$status" -eq 0 ] || { echo "FAILED: veltrane-host --json scene.json exits $status"; exit 1; }
cmp -s /tmp/installed.json /tmp/expected.json || {
  diff /tmp/expected.json /tmp/installed.json | head -n 20
  echo "FAILED: the installed tool's counts differ from the build's"
  exit 1
}
veltrane-host /usr/share/doc/veltrane-host/examples/scene.json >/dev/null || {
  echo "FAILED: veltrane-host on the examples' scene, by its full path, exits $?"
  exit 1
}
status=0
veltrane-host --max-triangles 1 /usr/share/doc/veltrane-host/examples/scene.json >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] || { echo "FAILED: over a budget the installed tool exits $status, not 1"; exit 1; }
if command -v man >/dev/null; then
  [ "$(man -w veltrane-host)" = /usr/share/man/man1/veltrane-host.1.gz ] || { echo "FAILED: man -w veltrane-host"; exit 1; }
else
  [ -f /usr/share/man/man1/veltrane-host.1.gz ] || { echo "FAILED: no /usr/share/man/man1/veltrane-host.1.gz"; exit 1; }
fi
bash -c '. /usr/share/bash-completion/completions/veltrane-host && complete -p veltrane-host' >/dev/null ||
  { echo "FAILED: the bash completion does not load"; exit 1; }
echo "counted: the examples' scene as the build counts the samples, exit 0; over a budget, exit 1"
apt remove --purge veltrane-host >/dev/null
if dpkg-query -W -f='${Status}' veltrane-host 2>/dev/null | grep -q "installed"; then
  echo "FAILED: veltrane-host is still installed after the purge"
  exit 1
fi
snapshot >/tmp/after
if ! cmp -s /tmp/before /tmp/after; then
  diff /tmp/before /tmp/after | head -n 20
  echo "FAILED: the purge leaves the system other than before the install"
  exit 1
fi
left=$(while read -r path; do [ ! -e "$path" ] || [ -d "$path" ] || echo "$path"; done </tmp/files)
[ -z "$left" ] || { echo "FAILED: files of the package remain: $left"; exit 1; }
echo "purged: nothing of the package remains"
EOF
  # A mount namespace of its own: the mounts go when the check ends, however.
  if unshare --mount --pid --fork sh -c '
      mount --bind "$2" "$1/var/cache/veltrane-archives" 2>/dev/null ||
        { mkdir -p "$1/var/cache/veltrane-archives" && mount --bind "$2" "$1/var/cache/veltrane-archives"; }
      mount -t proc proc "$1/proc"
      chroot "$1" sh /tmp/check.sh "$3"' - "$root" "$PWD/$cache/archives" "$name" >>"$log" 2>&1; then
    sed -n 's/^\(installed\|counted\|purged\): /  ok: &/p' "$log"
    installed="installed, run and purged in a fresh Debian system"
  else
    cat "$log"
    fail "installed into a fresh Debian system (see $log)"
    installed="install FAILED"
  fi
else
  fail "a fresh Debian system to install into"
  installed="install FAILED (no Debian system)"
fi
rm -rf "$root"
echo "$name: $size bytes, sha256 $sha; $static; $installed ($(($(date +%s) - install_start)) s)"
[ "$failures" -eq 0 ]
