#!/usr/bin/env bash
# dio-cli as it ships (built, installed or packaged; natively or under Wine),
# on the simulated card beside it, under a card name of the check's own:
#   1. info names the driver file and the board; --help answers on every
#      subcommand;
#   2. set in one process, get in another: one card; a set with one bad
#      argument sends nothing (status 2), nor a get of a word the card lacks;
#   3. the self-test finds injected faults (status 1, its JSON report, every
#      line back at 0) and passes a sound card (status 0);
#   4. (natively) Ctrl-C: the self-test sets its lines back to 0 and ends with
#      status 130; the watch prints the changes counted, then ends so too;
#   5. a copy without a driver beside it ends with status 3, naming the file.
#
#   cli_check.sh DIO-CLI
#
# RUNNER runs the program ("wine").
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
source "$(dirname "$0")/check_lib.sh"
cli="$1" check=cli-check
root="$(mktemp -d)"
export ADCARD_SIM_NAME="check-$$"
trap 'rm -rf "$root"; rm -f "/dev/shm/adcard-sim3-$(id -u)-$ADCARD_SIM_NAME"' EXIT

run info
expect 0 "板卡信息：卡名：ZAN 51 8类型： 1"
driver="$(head -n1 <<<"$out")"
for command in info get set watch selftest; do
  run "$command" --help
  expect 0 "选项:"
  [[ "$out" != *Options* ]] || { echo "cli-check: $command --help is half English" >&2; exit 1; }
done
echo "cli-check: info and the help of every subcommand ($driver)"

run set 9=1 17=1
expect 0 ""
run get --format json --words 3
expect 0 '{"words":[0,1,1],"hex":["0000","0001","0001"]}'
run set 9=0 129=1
expect 2 "参数“129=1”不对"
run get --format hex --words 2
expect 0 "字 1 ：0001"
run get --words 2
expect 0 "         位：7 6 5 4 3 2 1 0
字 0 ：0000  0 0 0 0 0 0 0 0
字 1 ：0001  0 0 0 0 0 0 0 1"
[ "$(wc -l <<<"$out")" -eq 3 ] || { echo "cli-check: get printed more than its words" >&2; exit 1; }
run get --words 2 --format bits
expect 0 "   位：7 6 5 4 3 2 1 0
字 0 ：0 0 0 0 0 0 0 0"
run get --words 17
expect 2 "板卡只有 16 个"
run watch --channels 1,9 --duration 100ms --format vcd
expect 0 '$var wire 1 " ch9 $end'
expect 0 '$enddefinitions $end' 
echo "cli-check: set in one process is read in another; a bad argument sends nothing, nor a word the card lacks"

run set 17=0
export ADCARD_SIM_FAULTS="stuck0=5;short-and=17,18;cross=33,40"
run selftest --yes --json --settle 0 --report "$root/report.json"
expect 1 '{"channels":128,"patterns":10,"sound":123,"faults":[{"kind":"stuck-0","channels":[5]},{"kind":"short","wired":"and","channels":[17,18]},{"kind":"crossed","channels":[33,40]},{"kind":"crossed","channels":[40,33]}]}'
grep -qF "$out" "$root/report.json" || { echo "cli-check: no report file" >&2; exit 1; }
run selftest --yes --json --settle 0 --codes counting
expect 1 '{"channels":128,"patterns":18,"sound":123,"faults":[{"kind":"stuck-0","channels":[5]},{"kind":"short","wired":"and","channels":[17,18]},{"kind":"crossed","channels":[33,40]},{"kind":"crossed","channels":[40,33]}]}'
run selftest --yes --codes gray
expect 2 "--codes 的“gray”不对：可用 adaptive、constant-weight、counting"
unset ADCARD_SIM_FAULTS
run get --format json --words 16
expect 0 '"words":[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]'
run selftest --yes --settle 0
expect 0 "128 条通道：全部正常"
echo "cli-check: the self-test names injected faults (status 1) and passes a sound card (status 0)"

if [ -z "${RUNNER:-}" ]; then
  stop INT 0.5 selftest --yes --settle 100
  expect 130 "已中断，各通道已复位为 0"
  run get --format json --words 16
  expect 0 '"words":[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]'
  stop INT 0.5 watch --interval 50ms
  expect 130 "变化次数：没有变化"
  echo "cli-check: Ctrl-C ends the self-test with every line at 0 (status 130), the watch with its count"
fi

mkdir "$root/alone"
cp "$cli" "$root/alone/"
cli="$root/alone/$(basename "$cli")"
run info
expect 3 "运行时错误 53：文件未找到："
echo "cli-check: without a driver: status 3, $(grep -m1 -F 运行时错误 <<<"$err")"
