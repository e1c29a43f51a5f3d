#!/usr/bin/env bash
# Cross-compiles the Qt-free parts (conversions, binding, the panel's rules,
# simulated card) and their tests for 64-bit Windows with mingw-w64 into
# build-win-x86_64/ and runs the tests under wine64. (The 32-bit build, the
# card driver's own width, is the whole panel: scripts/windows-32.sh.)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
scripts/setup.sh g++-mingw-w64-x86-64-posix wine64
modbus="$(scripts/build-libmodbus-win32.sh x86_64 | tail -n1)"
sqlite="$(scripts/build-sqlite-win32.sh x86_64 | tail -n1)"
mqtt="$(scripts/build-mosquitto-win32.sh x86_64 | tail -n1)"
cmake -S . -B build-win-x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake \
  -DDIO_WINDOWS_MODBUS="$modbus" -DDIO_WINDOWS_SQLITE="$sqlite" \
  -DDIO_WINDOWS_MQTT="$mqtt" -DCMAKE_BUILD_TYPE=Release -DDIO_BUILD_PANEL=OFF >/dev/null
cmake --build build-win-x86_64 -j"${JOBS:-2}" >/dev/null
echo "cross: running the 64-bit tests under wine64"
export WINEPREFIX="$PWD/build-win-x86_64/wineprefix" WINEDEBUG=-all
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
run_ctest build-win-x86_64
