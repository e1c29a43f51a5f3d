#!/usr/bin/env bash
# What a test station relies on, tried on dio-cli as it ships (built, installed
# or packaged), natively on Linux, where signals, pipes, /dev/full and the
# simulated card's shared memory are the system's:
#   1. every signal that would end it ends the self-test with its lines back at
#      0 and the signal's status; a card that stops answering: the lines not
#      reset are named, and the others are reset all the same;
#   2. a report file is written whatever becomes of the standard output, is
#      never left empty or cut by a run without a result, and a write that
#      fails anywhere is named, with status 5;
#   3. the watch prints its counts and the gap before a failed call's status
#      4, keeps its deadline, and notices a reader that has gone;
#   4. the simulated card uses only memory of this user's own, of mode 0600 and
#      the card's size; names that differ are different cards; a second
#      self-test on one card is refused;
#   5. an intermittent input is named as such, and names no other line;
#   6. words the card does not have are refused, naming its count; what a
#      person typed is named, its control characters escaped.
#
#   runs_check.sh DIO-CLI
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
source "$(dirname "$0")/check_lib.sh"
cli="$1" check=runs-check
root="$(mktemp -d)"
card="station-$$"
memory="/dev/shm/adcard-sim3-$(id -u)-$card"
export ADCARD_SIM_NAME="$card"
trap 'rm -rf "$root"; rm -f "$memory"*' EXIT

zeros='"words":[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]'
all_at_zero() {
  run get --format json --words 16
  expect 0 "$zeros"
}

# 1. Signals, and a card that stops answering.
for signal in HUP INT QUIT TERM USR1 USR2 ALRM PIPE RTMIN RTMAX; do
  stop "$signal" 0.5 selftest --yes --settle 100
  expect $((128 + $(kill -l "$signal"))) "各通道已复位为 0"
  all_at_zero
done
# The card stops answering for channel 1 after the first pattern (channels 1
# to 4 and 6 to 8 at 1), then Ctrl-C: group 0's write fails, its lines are set
# back one by one, and channel 1 alone is named.
ADCARD_SIM_FAULTS="silent-after=300;silent=1" stop INT 0.6 selftest --yes --settle 1000
expect 130 "已中断，通道 1 未能复位为 0（驱动程序调用失败：Zan_DOBit(0, 0) 返回 -1（模拟板卡：按 ADCARD_SIM_FAULTS 的 silent-after 不再应答））"
run get --format json --words 16
expect 0 '"words":[1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]'
ADCARD_SIM_FAULTS="silent-after=300" run selftest --yes --settle 200
expect 4 "不再应答），通道 1、2、3、4、5、6、7、8、9、"
[[ "$err" != *"各通道已复位为 0"* ]] || { echo "$check: a failed reset said to be done" >&2; exit 1; }
rm -f "$memory"
echo "$check: 10 signals end the self-test with its lines at 0 and 128+N; lines a silent card kept are named"

# 2. Reports.
report="$root/report.json"
echo "the previous report" >"$report"
stop HUP 0.5 selftest --yes --settle 100 --report "$report"
expect 129 "各通道已复位为 0"
[ "$(cat "$report")" = "the previous report" ] && ! ls "$report".part* >/dev/null 2>&1 ||
  { echo "$check: an interrupted self-test touched the report" >&2; exit 1; }
while IFS='|' read -r argument said; do
  run selftest --yes "$argument"
  expect 2 "$said"
done <<EOF
--report=|--report
--report=-|--report 要一个文件名
--report=$root/none/report.json|写不了报告文件“$root/none/report.json”
EOF
for _ in 1 2 3; do # the pipe closes before or after dio-cli's last write: either way
  "$cli" selftest --yes --settle 0 --report "$report" 2>/dev/null | grep -q 条通道 || true
  grep -qF '"channels":128' "$report" || { echo "$check: no report behind a closed pipe" >&2; exit 1; }
done
for arguments in "get" "selftest --yes --settle 0 --json" "watch --count 1 --duration 1s" "info"; do
  status=0
  # shellcheck disable=SC2086 # the arguments, one word each
  "$cli" $arguments >/dev/full 2>"$root/err" || status=$?
  out="" err="$(cat "$root/err")"
  expect 5 "标准输出写不进去：No space left on device"
done
run selftest --yes --settle 0 --report /dev/full
expect 5 "报告文件“/dev/full”写不进去"
echo "$check: reports survive a closed pipe and an interruption; a full disk is said with status 5"

# 3. The watch.
# The simulated card says why it fails, as a network link does: the watch goes
# on through the failure, and a gap still open at the end fails it.
ADCARD_SIM_FAULTS="silent-after=300" run watch --interval 50ms --duration 1s
expect 4 "变化次数：没有变化"
expect 4 "读不到输入：从 "
status=0
timeout 4 "$cli" watch --duration 1s --interval 6s >"$root/out" || status=$?
out="$(cat "$root/out")" err=""
expect 0 "变化次数：没有变化"
status=0
timeout 10 "$cli" watch --interval 50ms 2>/dev/null | head -n 1 >/dev/null || status=${PIPESTATUS[0]}
[ "$status" -eq 141 ] || { echo "$check: a watch into a closed pipe ended with $status" >&2; exit 1; }
echo "$check: the watch counts before a failure, keeps its deadline, notices a closed pipe"

# 4. The simulated card's memory, names and the self-test's lock.
while IFS='|' read -r size mode owner said; do
  rm -f "$memory"
  head -c "$size" /dev/zero >"$memory"
  chmod "$mode" "$memory"
  [ "$owner" = me ] || chown nobody "$memory"
  run set 9=1
  expect 4 "$said"
done <<EOF
528|0666|me|权限是 0666，应为 0600
528|0000|me|权限是 0000，应为 0600
128|0600|me|大小是 128 字节，应为 528
528|0600|nobody|属于另一个用户
EOF
rm -f "$memory"
for pair in "测试|卡甲" "a/b|a.b" "a_b|a.b"; do
  ADCARD_SIM_NAME="$card-${pair%|*}" run set 9=1
  ADCARD_SIM_NAME="$card-${pair#*|}" run get --format json --words 2
  expect 0 '"words":[0,0]'
  ADCARD_SIM_NAME="$card-${pair%|*}" run get --format json --words 2
  expect 0 '"words":[0,1]'
done
# One lock for the card whatever the environment: the first in a desktop
# session's, the second as from sudo or cron, without XDG_RUNTIME_DIR.
XDG_RUNTIME_DIR="$root" env --default-signal "$cli" selftest --yes --settle 200 >/dev/null 2>&1 & # as check_lib's stop
first=$!
# Running once its first pattern shows on the inputs (a loaded machine may take a while to start it).
for ((i = 0; i < 300; i++)); do
  run get --format json --words 16
  [[ "$out" == *"$zeros"* ]] || break
  sleep 0.1
done
status=0
env -u XDG_RUNTIME_DIR "$cli" selftest --yes --settle 0 >"$root/out" 2>"$root/err" || status=$?
out="$(cat "$root/out")" err="$(cat "$root/err")"
expect 2 "这块板卡上已有另一个自检在运行"
kill -INT "$first"
wait "$first" || true
all_at_zero
echo "$check: the card's memory is this user's own; names are cards; one self-test at a time, one lock"
# What another user leaves under a card's lock file (as root: for nobody's card).
if [ "$(id -u)" -eq 0 ]; then
  nobody_card="$card-nobody"
  lock="$(/usr/bin/python3 -c '
import os, sys
folder = next((f for f in ("/run/lock", "/var/lock", "/tmp")
               if os.path.isdir(f) and os.stat(f).st_mode & 0o1777 == 0o1777), "/tmp")
h = 14695981039346656037
for b in ("sim:/adcard-sim3-%s-%s" % (sys.argv[1], sys.argv[2])).encode():
    h = ((h ^ b) * 1099511628211) % (1 << 64)
print("%s/dio-cli-selftest-%016x.lock" % (folder, h))' "$(id -u nobody)" "$nobody_card")"
  # nobody's copy of the program and its driver: the build may sit where only
  # root can read (a checkout under /root).
  nobody_bin="$root/nobody-bin"
  mkdir -p "$nobody_bin"
  cp "$cli" "$nobody_bin/"
  for driver in "$(dirname "$cli")/libadcard.so" "$(dirname "$cli")/../lib/dio-panel/libadcard.so"; do
    if [ -f "$driver" ]; then
      cp "$driver" "$nobody_bin/"
      break
    fi
  done
  as_nobody() {
    status=0
    ADCARD_SIM_NAME="$nobody_card" setpriv --reuid=nobody --regid=nogroup --clear-groups \
      "$nobody_bin/$(basename "$cli")" "$@" >"$root/out" 2>"$root/err" || status=$?
    out="$(cat "$root/out")" err="$(cat "$root/err")"
  }
  chmod 755 "$root"
  planted=(
    'touch "$lock"; chmod 600 "$lock"|2|别的用户建的，打不开'
    'ln -s /etc/passwd "$lock"|2|是个符号链接'
    'mkfifo "$lock"|2|不是普通文件'
    'touch "$lock"; chmod 644 "$lock"|0|8 条通道：全部正常'
  )
  for row in "${planted[@]}"; do
    IFS='|' read -r plant want said <<<"$row"
    rm -rf "$lock"
    eval "$plant"
    as_nobody selftest --yes --settle 0 --channels 1-8
    expect "$want" "$said"
  done
  rm -rf "$lock" "/dev/shm/adcard-sim3-$(id -u nobody)-$nobody_card"
  echo "$check: a lock file another user planted is refused, named; one made for every user is used"
fi

# 5. An intermittent input.
for seed in 1 2 3 4 5; do
  ADCARD_SIM_FAULTS="flicker=91;seed=$seed" run selftest --yes --settle 0 --json
  expect 1 '"sound":127,"faults":[{"kind":"intermittent","channels":[91],"flickers":'
done
echo "$check: an intermittent input is named alone, five seeds"

# 6. Readings the card never gave, and what was typed.
printf '5 20 0\n' >"$root/far.map"
while IFS='|' read -r arguments said; do
  run $arguments
  expect 2 "$said"
done <<EOF
get --words 17|板卡只有 16 个
selftest --yes --map $root/far.map|要读 21 个输入字，板卡只有 16 个
watch --map $root/far.map|要读 21 个输入字，板卡只有 16 个
get --words １７|板卡只有 16 个
bogus|不认识的子命令“bogus”
EOF
run set $'9=1\e[2J'
expect 2 '“9=1\x1b[2J”'
! grep -q $'\e' <<<"$err" || { echo "$check: a control character reached the terminal" >&2; exit 1; }
echo "$check: words the card lacks are refused with its count; typed text is named, escaped"
