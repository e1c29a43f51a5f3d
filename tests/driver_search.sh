#!/usr/bin/env bash
# How a dio-panel program finds its driver, tried on the program as it ships.
# A copy of it goes to a fresh folder with no driver beside it (nor where its
# RUNPATH points) and is started from a folder holding a working driver: it
# must report "file not found" and never reach the planted library. With the
# same driver beside the copy it must load and use it. Given a driver of the
# other word size, that one beside the copy must end the search with error 48,
# naming both word sizes.
#   driver_search.sh path/to/dio-panel working/libadcard.so [other-size/libadcard.so]
set -euo pipefail
panel="$1"
driver="$2"
other="${3:-}"
root="$(mktemp -d)"
pid=
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$root"' EXIT
mkdir -p "$root/app/bin" "$root/cwd"
cp "$panel" "$root/app/bin/dio-panel"
cp "$driver" "$root/cwd/libadcard.so"

# Starts the copy from the planted folder; waits until it reports an error or
# the card, and prints what it wrote.
run() {
  local log="$root/log"
  (cd "$root/cwd" && exec env -u LD_LIBRARY_PATH -u LD_PRELOAD QT_QPA_PLATFORM=offscreen \
     XDG_RUNTIME_DIR="$root" QT_LOGGING_RULES="dio.panel.info=true" "$root/app/bin/dio-panel") \
     >"$log" 2>&1 &
  pid=$!
  for _ in $(seq 200); do
    grep -qE "运行时错误|board:" "$log" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  cat "$log"
}

fail() {
  echo "$out" >&2
  echo "driver-search: $panel: $1" >&2
  exit 1
}

out="$(run)"
grep -qF "运行时错误 53：文件未找到：libadcard.so" <<<"$out" && ! grep -q "board:" <<<"$out" ||
  fail "started from a folder holding libadcard.so, it did not report the driver missing"
echo "driver-search: the driver in the current folder is refused: $(grep -m1 -F '运行时错误' <<<"$out")"

cp "$driver" "$root/app/bin/libadcard.so"
out="$(run)"
grep -qF "driver: $root/app/bin/libadcard.so board:" <<<"$out" ||
  fail "the same driver beside it was not used"
echo "driver-search: the same driver beside the panel is used"

if [ -n "$other" ]; then
  cp "$other" "$root/app/bin/libadcard.so"
  out="$(run)"
  grep -qF "运行时错误 48：加载 DLL 错误：$root/app/bin/libadcard.so" <<<"$out" &&
    grep -qE "该驱动程序是 (32|64) 位的，本程序是 (32|64) 位的" <<<"$out" ||
    fail "a driver of the other word size beside it was not reported as such"
  echo "driver-search: a driver of the other word size is refused: $(grep -m1 -F '该驱动程序' <<<"$out")"
fi
