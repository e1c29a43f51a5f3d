#!/usr/bin/env bash
# Builds libmodbus for Windows (static; i686-w64-mingw32, or x86_64 for the
# 64-bit Qt-free build) from Debian's own libmodbus source package, with its
# security updates, into a cache folder outside the checkout, for dio-cli.exe
# to link. Prints the install folder as its last line.
#   build-libmodbus-win32.sh [i686|x86_64]
#
# The cache is keyed by the source version, the configure options, the
# compiler's package version and this script's text; while the key is the
# same, nothing is built. About a minute.
#
#   QT_WIN32_CACHE  where the builds are kept (default /var/cache/dio-panel)
set -euo pipefail
cd "$(dirname "$0")/.."
script="$PWD/scripts/build-libmodbus-win32.sh"
cache="${QT_WIN32_CACHE:-/var/cache/dio-panel}"
log() { echo "libmodbus-win32: $*" >&2; }
source scripts/lib.sh

# Debian's source has no configure script: autoreconf makes it, as Debian's build does.
arch="${1:-i686}"
scripts/setup.sh "gcc-mingw-w64-${arch//_/-}-posix" dpkg-dev make autoconf automake libtool >&2
package=libmodbus
debian_sources >&2
version="$(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -V | tail -n1)"
options=(--host="$arch-w64-mingw32" --enable-static --disable-shared --without-documentation
         --disable-tests)
compiler="$(dpkg-query -W -f='${Package}=${Version}' "gcc-mingw-w64-${arch//_/-}-posix")"
key="$(printf '%s\n' "$package=$version" "${options[*]}" "$compiler" "$(sha256sum <"$script")" |
         sha256sum | cut -c1-16)"
prefix="$cache/libmodbus-$arch-$key"
if [ -f "$prefix/.complete" ]; then
  log "reusing $prefix ($package $version)"
  echo "$prefix"
  exit 0
fi

log "building $package $version into $prefix"
work="$(mktemp -d /var/tmp/dio-panel-modbus.XXXXXX)"
trap 'rm -rf "$work"' EXIT
rm -rf "$prefix"
(cd "$work" && apt-get source --download-only "$package=$version" >/dev/null 2>&1)
dpkg-source -x "$work"/*.dsc "$work/src" >/dev/null
cd "$work/src"
fail() { tail -n 40 "$1" >&2; log "failed"; exit 1; }
autoreconf -fi >"$work/autoreconf.log" 2>&1 || fail "$work/autoreconf.log"
CC="$arch-w64-mingw32-gcc-posix" ./configure --prefix="$prefix" "${options[@]}" >"$work/configure.log" 2>&1 ||
  fail "$work/configure.log"
make -C src -j"${JOBS:-2}" install >"$work/build.log" 2>&1 || fail "$work/build.log"
cp COPYING.LESSER "$prefix/LICENSE.LGPL"
echo "libmodbus $version, built from Debian's source package $package by dio-panel's" \
  "scripts/build-libmodbus-win32.sh with $compiler and ${options[*]}" >"$prefix/SOURCE"
touch "$prefix/.complete"
log "done: $prefix"
echo "$prefix"
