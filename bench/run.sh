#!/usr/bin/env bash
# Builds the benchmarks (Release, build-bench/) and prints one table: per-call
# costs from Google Benchmark (medians of 5 repetitions), the self-test's
# patterns and driver calls against walking ones and zeros, its codes against
# each other and the fewest patterns possible, and whole-process start
# to first show against a bare Qt window and the station's window against the
# panel (medians of RUNS runs each, default 21); the station's window answering
# while a self-test runs; the plant's collector and its PostgreSQL store.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
BUILD_DIR=build-bench scripts/build.sh -DDIO_BUILD_BENCHMARKS=ON -DDIO_BUILD_TESTS=OFF
bin=build-bench/bin
scripts/check-runpath.sh build-bench >&2
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

calls="$("$bin/panel_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null | grep '_median"')"
cli="$("$bin/cli_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null | grep '_median"')"
soak="$("$bin/soak" 100000)"
# pymodbus's own server beside dio-cli serve and libmodbus's from memory.
pyport="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
/usr/bin/python3 tests/pymodbus_server.py "$pyport" >/dev/null 2>&1 &
pymodbus=$!
sleep 2
# The loopback's speed drifts on a shared machine: dio-cli serve and the
# baseline are run side by side in each of five rounds, and the ratio taken in
# each round.
serve="$(for _ in 1 2 3 4 5; do
  PYMODBUS_PORT="$pyport" "$bin/serve_bench" --benchmark_format=json 2>/dev/null | tr -d '\n'
  echo
done)"
kill "$pymodbus"
link="$("$bin/link_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=json 2>/dev/null)"
records="$("$bin/records_bench" --benchmark_format=json 2>/dev/null)"
codes="$("$bin/selftest_bench" --benchmark_format=json 2>/dev/null)"
# watch --mqtt at 1,000 changes a second to mosquitto, for MQTT_SECONDS (60).
mqtt="$(/usr/bin/python3 bench/mqtt_watch.py "$bin/dio-cli" "$bin/libadcard.so" "${MQTT_SECONDS:-60}" 1000)"
station="$("$bin/station_bench" --benchmark_format=json 2>/dev/null)"
# The plant: the collector from 50 stations at once, history over a million runs (PostgreSQL).
plant="$(/usr/bin/python3 bench/plant_bench.py "$bin/dio-cli" 50 200 "${PLANT_MILLIONS:-1}")"
# The drivers on Linux's interfaces, on emulated devices (their round trip,
# not a card's), and the simulated card, in one run.
linux_drivers="$(for kind in SimulatedCard comedi gpio; do
  case $kind in
    SimulatedCard) "$bin/linux_driver_bench" --benchmark_repetitions=5 --benchmark_format=json ;;
    comedi) BENCH_DRIVER_DIR="$PWD/$bin/comedi" BENCH_DRIVER_NAME=comedi ADCARD_COMEDI=device=/dev/comedi0 \
      build-bench/tests/emulated-device comedi -- "$bin/linux_driver_bench" --benchmark_repetitions=5 --benchmark_format=json ;;
    gpio) BENCH_DRIVER_DIR="$PWD/$bin/gpio" BENCH_DRIVER_NAME=gpio \
      ADCARD_GPIO="chip=/dev/gpiochip0;outputs=0-127;inputs=128-255" \
      build-bench/tests/emulated-device gpio -- "$bin/linux_driver_bench" --benchmark_repetitions=5 --benchmark_format=json ;;
  esac 2>/dev/null | tr -d '\n'
  echo
done)"
procs="$("$bin/proc_stats" "${RUNS:-21}" "$bin/start_show" "$bin/bare_window" "$bin/text_window" \
  "$bin/station_start_show")"

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -sr), Qt $(pkg-config --modversion Qt6Core 2>/dev/null || echo '?'), platform $QT_QPA_PLATFORM"
echo
echo "| measure | median | target | met |"
echo "|---|---|---|---|"
echo "| soak, $soak | | | |"
echo "$calls" | awk -F, '
  function target(n) {
    if (n ~ /EnabledTick/) return 100000; if (n ~ /DisabledTick/) return 1000; return 0 }
  { name = $1; gsub(/"|_median|BM_/, "", name); ns = $3; t = target(name)
    if (t > 0) printf "| %s | %.0f ns | %d ns | %s |\n", name, ns, t, (ns <= t ? "yes" : "no")
    else       printf "| %s | %.1f ns | | |\n", name, ns }'
echo "$cli" | awk -F, '
  { name = $1; gsub(/"|_median|BM_/, "", name); time[name] = $3; unit[name] = $5
    calls[name] = $11; patterns[name] = $12 }
  END {
    c = "SelftestCodes"; w = "SelftestWalkingOnesAndZeros"
    printf "| self-test, 128 lines, code words: patterns / driver calls | %d / %d | | |\n", patterns[c], calls[c]
    printf "| self-test, 128 lines, walking ones and zeros: patterns / driver calls | %d / %d | | |\n", patterns[w], calls[w]
    printf "| patterns ratio, code words / walking | %.3f | | |\n", patterns[c] / patterns[w]
    printf "| self-test on the simulated card, no settling: code words / walking | %.0f / %.0f %s | | |\n", time[c], time[w], unit[c]
    printf "| self-test at the default 10 ms settling: code words / walking | %.2f / %.2f s | | |\n", patterns[c] * 0.01, patterns[w] * 0.01
    printf "| watch, one poll of 128 channels (read and compare) | %.0f %s | | |\n", time["WatchPoll"], unit["WatchPoll"]
  }'
/usr/bin/python3 -c '
import json, statistics, sys
rounds = [{b["run_name"].split("/")[0][len("BM_ReadInputs_"):]: b for b in json.loads(line)["benchmarks"]}
          for line in sys.stdin if line.strip()]
def median(name, field):
    return statistics.median(r[name][field] for r in rounds)
ratios = [r["DioCliServe"]["items_per_second"] / r["MemoryServer"]["items_per_second"] for r in rounds]
ratio = statistics.median(ratios)
print("| serve: read 128 discrete inputs, one client, dio-cli serve on the simulated card | %.0f /s | | |" % median("DioCliServe", "items_per_second"))
print("| serve: the same, minimal libmodbus server from memory | %.0f /s | | |" % median("MemoryServer", "items_per_second"))
print("| serve: the same, pymodbus server from its datastore | %.0f /s | | |" % median("Pymodbus", "items_per_second"))
print("| serve ratio, dio-cli serve / libmodbus from memory, median of %d rounds (%s) | %.2f | 0.80 | %s |" % (len(ratios), " ".join("%.2f" % r for r in ratios), ratio, "yes" if ratio >= 0.8 else "no"))
print("| serve: server CPU a request, dio-cli serve / libmodbus from memory | %.0f / %.0f us | | |" % (median("DioCliServe", "server_cpu_us"), median("MemoryServer", "server_cpu_us")))
' <<<"$serve"
/usr/bin/python3 -c '
import json, sys
rows = {b["run_name"].split("/")[0][len("BM_Tick_"):]: b
        for b in json.load(sys.stdin)["benchmarks"] if b.get("aggregate_name") == "median"}
print("| panel tick, simulated card | %.0f ns | | |" % rows["SimulatedCard"]["real_time"])
print("| panel tick through the Modbus driver, dio-cli serve on loopback | %.0f ns | | |" % rows["ModbusLoopback"]["real_time"])
silent = rows["ServerSilent"]
print("| panel tick, server accepting and never answering: typical / longest | %.0f ns / %.0f ms | 100 ms | %s |" % (silent["real_time"], silent["longest_ms"], "yes" if silent["longest_ms"] <= 110 else "no"))
' <<<"$link"
/usr/bin/python3 -c '
import json, sys
rows = {b["run_name"].split("/")[0][len("BM_"):]: b for b in json.load(sys.stdin)["benchmarks"]}
ms = lambda name: rows[name]["real_time"]
record, test = ms("RecordRun"), ms("Selftest_Default")
print("| records: one run recorded (open, check, one WAL transaction) / the 128-line self-test at 10 ms settling | %.2f / %.0f ms (%.1f %%) | 5 ms | %s |" % (record, test, 100 * record / test, "yes" if record <= 5 else "no"))
one, scan = ms("History_OneSerial_Indexed"), ms("History_OneSerial_NoIndex")
print("| records: history of one serial number among 100,000 runs, indexed / not | %.2f / %.1f ms (%.0fx) | 1000 ms | %s |" % (one, scan, scan / one, "yes" if one <= 1000 else "no"))
print("| records: --stats over 100,000 runs | %.1f ms | 2000 ms | %s |" % (ms("Stats_All"), "yes" if ms("Stats_All") <= 2000 else "no"))
print("| records: history of all 100,000 runs (read, not printed) | %.0f ms | | |" % ms("History_All"))
' <<<"$records"
/usr/bin/python3 -c '
import json, sys
methods = ["adaptive", "constant-weight", "counting", "walking ones and zeros"]
sets = ["every single fault (24,768 cables)", "2 shorted groups (200 random cables)",
        "4 shorted groups (200)", "8 shorted groups (200)", "4 faults sharing lines (200)"]
goals = {(0, 0): 10, (0, 4): 64}  # adaptive: every single fault, four overlapping faults, at most
sound, faulty, every = {}, {}, []
for b in json.load(sys.stdin)["benchmarks"]:
    name, *args = b["run_name"].split("/")
    numbers = tuple(int(x) for x in args if x.isdigit())
    if name == "BM_EveryShortedPairs":
        every.append("| self-test, adaptive, every cable of %d shorted pairs on %d lines (%s, each AND or OR): patterns at most / on average (/ the fewest possible) | %d / %.2f (%d) | | |" % (
            numbers[1], numbers[0], format(int(b["cables"]), ","), b["most"], b["mean"], b["bound"]))
        continue
    (sound if name == "BM_Selftest" else faulty)[numbers] = b
for lines in (128, 64, 16, 8):
    for method, name in enumerate(methods):
        sim0, sim10, modbus = (sound[(t, method, lines, s)] for t, s in ((0, 0), (0, 10), (1, 0)))
        goal = "8 (1.00)" if (lines, method) == (128, 0) else ""
        met = ("yes" if sim0["patterns"] <= 8 else "no") if goal else ""
        print("| self-test, %d lines, %s, sound cable: patterns (/ the fewest possible) / driver calls / no settling / 10 ms settling / through Modbus to dio-cli serve | %d (%.2f) / %d / %.1f / %.0f / %.1f ms | %s | %s |" % (
            lines, name, sim0["patterns"], sim0["ratio"], sim0["calls"], sim0["real_time"], sim10["real_time"], modbus["real_time"], goal, met))
for s, cables in enumerate(sets):
    for method in range(3):
        f = faulty[(method, s)]
        goal = goals.get((method, s))
        print("| self-test, 128 lines, %s, %s: patterns at most / on average (/ the fewest possible) / driver calls on average | %d / %.2f (%.2f) / %.0f | %s | %s |" % (
            cables, methods[method], f["most"], f["mean"], f["mean"] / f["bound"], f["calls"],
            "at most %d" % goal if goal else "", ("yes" if f["most"] <= goal else "no") if goal else ""))
    print("| self-test, 128 lines, %s, walking ones and zeros: patterns | 258 (32.25) | | |" % cables)
print("\n".join(every))
' <<<"$codes"
/usr/bin/python3 -c '
import json, sys
m = json.load(sys.stdin)
print("| watch --mqtt, %d changes at %d/s: seen by the polls / received by mosquitto_sub / numbers missing | %d / %d / %d | all received | %s |" % (m["changes_made"], m["rate"], m["watch_saw"], m["received"], m["missing"], "yes" if m["missing"] == 0 and m["received"] == m["watch_saw"] else "no"))
print("| watch --mqtt, poll to arrival: median / 99th percentile / longest | %.2f / %.2f / %.1f ms | p99 10 ms | %s |" % (m["delay_ms_median"], m["delay_ms_p99"], m["delay_ms_longest"], "yes" if m["delay_ms_p99"] <= 10 else "no"))
' <<<"$mqtt"
/usr/bin/python3 -c '
import json, sys
m = json.load(sys.stdin)
c, b = m["collector_runs_per_s"], m["broker_runs_per_s"]
print("| collect: %d runs sent by %d stations at once, stored and confirmed / the broker alone, mosquitto_pub to mosquitto_sub | %.0f / %.0f runs/s (%.2f) | 1000 runs/s | %s |" % (m["stations"] * m["runs_per_station"], m["stations"], c, b, c / b, "yes" if c >= 1000 and m["confirmed_everywhere"] and m["stored"] == m["stations"] * m["runs_per_station"] else "no"))
print("| history --serial over %d runs in PostgreSQL, whole process / psql, same query | %.1f / %.1f ms | 100 ms | %s |" % (m["runs_in_store"], m["history_serial_ms"], m["psql_serial_ms"], "yes" if m["history_serial_ms"] <= 100 else "no"))
print("| history --stats --by station, a week of 50 stations / psql counting its runs | %.0f / %.0f ms | 1000 ms | %s |" % (m["stats_station_ms"], m["psql_week_count_ms"], "yes" if m["stats_station_ms"] <= 1000 else "no"))
' <<<"$plant"
/usr/bin/python3 -c '
import json, sys
rows = {}
for line in sys.stdin:
    for b in json.loads(line)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            rows[b["run_name"].split("/")[0][len("BM_"):]] = b["real_time"]
for call, what in (("ZanDI", "Zan_DI of 16 words (128 inputs)"), ("Pattern", "a self-test pattern (16 groups written, the inputs read twice)")):
    sim = rows[call + "_SimulatedCard"]
    for kind in ("comedi", "gpio"):
        t = rows["%s_%s" % (call, kind)]
        print("| %s through the %s driver on an emulated device (the emulation round trip, not a card) / the simulated card | %.0f / %.2f us (%.0fx) | | |" % (what, kind, t / 1000, sim / 1000, t / sim))
' <<<"$linux_drivers"
echo "$procs" | awk '
  { name[NR] = $1; ms[NR] = $2; kib[NR] = $3 }
  END {
    printf "| start to first show, panel | %.1f ms | | |\n", ms[1]
    printf "| start to first show, bare window (30 plain widgets) | %.1f ms | | |\n", ms[2]
    printf "| start to first show, bare window with the captions as labels | %.1f ms | | |\n", ms[3]
    printf "| start ratio panel / bare window | %.2f | 1.10 | %s |\n", ms[1] / ms[2], (ms[1] / ms[2] <= 1.10 ? "yes" : "no")
    printf "| start ratio panel / window with captions | %.2f | | |\n", ms[1] / ms[3]
    printf "| peak memory, panel | %d KiB | | |\n", kib[1]
    printf "| peak memory, bare window | %d KiB | | |\n", kib[2]
    printf "| peak memory, window with captions | %d KiB | | |\n", kib[3]
    printf "| memory ratio panel / bare window | %.2f | 1.15 | %s |\n", kib[1] / kib[2], (kib[1] / kib[2] <= 1.15 ? "yes" : "no")
    printf "| memory ratio panel / window with captions | %.2f | | |\n", kib[1] / kib[3]
    printf "| start to first show, station window / panel | %.1f / %.1f ms (%.2f) | 1.30 | %s |\n", ms[4], ms[1], ms[4] / ms[1], (ms[4] / ms[1] <= 1.30 ? "yes" : "no")
  }'
/usr/bin/python3 -c '
import json, sys
rows = {b["run_name"].split("/")[0][len("BM_EventLoop_"):]: b for b in json.load(sys.stdin)["benchmarks"]}
idle, busy = rows["Idle"], rows["WhileTesting"]
print("| station window, event loop lateness at the 99th percentile while a 128-line self-test runs at 50 ms settling / idle | %.2f / %.2f ms (longest %.1f / %.1f) | 16 ms | %s |" % (busy["p99_ms"], idle["p99_ms"], busy["max_ms"], idle["max_ms"], "yes" if busy["p99_ms"] <= 16 else "no"))
print("| station window, verdict painted after the test ends | %.1f ms | 50 ms | %s |" % (busy["verdict_ms"], "yes" if busy["verdict_ms"] <= 50 else "no"))
' <<<"$station"
