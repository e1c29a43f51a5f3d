#!/usr/bin/env bash
# dio-cli watch --format vcd as it ships, read by sigrok-cli, an independent
# implementation of the format: it loads the dump, and its conversion to CSV gives back the changes
# that another process made while the watch ran.
#   vcd_check.sh DIO-CLI
set -euo pipefail
cli="$1"
root="$(mktemp -d)"
export ADCARD_SIM_NAME="vcd-$$"
trap 'rm -rf "$root"; rm -f "/dev/shm/adcard-sim3-$(id -u)-$ADCARD_SIM_NAME"' EXIT
fail() { echo "vcd-check: $*" >&2; exit 1; }

# Channel 3 named by the map, as wired anyway.
printf '3 0 2 door_closed\n' >"$root/names.map"
"$cli" watch --channels 1-3,9 --interval 20ms --duration 300s --format vcd \
  --map "$root/names.map" >"$root/lines.vcd" 2>"$root/watch.err" &
watch=$!
# Each change waited for in the dump (a time line each, after the first's),
# never for a time: on a loaded machine a poll may come late.
times() { grep -c '^#' "$root/lines.vcd" 2>/dev/null || true; }
shows() { # times
  local i
  for ((i = 0; i < 600; i++)); do
    [ "$(times)" -ge "$1" ] && return 0
    kill -0 "$watch" 2>/dev/null || break
    sleep 0.1
  done
  [ "$(times)" -ge "$1" ] || fail "the watch did not show change $(($1 - 1))"
}
shows 1
seen=1
for setting in 2=1 9=1 2=0; do
  "$cli" set "$setting"
  seen=$((seen + 1))
  shows "$seen"
done
kill -TERM "$watch"
status=0
wait "$watch" || status=$?
[ "$status" -eq 143 ] || fail "the watch ended with $status at SIGTERM"
shown="$(sigrok-cli -I vcd -i "$root/lines.vcd" --show 2>&1)" || fail "sigrok-cli did not load it: $shown"
grep -qF -- "- ch9: logic" <<<"$shown" || fail "no wire ch9 in: $shown"
grep -qF -- "- door_closed: logic" <<<"$shown" || fail "no wire door_closed in: $shown"
states="$(sigrok-cli -I vcd:downsample=1000 -i "$root/lines.vcd" -O csv 2>/dev/null |
            grep -E '^[01](,[01])*$' | uniq | tr '\n' ' ')"
[ "$states" = "0,0,0,0 0,1,0,0 0,1,0,1 0,0,0,1 " ] ||
  fail "sigrok-cli read the states as: $states"
echo "vcd-check: sigrok-cli loads the dump and reads back its three changes, in order"
