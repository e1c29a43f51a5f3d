#!/usr/bin/python3
"""The plant at scale, against Debian's PostgreSQL 15 and mosquitto started here. Prints one JSON
line:
- the collector: STATIONS stations, RUNS runs pending in each one's records, all sending them at
  once (dio-cli publish --pending); runs a second from the start to the last station's last
  confirmation, every run stored; against the same number of messages sent by as many mosquitto_pub
  (QoS 1) to mosquitto_sub in the collector's place (the broker's own rate: the path's floor);
- history --serial over a store of MILLION runs (50 stations over two weeks, a unit tested up to
  five times at one station, every tenth run with a fault), the whole dio-cli process, median of
  21, against psql running the same query;
- history --stats --by station for the last week (half of them: a run a minute a station, round
  the clock), median of 5, against psql counting the week's runs per station.

  plant_bench.py DIO-CLI [STATIONS=50] [RUNS=200] [MILLION=1]
"""
import json, os, shutil, sqlite3, statistics, subprocess, sys, tempfile, time, uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
from plant_pieces import Broker, Postgres  # noqa: E402
from waiting import until  # noqa: E402

cli = sys.argv[1]
stations = int(sys.argv[2]) if len(sys.argv) > 2 else 50
per_station = int(sys.argv[3]) if len(sys.argv) > 3 else 200
million = float(sys.argv[4]) if len(sys.argv) > 4 else 1
folder = tempfile.mkdtemp(prefix="dio-plant-bench-")
pg = Postgres(folder)
broker = Broker(folder)
result = {}


def message(station, n):
    faults = [{"kind": "stuck-1", "channels": [n % 16 + 1]}] if n % 10 == 0 else []
    return json.dumps({"uuid": str(uuid.uuid4()), "serial": "SN-%s-%d" % (station, n), "part": "",
                       "station": station, "operator": "bench",
                       "started": "2026-12-09T10:15:00.123Z", "ended": "2026-12-09T10:15:01.123Z",
                       "settle_ms": 5, "channels": "1-16", "patterns": 7,
                       "status": "fail" if faults else "pass", "reason": "", "faults": faults})


def publish_all(prefix):
    """Every station's publisher started at once; returns when all have sent."""
    publishers = []
    for s in range(stations):
        name = "s%02d" % s
        lines = "\n".join(message(name, n) for n in range(per_station)) + "\n"
        p = subprocess.Popen(["mosquitto_pub", "-p", str(broker.port), "-q", "1", "-l", "-t",
                              "%s/%s/selftest" % (prefix, name)], stdin=subprocess.PIPE)
        publishers.append((p, lines))
    for p, lines in publishers:
        p.stdin.write(lines.encode())
    for p, _ in publishers:
        p.stdin.close()
    for p, _ in publishers:
        p.wait(timeout=300)


total = stations * per_station
# The floor: the broker handing the same messages to one subscriber.
sub = subprocess.Popen(["mosquitto_sub", "-p", str(broker.port), "-q", "1", "-t", "floor/+/selftest"],
                       stdout=subprocess.PIPE)
time.sleep(0.5)
began = time.monotonic()
publish_all("floor")
got = 0
while got < total:
    got += sub.stdout.readline().count(b"\n")
result["broker_runs_per_s"] = total / (time.monotonic() - began)
sub.kill()

# Each station's records: a run made by dio-cli, then RUNS - 1 more like it, pending.
template = os.path.join(folder, "template.sqlite")
made = subprocess.run([cli, "selftest", "--yes", "--settle", "0", "--channels", "1-16", "--serial",
                       "T", "--db", template], capture_output=True, text=True,
                      env=dict(os.environ, ADCARD_SIM_NAME="plant-bench-%d" % os.getpid()))
if made.returncode != 0:
    raise SystemExit("plant-bench: " + made.stderr)
for s in range(stations):
    path = os.path.join(folder, "s%02d.sqlite" % s)
    shutil.copy(template, path)
    with sqlite3.connect(path) as db:
        db.execute("UPDATE runs SET station = ?, uuid = ?", ("s%02d" % s, str(uuid.uuid4())))
        db.executemany("INSERT INTO runs (serial, part, station, operator, started, ended, settle_ms, "
                       "channels, patterns, status, reason, uuid) SELECT serial || ?, part, station, "
                       "operator, started, ended, settle_ms, channels, patterns, status, reason, ? "
                       "FROM runs WHERE id = 1",
                       [("-%d" % n, str(uuid.uuid4())) for n in range(1, per_station)])
        db.execute("INSERT INTO faults (run, kind, channels, wired, why, flickers) SELECT id, "
                   "'stuck-1', '9', '', '', 0 FROM runs WHERE id % 10 = 0")

collector = subprocess.Popen([cli, "collect", "--mqtt", broker.url("plant"), "--db", pg.url],
                             stderr=open(os.path.join(folder, "collect.log"), "w"))
until(lambda: "已连上 PostgreSQL" in open(os.path.join(folder, "collect.log")).read(), 30)
time.sleep(0.5)  # subscribed
began = time.monotonic()
senders = [subprocess.Popen([cli, "publish", "--pending", "--mqtt", broker.url("plant"), "--db",
                             os.path.join(folder, "s%02d.sqlite" % s), "--wait", "120s"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
           for s in range(stations)]
statuses = [p.wait(timeout=600) for p in senders]
result["collector_runs_per_s"] = total / (time.monotonic() - began)
result["confirmed_everywhere"] = statuses == [0] * stations
result["stored"] = int(pg.psql("SELECT count(*) FROM runs"))
collector.terminate()
collector.wait(timeout=30)

# A store of a million runs, made by the server itself.
runs = int(million * 1_000_000)
pg.psql("""
INSERT INTO runs (uuid, serial, part, station, operator, started, ended, settle_ms, channels,
                  patterns, status, reason)
SELECT gen_random_uuid(), 'SN-' || (i / 5), '', 'st' || ((i / 5) %% 50), 'filler',
       now() - (i * interval '1209600 seconds' / %d), now() - (i * interval '1209600 seconds' / %d),
       5, '1-16', 7, CASE WHEN i %% 10 = 0 THEN 'fail' ELSE 'pass' END, ''
FROM generate_series(1, %d) AS i;
INSERT INTO faults SELECT uuid, 1, 'stuck-1', ARRAY[1 + (hashtext(serial) & 15)], '', '', 0
FROM runs WHERE status = 'fail' AND operator = 'filler';
ANALYZE;
""" % (runs, runs, runs))
serial = "SN-%d" % (runs // 3 // 5)
week = time.strftime("%Y-%m-%d", time.gmtime(time.time() - 7 * 86400))


def timed(command, count):
    times = []
    for _ in range(count):
        t = time.monotonic()
        done = subprocess.run(command, capture_output=True)
        times.append((time.monotonic() - t) * 1000)
        if done.returncode != 0:
            raise SystemExit("plant-bench: %s: %s" % (command, done.stderr.decode()))
    return statistics.median(times)


psql = ["psql", "-X", "-At", "-h", pg.data, "-p", str(pg.port), "-U", "dio", "-d", "plant", "-c"]
result["history_serial_ms"] = timed([cli, "history", "--serial", serial, "--db", pg.url], 21)
result["psql_serial_ms"] = timed(psql + [
    "SELECT * FROM runs r LEFT JOIN faults f ON f.run = r.uuid WHERE r.serial = '%s' "
    "ORDER BY r.started DESC" % serial], 21)
result["stats_station_ms"] = timed([cli, "history", "--stats", "--by", "station", "--since", week,
                                    "--db", pg.url], 5)
result["psql_week_count_ms"] = timed(psql + [
    "SELECT station, count(*) FROM runs WHERE started >= '%s' GROUP BY station" % week], 5)
result["runs_in_store"] = runs
result["stations"], result["runs_per_station"] = stations, per_station
broker.kill()
pg.stop()
shutil.rmtree(folder, ignore_errors=True)
print(json.dumps(result))
