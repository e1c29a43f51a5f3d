#!/usr/bin/env bash
# dio-cli watch --format vcd as it ships, read by a tool no one here wrote:
# sigrok-cli loads the dump, and its conversion to CSV gives back the changes
# that another process made while the watch ran.
#   vcd_check.sh DIO-CLI
set -euo pipefail
cli="$1"
root="$(mktemp -d)"
export ADCARD_SIM_NAME="vcd-$$"
trap 'rm -rf "$root"; rm -f "/dev/shm/adcard-sim2-$(id -u)-$ADCARD_SIM_NAME"' EXIT
fail() { echo "vcd-check: $*" >&2; exit 1; }

# Channel 3 named by the map, as wired anyway.
printf '3 0 2 door_closed\n' >"$root/names.map"
"$cli" watch --channels 1-3,9 --interval 20ms --duration 2s --format vcd --map "$root/names.map" \
  >"$root/lines.vcd" &
watch=$!
for setting in 2=1 9=1 2=0; do
  sleep 0.4
  "$cli" set "$setting"
done
wait "$watch" || fail "the watch ended with $?"
shown="$(sigrok-cli -I vcd -i "$root/lines.vcd" --show 2>&1)" || fail "sigrok-cli did not load it: $shown"
grep -qF -- "- ch9: logic" <<<"$shown" || fail "no wire ch9 in: $shown"
grep -qF -- "- door_closed: logic" <<<"$shown" || fail "no wire door_closed in: $shown"
states="$(sigrok-cli -I vcd:downsample=1000 -i "$root/lines.vcd" -O csv 2>/dev/null |
            grep -E '^[01](,[01])*$' | uniq | tr '\n' ' ')"
[ "$states" = "0,0,0,0 0,1,0,0 0,1,0,1 0,0,0,1 " ] ||
  fail "sigrok-cli read the states as: $states"
echo "vcd-check: sigrok-cli loads the dump and reads back its three changes, in order"
