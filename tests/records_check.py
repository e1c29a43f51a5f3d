#!/usr/bin/python3
"""dio-cli's records as it ships, read back with Python's sqlite3 module, an
independent reader of the file: what a run keeps, the runs cut short, the files it must not
touch, and `history` in its three formats parsed by Python's csv and json.

  records_check.py DIO-CLI        (RUNNER="wine" for dio-cli.exe: the rows
                                   that need POSIX signals or locks are skipped)
"""
import contextlib, csv, glob, io, json, os, shutil, signal, sqlite3, subprocess, sys, tempfile, time

from waiting import until

cli = sys.argv[1]
runner = os.environ.get("RUNNER", "").split()
folder = tempfile.mkdtemp()
os.chmod(folder, 0o755)
card = "records-%d" % os.getpid()
failures = []


def dio(*arguments, faults="", db="runs.sqlite", env=None, **options):
    env = dict(os.environ, ADCARD_SIM_NAME=card, ADCARD_SIM_FAULTS=faults, **(env or {}))
    where = ["--db", os.path.join(folder, db)] if db else []
    return subprocess.run([*runner, cli, *arguments, *where], env=env, capture_output=True,
                          text=True, timeout=120, **options)


def selftest(serial, *more, settle="0", **options):
    return dio("selftest", "--yes", "--settle", settle, "--channels", "1-16", "--serial", serial,
               "--station", "line 3", "--operator", "王工", *more, **options)


def rows(sql, db="runs.sqlite"):
    with contextlib.closing(sqlite3.connect(os.path.join(folder, db))) as connection:
        return connection.execute(sql).fetchall()


def check(name, condition, detail):
    if not condition:
        failures.append("%s: %s" % (name, detail))


def kept():
    done = selftest("SN-1", "--part", "ZAN-51")
    check("pass", done.returncode == 0, done.stderr)
    done = selftest("SN-2", faults="stuck0=3;short-and=5,6")
    check("fail", done.returncode == 1 and "通道 3：固定为 0" in done.stdout, done.stderr)
    runs = rows("SELECT serial, part, station, operator, settle_ms, channels, patterns, status "
                "FROM runs ORDER BY id")
    check("runs", runs == [("SN-1", "ZAN-51", "line 3", "王工", 0, "1-16", 5, "pass"),
                           ("SN-2", "", "line 3", "王工", 0, "1-16", 6, "fail")], runs)
    faults = rows("SELECT r.serial, f.kind, f.channels, f.wired FROM faults f "
                  "JOIN runs r ON r.id = f.run ORDER BY f.id")
    check("faults", faults == [("SN-2", "stuck-0", "3", ""), ("SN-2", "short", "5,6", "and")],
          faults)
    check("WAL", rows("PRAGMA journal_mode") == [("wal",)], rows("PRAGMA journal_mode"))
    started, ended = rows("SELECT started, ended FROM runs WHERE serial = 'SN-1'")[0]
    check("times", started.endswith("Z") and started <= ended, (started, ended))


def cut_short():
    done = selftest("SN-3", settle="10", faults="silent-after=50")
    check("error status", done.returncode == 4, done.stderr)
    check("error row", rows("SELECT status, patterns > 0, reason LIKE '%silent-after%' FROM runs "
                            "WHERE serial = 'SN-3'") == [("error", 1, 1)],
          rows("SELECT * FROM runs WHERE serial = 'SN-3'"))
    if runner:
        return
    process = subprocess.Popen([cli, "selftest", "--yes", "--settle", "300", "--channels", "1-16",
                                "--serial", "SN-4", "--db", os.path.join(folder, "runs.sqlite")],
                               env=dict(os.environ, ADCARD_SIM_NAME=card),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    # Stopped once a second pattern shows on the inputs (the first one read), however long it
    # took to start.
    patterns = set()

    def second_pattern():
        words = json.loads(dio("get", "--format", "json", "--words", "2", db=None).stdout)["words"]
        if any(words):
            patterns.add(tuple(words))
        return len(patterns) >= 3  # two may be one pattern's groups written one after the other

    until(second_pattern, 60, step=0.02)
    process.send_signal(signal.SIGTERM)
    process.communicate(timeout=30)
    check("aborted status", process.returncode == 143, process.returncode)
    aborted = rows("SELECT status, patterns BETWEEN 1 AND 9, reason FROM runs WHERE serial = 'SN-4'")
    check("aborted row", aborted == [("aborted", 1, "已中断（SIGTERM），各通道已复位为 0")], aborted)
    check("no half rows", rows("SELECT COUNT(*) FROM faults f JOIN runs r ON r.id = f.run "
                               "WHERE r.status IN ('aborted', 'error')") == [(0,)], "faults")


def history():
    done = dio("history", "--format", "json")
    runs = json.loads(done.stdout)
    serials = [run["serial"] for run in runs]
    check("newest first", serials == (["SN-3"] if runner else ["SN-4", "SN-3"]) + ["SN-2", "SN-1"],
          serials)
    faults = [run["faults"] for run in runs if run["serial"] == "SN-2"][0]
    check("json faults", faults == [{"kind": "stuck-0", "channels": [3]},
                                    {"kind": "short", "wired": "and", "channels": [5, 6]}], faults)
    table = list(csv.DictReader(io.StringIO(dio("history", "--format", "csv", "--serial",
                                                 "SN-2").stdout)))
    check("csv", [(r["serial"], r["status"], r["faults"]) for r in table] ==
          [("SN-2", "fail", "stuck-0 3; short and 5,6")], table)
    check("status filter", [r["serial"] for r in json.loads(
        dio("history", "--format", "json", "--status", "pass").stdout)] == ["SN-1"], "pass")
    check("since", json.loads(dio("history", "--format", "json", "--since", "2999-01-01").stdout)
          == [], "since")
    text = dio("history", "--serial", "SN-3").stdout
    check("text reason", "  原因：驱动程序调用失败" in text and "silent-after" in text, text)
    stats = json.loads(dio("history", "--stats", "--format", "json").stdout)
    check("stats", stats["channels"][:1] == [{"channel": 3, "total": 1, "kinds": {"stuck-0": 1}}]
          and len(stats["channels"]) == 3, stats)


def traced():
    """Each run keeps the patterns it drove and what they read: on a loopback cable a sound
    line reads what it drove, a stuck one its value; history --check works the findings out
    again from them, and a reading changed afterwards is caught."""
    codes, patterns, trace = rows("SELECT t.codes, r.patterns, t.patterns FROM runs r JOIN traces t "
                                  "ON t.run = r.id WHERE r.serial = 'SN-2'")[0]
    trace = json.loads(trace)
    loopback = all(p["read"][c] == (p["driven"][c] if c not in (2, 4, 5) else p["read"][c])
                   and p["read"][2] == "0" for p in trace for c in range(16))
    check("trace", codes == "adaptive" and len(trace) == patterns and loopback, trace)
    done = dio("history", "--check", "--format", "json")
    verdicts = {r["serial"]: r["check"] for r in json.loads(done.stdout or "[]")}
    check("every run checks", done.returncode == 0 and set(verdicts.values()) == {"agrees"} and
          len(verdicts) == (3 if runner else 4), (done.returncode, done.stdout, done.stderr))
    with contextlib.closing(sqlite3.connect(os.path.join(folder, "runs.sqlite"))) as connection:
        changed = [dict(p, read=p["driven"]) for p in trace]  # channel 3 read as sound
        sn2 = "run = (SELECT id FROM runs WHERE serial = 'SN-2')"
        connection.execute("UPDATE traces SET patterns = ? WHERE " + sn2, (json.dumps(changed),))
        connection.commit()
        done = dio("history", "--check")
        connection.execute("UPDATE traces SET patterns = ? WHERE " + sn2, (json.dumps(trace),))
        connection.commit()
    check("a changed reading caught", done.returncode == 6 and "SN-2" in done.stdout and
          "不符" in done.stdout and "1 次自检" in done.stderr, (done.returncode, done.stdout))
    # What dio-cli never writes is an error, named, and read no further than needed (a table
    # made again without its NOT NULLs, as another program might).
    with contextlib.closing(sqlite3.connect(os.path.join(folder, "runs.sqlite"))) as connection:
        connection.executescript("CREATE TABLE kept AS SELECT * FROM traces; DROP TABLE traces; "
                                 "CREATE TABLE traces (run INTEGER PRIMARY KEY, codes, reads, "
                                 "patterns); INSERT INTO traces SELECT * FROM kept; DROP TABLE kept")
    for change, said in (("codes = NULL", "缺了一样"), ("patterns = NULL", "缺了一样"),
                         ("reads = 1", "读了 1 次"), ("patterns = '%s'" % ("[" * 100000), "长过")):
        with contextlib.closing(sqlite3.connect(os.path.join(folder, "runs.sqlite"))) as connection:
            sn2 = " WHERE run = (SELECT id FROM runs WHERE serial = 'SN-2')"
            saved = connection.execute("SELECT codes, reads, patterns FROM traces" + sn2).fetchone()
            connection.execute("UPDATE traces SET " + change + sn2)
            connection.commit()
            done = dio("history", "--check")
            connection.execute("UPDATE traces SET codes = ?, reads = ?, patterns = ?" + sn2, saved)
            connection.commit()
        check("a trace dio-cli never writes: " + change[:20], done.returncode == 6 and said in
              done.stderr, (done.returncode, done.stderr))
    # A whole test whose reset then fails (channel 1 falls silent after its last write there):
    # its findings are shown, written to its report files (the previous unit's replaced) and
    # kept with the error, and agree with its readings.
    report, junit = os.path.join(folder, "reset.json"), os.path.join(folder, "reset.xml")
    dio("selftest", "--yes", "--settle", "0", "--channels", "1-4", "--report", report, "--junit",
        junit, db=None)
    done = dio("selftest", "--yes", "--settle", "500", "--channels", "1-4", "--serial", "SN-R",
               "--report", report, "--junit", junit, faults="silent-after=900;silent=1;stuck1=3")
    written = json.load(open(report))["faults"] + ["junit: " + open(junit).read()]
    kept = rows("SELECT r.status, f.kind, f.channels FROM runs r JOIN faults f ON f.run = r.id "
                "WHERE r.serial = 'SN-R'")
    checked = dio("history", "--check", "--serial", "SN-R")
    check("a reset that fails after the test", done.returncode == 4 and "通道 3：固定为 1" in
          done.stdout and "通道 1 未能复位为 0" in done.stderr and kept == [("error", "stuck-1", "3")]
          and checked.returncode == 0 and "相符" in checked.stdout and written[0] ==
          {"kind": "stuck-1", "channels": [3]} and 'failures="1"' in written[-1],
          (done.returncode, done.stdout, done.stderr, kept, checked.stdout, written))


def refused():
    for name, content, reason in [("corrupt.sqlite", os.urandom(4096), "file is not a database"),
                                  ("newer.sqlite", None, "第 9 版")]:
        path = os.path.join(folder, name)
        if content is None:
            shutil.copy(os.path.join(folder, "runs.sqlite"), path)
            with contextlib.closing(sqlite3.connect(path)) as connection:
                connection.execute("PRAGMA user_version = 9")
        else:
            open(path, "wb").write(content)
        before = open(path, "rb").read()
        done = selftest("SN-5", db=name)
        check(name, done.returncode == 6 and "全部正常" in done.stdout and reason in done.stderr,
              (done.returncode, done.stderr))
        check(name + " untouched", open(path, "rb").read() == before, "changed")
    if runner:
        return
    with contextlib.closing(sqlite3.connect(os.path.join(folder, "runs.sqlite"),
                                            isolation_level=None)) as locker:
        locker.execute("BEGIN EXCLUSIVE")
        done = selftest("SN-6")
        locker.execute("ROLLBACK")
    check("locked", done.returncode == 6 and "database is locked" in done.stderr, done.stderr)
    # Read-only for whoever runs it. Root ignores a file's mode: as root the program runs as
    # nobody, from a copy in this test's folder (the build or package may lie under /root),
    # its driver found through LD_LIBRARY_PATH.
    shutil.copy(os.path.join(folder, "runs.sqlite"), os.path.join(folder, "readonly.sqlite"))
    os.chmod(os.path.join(folder, "readonly.sqlite"), 0o444)
    program, environment = cli, dict(os.environ, ADCARD_SIM_NAME=card + "-ro")
    prefix = []
    if os.getuid() == 0:
        here = os.path.dirname(os.path.abspath(cli))
        driver = next(path for path in (os.path.join(here, "libadcard.so"),
                                        os.path.join(here, "..", "lib", "dio-panel",
                                                     "libadcard.so")) if os.path.exists(path))
        for name in ("bin", "lib"):
            os.mkdir(os.path.join(folder, name), 0o755)
        program = shutil.copy(cli, os.path.join(folder, "bin", "dio-cli"))
        shutil.copy(driver, os.path.join(folder, "lib", "libadcard.so"))
        environment["LD_LIBRARY_PATH"] = os.path.join(folder, "lib")
        prefix = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
    done = subprocess.run([*prefix, program, "selftest", "--yes", "--channels", "1-8", "--serial",
                           "SN-7", "--db", os.path.join(folder, "readonly.sqlite")],
                          env=environment, capture_output=True, text=True, timeout=60)
    check("read-only", done.returncode == 6 and "readonly database" in done.stderr, done.stderr)
    # History reads what it can read: a file in a folder its reader cannot write (read-only
    # media), where SQLite cannot make the files it keeps beside a write-ahead log.
    shelf = os.path.join(folder, "shelf")
    os.mkdir(shelf)
    shutil.copy(os.path.join(folder, "runs.sqlite"), os.path.join(shelf, "runs.sqlite"))
    os.chmod(os.path.join(shelf, "runs.sqlite"), 0o444)
    os.chmod(shelf, 0o555)
    read = subprocess.run([*prefix, program, "history", "--format", "json", "--serial", "SN-1",
                           "--db", os.path.join(shelf, "runs.sqlite")],
                          env=environment, capture_output=True, text=True, timeout=60)
    check("history of a read-only folder", read.returncode == 0 and
          [r["serial"] for r in json.loads(read.stdout or "[]")] == ["SN-1"], read.stderr)


def default_place():
    data = os.path.join(folder, "data")
    serial = "SN-8-%d" % os.getpid()
    done = selftest(serial, db=None, env={"XDG_DATA_HOME": data})
    # Wine gives its programs the prefix's own %LOCALAPPDATA%.
    places = glob.glob(os.path.join(os.environ.get("WINEPREFIX", ""), "drive_c", "users", "*",
                                    "AppData", "Local")) if runner else [data]
    path = os.path.join(places[0] if places else data, "dio-panel", "results.sqlite")
    check("default place", done.returncode == 0 and os.path.exists(path) and rows(
        "SELECT COUNT(*) FROM runs WHERE serial = '%s'" % serial, db=path) == [(1,)], done.stderr)
    check("--db alone", dio("selftest", "--yes").returncode == 2, "no serial")


def together():
    """Ten stations recording into one new file at once, round after round (each round a new
    file: the race is in making it): every run kept."""
    rounds, stations = (3 if runner else 10), 10
    for round in range(rounds):
        db = os.path.join(folder, "together-%d.sqlite" % round)
        started = [subprocess.Popen([*runner, cli, "selftest", "--yes", "--settle", "0",
                                     "--channels", "1-8", "--serial", "SN-T%d" % n, "--db", db],
                                    env=dict(os.environ, ADCARD_SIM_NAME="%s-t%d" % (card, n)),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
                   for n in range(stations)]
        said = [process.communicate(timeout=120)[1] for process in started]
        check("together, round %d" % round, all(p.returncode == 0 for p in started) and
              rows("SELECT COUNT(*) FROM runs", db=db) == [(stations,)], said)


def what_others_wrote():
    """Records as they read back, counted and shown: runs by their names, never a guess."""
    for _ in range(3):
        selftest("SN-X", faults="cross=3,6", db="others.sqlite")
    stats = dio("history", "--stats", db="others.sqlite").stdout
    check("stats count runs", "通道 3：3 次（交叉 3）" in stats, stats)
    selftest("SN-F", "--part", "=HYPERLINK(\"http://x\",\"a\")", db="others.sqlite")
    table = list(csv.DictReader(io.StringIO(dio("history", "--format", "csv", "--serial",
                                                 "SN-F", db="others.sqlite").stdout)))
    check("csv formula", [r["part"] for r in table] == ['\'=HYPERLINK("http://x","a")'], table)
    with contextlib.closing(sqlite3.connect(os.path.join(folder, "others.sqlite"))) as connection:
        connection.execute("PRAGMA ignore_check_constraints = ON")
        connection.execute("UPDATE runs SET serial = 'SN-X\n2026-01-01  SN-Y  pass' "
                           "WHERE id = (SELECT MIN(id) FROM runs)")
        connection.commit()
    text = dio("history", "--serial", "SN-X\n2026-01-01  SN-Y  pass", db="others.sqlite").stdout
    check("text escaped", "SN-X\\x0a2026" in text and
          not any(line.startswith("2026-01-01") for line in text.splitlines()), text)
    for change, said, views in [
            ("UPDATE runs SET status = 'passed'", "不认识的结果“passed”", [["--format", "json"]]),
            ("UPDATE runs SET status = 'fail'; UPDATE faults SET kind = 'melted'",
             "不认识的故障种类“melted”", [["--format", "json"], ["--stats"]])]:
        with contextlib.closing(sqlite3.connect(os.path.join(folder, "others.sqlite"))) as db:
            db.execute("PRAGMA ignore_check_constraints = ON")
            db.executescript(change)
            db.commit()
        for view in views:
            done = dio("history", *view, db="others.sqlite")
            check("unknown names " + view[-1], done.returncode == 6 and said in done.stderr,
                  (change, done.returncode, done.stderr))
    if not runner:  # a file that cannot be written loses neither the record nor the result
        full = selftest("SN-J", "--junit", "/dev/full", db="others.sqlite")
        check("junit on a full disk", full.returncode == 5 and "写不进去" in full.stderr and
              "全部正常" in full.stdout and rows("SELECT status FROM runs WHERE serial = 'SN-J'",
                                             db="others.sqlite") == [("pass",)],
              (full.returncode, full.stderr))
    folder_named = selftest("SN-D", "--junit", folder, db="others.sqlite")
    check("junit a folder", folder_named.returncode == 2 and "文件夹" in folder_named.stderr and
          rows("SELECT COUNT(*) FROM runs WHERE serial = 'SN-D'", db="others.sqlite") == [(0,)],
          (folder_named.returncode, folder_named.stderr))
    empty = dio("selftest", "--yes", "--serial", "SN-E", "--db", "", db=None)
    check("empty --db", empty.returncode == 2 and "--db 要一个文件名" in empty.stderr, empty.stderr)


def released_layout():
    """A records file of the first layout, as the release that made it wrote it (kept in
    tests/fixtures: a run with channels 5 and 6 shorted), upgraded by this one when it records."""
    shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures",
                             "records-layout1.sqlite"), os.path.join(folder, "layout1.sqlite"))
    done = selftest("SN-L2", faults="stuck1=6", db="layout1.sqlite")
    stats = dio("history", "--stats", "--format", "json", db="layout1.sqlite")
    counts = {c["channel"]: c["kinds"] for c in json.loads(stats.stdout or "{}").get("channels", [])}
    check("released layout upgraded", done.returncode == 1 and counts == {
        5: {"short": 1}, 6: {"short": 1, "stuck-1": 1}} and rows(
        "PRAGMA user_version", db="layout1.sqlite") == [(5,)] and rows(
        "SELECT COUNT(DISTINCT uuid), COUNT(*) FROM runs WHERE delivered IS NULL",
        db="layout1.sqlite") == [(2, 2)], (done.stderr, stats.stderr, counts))


def released_layout_without_traces():
    """A file of the third layout (tests/fixtures: two runs kept before traces were): its runs
    read, said to have no readings, and a new run's kept and checked beside them."""
    shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures",
                             "records-layout3.sqlite"), os.path.join(folder, "layout3.sqlite"))
    before = dio("history", "--check", "--format", "json", db="layout3.sqlite")
    done = selftest("SN-L4", faults="stuck0=2", db="layout3.sqlite")
    after = dio("history", "--check", "--format", "json", db="layout3.sqlite")
    verdicts = [(r["serial"], r["check"]) for r in json.loads(after.stdout or "[]")]
    check("third layout upgraded", before.returncode == 0 and done.returncode == 1 and verdicts == [
        ("SN-L4", "agrees"), ("SN-L3B", "not-kept"), ("SN-L3A", "not-kept")] and rows(
        "PRAGMA user_version", db="layout3.sqlite") == [(5,)], (before.stdout, after.stdout))


try:  # the cards and the folder go however the rows end
    for row in (kept, cut_short, history, traced, refused, default_place, together,
                what_others_wrote, released_layout, released_layout_without_traces):
        row()
finally:
    for name in ["%d-%s" % (os.getuid(), card), "%d-%s-ro" % (os.getuid(), card),
                 "%d-%s-ro" % (65534, card)] + ["%d-%s-t%d" % (os.getuid(), card, n)
                                                for n in range(10)]:
        if not runner and os.path.exists("/dev/shm/adcard-sim3-" + name):
            os.unlink("/dev/shm/adcard-sim3-" + name)
    shutil.rmtree(folder)
if failures:
    sys.exit("records-check:\n  " + "\n  ".join(failures))
print("records-check: runs, faults, aborted and error runs kept; history and --stats read; "
      "corrupt, newer%s files refused and left as they were" % ("" if runner else ", locked, read-only"))
