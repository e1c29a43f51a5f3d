#!/usr/bin/env bash
# Cross-compiles the Qt-free parts (conversions, binding, simulated card and
# their tests) for 32-bit and 64-bit Windows with mingw-w64, checks the 32-bit
# adcard.dll's exports against the real driver's, and runs the 64-bit tests
# under wine64. Builds into build-win-i686/ and build-win-x86_64/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64
wine=/usr/lib/wine/wine64

for arch in i686 x86_64; do
  echo "cross: building for $arch Windows"
  cmake -S . -B "build-win-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DDIO_BUILD_PANEL=OFF >/dev/null
  cmake --build "build-win-$arch" -j"${JOBS:-2}" >/dev/null
done

echo "cross: checking the 32-bit simulated driver's exports"
scripts/check-exports.sh build-win-i686/bin/adcard.dll

# The check itself must refuse what the real driver would not be: a library
# exporting nothing by those names, and one with the names but cdecl code.
bad="$(mktemp -d)"
trap 'rm -rf "$bad"' EXIT
i686-w64-mingw32-g++-posix -shared -static -O2 -I. \
  -o "$bad/no-def.dll" simcard/simcard.cpp
cat >"$bad/cdecl.c" <<'C'
int IOCtl(int a, void* b, int c, void* d) { return a + c + (b == d); }
short Zan_DI(short a, short* b) { return a + (b != 0); }
short Zan_DOBit(short a, short b) { return a + b; }
short Zan_DO(short a, short b) { return a - b; }
C
{ echo EXPORTS; sed -nE 's/^ *X\(([A-Za-z_]+), *([0-9]+)\).*/ _\1@\2 = \1/p' driver/adcard_abi.h; } \
  >"$bad/cdecl.def"
i686-w64-mingw32-gcc-posix -shared -O2 -o "$bad/cdecl.dll" "$bad/cdecl.c" "$bad/cdecl.def"
for dll in no-def cdecl; do
  if scripts/check-exports.sh "$bad/$dll.dll" >/dev/null 2>&1; then
    echo "cross: the export check passed $dll.dll, which the real driver's callers cannot use" >&2
    exit 1
  fi
  echo "cross: the export check refuses $dll.dll, as it should"
done

echo "cross: running the 64-bit tests under wine64"
export WINEPREFIX="$PWD/build-win-x86_64/wineprefix" WINEDEBUG=-all
"$wine" wineboot --init >/dev/null 2>&1 || true
ctest --test-dir build-win-x86_64 --output-on-failure -j"${JOBS:-2}"
