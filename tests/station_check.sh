#!/usr/bin/env bash
# dio-station as it ships, on a display (Xvfb) with real key presses (xdotool,
# as a keyboard-wedge scanner types): a unit scanned into the window, tested
# on the simulated card with a stuck line, the run read back from the records
# by Python's sqlite3; then SIGTERM closes the window as a shutdown would.
#   station_check.sh DIO-STATION
# RUNNER runs the program ("wine": the Windows build on Wine's windows
# platform; there a SIGTERM ends Wine, not the program, and is not checked).
set -euo pipefail
# xdotool matches the window's Chinese title only in a UTF-8 locale (a bare
# system has none set).
export LC_ALL=C.UTF-8
program="$(realpath "$1")"
work="${STATION_CHECK_WORK:-$(mktemp -d)}"
export STATION_CHECK_ID="${STATION_CHECK_ID:-$$}"
export ADCARD_SIM_NAME="station-check-$STATION_CHECK_ID" ADCARD_SIM_FAULTS="stuck0=3" XDG_RUNTIME_DIR="$work"
cleanup() { rm -rf "$work"; rm -f "/dev/shm/"*"$ADCARD_SIM_NAME"* 2>/dev/null || true; }
[ "${STATION_CHECK_WORK:-}" ] || trap cleanup EXIT

drive() {
  QT_QPA_PLATFORM=xcb WINEQT_QPA_PLATFORM=windows ${RUNNER:+"$RUNNER"} "$program" --db "$work/results.sqlite" --operator 检验员 --station S1 --channels 1-16 \
    --settle 0 >"$work/log" 2>&1 &
  local pid=$! window status=0
  window="$(timeout 60 xdotool search --sync --name '^测试台$' | head -n1)" || {
    echo "station-check: no window came up; the display's windows:" >&2
    xdotool search --name '.' getwindowname %@ >&2 || true
    kill -0 "$pid" 2>/dev/null && echo "station-check: the program runs" >&2
    cat "$work/log" >&2
    exit 1
  }
  xdotool windowfocus --sync "$window"
  xdotool type --delay 20 'SN-X1'
  xdotool key Return
  for _ in $(seq 300); do # at most 30 s
    [ -n "$(recorded)" ] && break
    sleep 0.1
  done
  kill -TERM "$pid"
  wait "$pid" || status=$?
  echo "exit $status"
}
# The runs as Python's sqlite3 reads them.
recorded() {
  [ -f "$work/results.sqlite" ] || return 0
  /usr/bin/python3 - "$work/results.sqlite" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
for serial, status, operator, faults in db.execute(
        "SELECT serial, status, operator, (SELECT group_concat(kind || ' ' || channels) "
        "FROM faults WHERE run = runs.id) FROM runs"):
    print(serial, status, operator, faults)
PY
}
# On the display, this script again drives the window.
if [ "${STATION_CHECK_WORK:-}" ]; then
  work="$STATION_CHECK_WORK"
  drive
  exit
fi
result="$(STATION_CHECK_WORK="$work" xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$program")"
runs="$(recorded)"
fail() { echo "station-check: $1" >&2; cat "$work/log" >&2; exit 1; }
[ "$runs" = "SN-X1 fail 检验员 stuck-0 3" ] || fail "the records hold «$runs», not the scanned unit's failed run"
if [ -n "${RUNNER:-}" ]; then
  echo "station-check: the scanned unit tested and recorded under $RUNNER ($runs)"
  exit 0
fi
[ "$result" = "exit 143" ] || fail "SIGTERM ended it with «$result», not 143"
echo "station-check: the scanned unit tested and recorded ($runs); SIGTERM closed the window (143)"
