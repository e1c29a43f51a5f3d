#!/usr/bin/env bash
# The NSIS installer of the 32-bit Windows build in build-win32/ (or
# BUILD_DIR), tried under wine32: installed silently into a fresh prefix, the
# installed panel started on the simulated card, the installed station's
# window given a unit on Xvfb, uninstalled silently, its folder gone (where apt
# cannot give wine32: built, and the rest reported as not run, loudly).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
windows_32_script
prefix="$scratch"

(cd "$build" && cpack -G NSIS >/dev/null)
installer="$build/$(package_file_name "$build").exe"
[ -f "$installer" ] || { echo "windows-32: no $installer" >&2; exit 1; }
step "$installer: $(du -h "$installer" | cut -f1)"
wine32_usable "the installer under wine32 (installed, started, uninstalled)" || exit 0
wine32_environment "$prefix"
scripts/setup-wine32.sh --prefix
again_if_hung 300 wine "$installer" /S
folder="$WINEPREFIX/drive_c/Program Files/dio-panel"
for f in dio-panel.exe dio-station.exe dio-cli.exe adcard.dll modbus/adcard.dll Qt5Core.dll platforms/qwindows.dll LICENSE README.txt \
         licenses/Qt-LGPL-3.0.txt licenses/Qt-source.txt Uninstall.exe; do
  [ -f "$folder/$f" ] || { echo "windows-32: the installer did not install $f" >&2; exit 1; }
done
for entry in 测试及编程源程序 测试台; do
  find "$WINEPREFIX/drive_c" -name "$entry.lnk" | grep -q . ||
    { echo "windows-32: no Start-menu entry $entry" >&2; exit 1; }
done
log="$(cd "$prefix" && run_until "board:|运行时错误" wine "C:/Program Files/dio-panel/dio-panel.exe")"
grep -qF "board: 卡名：ZAN 51 8类型： 1" <<<"$log" ||
  { echo "$log" >&2; echo "windows-32: the installed panel did not show the card" >&2; exit 1; }
step "the installed panel: $(grep -m1 board: <<<"$log")"
step "the installed station: $(RUNNER=wine tests/dio_station_check.sh "$folder/dio-station.exe")"
again_if_hung 300 wine "$folder/Uninstall.exe" /S
for _ in $(seq 100); do [ -e "$folder" ] || break; sleep 0.2; done
[ ! -e "$folder" ] || { ls -la "$folder" >&2; echo "windows-32: the uninstaller left $folder" >&2; exit 1; }
step "uninstalled: $folder is gone"
