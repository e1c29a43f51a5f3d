#!/usr/bin/env bash
# Builds the whole project for 32-bit Windows, the card driver's own width,
# into build-win32/ (or BUILD_DIR): mingw-w64 against the Qt that
# scripts/build-qt-win32.sh makes from Debian's source (or DIO_WINDOWS_QT),
# with Qt and the MinGW runtime deployed beside the programs.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build-win32}"
# Everything the configure step below needs, installed before the half-hour
# Qt build rather than found missing after it: Qt 5's Chinese translation
# (embedded in the panel) with the rest.
scripts/setup.sh g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix nsis xvfb xauth \
  qttranslations5-l10n
# Wine is for the checks after the build, which say so where it cannot be had.
status=0
scripts/setup-wine32.sh || status=$?
[ "$status" -eq 0 ] || [ "$status" -eq 75 ] || exit "$status"
modbus="${DIO_WINDOWS_MODBUS:-$(scripts/build-libmodbus-win32.sh i686 | tail -n1)}"
sqlite="${DIO_WINDOWS_SQLITE:-$(scripts/build-sqlite-win32.sh i686 | tail -n1)}"
mqtt="${DIO_WINDOWS_MQTT:-$(scripts/build-mosquitto-win32.sh i686 | tail -n1)}"
qt="${DIO_WINDOWS_QT:-$(scripts/build-qt-win32.sh | tail -n1)}"
echo "windows-32: building for 32-bit Windows against $qt and $modbus"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake \
  -DDIO_WINDOWS_QT="$qt" -DDIO_WINDOWS_MODBUS="$modbus" -DDIO_WINDOWS_SQLITE="$sqlite" \
  -DDIO_WINDOWS_MQTT="$mqtt" \
  -DDIO_QT_MAJOR=5 \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"${JOBS:-2}" >/dev/null
