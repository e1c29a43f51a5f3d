#!/usr/bin/env bash
# Builds libmosquitto (the MQTT client library) for Windows as a static
# library (i686-w64-mingw32, or x86_64 for the 64-bit Qt-free build) from
# Debian's own mosquitto source package, with its patches, into a cache folder
# outside the checkout, for dio-cli.exe to link. Only the client library: no
# broker, no programs; no TLS (that would need OpenSSL for Windows too: mqtts
# is refused there) and no DNS SRV lookups. Prints the install folder as its
# last line.
#   build-mosquitto-win32.sh [i686|x86_64]
#
# The cache is keyed by the source version, the options, the compiler's
# package version and this script's text; while the key is the same, nothing
# is built. About a minute.
#
#   WINDOWS_CACHE  where the builds are kept (default /var/cache/dio-panel)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

arch="${1:-i686}"
scripts/setup.sh "g++-mingw-w64-${arch//_/-}-posix" dpkg-dev cmake make >&2
options=(-DWITH_TLS=OFF -DWITH_TLS_PSK=OFF -DWITH_SRV=OFF -DWITH_THREADING=ON -DWITH_BROKER=OFF
         -DWITH_APPS=OFF -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF -DWITH_CJSON=OFF
         -DDOCUMENTATION=OFF -DWITH_STATIC_LIBRARIES=ON -DWITH_SHARED_LIBRARIES=OFF
         -DWITH_LIB_CPP=OFF -DCMAKE_BUILD_TYPE=Release)
reuse_or_unpack_windows_library mosquitto mosquitto "$arch" "g++-mingw-w64-${arch//_/-}-posix" \
  "$PWD/scripts/build-mosquitto-win32.sh" "${options[@]}"
cat >"$work/toolchain.cmake" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER $arch-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER $arch-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER $arch-w64-mingw32-windres)
TOOLCHAIN
cmake -S "$work/src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  "${options[@]}" >"$work/configure.log" 2>&1 || fail "$work/configure.log"
cmake --build "$work/build" --target libmosquitto_static -j"${JOBS:-2}" >"$work/build.log" 2>&1 ||
  fail "$work/build.log"
mkdir -p "$prefix/include" "$prefix/lib"
cp "$work/src/include/"mosquitto*.h "$work/src/include/mqtt_protocol.h" "$prefix/include/"
find "$work/build" -name 'libmosquitto_static.a' -exec cp {} "$prefix/lib/" \;
[ -f "$prefix/lib/libmosquitto_static.a" ] || fail "$work/build.log"
cp "$work/src/LICENSE.txt" "$work/src/epl-v20" "$work/src/edl-v10" "$prefix/" 2>/dev/null || true
windows_library_done mosquitto "libmosquitto $version, built from Debian's source package mosquitto by dio-panel's" \
  "scripts/build-mosquitto-win32.sh with $compiler and ${options[*]}"
