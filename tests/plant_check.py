#!/usr/bin/python3
"""The plant as it ships: stations (dio-cli selftest on simulated cards), Debian's mosquitto with
persistence and Debian's PostgreSQL 15 (independent implementations of the broker and the store,
started here on loopback and a Unix socket, as a user other than root), and dio-cli collect
between them. Each run stored once with its faults and confirmed to its station; messages that are
no run skipped; a database of another program refused; then stations making runs while the
broker, the collector and PostgreSQL are each killed (SIGKILL) and started again at random moments:
at the end the store holds exactly every station's runs, and nothing is pending anywhere. A
station whose broker is away keeps its runs and delivers them when it comes.

  plant_check.py DIO-CLI [SECONDS of faults, 40 by default]
  RUNNER=wine plant_check.py DIO-CLI.EXE LINUX-DIO-CLI
      the stations' part of dio-cli.exe under Wine, against the Linux broker, collector (the
      second program) and PostgreSQL: runs stored once and confirmed, and a station whose broker
      is away keeps its runs and delivers them when it comes
"""
import json, os, random, re, shutil, signal, sqlite3, subprocess, sys, tempfile, threading
import time

from plant_pieces import Broker, Postgres, free_port
from waiting import until

runner = os.environ.get("RUNNER", "").split()
station_cli = sys.argv[1]
# Under Wine the collector is Linux's (it runs on Linux only).
cli = sys.argv[2] if runner else station_cli
chaos_seconds = float(sys.argv[2]) if len(sys.argv) > 2 and not runner else 40
signal.signal(signal.SIGINT, signal.default_int_handler)
folder = tempfile.mkdtemp(prefix="dio-plant-")
os.chmod(folder, 0o755)
failures = []
seed = int(os.environ.get("PLANT_SEED", time.time_ns() % 100000))
print("plant-check: seed %d (PLANT_SEED=%d replays it)" % (seed, seed), flush=True)
rng = random.Random(seed)


def check(name, condition, detail=""):
    if not condition:
        failures.append("%s: %s" % (name, detail))
        print("FAILED", name, detail, flush=True)


class Collector:
    def __init__(self, broker_url, pg_url, client_id="dio-collect"):
        self.arguments = [cli, "collect", "--mqtt", broker_url, "--db", pg_url, "--client-id",
                          client_id]
        self.log = os.path.join(folder, "collect-%s.log" % client_id)
        open(self.log, "a").close()
        self.start()
        # Subscribed before the first run is sent, as a plant's collector long is: the broker
        # keeps runs only for a session it has seen (a run before is sent again a minute later).
        if not until(lambda: "已连上代理" in self.logged(), 30):
            raise SystemExit("plant-check: the collector did not subscribe: " + self.logged())

    def start(self):
        self.process = subprocess.Popen(self.arguments, stdout=subprocess.DEVNULL,
                                        stderr=open(self.log, "a"))

    def logged(self):
        return open(self.log, errors="replace").read()

    def kill(self):
        self.process.kill()
        self.process.wait()


def dio(*arguments, card="plant", faults="", timeout=120):
    """The station's program (dio-cli.exe through Wine where asked)."""
    env = dict(os.environ, ADCARD_SIM_NAME="%s-%d" % (card, os.getpid()), ADCARD_SIM_FAULTS=faults)
    return subprocess.run([*runner, station_cli, *arguments], env=env, capture_output=True,
                          text=True, timeout=timeout)


def plant_history(*arguments):
    return subprocess.run([cli, "history", *arguments], capture_output=True, text=True, timeout=120)


def station_db(station):
    return os.path.join(folder, station + ".sqlite")


def selftest(station, serial, broker_url, faults=""):
    return dio("selftest", "--yes", "--settle", "0", "--channels", "1-16", "--serial", serial,
               "--station", station, "--db", station_db(station), "--mqtt", broker_url,
               card=station, faults=faults)


FIELDS = ["serial", "part", "operator", "started", "ended", "settle_ms", "channels", "patterns",
          "status", "reason"]


def station_runs(station):
    """uuid → (the run's fields as text, its faults as kind, wiring and channels), as the
    station's file keeps them, read by Python's sqlite3."""
    with sqlite3.connect(station_db(station)) as db:
        runs = {row[0]: (tuple(str(v) for v in row[1:]), []) for row in db.execute(
            "SELECT uuid, %s FROM runs" % ", ".join(FIELDS))}
        for u, kind, wired, channels in db.execute(
                "SELECT r.uuid, f.kind, f.wired, f.channels FROM faults f JOIN runs r ON r.id = f.run "
                "ORDER BY f.id"):
            runs[u][1].append("%s %s %s" % (kind, wired, channels))
    return runs


def plant_runs(pg, station):
    """The same, as the plant's store keeps them, read by psql."""
    utc = lambda column: "to_char(%s AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')" % column  # noqa: E731
    columns = [utc(f) if f in ("started", "ended") else f for f in FIELDS]
    runs = {}
    for line in pg.psql("SELECT r.uuid, %s, coalesce((SELECT string_agg(f.kind || ' ' || f.wired || ' ' "
                        "|| array_to_string(f.channels, ','), '|' ORDER BY f.position) FROM faults f "
                        "WHERE f.run = r.uuid), '') FROM runs r WHERE r.station = '%s'"
                        % (", ".join(columns), station)).splitlines():
        values = line.split("|")
        faults = values[len(FIELDS) + 1:]
        runs[values[0]] = (tuple(values[1:len(FIELDS) + 1]), faults if faults != [""] else [])
    return runs


def pending(station):
    done = dio("history", "--pending", "--format", "json", "--db", station_db(station))
    return json.loads(done.stdout) if done.returncode == 0 else ["unreadable: " + done.stderr]


def stored_once_and_confirmed(pg, broker):
    collector = Collector(broker.url(), pg.url)
    for serial, faults in [("SN-1", ""), ("SN-2", "stuck1=9"), ("SN-2", "")]:
        done = selftest("line1", serial, broker.url(), faults)
        check("selftest " + serial, done.returncode in (0, 1), done.stderr)
    until(lambda: not pending("line1"), 20)
    check("confirmed", pending("line1") == [], pending("line1"))
    check("stored as kept", plant_runs(pg, "line1") == station_runs("line1"),
          (plant_runs(pg, "line1"), station_runs("line1")))
    # The same message twice more, as a broker may deliver it: still one row.
    mine = json.loads(dio("history", "--format", "json", "--db", station_db("line1")).stdout)[0]
    del mine["id"]
    for _ in range(2):
        subprocess.run(["mosquitto_pub", "-p", str(broker.port), "-q", "1", "-t",
                        "plant/line1/selftest", "-m", json.dumps(mine)], check=True)
    # Then a message that is no run, on the same topic: once it is skipped,
    # the two before it have been taken.
    subprocess.run(["mosquitto_pub", "-p", str(broker.port), "-q", "1", "-t",
                    "plant/line1/selftest", "-m", "after the duplicates"], check=True)
    check("the duplicates taken", until(lambda: "跳过 plant/line1/selftest" in collector.logged(),
                                        20), collector.logged()[-400:])
    check("stored once", pg.psql("SELECT count(*) FROM runs WHERE uuid = '%s'" % mine["uuid"]).strip()
          == "1")
    plant = json.loads(plant_history("--format", "json", "--station", "line1", "--db", pg.url).stdout)
    ours = json.loads(dio("history", "--format", "json", "--db", station_db("line1")).stdout)
    for run in ours:
        del run["id"]
    check("history of the plant", plant == ours and all(run["trace"] for run in plant),
          (plant, ours))
    checked = plant_history("--check", "--format", "json", "--db", pg.url)
    check("the plant's runs checked from their own readings", checked.returncode == 0 and [
        run["check"] for run in json.loads(checked.stdout or "[]")] == ["agrees"] * 3,
          (checked.stdout, checked.stderr))
    channels = plant_history("--stats", "--format", "json", "--db", pg.url).stdout
    ours = dio("history", "--stats", "--format", "json", "--db", station_db("line1")).stdout
    check("stats per channel as the station's", json.loads(channels or "null") == json.loads(ours),
          (channels, ours))
    stats = plant_history("--stats", "--by", "station", "--format", "csv", "--db", pg.url).stdout
    check("stats per station", "line1,3,2,1,0,2,1,50.0" in stats, stats)
    # The same store named as the collector may name it: a service of libpq's file.
    services = os.path.join(folder, "pg_service.conf")
    with open(services, "w") as out:
        out.write("[plant]\nhost=%s\nport=%d\nuser=dio\ndbname=plant\n" % (pg.data, pg.port))
    by_service = subprocess.run([cli, "history", "--stats", "--by", "station", "--format", "csv",
                                 "--db", "service=plant"], capture_output=True, text=True, timeout=120,
                                env=dict(os.environ, PGSERVICEFILE=services))
    check("history --db service=NAME", by_service.stdout == stats,
          (by_service.stdout, by_service.stderr, stats))
    day = pg.psql("SELECT station, runs, passed, failed, units, first_pass, first_pass_yield "
                  "FROM station_days").strip()
    check("view station_days", day == "line1|3|2|1|2|1|0.5000", day)
    faults = pg.psql("SELECT channel, kind FROM channel_faults").strip()
    check("view channel_faults", faults == "9|stuck-1", faults)
    history = pg.psql("SELECT serial, status, faults FROM serial_history WHERE serial = 'SN-2' "
                      "ORDER BY started").strip()
    check("view serial_history", history == "SN-2|fail|stuck-1 9\nSN-2|pass|", history)
    return collector, mine


def bad_messages_skipped(pg, broker, collector, mine):
    payloads = [b"not json", b'{"uuid": "x"}', b"[1, 2]", b"x" * (2 << 20),
                json.dumps({"uuid": "1b4e28ba-2fa1-41d2-883f-0016d3cca427", "serial": "A\x1bB"}).encode(),
                b'{"uuid": "1b4e28ba-2fa1-41d2-883f-0016d3cca427", "serial": "\xff\xfe"}']
    # Runs no station could send: no channel list, a channel the card lacks, a pass with a fault.
    forged = dict(mine, station="bad", uuid="3c5e8f0a-1b3d-4e6f-8a9b-0c1d2e3f4a5b")
    payloads += [json.dumps(dict(forged, **change)).encode() for change in (
        {"channels": "not channels"}, {"faults": [{"kind": "stuck-0", "channels": [999]}]},
        {"status": "pass", "faults": [{"kind": "stuck-0", "channels": [5]}]},
        {"codes": "guessing"}, {"trace": [{"driven": "1" * 15, "read": "1" * 15}]},
        {"trace": mine["trace"][1:]}, {"codes": None}, {"reads": 1},
        # Findings the readings do not give: a fault the pass's readings lack, a stopped run
        # with findings, a pass whose last pattern was not read, a pass of no pattern at all.
        {"status": "fail", "faults": [{"kind": "stuck-0", "channels": [5]}]},
        {"status": "aborted", "patterns": 2, "trace": mine["trace"][:2],
         "faults": [{"kind": "stuck-0", "channels": [5]}]},
        {"trace": mine["trace"][:-1] + [{"driven": mine["trace"][-1]["driven"]}]},
        {"patterns": 0, "trace": []})]
    for i, payload in enumerate(payloads):
        path = os.path.join(folder, "bad-%d" % i)
        open(path, "wb").write(payload)
        subprocess.run(["mosquitto_pub", "-p", str(broker.port), "-q", "1", "-t",
                        "plant/bad/selftest", "-f", path], check=True)
    check("bad messages said", until(lambda: collector.logged().count("跳过 plant/bad/selftest")
                                     == len(payloads), 20), collector.logged())
    check("collector alive after them", collector.process.poll() is None)
    # A serial that is not UTF-8: sent with its stray bytes escaped, stored so.
    done = selftest("line1", "SN-\udcff", broker.url())  # "\xff" through the command line
    check("latin serial kept", done.returncode == 0, done.stderr)
    check("latin serial stored escaped", until(lambda: pg.psql(
        "SELECT count(*) FROM runs WHERE serial = 'SN-\\xff'").strip() == "1", 20))
    # A unit whose first run passed before 1970 passed first.
    subprocess.run(["mosquitto_pub", "-p", str(broker.port), "-q", "1", "-t", "plant/old/selftest",
                    "-m", json.dumps(dict(mine, uuid="2c5e8f0a-1b3d-4e6f-8a9b-0c1d2e3f4a5b",
                                          station="old", serial="SN-1969", status="pass", faults=[],
                                          started="1969-12-31T23:59:59.000Z"))], check=True)
    until(lambda: pg.psql("SELECT count(*) FROM runs WHERE station = 'old'").strip() == "1", 20)
    stats = plant_history("--stats", "--by", "station", "--station", "old", "--format", "csv",
                          "--db", pg.url).stdout
    check("a first pass before 1970", "old,1,1,0,0,1,1,100.0" in stats, stats)
    # A unit's two runs in one millisecond: counted and listed as a station's file does. (As an
    # older station sends them, without traces: a fail made of a pass's would not check.)
    untraced = {key: value for key, value in mine.items() if key not in ("codes", "reads", "trace")}
    for uuid, status, faults in (("0a000000-0000-4000-8000-000000000000", "pass", []),
                                 ("0b000000-0000-4000-8000-000000000000", "fail",
                                  [{"kind": "stuck-0", "channels": [5]}])):
        subprocess.run(["mosquitto_pub", "-p", str(broker.port), "-q", "1", "-t",
                        "plant/tie/selftest", "-m",
                        json.dumps(dict(untraced, uuid=uuid, station="tie", serial="SN-TIE",
                                        status=status, faults=faults,
                                        started="2026-01-01T00:00:00.000Z"))], check=True)
    until(lambda: pg.psql("SELECT count(*) FROM runs WHERE station = 'tie'").strip() == "2", 20)
    stats = plant_history("--stats", "--by", "station", "--station", "tie", "--format", "csv",
                          "--db", pg.url).stdout
    listed = [run["status"] for run in json.loads(plant_history(
        "--station", "tie", "--format", "json", "--db", pg.url).stdout)]
    view = pg.psql("SELECT units, first_pass FROM station_days WHERE station = 'tie'").strip()
    check("runs in one millisecond", "tie,2,1,1,0,1,0,0.0" in stats and listed == ["pass", "fail"]
          and view == "1|0", (stats, listed, view))
    csv = plant_history("--station", "tie", "--format", "csv", "--db", pg.url).stdout.splitlines()
    check("no station's number in the plant's CSV", csv[1:] and all(
        line.startswith(",SN-TIE,") for line in csv[1:]), csv)


def upgraded_and_tampered(pg, broker):
    """A database of the first layout is read only once a collector upgraded it; rows that no
    collector wrote (a status nobody knows, a channel list with a hole) are errors, not counts."""
    pg.psql("CREATE DATABASE layout1", db="postgres")
    fixture = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures",
                                "plant-layout-1.sql")).read()
    pg.psql(fixture, db="layout1")
    old = pg.url.replace("/plant?", "/layout1?")
    done = plant_history("--db", old)
    check("an older layout is not read", done.returncode == 6 and "旧版" in done.stderr, done.stderr)
    upgrading = Collector(broker.url(), old, "dio-collect-layout1")
    upgrading.process.terminate()
    upgrading.process.wait(timeout=30)
    check("upgraded to layout 3", pg.psql("SELECT version FROM dio_layout", db="layout1").strip()
          == "3" and pg.psql("SELECT count(*) FROM traces", db="layout1").strip() == "0" and pg.psql("SELECT first_pass FROM station_days", db="layout1").strip() == "0",
          pg.psql("SELECT * FROM station_days", db="layout1"))
    pg.psql("ALTER TABLE runs DROP CONSTRAINT runs_status_check; "
            "UPDATE runs SET status = 'weird' WHERE status = 'pass'", db="layout1")
    for arguments in (["--stats"], ["--stats", "--by", "station"], []):
        done = plant_history(*arguments, "--db", old)
        check("a status nobody knows: " + " ".join(arguments), done.returncode == 6 and
              "weird" in done.stderr, (done.returncode, done.stdout, done.stderr))
    pg.psql("DELETE FROM runs WHERE status = 'weird'; UPDATE faults SET channels = '{5,NULL}'",
            db="layout1")
    done = plant_history("--db", old)
    check("a channel list with a hole", done.returncode == 6 and "通道" in done.stderr,
          (done.returncode, done.stdout, done.stderr))


def refusals(pg, broker):
    pg.psql("CREATE DATABASE other", db="postgres")
    pg.psql("CREATE TABLE orders (id integer)", db="other")
    other = pg.url.replace("/plant?", "/other?")
    done = subprocess.run([cli, "collect", "--mqtt", broker.url(), "--db", other], timeout=60,
                          capture_output=True, text=True)
    check("another program's database refused", done.returncode == 6 and "不是 dio-cli" in done.stderr,
          (done.returncode, done.stderr))
    check("and left alone", pg.psql("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'",
                                    db="other").strip() == "1")
    pg.psql("CREATE DATABASE newer", db="postgres")
    pg.psql("CREATE TABLE dio_layout (application text, version integer); "
            "INSERT INTO dio_layout VALUES ('dio-cli plant records', 99)", db="newer")
    done = subprocess.run([cli, "history", "--db", pg.url.replace("/plant?", "/newer?")],
                          timeout=60, capture_output=True, text=True)
    check("a newer layout refused", done.returncode == 6 and "更新的" in done.stderr, done.stderr)
    done = subprocess.run([cli, "collect", "--mqtt", broker.url(), "--db", pg.url + "&password=x"],
                          timeout=60, capture_output=True, text=True)
    check("password on the command line refused", done.returncode == 2, done.stderr)


def faults_at_random(pg, broker, collector):
    stations = ["st%02d" % i for i in range(10)]
    stop = threading.Event()
    made = {s: 0 for s in stations}

    def station(name, url):
        n = 0
        while not stop.is_set():
            n += 1
            done = selftest(name, "%s-%d" % (name, n), url, rng.choice(["", "", "stuck0=3",
                                                                         "stuck1=12"]))
            check("run of " + name, done.returncode in (0, 1, 7), done.stderr)
            made[name] += 1

    threads = [threading.Thread(target=station, args=(s, broker.url())) for s in stations]
    for t in threads:
        t.start()
    pieces = {"broker": broker, "collector": collector, "postgres": pg}
    deadline = time.monotonic() + chaos_seconds
    kills = []
    while time.monotonic() < deadline:
        time.sleep(rng.uniform(0.5, 3))
        name = rng.choice(sorted(pieces))
        pieces[name].kill()
        kills.append(name)
        time.sleep(rng.uniform(0.2, 2.5))
        pieces[name].start()
    stop.set()
    for t in threads:
        t.join(timeout=300)
    print("plant-check: kills", kills, "runs", made, flush=True)
    # Every piece up: the stations send what is still pending.
    for s in stations:
        for _ in range(5):
            if dio("publish", "--pending", "--mqtt", broker.url(), "--db", station_db(s),
                   "--wait", "10s").returncode == 0:
                break
    for s in stations:
        theirs, ours = plant_runs(pg, s), station_runs(s)
        check("store holds %s's runs exactly" % s, theirs == ours,
              (len(theirs), len(ours), set(theirs) ^ set(ours)))
        check("nothing pending at " + s, pending(s) == [], pending(s)[:2])


def away_then_back(pg):
    """A station whose broker is not there keeps its runs (status 7) and delivers them, oldest
    first, once it is."""
    port = free_port()
    for n in range(2):
        done = selftest("far", "far-%d" % n, "mqtt://127.0.0.1:%d/plant" % port)
        check("kept while the broker is away", done.returncode == 7, done.stderr)
    check("pending while away", len(pending("far")) == 2, pending("far"))
    away = Broker(folder, port)
    collector = Collector(away.url(), pg.url, "dio-collect-far")
    done = dio("publish", "--pending", "--mqtt", away.url(), "--db", station_db("far"), "--wait",
               "30s")
    check("delivered once back", done.returncode == 0 and pending("far") == [] and
          plant_runs(pg, "far") == station_runs("far"), done.stdout + done.stderr)
    collector.process.terminate()
    collector.process.wait(timeout=30)
    away.kill()


pg = Postgres(folder)
broker = Broker(folder)
try:
    collector, mine = stored_once_and_confirmed(pg, broker)
    away_then_back(pg)
    if not runner:  # the collector's own checks, and the kills: on Linux alone
        bad_messages_skipped(pg, broker, collector, mine)
        refusals(pg, broker)
        upgraded_and_tampered(pg, broker)
        faults_at_random(pg, broker, collector)
    collector.process.send_signal(signal.SIGTERM)
    status = collector.process.wait(timeout=30)
    check("collector ends on SIGTERM", status == 143 and "停止" in collector.logged(),
          (status, collector.logged()[-500:]))
    odd = [line for line in collector.logged().splitlines()
           if not re.match(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d  ", line)]
    check("every line of its log timed, its last too", odd == [], odd)
finally:
    for piece in (broker,):
        piece.kill()
    pg.stop()
    if failures:
        print("plant-check: logs kept in", folder)
    else:
        shutil.rmtree(folder, ignore_errors=True)
for f in failures:
    print("plant-check:", f, file=sys.stderr)
if not failures:
    print("plant-check: every run stored once and confirmed%s" % (
        " (stations under %s)" % " ".join(runner) if runner else ", through the kills"))
sys.exit(1 if failures else 0)
