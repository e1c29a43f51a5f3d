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
#   WINDOWS_CACHE  where the builds are kept (default /var/cache/dio-panel)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

# Debian's source has no configure script: autoreconf makes it, as Debian's build does.
arch="${1:-i686}"
scripts/setup.sh "gcc-mingw-w64-${arch//_/-}-posix" dpkg-dev make autoconf automake libtool >&2
options=(--host="$arch-w64-mingw32" --enable-static --disable-shared --without-documentation
         --disable-tests)
reuse_or_unpack_windows_library libmodbus libmodbus "$arch" "gcc-mingw-w64-${arch//_/-}-posix" \
  "$PWD/scripts/build-libmodbus-win32.sh" "${options[@]}"
cd "$work/src"
autoreconf -fi >"$work/autoreconf.log" 2>&1 || fail "$work/autoreconf.log"
CC="$arch-w64-mingw32-gcc-posix" ./configure --prefix="$prefix" "${options[@]}" >"$work/configure.log" 2>&1 ||
  fail "$work/configure.log"
make -C src -j"${JOBS:-2}" install >"$work/build.log" 2>&1 || fail "$work/build.log"
cp COPYING.LESSER "$prefix/LICENSE.LGPL"
windows_library_done libmodbus "libmodbus $version, built from Debian's source package libmodbus by dio-panel's" \
  "scripts/build-libmodbus-win32.sh with $compiler and ${options[*]}"
