#!/usr/bin/env bash
# The panel for 32-bit Windows, the card driver's own width: built with
# mingw-w64 against the Qt that scripts/build-qt-win32.sh makes from Debian's
# source, tested under wine32, and packaged as an NSIS installer. In order:
#   1. the whole project for i686 Windows into build-win32/, Qt and the MinGW
#      runtime deployed beside the programs by the install rules;
#   2. the simulated adcard.dll's exports checked against the real driver's;
#   3. the whole test suite under wine32 on the offscreen platform, and a
#      deliberately failing run, which must fail;
#   4. the panel as built: a driver planted in the current folder is refused,
#      one beside it used, a 64-bit one beside it refused naming both widths;
#   5. the real window (the windows platform) in Xvfb, its log checked;
#   6. the installer: installed silently into a fresh prefix, the installed
#      panel started, uninstalled silently, its folder gone.
# Where this machine cannot run 32-bit code itself, 32-bit programs run
# through qemu's user-mode emulator (scripts/setup-wine32.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${BUILD_DIR:-build-win32}"
step() { echo "windows-32: $*"; }

scripts/setup.sh g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix nsis xvfb xauth
scripts/setup-wine32.sh
# A Qt of your own for 32-bit MinGW can stand in for the one built here.
qt="${DIO_WINDOWS_QT:-$(scripts/build-qt-win32.sh | tail -n1)}"

step "1. building for 32-bit Windows against $qt"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake \
  -DDIO_WINDOWS_QT="$qt" -DDIO_QT_MAJOR=5 -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"${JOBS:-2}" >/dev/null

step "2. the simulated driver's exports"
scripts/check-exports.sh "$build/bin/adcard.dll"
# The check itself must refuse what the real driver would not be: a library
# exporting nothing by those names, and one with the names but cdecl code.
bad="$(mktemp -d)"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$bad"' EXIT
i686-w64-mingw32-g++-posix -shared -static -O2 -I. -o "$bad/no-def.dll" simcard/simcard.cpp
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
    echo "windows-32: the export check passed $dll.dll, which the real driver's callers cannot use" >&2
    exit 1
  fi
  echo "windows-32: the export check refuses $dll.dll, as it should"
done

# A 32-bit prefix of its own. Wine passes variables named WINEQT_* on as QT_*
# (it drops QT_* itself); a Chinese locale makes the panel's log readable.
# A program that crashes is not held up by Wine's debugger.
export WINEPREFIX="$PWD/$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="winedbg.exe=d"
export WINEQT_QPA_PLATFORM=offscreen WINEQT_FONT_DPI=96 WINEQT_FORCE_STDERR_LOGGING=1
export WINEQT_LOGGING_RULES="dio.panel.info=true"
export WINEQT_QPA_FONTDIR="Z:/usr/share/fonts/opentype/noto"
scripts/setup-wine32.sh --prefix

step "3. the test suite under wine32"
# The emulator now and then loses a Wine process: a test that fails is run
# again, up to twice; one that fails three times fails the run. The tests run
# in an English locale: in a Chinese one, under the emulator, the grab of the
# window comes back empty (Wine reports an illegal instruction). The panel's
# texts are Unicode either way; the Chinese locale makes its log readable below.
suite() { LC_ALL=C.UTF-8 ctest --test-dir "$build" --output-on-failure -j"${JOBS:-2}" --timeout 150 "$@"; }
# Wine's first start in a fresh prefix is slow under the emulator: not within a
# test's time limit.
LC_ALL=C.UTF-8 timeout 300 wine cmd /c exit >/dev/null 2>&1 || true
suite || suite --rerun-failed || suite --rerun-failed
# A failing test fails the run: the fake drivers gone, the tests using them fail.
mv "$build/bin/fakes" "$build/bin/fakes.away"
if suite -R 'Rules\.' >/dev/null 2>&1; then
  mv "$build/bin/fakes.away" "$build/bin/fakes"
  echo "windows-32: failing tests under wine passed the run" >&2
  exit 1
fi
mv "$build/bin/fakes.away" "$build/bin/fakes"
step "a failing test fails the run under wine, as it should"

# Starts a Windows panel (with its platform), waits until its log reports an
# error or the card, and prints the log (in UTF-8).
run_panel() {
  local exe="$1" log
  log="$(mktemp)"
  # The emulator now and then loses a starting Wine process: up to three tries.
  for _ in 1 2 3; do
    (cd "${2:-$bad}" && exec wine "$exe") >"$log" 2>&1 &
    local pid=$!
    for _ in $(seq 600); do
      grep -aqE "board:|dio.panel: " "$log" && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    sleep 1
    kill "$pid" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    ! grep -aq "dio.panel" "$log" || break
  done
  # The panel's messages with their continuation lines, without Qt's and qemu's.
  iconv -f GBK -t UTF-8 -c <"$log" |
    awk '/dio\.panel/ { keep = 1 } /^(Q[A-Za-z]+[:(]|qemu: |This plugin|Note that)/ { keep = 0 } keep'
  rm -f "$log"
}
expect() { # what, log, pattern
  grep -qF -- "$3" <<<"$2" || { echo "$2" >&2; echo "windows-32: $1: no \"$3\"" >&2; exit 1; }
  step "$1: $(grep -m1 -F -- "$3" <<<"$2")"
}

step "4. the driver search of the panel as built"
app="$bad/app"
mkdir -p "$app" "$bad/cwd"
cp -r "$build/bin/"{dio-panel.exe,*.dll,platforms,styles} "$app/"
rm "$app/adcard.dll"
cp "$build/bin/adcard.dll" "$bad/cwd/"
expect "a driver in the current folder" "$(run_panel "$app/dio-panel.exe" "$bad/cwd")" \
  "运行时错误 53：文件未找到：adcard.dll"
cp "$build/bin/adcard.dll" "$app/"
expect "the driver beside the panel" "$(run_panel "$app/dio-panel.exe" "$bad/cwd")" \
  "board: 卡名：ZAN 51 8类型： 1"
if [ -f build-win-x86_64/bin/adcard.dll ]; then
  cp build-win-x86_64/bin/adcard.dll "$app/"
  expect "a 64-bit driver beside the panel" "$(run_panel "$app/dio-panel.exe" "$bad/cwd")" \
    "该驱动程序是 64 位的，本程序是 32 位的"
fi

step "5. the real window, in Xvfb"
log="$(WINEQT_QPA_PLATFORM=windows xvfb-run -a -s "-screen 0 640x480x24" \
         bash -c "$(declare -f run_panel); bad=$bad; run_panel '$root/$build/bin/dio-panel.exe'")"
if grep -qF "board: 卡名：ZAN 51 8类型： 1" <<<"$log"; then
  step "the window came up on the windows platform: $log"
else
  echo "$log"
  step "the window did not come up on the windows platform here (see the note in README)"
  [ -z "${WINDOWS_WINDOW_REQUIRED:-}" ] || exit 1
fi

step "6. the installer"
(cd "$build" && cpack -G NSIS >/dev/null)
installer="$build/dio-panel-$(sed -nE 's/^project\(dio-panel VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)-win32.exe"
[ -f "$installer" ] || { echo "windows-32: no $installer" >&2; exit 1; }
step "$installer: $(du -h "$installer" | cut -f1)"
export WINEPREFIX="$bad/prefix"
scripts/setup-wine32.sh --prefix
wine "$installer" /S
folder="$WINEPREFIX/drive_c/Program Files/dio-panel"
for f in dio-panel.exe adcard.dll Qt5Core.dll platforms/qwindows.dll LICENSE README.txt \
         licenses/Qt-LGPL-3.0.txt licenses/Qt-source.txt Uninstall.exe; do
  [ -f "$folder/$f" ] || { echo "windows-32: the installer did not install $f" >&2; exit 1; }
done
find "$WINEPREFIX/drive_c" -name "测试及编程源程序.lnk" | grep -q . ||
  { echo "windows-32: no Start-menu entry 测试及编程源程序" >&2; exit 1; }
expect "the installed panel" "$(run_panel "C:/Program Files/dio-panel/dio-panel.exe")" \
  "board: 卡名：ZAN 51 8类型： 1"
wine "$folder/Uninstall.exe" /S
for _ in $(seq 100); do [ -e "$folder" ] || break; sleep 0.2; done
[ ! -e "$folder" ] || { ls -la "$folder" >&2; echo "windows-32: the uninstaller left $folder" >&2; exit 1; }
step "uninstalled: $folder is gone"
