#!/usr/bin/env bash
# Builds SQLite for Windows (a static library; i686-w64-mingw32, or x86_64
# for the 64-bit Qt-free build) from Debian's own sqlite3 source package, with
# its patches: the source's amalgamation (sqlite3.c, made by its own Makefile
# with tclsh) compiled by MinGW, into a cache folder outside the checkout, for
# dio-cli.exe to link. Prints the install folder as its last line.
#   build-sqlite-win32.sh [i686|x86_64]
#
# The cache is keyed by the source version, the compile options, the
# compiler's package version and this script's text; while the key is the
# same, nothing is built. About a minute.
#
#   WINDOWS_CACHE  where the builds are kept (default /var/cache/dio-panel)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

arch="${1:-i686}"
scripts/setup.sh "gcc-mingw-w64-${arch//_/-}-posix" dpkg-dev make gcc tcl >&2
# No extensions loaded from files: dio-cli loads no library but the card's driver.
options=(-O2 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_THREADSAFE=1 -DSQLITE_DEFAULT_FOREIGN_KEYS=0)
reuse_or_unpack_windows_library sqlite sqlite3 "$arch" "gcc-mingw-w64-${arch//_/-}-posix" \
  "$PWD/scripts/build-sqlite-win32.sh" "${options[@]}"
cd "$work/src"
# The amalgamation is made on this machine (its generators run here), then
# compiled for the target.
./configure >"$work/configure.log" 2>&1 || fail "$work/configure.log"
make -j"${JOBS:-2}" sqlite3.c >"$work/amalgamation.log" 2>&1 || fail "$work/amalgamation.log"
cc="$arch-w64-mingw32-gcc-posix"
mkdir -p "$prefix/include" "$prefix/lib"
"$cc" "${options[@]}" -c sqlite3.c -o "$work/sqlite3.o" >"$work/build.log" 2>&1 ||
  fail "$work/build.log"
"$arch-w64-mingw32-ar" rcs "$prefix/lib/libsqlite3.a" "$work/sqlite3.o"
cp sqlite3.h sqlite3ext.h "$prefix/include/"
cp LICENSE.md "$prefix/LICENSE.md" 2>/dev/null || echo "SQLite is in the public domain." >"$prefix/LICENSE.md"
windows_library_done sqlite "SQLite $version, the amalgamation of Debian's source package sqlite3, built by" \
  "dio-panel's scripts/build-sqlite-win32.sh with $compiler and ${options[*]}"
