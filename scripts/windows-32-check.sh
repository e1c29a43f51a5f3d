#!/usr/bin/env bash
# Checks the 32-bit Windows build in build-win32/ (or BUILD_DIR), under wine32
# (where apt cannot give wine32, 3 to 6 are reported as not run, loudly):
#   1. the simulated adcard.dll's exports against the real driver's, and the
#      check refusing libraries the real driver's callers could not use;
#   2. no program imports SetDefaultDllDirectories statically (it would not
#      start on a Windows 7 without the update that adds it);
#   3. the whole test suite on the offscreen platform, and a deliberately
#      failing run, which must fail;
#   4. the panel's and dio-cli's driver search, as tests/driver_search.sh tries
#      it (WINEPATH in place of LD_LIBRARY_PATH);
#   5. dio-cli as tests/cli_check.sh tries it (its output redirected: UTF-8),
#      dio-cli serve reached by a Modbus client on Linux (tests/serve_check.py),
#      the Modbus TCP driver under it (tests/modbus_driver_check.py), the
#      self-test's JUnit XML, its records (SQLite) and its publishing to a
#      mosquitto broker on Linux (MQTT), delivered to the plant's PostgreSQL
#      by the Linux collector,
#      and in a console of code page 936 (the text as characters); the panel
#      on the Modbus adcard.dll, reaching pymodbus's server on Linux's loopback;
#   6. the real windows (the windows platform) in Xvfb: the panel's, and the
#      station's given a unit by key presses (tests/dio_station_check.sh).
# Where this machine cannot run 32-bit code itself, 32-bit programs run
# through qemu's user-mode emulator (scripts/setup-wine32.sh), and 3 to 6 are
# reported as not run unless WINE32_EMULATED=run asks for them (lib.sh says why).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
windows_32_script

step "1. the simulated driver's exports"
scripts/check-exports.sh "$build/bin/adcard.dll"
# The card's sources as the build lists them, built without its definition file.
IFS=';' read -r -a sources <<<"$(sed -n 's/^SIMCARD_SOURCES:INTERNAL=//p' "$build/CMakeCache.txt")"
i686-w64-mingw32-g++-posix -shared -static -O2 -I. -o "$scratch/no-def.dll" "${sources[@]}"
cat >"$scratch/cdecl.c" <<'C'
int IOCtl(int a, void* b, int c, void* d) { return a + c + (b == d); }
short Zan_DI(short a, short* b) { return a + (b != 0); }
short Zan_DOBit(short a, short b) { return a + b; }
short Zan_DO(short a, short b) { return a - b; }
C
# shellcheck disable=SC2119 # the card driver's entry points, not this project's own
{ echo EXPORTS; entry_points | while read -r name bytes; do echo " _$name@$bytes = $name"; done; } \
  >"$scratch/cdecl.def"
i686-w64-mingw32-gcc-posix -shared -O2 -o "$scratch/cdecl.dll" "$scratch/cdecl.c" "$scratch/cdecl.def"
for dll in no-def cdecl; do
  if scripts/check-exports.sh "$scratch/$dll.dll" >/dev/null 2>&1; then
    echo "windows-32: the export check passed $dll.dll, which the real driver's callers cannot use" >&2
    exit 1
  fi
  step "the export check refuses $dll.dll, as it should"
done

step "2. no static import of SetDefaultDllDirectories"
for exe in "$build"/bin/*.exe; do
  if i686-w64-mingw32-objdump -p "$exe" | grep -q SetDefaultDllDirectories; then
    echo "windows-32: $exe imports SetDefaultDllDirectories: it will not start without KB2533623" >&2
    exit 1
  fi
done

wine32_usable "windows-32 checks 3 to 6 (the suite, the driver search, dio-cli, the real windows under wine32)" ||
  exit 0
wine32_environment "$PWD/$build/wineprefix"
scripts/setup-wine32.sh --prefix

step "3. the test suite under wine32"
# A test that fails is run again, up to twice: the emulator now and then loses
# a Wine process. The tests run in an English locale: in a Chinese one, under
# the emulator, the grab of the window comes back empty (Wine reports an
# illegal instruction). The panel's texts are Unicode either way.
suite() { LC_ALL=C.UTF-8 run_ctest "$build" --timeout 150 "$@"; }
# Wine's first start in a fresh prefix is slow under the emulator: not within
# a test's time limit.
LC_ALL=C.UTF-8 timeout 300 wine cmd /c exit >/dev/null 2>&1 || true
suite || suite --rerun-failed || suite --rerun-failed
# A failing test fails the run: the fake drivers gone, the tests using them fail.
mv "$build/bin/fakes" "$build/bin/fakes.away"
status=0
suite -R 'DllDef\.' >/dev/null 2>&1 || status=$?
mv "$build/bin/fakes.away" "$build/bin/fakes"
[ "$status" -ne 0 ] || { echo "windows-32: failing tests under wine passed the run" >&2; exit 1; }
step "a failing test fails the run under wine, as it should"

step "4. the driver search of the panel and dio-cli as built"
other=""
[ ! -f build-win-x86_64/bin/adcard.dll ] || other="build-win-x86_64/bin/adcard.dll"
# The panel logs through Qt in the console's code page; dio-cli writes UTF-8 to a file.
for program in dio-panel dio-cli; do
  arguments="" encoding=GBK
  [ $program = dio-panel ] || arguments=info encoding=UTF-8
  PROGRAM_ARGUMENTS="$arguments" LOG_ENCODING="$encoding" RUNNER=wine \
    SEARCH_PATH=WINEPATH SEARCH_PATHS='|;|C:\windows;|.|x|..\x' \
    tests/driver_search.sh "$build/bin/$program.exe" "$build/bin/adcard.dll" \
    "$build/bin/fakes/fakecard_planted.dll" $other
done

step "5. dio-cli under wine32"
RUNNER=wine tests/cli_check.sh "$build/bin/dio-cli.exe"
# dio-cli.exe serve, reached over loopback by a Modbus client on Linux.
RUNNER=wine /usr/bin/python3 tests/serve_check.py "$build/bin/dio-cli.exe"
# The self-test's JUnit XML from dio-cli.exe, read by junitparser.
RUNNER=wine /usr/bin/python3 tests/junit_check.py "$build/bin/dio-cli.exe"
# Its records (read back by Python's sqlite3) and its publishing, to a
# mosquitto broker on Linux's loopback.
RUNNER=wine /usr/bin/python3 tests/records_check.py "$build/bin/dio-cli.exe"
RUNNER=wine /usr/bin/python3 tests/mqtt_check.py "$build/bin/dio-cli.exe"
# A station on Windows in the plant: its runs kept until the Linux collector
# has stored them in PostgreSQL, and sent again when its broker comes back.
[ -x build/bin/dio-cli ] || scripts/build.sh
RUNNER=wine /usr/bin/python3 tests/plant_check.py "$build/bin/dio-cli.exe" "$PWD/build/bin/dio-cli"
# The 32-bit Modbus TCP adcard.dll under dio-cli.exe, reaching servers on Linux's loopback.
RUNNER=wine /usr/bin/python3 tests/modbus_driver_check.py "$build/bin/dio-cli.exe" \
  "$build/bin/modbus/adcard.dll" "$build/bin/dio-cli.exe"
# A terminal makes Wine give the program a console, of code page 936 in a
# Chinese locale; Wine shows what it writes there in the terminal's UTF-8.
# Bytes of UTF-8 written to that console would be read as code page 936.
# Under a time limit, and tried again: under qemu a Wine run now and then hangs.
console_shows() {
  console="$(ADCARD_SIM_NAME=console-$$ timeout -k 5 300 script -qec \
    "wine cmd /c chcp; wine '$build/bin/dio-cli.exe' info" /dev/null 2>&1 |
    sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' | tr -d '\r')" || true
  grep -q "936" <<<"$console" && grep -qF "板卡信息：卡名：ZAN 51 8类型： 1" <<<"$console" ||
    { wineserver -k 2>/dev/null; false; }
}
retry 3 console_shows || {
  echo "$console" >&2
  echo "windows-32: dio-cli's Chinese did not show right in a console of code page 936" >&2
  exit 1
}
step "dio-cli in a console of code page 936: $(grep -F 板卡信息 <<<"$console")"

step "5b. the panel on the Modbus TCP driver, reaching a server on Linux's loopback"
# A copy of the programs with the Modbus adcard.dll in the card's place, and
# pymodbus's server (a module no one here wrote) on a free loopback port.
cp -r "$build/bin" "$scratch/modbus-panel"
cp "$build/bin/modbus/adcard.dll" "$scratch/modbus-panel/adcard.dll"
port="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
/usr/bin/python3 tests/pymodbus_server.py "$port" >/dev/null 2>&1 &
module=$!
log="$(ADCARD_MODBUS="host=127.0.0.1;port=$port;caption=51 8 1" \
         run_until "board:|运行时错误" wine "$scratch/modbus-panel/dio-panel.exe")"
kill "$module"
grep -qF "board: 卡名：ZAN 51 8类型： 1" <<<"$log" && grep -qiF "modbus-panel" <<<"$log" || {
  echo "$log" >&2
  echo "windows-32: the 32-bit panel on the Modbus adcard.dll did not show the module's caption" >&2
  exit 1
}
step "the panel on the Modbus driver: $(grep -m1 board: <<<"$log")"

step "6. the real window, in Xvfb"
log="$(WINEQT_QPA_PLATFORM=windows xvfb-run -a -s "-screen 0 640x480x24" \
         bash -c "source scripts/lib.sh; run_until 'board:' wine '$build/bin/dio-panel.exe'")"
if grep -qF "board: 卡名：ZAN 51 8类型： 1" <<<"$log"; then
  step "the window came up on the windows platform: $(grep -m1 board: <<<"$log")"
else
  echo "$log" | tail -n 5
  step "the window did not come up on the windows platform here (see the note in README)"
  [ -z "${WINDOWS_WINDOW_REQUIRED:-}" ] || exit 1
fi
if station="$(RUNNER=wine tests/dio_station_check.sh "$build/bin/dio-station.exe" 2>&1)"; then
  step "$station"
else
  echo "$station" | tail -n 5
  step "the station's window did not come up on the windows platform here (see the note in README)"
  [ -z "${WINDOWS_WINDOW_REQUIRED:-}" ] || exit 1
fi
