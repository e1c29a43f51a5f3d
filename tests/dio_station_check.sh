#!/usr/bin/env bash
# dio-station as it ships, on a display (Xvfb, no window manager) with real key
# presses (xdotool, as a keyboard-wedge scanner types): a unit scanned into the
# window, tested on the simulated card with a stuck line, the run read back
# from the records by Python's sqlite3; then SIGTERM closes the window as a
# shutdown would. Natively, too: a scanner's double read and the next unit
# scanned early, each unit kept under its own serial; the window on screens of
# 1024x768 (128 lines) and 1920x1080 at a scale of 2; the display lost in the
# middle of a test (the window killed as xkill does, the X server ended): the
# lines at 0, read from the card's memory, and the run kept as aborted.
#   dio_station_check.sh DIO-STATION
# RUNNER runs the program ("wine": the Windows build on Wine's windows
# platform; there a SIGTERM ends Wine, not the program, and only the first
# unit is checked).
set -euo pipefail
# xdotool matches the window's Chinese title only in a UTF-8 locale (a bare
# system has none set).
export LC_ALL=C.UTF-8
program="$(realpath "$1")"
work="${STATION_CHECK_WORK:-$(mktemp -d)}"
export STATION_CHECK_ID="${STATION_CHECK_ID:-$$}"
export ADCARD_SIM_NAME="station-check-$STATION_CHECK_ID" ADCARD_SIM_FAULTS="stuck0=3" XDG_RUNTIME_DIR="$work"
memory="/dev/shm/adcard-sim3-$(id -u)-$ADCARD_SIM_NAME"
pid="" xpid=""
cleanup() {
  # What a failed row left running goes with it.
  for left in $pid $xpid; do kill "$left" 2>/dev/null || true; done
  rm -rf "$work"
  rm -f "/dev/shm/"*"$ADCARD_SIM_NAME"* 2>/dev/null || true
}
[ "${STATION_CHECK_WORK:-}" ] || trap cleanup EXIT

# The station's window started on the display, its id in $window, its pid in $pid.
start() { # options...
  QT_QPA_PLATFORM=xcb WINEQT_QPA_PLATFORM=windows ${RUNNER:+"$RUNNER"} "$program" --db "$work/results.sqlite" \
    --operator 检验员 --station S1 "$@" >"$work/log" 2>&1 &
  pid=$!
  window="$(timeout 60 xdotool search --sync --name '^测试台$' | head -n1)" || {
    echo "station-check: no window came up; the display's windows:" >&2
    xdotool search --name '.' getwindowname %@ >&2 || true
    kill -0 "$pid" 2>/dev/null && echo "station-check: the program runs" >&2
    cat "$work/log" >&2
    exit 1
  }
  xdotool windowfocus --sync "$window"
}
# A serial as a scanner types it, Enter after it.
scan() { xdotool type --delay 15 "$1" && xdotool key Return; }
# The runs as Python's sqlite3 reads them.
recorded() {
  [ -f "$work/results.sqlite" ] || return 0
  /usr/bin/python3 - "$work/results.sqlite" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
for serial, status, operator, faults in db.execute(
        "SELECT serial, status, operator, (SELECT group_concat(kind || ' ' || channels) "
        "FROM faults WHERE run = runs.id) FROM runs ORDER BY id"):
    print(serial, status, operator, faults)
PY
}
# Waits up to 30 s for the records to hold this many runs.
runs_reach() { # count
  for _ in $(seq 300); do
    [ "$(recorded | wc -l)" -ge "$1" ] && return 0
    sleep 0.1
  done
  return 1
}
# The card's outputs as its memory holds them: a byte a group, first.
outputs() { od -An -tu1 -v -N16 "$memory" 2>/dev/null | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }
fail() { echo "station-check: $1" >&2; cat "$work/log" >&2; exit 1; }

# On a display, this script again drives the window.
if [ "${STATION_CHECK_WORK:-}" ]; then
  start --channels 1-16 --settle 0
  scan SN-X1
  runs_reach 1 || true
  status=0
  kill -TERM "$pid"
  wait "$pid" || status=$?
  echo "exit $status"
  exit
fi
result="$(STATION_CHECK_WORK="$work" xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$program")"
runs="$(recorded)"
[ "$runs" = "SN-X1 fail 检验员 stuck-0 3" ] || fail "the records hold «$runs», not the scanned unit's failed run"
if [ -n "${RUNNER:-}" ]; then
  echo "station-check: the scanned unit tested and recorded under $RUNNER ($runs)"
  exit 0
fi
[ "$result" = "exit 143" ] || fail "SIGTERM ended it with «$result», not 143"
echo "station-check: the scanned unit tested and recorded ($runs); SIGTERM closed the window (143)"

# Each row on an X server of its own.
xserver() { # WIDTHxHEIGHT
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
  xpid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  DISPLAY=":$(cat "$work/display")"
  export DISPLAY
}
stop_xserver() { kill "$xpid" 2>/dev/null || true; wait "$xpid" 2>/dev/null || true; }
fits() { # WIDTH HEIGHT: the window within the screen
  local X Y WIDTH HEIGHT WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$window")"
  [ "$((X + WIDTH))" -le "$1" ] && [ "$((Y + HEIGHT))" -le "$2" ] ||
    fail "the window (${WIDTH}x${HEIGHT} at $X,$Y of screen $SCREEN, $WINDOW) is larger than the screen (${1}x$2)"
}
rm -f "$work/results.sqlite"
export ADCARD_SIM_FAULTS=""

# A scanner reads the label twice while 128 lines are tested; the next unit after it.
xserver 1024x768
start --channels 1-128 --settle 150
fits 1024 768
scan SN-A
scan SN-A
runs_reach 1 || fail "no verdict for SN-A"
scan SN-B
runs_reach 2 || fail "no verdict for SN-B"
kill -TERM "$pid"
wait "$pid" || true
runs="$(recorded | tr '\n' ';')"
[ "$runs" = "SN-A pass 检验员 None;SN-B pass 检验员 None;" ] || fail "double read: the records hold «$runs»"
echo "station-check: a double read is no unit, the next is kept under its own serial; 1024x768 fits"

# The display lost in the middle of a test, two ways.
for ending in "the window killed" "the X server ended"; do
  rm -f "$work/results.sqlite"
  start --channels 1-128 --settle 300
  scan SN-K
  for _ in $(seq 300); do [ -n "$(outputs | tr -d ' 0')" ] && break; sleep 0.1; done
  [ -n "$(outputs | tr -d ' 0')" ] || fail "the test did not start ($ending)"
  if [ "$ending" = "the window killed" ]; then xdotool windowkill "$window"; else stop_xserver; fi
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 129 ] || fail "$ending: status $status, not 129 as at a hang-up"
  [ "$(outputs | tr -d ' 0')" = "" ] || fail "$ending: the outputs left at $(outputs)"
  runs="$(recorded)"
  [ "$runs" = "SN-K aborted 检验员 None" ] || fail "$ending: the records hold «$runs»"
  echo "station-check: $ending mid-test: status 129, every line at 0, the run kept as aborted"
done

# The display lost at the operator's prompt: as at a hang-up too.
xserver 1024x768
QT_QPA_PLATFORM=xcb "$program" --db "$work/results.sqlite" --station S1 >"$work/log" 2>&1 &
pid=$!
timeout 60 xdotool search --sync --name '^测试台$' >/dev/null || fail "no operator's prompt came up"
stop_xserver
status=0
wait "$pid" || status=$?
[ "$status" -eq 129 ] || fail "the display lost at the operator's prompt: status $status, not 129"
echo "station-check: the display lost at the operator's prompt: status 129"

# 1920x1080 at a scale of 2: 960x540 logical.
xserver 1920x1080
QT_SCALE_FACTOR=2 start --channels 1-16 --settle 0
fits 1920 1080
kill -TERM "$pid"
wait "$pid" || true
stop_xserver
echo "station-check: 1920x1080 at a scale of 2 fits"
