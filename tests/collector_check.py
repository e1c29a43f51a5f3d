#!/usr/bin/python3
"""dio-cli collect as it ships, against what a plant's PostgreSQL 15 and a hostile client of its
mosquitto broker bring (Debian's server and broker, independent implementations, started here on
loopback and a Unix socket): a kept session another hall's collector made; a topic outside the
prefix; a payload naming another station; another run under a stored identity; a crash of a server
set to synchronous_commit = off; a database that is read-only for a while, a lock outlasting the
statement timeout, a batch with a run the server refuses and a connection lost while it is taken
apart; another program's tables in another schema; SIGTERM while a burst arrives, its log unread;
messages larger than any run. Then a station's side: a confirmation someone retained at the
broker, and the whole path against a broker whose ACL is the README's.

  collector_check.py DIO-CLI
"""
import base64, datetime, json, os, shutil, signal, subprocess, sys, tempfile, threading, time, uuid

from plant_pieces import Broker, Postgres, free_port
from waiting import Lines, until

cli = sys.argv[1]
signal.signal(signal.SIGINT, signal.default_int_handler)
folder = tempfile.mkdtemp(prefix="dio-collect-")
os.chmod(folder, 0o755)
failures = []
started = []  # every process started here, killed at the end whatever happened
acl = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packaging",
                   "mosquitto-plant.acl")


def check(name, condition, detail=""):
    if not condition:
        failures.append("%s: %s" % (name, detail))
        print("FAILED", name, detail, flush=True)


def database(pg, name):
    pg.psql("CREATE DATABASE %s" % name, db="postgres")
    return pg.url.replace("/plant?", "/%s?" % name)


class Collector:
    """dio-cli collect, its log in a file (or, unread, in a pipe)."""

    def __init__(self, broker, prefix, db, client_id=None, env=None, unread=False, wait=True,
                 broker_url=None):
        self.log = os.path.join(folder, "collect-%s.log" % uuid.uuid4().hex[:8])
        open(self.log, "w").close()
        arguments = [cli, "collect", "--mqtt", broker_url or broker.url(prefix), "--db", db]
        if client_id:
            arguments += ["--client-id", client_id]
        self.process = subprocess.Popen(arguments, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE if unread else open(self.log, "a"),
                                        env=dict(os.environ, **(env or {})))
        started.append(self.process)
        if wait and not unread and not until(lambda: "已连上代理" in self.logged(), 30):
            raise SystemExit("collector-check: the collector did not subscribe: " + self.logged())

    def logged(self):
        return open(self.log, errors="replace").read()

    def alive(self):
        return self.process.poll() is None

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        return self.process.wait(timeout=60)


def utc_now():
    now = datetime.datetime.now(datetime.timezone.utc)
    return now.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (now.microsecond // 1000)


def run(station, serial, **fields):
    """A run as a station publishes it."""
    made = {"uuid": str(uuid.uuid4()), "serial": serial, "part": "P", "station": station,
            "operator": "op", "started": utc_now(), "ended": utc_now(), "settle_ms": 0,
            "channels": "1-16", "patterns": 6, "status": "pass", "reason": "", "faults": []}
    made.update(fields)
    return made


def publish(broker, topic, *messages, user=None, retain=False):
    """Each message (a run or bytes) with QoS 1, in order, from one client; none: the retained
    message taken away."""
    path = os.path.join(folder, "messages-%s" % uuid.uuid4().hex[:8])
    with open(path, "wb") as f:
        for m in messages:
            f.write((m if isinstance(m, bytes) else json.dumps(m).encode()) + b"\n")
    login = ["-u", user, "-P", user + "-secret"] if user else []
    what = ["-l"] if messages else ["-n"]
    subprocess.run(["mosquitto_pub", "-p", str(broker.port), *login, "-q", "1", "-t", topic, *what,
                    *(["-r"] if retain else [])], stdin=open(path, "rb"), check=True, timeout=120)


class Subscriber:
    """mosquitto_sub on a topic, its messages as they come ("topic payload" lines)."""

    def __init__(self, broker, topic, user=None, prober=None):
        login = ["-u", user, "-P", user + "-secret"] if user else []
        self.process = subprocess.Popen(["mosquitto_sub", "-p", str(broker.port), *login, "-q", "1",
                                         "-v", "-t", topic], stdout=subprocess.PIPE, text=True)
        started.append(self.process)
        self.lines = Lines(self.process.stdout)
        # Subscribed once a message published now (by one who may) reaches it.
        probe = topic.replace("+", "probe")
        if not until(lambda: (publish(broker, probe, b"probe", user=prober or user) or True) and
                     self.lines.said("probe", 0.5), 20):
            raise SystemExit("collector-check: mosquitto_sub did not subscribe to " + topic)

    def confirmed(self, identity, seconds):
        return self.lines.said(identity, seconds)

    def stop(self):
        self.process.kill()
        self.process.wait()


def count(pg, db, where="true"):
    return int(pg.psql("SELECT count(*) FROM runs WHERE %s" % where, db=db).strip() or -1)


def sessions_of_two_halls(pg, broker):
    hall_a, hall_b = database(pg, "hall_a"), database(pg, "hall_b")
    a = Collector(broker, "plant/hall-a", hall_a, client_id="shared")
    check("hall A's collector stops", a.stop() == 143)
    b = Collector(broker, "plant/hall-b", hall_b, client_id="shared")
    publish(broker, "plant/hall-a/st1/selftest", run("st1", "SN-A1"))
    check("hall A's run skipped by hall B's collector",
          until(lambda: "跳过 plant/hall-a/st1/selftest" in b.logged(), 20), b.logged())
    check("nothing of hall A in hall B's database", count(pg, "hall_b") == 0)
    check("hall B's collector stops", b.stop() == 143)
    # A prefix longer than the topics its kept session brings.
    long = Collector(broker, "plant/hall-b/a/much/longer/prefix", hall_b, client_id="shared")
    publish(broker, "plant/hall-a/x/selftest", run("x", "SN-L"))
    check("a topic shorter than the prefix skipped",
          until(lambda: "跳过 plant/hall-a/x/selftest" in long.logged(), 20), long.logged())
    check("and the collector still there", long.alive(), long.logged()[-400:])
    check("the long-prefix collector stops", long.stop() == 143)
    # Unnamed sessions: one a prefix and database.
    names = []
    for prefix, db in (("plant/hall-a", hall_a), ("plant/hall-b", hall_b)):
        c = Collector(broker, prefix, db)
        names += [line.split("会话 ")[1].rstrip("）") for line in c.logged().splitlines()
                  if "会话 " in line]
        c.stop()
    check("default sessions differ by hall", len(names) == 2 and names[0] != names[1] and
          all(n.startswith("dio-collect-") for n in names), names)


def seen_by_the_administrator(pg, collector):
    """Who holds the connection, in pg_stat_activity; the log as every long-running command writes it."""
    check("the collector named in pg_stat_activity",
          "dio-cli collect" in pg.psql("SELECT application_name FROM pg_stat_activity", db="postgres"))
    first = collector.logged().splitlines()[0]
    check("a log line: its time, two spaces, the program", "  dio-cli collect：" in first and
          "   " not in first and first.split("  ")[0].count(" ") == 0, first)


def forged_and_reused(pg, broker, collector):
    confirmations = Subscriber(broker, "plant/+/stored")
    forged = run("line2", "SN-F")
    publish(broker, "plant/line1/selftest", forged)
    check("a run naming another station skipped",
          until(lambda: "主题却是“line1”" in collector.logged(), 20), collector.logged()[-400:])
    first = run("line1", "SN-1")
    publish(broker, "plant/line1/selftest", first)
    check("a run confirmed", confirmations.confirmed(first["uuid"], 20))
    other = dict(first, serial="SN-EVIL")
    publish(broker, "plant/line1/selftest", other)
    check("another run under a stored identity said",
          until(lambda: "与库里同一标识的那次不同" in collector.logged(), 20))
    publish(broker, "plant/line1/selftest", first)
    said = lambda: sum(first["uuid"] in line for line in confirmations.lines.lines)  # noqa: E731
    check("the same run again confirmed again, the other not",
          until(lambda: said() >= 2, 20) and said() == 2, confirmations.lines.lines)
    check("the stored run is the first", pg.psql("SELECT serial FROM runs WHERE uuid = '%s'" %
                                                 first["uuid"]).strip() == "SN-1")
    check("nothing of the forged run", count(pg, "plant", "serial = 'SN-F'") == 0)
    confirmations.stop()


def crash_after_confirmation(pg, broker):
    """synchronous_commit = off, the WAL writer asleep for 10 s: a confirmed run survives a crash."""
    collector = Collector(broker, "plant", pg.url, client_id="crash")
    pg.psql("ALTER SYSTEM SET synchronous_commit = off")
    pg.psql("ALTER SYSTEM SET wal_writer_delay = '10s'")
    pg.psql("SELECT pg_reload_conf()")
    confirmations = Subscriber(broker, "plant/crash1/stored")
    made = run("crash1", "SN-C")
    publish(broker, "plant/crash1/selftest", made)
    check("confirmed", confirmations.confirmed(made["uuid"], 20))
    pg.kill()
    pg.start()
    check("a confirmed run outlives the server's crash",
          count(pg, "plant", "uuid = '%s'" % made["uuid"]) == 1)
    pg.psql("ALTER SYSTEM RESET ALL")
    pg.psql("SELECT pg_reload_conf()")
    confirmations.stop()
    collector.stop()


def refusing_writes(pg, broker):
    """Read-only for a while, then a lock past the statement timeout: the runs wait, then are
    stored; the outage said once, and its end."""
    db = database(pg, "refusing")
    collector = Collector(broker, "plant", db, client_id="refusing",
                          env={"PGOPTIONS": "-c statement_timeout=300"})
    pg.psql("ALTER DATABASE refusing SET default_transaction_read_only = on", db="postgres")
    pg.psql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = 'refusing'",
            db="postgres")
    made = run("ro1", "SN-RO")
    publish(broker, "plant/ro1/selftest", made)
    check("read-only said", until(lambda: "存不进去" in collector.logged(), 20), collector.logged())
    time.sleep(2.5)  # the outage lasts: tried again meanwhile, every second
    pg.psql("ALTER DATABASE refusing RESET default_transaction_read_only", db="postgres")
    check("stored once writable", until(lambda: count(pg, "refusing") == 1, 20), collector.logged())
    log = collector.logged()
    check("the outage said once, and its end", log.count("存不进去") == 1 and
          log.count("回来了") == 1 and "跳过" not in log, log)
    locker = subprocess.Popen(["psql", "-X", "-h", pg.data, "-p", str(pg.port), "-U", "dio", "-d",
                               "refusing", "-c", "BEGIN; LOCK TABLE runs IN ACCESS EXCLUSIVE MODE; "
                               "SELECT pg_sleep(3); COMMIT;"], stdout=subprocess.DEVNULL)
    until(lambda: pg.psql("SELECT count(*) FROM pg_locks l JOIN pg_class c ON c.oid = l.relation "
                          "WHERE c.relname = 'runs' AND l.mode = 'AccessExclusiveLock'",
                          db="refusing").strip() == "1", 10)
    publish(broker, "plant/ro1/selftest", run("ro1", "SN-LOCK"))
    check("stored after the lock", until(lambda: count(pg, "refusing") == 2, 30), collector.logged())
    locker.wait(timeout=30)
    check("nothing skipped", "跳过" not in collector.logged(), collector.logged())
    collector.stop()


def batch_taken_apart(pg, broker):
    """A batch with a run the server refuses (a serial too long for its index) and a connection
    lost while the batch is stored run by run: the refused run said and dropped, the others
    stored and each confirmed."""
    db = database(pg, "apart")
    collector = Collector(broker, "plant", db, client_id="apart")
    pg.psql("CREATE SEQUENCE cut; CREATE FUNCTION cut() RETURNS trigger LANGUAGE plpgsql AS $$ "
            "BEGIN IF NEW.serial = 'SN-CUT' AND nextval('cut') = 1 THEN "
            "PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(5); END IF; "
            "RETURN NEW; END $$; CREATE TRIGGER cut BEFORE INSERT ON runs FOR EACH ROW "
            "EXECUTE FUNCTION cut()", db="apart")
    confirmations = Subscriber(broker, "plant/+/stored")
    pg.kill()  # the three wait together at the collector
    huge = run("apart1", base64.b64encode(os.urandom(600000)).decode())
    good, cut = run("apart1", "SN-GOOD"), run("apart1", "SN-CUT")
    publish(broker, "plant/apart1/selftest", huge, good, cut)
    time.sleep(3)  # the database away meanwhile: all three taken, waiting together
    pg.start()
    check("the good run confirmed", confirmations.confirmed(good["uuid"], 30), collector.logged())
    check("the cut one confirmed", confirmations.confirmed(cut["uuid"], 30), collector.logged())
    check("both stored, the refused one not", until(lambda: count(pg, "apart") == 2, 10) and
          count(pg, "apart", "serial = 'SN-GOOD'") == 1)
    check("the refused run said", "跳过测试台“apart1”的自检 %s" % huge["uuid"] in collector.logged(),
          collector.logged()[-600:])
    check("no run of no station", "跳过测试台“”" not in collector.logged())
    confirmations.stop()
    collector.stop()


def too_large_a_batch(pg, broker):
    """A backlog the server's statement_timeout cancels as one batch, though each run alone stores
    quickly: tried in halves until it goes in, none of it lost, nothing blocked."""
    db = database(pg, "shrink")
    pg.psql("CREATE FUNCTION slow() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "PERFORM pg_sleep(0.01); RETURN NEW; END $$", db="shrink")
    collector = Collector(broker, "plant", db, client_id="shrink",
                          env={"PGOPTIONS": "-c statement_timeout=1500"})
    pg.psql("CREATE TRIGGER slow BEFORE INSERT ON runs FOR EACH ROW EXECUTE FUNCTION slow()",
            db="shrink")
    pg.kill()  # a backlog gathers at the collector
    publish(broker, "plant/shrink1/selftest", *[run("shrink1", "SN-S%03d" % i) for i in range(400)])
    time.sleep(3)  # the database away meanwhile: all taken, waiting together
    pg.start()
    check("a batch too large for the statement timeout stored in parts",
          until(lambda: count(pg, "shrink") == 400, 90), (count(pg, "shrink"), collector.logged()[-600:]))
    collector.stop()


def stopped_in_a_slow_statement(pg, broker):
    """SIGTERM while the server takes 30 s over a statement: the statement is given up at the stop's
    bound, the run not confirmed (its station sends it again)."""
    db = database(pg, "slow")
    collector = Collector(broker, "plant", db, client_id="slow")
    pg.psql("CREATE FUNCTION slow() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "PERFORM pg_sleep(30); RETURN NEW; END $$; CREATE TRIGGER slow BEFORE INSERT ON runs "
            "FOR EACH ROW EXECUTE FUNCTION slow()", db="slow")
    publish(broker, "plant/slow1/selftest", run("slow1", "SN-SLOW"))
    until(lambda: pg.psql("SELECT count(*) FROM pg_stat_activity WHERE datname = 'slow' AND "
                          "wait_event = 'PgSleep'", db="postgres").strip() == "1", 20)
    began = time.monotonic()
    collector.process.send_signal(signal.SIGTERM)
    try:
        status = collector.process.wait(timeout=60)
    except subprocess.TimeoutExpired:
        status = None
    check("SIGTERM in a slow statement ends within the stop's bound",
          status == 143 and time.monotonic() - began < 20, (status, time.monotonic() - began))


def sessions_from_the_environment(pg, broker):
    """Databases named by PGDATABASE, no --db: a session each."""
    names = []
    for db in ("plant", "postgres"):
        environment = {"PGHOST": pg.data, "PGPORT": str(pg.port), "PGUSER": "dio", "PGDATABASE": db}
        collector = Collector(broker, "envs", "", env=environment)
        names += [line.split("会话 ")[1].rstrip("）") for line in collector.logged().splitlines()
                  if "会话 " in line]
        collector.stop()
    check("a session for each database the environment names", len(set(names)) == 2, names)


def no_broker_from_the_start(pg):
    collector = Collector(None, "plant", pg.url, client_id="nobroker", wait=False,
                          broker_url="mqtt://127.0.0.1:%d/plant" % free_port())
    check("a broker never there is said", until(lambda: "连不上代理" in collector.logged(), 30),
          collector.logged())
    collector.stop()


def another_schema(pg, broker):
    db = database(pg, "erp")
    pg.psql("CREATE SCHEMA erp; CREATE TABLE erp.invoices (id integer)", db="erp")
    try:
        done = subprocess.run([cli, "collect", "--mqtt", broker.url(), "--db", db], timeout=60,
                              capture_output=True, text=True)
        check("tables in another schema: refused", done.returncode == 6 and
              "erp.invoices" in done.stderr, (done.returncode, done.stderr))
    except subprocess.TimeoutExpired:
        check("tables in another schema: refused", False, "taken: the collector ran on")
    check("and left alone", pg.psql("SELECT count(*) FROM pg_tables WHERE schemaname IN "
                                    "('public', 'erp')", db="erp").strip() == "1")


def stopped_in_a_burst(pg, broker):
    """SIGTERM while a thousand runs arrive, its log left unread: every run the broker handed
    over is stored, the rest kept by the broker for the session, none lost."""
    db = database(pg, "burst")
    first = Collector(broker, "plant", db, client_id="burst")
    first.stop()  # the session exists: what comes while it is down waits at the broker
    collector = Collector(broker, "plant", db, client_id="burst", unread=True)
    runs = [run("burst1", "SN-B%04d" % i) for i in range(1000)]
    noise = [b"not a run"] * 400  # log lines to fill the unread pipe
    messages = [m for pair in zip(runs[:400], noise) for m in pair] + runs[400:]
    sender = threading.Thread(target=publish, args=(broker, "plant/burst1/selftest", *messages))
    sender.start()
    until(lambda: count(pg, "burst") >= 100, 60)
    collector.process.send_signal(signal.SIGTERM)
    try:
        status = collector.process.wait(timeout=60)
    except subprocess.TimeoutExpired:
        status = None
        collector.process.kill()
    check("stopped on SIGTERM in a burst, its log unread", status == 143, status)
    sender.join(timeout=120)
    after = Collector(broker, "plant", db, client_id="burst")
    check("every run stored once", until(lambda: count(pg, "burst") == 1000, 60),
          (count(pg, "burst"), after.logged()[-600:]))
    after.stop()


def too_large(broker, collector):
    publish(broker, "plant/big/selftest", b"x" * (4 << 20), b"y" * (4 << 20))
    check("messages larger than any run said", until(
        lambda: "跳过 plant/big/selftest 等处的" in collector.logged(), 30), collector.logged()[-400:])
    check("collector alive after them", collector.alive())


def retained_confirmation(pg, broker):
    """A confirmation someone left retained at the broker is no one's word."""
    station_db = os.path.join(folder, "forged.sqlite")
    env = dict(os.environ, ADCARD_SIM_NAME="collect-%d" % os.getpid())
    done = subprocess.run([cli, "selftest", "--yes", "--settle", "0", "--channels", "1-8",
                           "--serial", "SN-R", "--station", "lineR", "--db", station_db],
                          env=env, capture_output=True, text=True, timeout=120)
    check("a run kept", done.returncode == 0, done.stderr)
    pending = json.loads(subprocess.run([cli, "history", "--pending", "--format", "json", "--db",
                                         station_db], capture_output=True, text=True).stdout)
    publish(broker, "nocollector/lineR/stored", json.dumps([pending[0]["uuid"]]).encode(),
            retain=True)
    done = subprocess.run([cli, "publish", "--pending", "--mqtt", broker.url("nocollector"), "--db",
                           station_db, "--wait", "2s"], capture_output=True, text=True, timeout=60)
    check("a retained confirmation not believed", done.returncode == 7, (done.returncode, done.stdout))
    publish(broker, "nocollector/lineR/stored", b"", retain=True)  # taken away


def behind_the_readme_acl(pg):
    users = {u: u + "-secret" for u in ("dio-collect", "line1", "line2")}
    broker = Broker(folder, users=users, acl=acl)
    db = database(pg, "acl")
    collector = Collector(broker, "plant", db, client_id="acl",
                          env={"DIO_MQTT_USER": "dio-collect", "DIO_MQTT_PASSWORD": "dio-collect-secret"})
    station_db = os.path.join(folder, "line1.sqlite")

    def selftest(station, user, serial):
        env = dict(os.environ, ADCARD_SIM_NAME="acl-%d" % os.getpid(), DIO_MQTT_USER=user,
                   DIO_MQTT_PASSWORD=user + "-secret")
        return subprocess.run([cli, "selftest", "--yes", "--settle", "0", "--channels", "1-8",
                               "--serial", serial, "--station", station, "--db", station_db,
                               "--mqtt", broker.url()], env=env, capture_output=True, text=True,
                              timeout=120)

    done = selftest("line1", "line1", "SN-ACL")
    check("a station's run through the ACL", done.returncode == 0, done.stderr)
    check("stored and confirmed", until(lambda: count(pg, "acl") == 1, 20) and json.loads(
        subprocess.run([cli, "history", "--pending", "--format", "json", "--db", station_db],
                       capture_output=True, text=True).stdout) == [])
    done = selftest("line2", "line1", "SN-ACL2")
    check("a station publishing as another refused", done.returncode == 7 and count(pg, "acl") == 1,
          (done.returncode, done.stderr))
    listener = Subscriber(broker, "plant/line1/stored", user="line1", prober="dio-collect")
    publish(broker, "plant/line1/stored", b'["forged"]', user="line2")
    check("another station's confirmation refused by the broker",
          not listener.confirmed("forged", 3), listener.lines.lines)
    listener.stop()
    collector.stop()
    broker.kill()


pg = Postgres(folder)
broker = Broker(folder)
try:
    sessions_of_two_halls(pg, broker)
    main = Collector(broker, "plant", pg.url, client_id="main")
    seen_by_the_administrator(pg, main)
    forged_and_reused(pg, broker, main)
    too_large(broker, main)
    main.stop()
    another_schema(pg, broker)
    refusing_writes(pg, broker)
    batch_taken_apart(pg, broker)
    crash_after_confirmation(pg, broker)
    too_large_a_batch(pg, broker)
    stopped_in_a_slow_statement(pg, broker)
    sessions_from_the_environment(pg, broker)
    no_broker_from_the_start(pg)
    stopped_in_a_burst(pg, broker)
    retained_confirmation(pg, broker)
    behind_the_readme_acl(pg)
finally:
    for process in started:
        if process.poll() is None:
            process.kill()
            process.wait()
    broker.kill()
    pg.stop()
    if failures:
        print("collector-check: logs kept in", folder)
    else:
        shutil.rmtree(folder, ignore_errors=True)
for f in failures:
    print("collector-check:", f, file=sys.stderr)
if not failures:
    print("collector-check: every run stored once under its own station, refusals and outages "
          "waited out, a confirmed run through a crash, the ACL's path")
sys.exit(1 if failures else 0)
