#!/usr/bin/env bash
# Builds the .deb (CPack) from build/, checks it with lintian (no error nor
# warning), unpacks it into a clean folder, checks what it holds, tries the
# unpacked programs' driver search and dio-cli, and starts the panel from
# another folder: it must load the packaged simulated driver (through its
# RUNPATH) and show the simulated card's caption.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
build="${BUILD_DIR:-build}"
# dpkg-shlibdeps (dpkg-dev) and file compute the dependencies; man-db reads
# the manual pages; desktop-file-utils checks the desktop entry.
scripts/setup.sh dpkg-dev file lintian man-db desktop-file-utils systemd
scripts/build.sh
(cd "$build" && cpack -G DEB >/dev/null)
# shellcheck disable=SC2012 # the package's name is ours, plain
deb="$(ls -t "$build"/dio-panel_*.deb | head -n1)"
echo "package: $deb"
dpkg-deb -I "$deb" | grep -E "^ (Package|Version|Depends|Recommends):"
# Overrides only with their reason beside them (packaging/lintian-overrides).
status=0
findings="$(lintian --fail-on error,warning "$deb" 2>&1)" || status=$?
findings="$(grep -v "^running with root privileges" <<<"$findings" || true)"
[ "$status" -eq 0 ] && [ -z "$findings" ] || {
  echo "$findings" >&2
  echo "package: lintian found errors or warnings (status $status)" >&2
  exit 1
}
echo "package: lintian clean"

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for f in usr/bin/dio-panel usr/bin/dio-cli usr/bin/dio-station usr/share/man/man1/dio-cli.1.gz \
         usr/share/man/man1/dio-panel.1.gz usr/share/man/man1/dio-station.1.gz \
         usr/lib/dio-panel/libadcard.so usr/lib/dio-panel/modbus/libadcard.so \
         usr/share/applications/dio-panel.desktop usr/share/applications/dio-station.desktop \
         usr/share/icons/hicolor/scalable/apps/dio-panel.svg \
         usr/share/icons/hicolor/scalable/apps/dio-station.svg usr/share/doc/dio-panel/copyright \
         usr/share/doc/dio-panel/changelog.gz lib/systemd/system/dio-collect.service; do
  [ -f "$root/$f" ] || { echo "package: $f missing" >&2; exit 1; }
done
# The collector's service reads as systemd reads it, and is not enabled.
systemd-analyze verify --root="$root" /lib/systemd/system/dio-collect.service 2>&1 |
  grep -v "is not executable\|man dio-cli\|Failed to create\|Cannot add dependency" | grep . &&
  { echo "package: systemd finds faults in dio-collect.service" >&2; exit 1; }
if find "$root" -path '*wants*' -name 'dio-collect*' | grep -q .; then
  echo "package: dio-collect.service is enabled by the package" >&2; exit 1
fi
for program in dio-panel dio-station dio-cli; do
  readelf -d "$root/usr/bin/$program" | grep -q 'RUNPATH.*\[\$ORIGIN/\.\./lib/dio-panel\]' ||
    { echo "package: $program has no RUNPATH \$ORIGIN/../lib/dio-panel" >&2; exit 1; }
done
scripts/check-runpath.sh "$root"
planted="$build/tests/fakes/libfakecard_planted.so"
tests/driver_search.sh "$root/usr/bin/dio-panel" "$root/usr/lib/dio-panel/libadcard.so" "$planted"
PROGRAM_ARGUMENTS=info tests/driver_search.sh "$root/usr/bin/dio-cli" \
  "$root/usr/lib/dio-panel/libadcard.so" "$planted"
tests/cli_check.sh "$root/usr/bin/dio-cli"
tests/runs_check.sh "$root/usr/bin/dio-cli"
tests/dio_station_check.sh "$root/usr/bin/dio-station"
/usr/bin/python3 tests/serve_check.py "$root/usr/bin/dio-cli"
/usr/bin/python3 tests/records_check.py "$root/usr/bin/dio-cli"
/usr/bin/python3 tests/mqtt_check.py "$root/usr/bin/dio-cli"
/usr/bin/python3 tests/modbus_driver_check.py "$root/usr/bin/dio-cli" \
  "$root/usr/lib/dio-panel/modbus/libadcard.so" "$root/usr/bin/dio-cli"
for page in dio-cli dio-panel dio-station; do
  [ -n "$(MANWIDTH=80 man -l "$root/usr/share/man/man1/$page.1.gz" 2>/dev/null)" ] ||
    { echo "package: the manual page $page.1 does not read" >&2; exit 1; }
done
grep -q '^Name=测试及编程源程序$' "$root/usr/share/applications/dio-panel.desktop"
grep -q '^Name=测试台$' "$root/usr/share/applications/dio-station.desktop"
desktop-file-validate "$root/usr/share/applications/dio-panel.desktop" \
  "$root/usr/share/applications/dio-station.desktop"

# Started from / so that nothing can come from the build or the current folder.
expected="driver: $root/usr/lib/dio-panel/libadcard.so board: 卡名：ZAN 51 8类型： 1"
log="$(cd / && run_until "board:|运行时错误" env QT_QPA_PLATFORM=offscreen \
         QT_LOGGING_RULES="dio.panel.info=true" XDG_RUNTIME_DIR="$root" "$root/usr/bin/dio-panel")"
grep -qF "$expected" <<<"$log" || {
  echo "$log" >&2
  echo "package: the installed panel did not show the simulated card from the packaged driver" >&2
  exit 1
}
echo "package: the installed panel loaded $root/usr/lib/dio-panel/libadcard.so and showed the board caption"
