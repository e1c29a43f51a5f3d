#!/usr/bin/env bash
# Builds the .deb (CPack) from build/, unpacks it into a clean folder, and
# starts the unpacked panel on the offscreen platform from another folder:
# it must load the packaged simulated driver (through its RUNPATH) and show
# the simulated card's caption. Then it is closed.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
scripts/build.sh
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls -t "$build"/dio-panel_*.deb | head -n1)"
echo "package: $deb"
dpkg-deb -I "$deb" | grep -E "^ (Package|Version|Depends|Recommends):"

root="$(mktemp -d)"
log="$root.log"
trap 'rm -rf "$root" "$log"' EXIT
dpkg-deb -x "$deb" "$root"
for f in usr/bin/dio-panel usr/lib/dio-panel/libadcard.so usr/share/applications/dio-panel.desktop \
         usr/share/icons/hicolor/scalable/apps/dio-panel.svg usr/share/doc/dio-panel/copyright; do
  [ -f "$root/$f" ] || { echo "package: $f missing" >&2; exit 1; }
done
readelf -d "$root/usr/bin/dio-panel" | grep -q 'RUNPATH.*\[\$ORIGIN/\.\./lib/dio-panel\]' ||
  { echo "package: dio-panel has no RUNPATH \$ORIGIN/../lib/dio-panel" >&2; exit 1; }
scripts/check-runpath.sh "$root"
tests/driver_search.sh "$root/usr/bin/dio-panel" "$root/usr/lib/dio-panel/libadcard.so"
grep -q '^Name=测试及编程源程序$' "$root/usr/share/applications/dio-panel.desktop"
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$root/usr/share/applications/dio-panel.desktop"
fi

# Started from / so that nothing can come from the build or the current folder.
(cd / && QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="dio.panel.info=true" \
   XDG_RUNTIME_DIR="$root" exec "$root/usr/bin/dio-panel") >"$log" 2>&1 &
panel=$!
expected="driver: $root/usr/lib/dio-panel/libadcard.so board: 卡名：ZAN 51 8类型： 1"
for _ in $(seq 100); do
  grep -qF "$expected" "$log" && break
  kill -0 "$panel" 2>/dev/null || break
  sleep 0.1
done
if ! kill -0 "$panel" 2>/dev/null; then
  cat "$log" >&2
  echo "package: the installed panel ended on its own" >&2
  exit 1
fi
kill "$panel"
wait "$panel" 2>/dev/null || true
if ! grep -qF "$expected" "$log"; then
  cat "$log" >&2
  echo "package: the installed panel did not show the simulated card from the packaged driver" >&2
  exit 1
fi
echo "package: the installed panel loaded $root/usr/lib/dio-panel/libadcard.so and showed the board caption"
