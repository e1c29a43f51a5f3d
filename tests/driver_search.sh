#!/usr/bin/env bash
# How a program of this project finds its driver, tried on the program as it
# ships: built, installed or packaged, natively or under Wine. A copy of its
# folder without the driver is started from a folder holding a planted driver
# whose loading would leave a mark there.
#   1. Nothing beside it: it reports "file not found" and never loads the
#      planted driver, also with the library search path set to each of
#      SEARCH_PATHS (empty and relative entries, which a loader reads against
#      the current folder).
#   2. (LD_LIBRARY_PATH) The working driver in an absolute folder of the
#      search path, none beside it: that one is used.
#   3. The working driver beside it: that one is used.
#   4. A driver of the other word size beside it ends the search with error 48,
#      naming both word sizes.
#
#   driver_search.sh PROGRAM WORKING-DRIVER PLANTED-DRIVER [OTHER-SIZE-DRIVER]
#
# PROGRAM_ARGUMENTS are given to it ("info" for dio-cli); RUNNER runs it ("wine"); SEARCH_PATH is the search path variable
# (LD_LIBRARY_PATH; WINEPATH under Wine) and SEARCH_PATHS its values to try,
# separated by "|"; LOG_ENCODING and STOP_COMMAND as scripts/lib.sh's run_until
# takes them.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
program="$1" working="$2" planted="$3" other="${4:-}"
driver="$(basename "$working")"
search_path="${SEARCH_PATH:-LD_LIBRARY_PATH}"
IFS='|' read -r -a search_paths <<<"${SEARCH_PATHS-|:|/usr/lib:|.|x|../x}"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/cwd" "$root/elsewhere"
cp -r "$(dirname "$program")" "$root/app"
rm -f "$root/app/$driver"
copy="$root/app/$(basename "$program")"
cp "$planted" "$root/cwd/$driver"
mark="$root/cwd/planted-library-loaded"

# Starts the copy from the planted folder with the search path set to $1 (or
# unset) until it reports an error or the card, and prints what it wrote.
run() {
  # shellcheck disable=SC2086 # the runner and the arguments, one word each
  (cd "$root/cwd" && run_until "board:|板卡信息：|运行时错误" env -u LD_PRELOAD -u "$search_path" \
     ${1+"$search_path=$1"} QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$root" \
     QT_LOGGING_RULES="dio.panel.info=true" ${RUNNER:-} "$copy" ${PROGRAM_ARGUMENTS:-})
}

fail() {
  echo "$out" >&2
  echo "driver-search: $program: $1" >&2
  exit 1
}

for value in unset "${search_paths[@]}"; do
  if [ "$value" = unset ]; then out="$(run)"; else out="$(run "$value")"; fi
  grep -qF "运行时错误 53：文件未找到：$driver" <<<"$out" && ! grep -qE "board:|板卡信息：" <<<"$out" ||
    fail "with $search_path $value, started from a folder holding $driver, it did not report the driver missing"
  [ ! -e "$mark" ] || fail "with $search_path $value, it loaded the driver planted in the current folder"
done
echo "driver-search: the driver in the current folder is never loaded ($search_path unset and" \
     "${#search_paths[@]} values): $(grep -m1 -F '运行时错误' <<<"$out")"

if [ "$search_path" = LD_LIBRARY_PATH ]; then
  cp "$working" "$root/elsewhere/$driver"
  out="$(run "/nonexistent:$root/elsewhere:.")"
  grep -qF "$root/elsewhere/$driver" <<<"$out" && ! grep -qF 运行时错误 <<<"$out" ||
    fail "the driver in an absolute folder of LD_LIBRARY_PATH was not used"
  echo "driver-search: the driver in an absolute folder of LD_LIBRARY_PATH is used"
fi

cp "$working" "$root/app/$driver"
out="$(run)"
grep -qE "app.$driver" <<<"$out" && ! grep -qF 运行时错误 <<<"$out" || fail "the driver beside it was not used"
echo "driver-search: the driver beside it is used"

if [ -n "$other" ]; then
  cp "$other" "$root/app/$driver"
  out="$(run)"
  grep -qE "运行时错误 48：加载 DLL 错误：.*app.$driver" <<<"$out" &&
    grep -qE "该驱动程序是 (32|64) 位的，本程序是 (32|64) 位的" <<<"$out" ||
    fail "a driver of the other word size beside it was not reported as such"
  echo "driver-search: a driver of the other word size is refused: $(grep -m1 -F '该驱动程序' <<<"$out")"
fi
[ ! -e "$mark" ] || fail "it loaded the driver planted in the current folder"
