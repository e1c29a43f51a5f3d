#!/usr/bin/env bash
# Checks a 32-bit Windows driver library against the real driver's exports,
# as driver/adcard_abi.h lists them: exactly "_IOCtl@16", "_Zan_DI@8" and so
# on, and of this project's own entry points only those listed, each a
# standard-call function (it returns with "ret" popping its bytes).
#   check-exports.sh adcard.dll
set -euo pipefail
source "$(dirname "$0")/lib.sh"
dll="$1"
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"
headers="$("$objdump" -p "$dll")"

base=$(awk '$1 == "ImageBase" { print $2 }' <<<"$headers")
# Name table lines look like "[   0] _IOCtl@16", the number being the entry's
# index in the address table, whose lines look like "[   0] +base[   1] 14b0 Export RVA".
names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
        sed -nE 's/^\s*\[\s*([0-9]+)\]\s+(\S+)\s*$/\1 \2/p')
addresses=$(sed -n '/Export Address Table -- Ordinal Base/,/^$/p' <<<"$headers" |
            sed -nE 's/^\s*\[\s*([0-9]+)\].*\]\s+([0-9a-fA-F]+)\s+Export RVA.*/\1 \2/p')
expected=$(entry_points | while read -r name bytes; do echo "_$name@$bytes"; done | sort)
[ -n "$expected" ] || { echo "check-exports: no entry points listed in adcard_abi.h" >&2; exit 1; }
own=$(entry_points own | while read -r name bytes; do echo "_$name@$bytes"; done)
actual=$(awk '{ print $2 }' <<<"$names" | grep -vxF -f <(echo "$own") | sort || true)
if [ "$actual" != "$expected" ]; then
  echo "check-exports: $dll exports:" >&2
  echo "${actual:-  (nothing)}" >&2
  echo "check-exports: expected exactly:" >&2
  echo "$expected" >&2
  exit 1
fi

status=0
while read -r index name; do
  rva=$(awk -v i="$index" '$1 == i { print $2 }' <<<"$addresses")
  bytes=${name##*@}
  start=$(printf '0x%x' $((0x$base + 0x$rva)))
  stop=$(printf '0x%x' $((0x$base + 0x$rva + 4096)))
  code=$("$objdump" -d --start-address="$start" --stop-address="$stop" "$dll")
  ret=$(grep -m1 -E '\sret[lw]?(\s|$)' <<<"$code" | sed -E 's/.*\s(ret[lw]?)\s*(\S*)\s*$/\1 \2/; s/ $//' || true)
  want=$(printf 'ret $0x%x' "$bytes")
  [ "$bytes" -ne 0 ] || want=ret
  if [ "$ret" != "$want" ]; then
    echo "check-exports: $name (RVA $rva) returns with \"$ret\", not \"$want\": not standard call" >&2
    status=1
  else
    echo "check-exports: $name: $want"
  fi
done <<<"$names"
exit $status
