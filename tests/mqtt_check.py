#!/usr/bin/python3
"""dio-cli --mqtt as it ships, against Debian's mosquitto broker (started here
on a free loopback port) and mosquitto_sub, independent implementations of the broker and a client: the
self-test's run as it was recorded; a broker that cannot be reached or that
refuses the credentials (status 7, the run still recorded); a watch whose
broker stops and comes back (the local output goes on, the gap is said, the
numbers not published are exactly those missing at the subscriber); mqtts://
with a test authority's certificate (trusted through DIO_MQTT_CAFILE, else
refused).

  mqtt_check.py DIO-CLI        (RUNNER="wine" for dio-cli.exe, reaching the
                                broker here through Wine)
"""
import json, os, pwd, re, shutil, signal, socket, subprocess, sys, tempfile, time

from waiting import Lines, until

cli = sys.argv[1]
runner = os.environ.get("RUNNER", "").split()
# The programs started here get SIGINT at its default, as from a terminal, even where this check
# was started with it ignored (a background job of a script): dio-cli keeps an ignored one so.
signal.signal(signal.SIGINT, signal.default_int_handler)
slow = 3 if runner else 1  # each program started through Wine takes a second or so
folder = tempfile.mkdtemp()
card = "mqtt-%d" % os.getpid()
failures = []


def check(name, condition, detail):
    if not condition:
        failures.append("%s: %s" % (name, detail))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Broker:
    """mosquitto on loopback only, stopped by the test; a password file when asked."""

    def __init__(self, port, users=None, tls=None, acl=None, extra=()):
        self.port = port
        config = os.path.join(folder, "mosquitto-%d.conf" % port)
        # As whoever runs the test: as root, mosquitto would become "mosquitto",
        # who cannot read this test's folder.
        self.log = os.path.join(folder, "mosquitto-%d-%d.log" % (port, time.monotonic_ns()))
        lines = ["listener %d 127.0.0.1" % port, "user " + pwd.getpwuid(os.getuid()).pw_name,
                 "log_dest file " + self.log, "log_type notice", "log_type subscribe"]
        if users:
            passwords = os.path.join(folder, "passwords")
            open(passwords, "w").close()
            for user, password in users.items():
                subprocess.run(["mosquitto_passwd", "-b", passwords, user, password], check=True)
            lines += ["allow_anonymous false", "password_file " + passwords]
        if acl:
            rules = os.path.join(folder, "acl-%d" % port)
            open(rules, "w").write(acl)
            lines += ["acl_file " + rules]
        else:
            lines += ["allow_anonymous true"]
        if tls:
            lines += ["cafile " + tls["ca"], "certfile " + tls["cert"], "keyfile " + tls["key"]]
        lines += list(extra)
        open(config, "w").write("\n".join(lines) + "\n")
        self.process = subprocess.Popen(["/usr/sbin/mosquitto", "-c", config], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise SystemExit("mqtt-check: mosquitto did not start on port %d" % port)

    def logged(self, condition, seconds):
        """Whether condition(the broker's log) came true within the seconds."""
        return until(lambda: os.path.exists(self.log) and
                     condition(open(self.log, errors="replace").read()), seconds)

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class Subscriber:
    """mosquitto_sub on a topic, its messages read as they come; subscribed once a probe of
    our own (mosquitto_pub) has come through, before anything of dio-cli's is published."""

    def __init__(self, port, topic, tls=()):
        self.process = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port),
                                         "-t", topic, "-q", "1", "-W", str(300 * slow), *tls],
                                        stdout=subprocess.PIPE, text=True)
        self.lines = Lines(self.process.stdout)
        for _ in range(100):
            subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(port), "-t", topic,
                            "-m", "probe", *tls], check=True)
            if self.lines.wait(lambda lines: "probe" in lines, 0.2):
                return
        raise SystemExit("mqtt-check: mosquitto_sub did not subscribe to " + topic)

    def wait(self, count, seconds):
        """Whether count messages of dio-cli's came within the seconds."""
        return self.lines.wait(lambda lines: len(lines) - lines.count("probe") >= count, seconds)

    def messages(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        return [json.loads(line) for line in self.lines.text().split("\n")
                if line and line != "probe"]


def dio(*arguments, env=None, **options):
    env = dict(os.environ, ADCARD_SIM_NAME=card, **(env or {}))
    return subprocess.run([*runner, cli, *arguments], env=env, capture_output=True, text=True,
                          timeout=60 * slow, **options)


def selftest(port, serial, env=None, faults=""):
    return dio("selftest", "--yes", "--settle", "0", "--channels", "1-16", "--serial", serial,
               "--station", "line3", "--db", os.path.join(folder, "runs.sqlite"),
               "--mqtt", "mqtt://127.0.0.1:%d/plant/hall 2" % port,
               env=dict(env or {}, ADCARD_SIM_FAULTS=faults))


def recorded(serial):
    runs = json.loads(dio("history", "--format", "json", "--serial", serial, "--db",
                          os.path.join(folder, "runs.sqlite")).stdout)
    return runs[0] if runs else None


def published_run():
    broker = Broker(free_port())
    sub = Subscriber(broker.port, "plant/hall 2/line3/selftest")
    done = selftest(broker.port, "SN-1", faults="stuck1=9")
    sub.wait(1, 30 * slow)
    received = sub.messages()
    broker.stop()
    check("selftest status", done.returncode == 1, done.stderr)
    run = {"version": 2, **recorded("SN-1")}  # the message's layout first
    run.pop("id")
    check("selftest message", received == [run], (received, run))


def unreachable():
    done = selftest(free_port(), "SN-2")
    check("unreachable status", done.returncode == 7 and "全部正常" in done.stdout, done.stderr)
    check("unreachable reason", "连不上代理" in done.stderr, done.stderr)
    check("unreachable recorded", (recorded("SN-2") or {}).get("status") == "pass", "no record")


def credentials():
    broker = Broker(free_port(), users={"station": "s3cret"})
    good = selftest(broker.port, "SN-3", env={"DIO_MQTT_USER": "station",
                                              "DIO_MQTT_PASSWORD": "s3cret"})
    bad = selftest(broker.port, "SN-4", env={"DIO_MQTT_USER": "station",
                                             "DIO_MQTT_PASSWORD": "wrong"})
    broker.stop()
    check("password accepted", good.returncode == 0, good.stderr)
    check("password refused", bad.returncode == 7 and "not authori" in bad.stderr.lower(),
          bad.stderr)
    # The broker's ACL lets the station publish elsewhere only: its MQTT 5 acknowledgement
    # refuses the run (not authorised), which is said, status 7, the run kept here.
    broker = Broker(free_port(), users={"station": "s3cret"},
                    acl="user station\ntopic write elsewhere/#\n")
    denied = selftest(broker.port, "SN-ACL", env={"DIO_MQTT_USER": "station",
                                                  "DIO_MQTT_PASSWORD": "s3cret"})
    broker.stop()
    check("ACL refused", denied.returncode == 7 and "代理拒收了发布" in denied.stderr and
          (recorded("SN-ACL") or {}).get("status") == "pass", (denied.returncode, denied.stderr))


def tls():
    """mqtts:// to a broker whose certificate a test authority signed for 127.0.0.1: accepted
    with that authority, refused with the system's (which never signed it)."""
    def openssl(*arguments):
        subprocess.run(["openssl", *arguments], check=True, capture_output=True)
    files = {name: os.path.join(folder, name + ".pem") for name in ("ca", "ca-key", "cert", "key",
                                                                  "request")}
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=test CA",
            "-keyout", files["ca-key"], "-out", files["ca"])
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
            "-keyout", files["key"], "-out", files["request"])
    extensions = os.path.join(folder, "san.cnf")
    open(extensions, "w").write("subjectAltName = IP:127.0.0.1\n")
    openssl("x509", "-req", "-in", files["request"], "-CA", files["ca"], "-CAkey",
            files["ca-key"], "-CAcreateserial", "-days", "2", "-extfile", extensions,
            "-out", files["cert"])
    broker = Broker(free_port(), tls=files)
    url = "mqtts://127.0.0.1:%d/plant" % broker.port
    sub = Subscriber(broker.port, "plant/line3/selftest", tls=("--cafile", files["ca"]))
    trusted = dio("selftest", "--yes", "--settle", "0", "--channels", "1-8", "--station",
                  "line3", "--mqtt", url, env={"DIO_MQTT_CAFILE": files["ca"]})
    sub.wait(1, 30)
    received = sub.messages()
    untrusted = dio("selftest", "--yes", "--settle", "0", "--channels", "1-8", "--station",
                    "line3", "--mqtt", url)
    broker.stop()
    check("TLS", trusted.returncode == 0 and [run["status"] for run in received] == ["pass"], trusted.stderr)
    check("TLS untrusted", untrusted.returncode == 7, untrusted.stderr)


def watch_through_outage():
    """The broker stopped after six changes, four made while it is down, four once both
    clients are back: each step waits for what it needs (the watch's first reading, each change
    in its output, the broker's clients), never for a time. Which changes the watch could not
    publish depends on when its connection is noticed lost and back; whatever they are, they
    are one run of numbers, named as such, and every other number reaches the subscriber."""
    port = free_port()
    broker = Broker(port)
    sub = Subscriber(port, "plant/line3/watch")
    watch = subprocess.Popen([*runner, cli, "watch", "--channels", "1-8", "--interval", "20ms",
                              "--count", "14", "--duration", "%ds" % (300 * slow),
                              "--station", "line3", "--mqtt", "mqtt://127.0.0.1:%d/plant" % port],
                             env=dict(os.environ, ADCARD_SIM_NAME=card), text=True,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = Lines(watch.stdout), Lines(watch.stderr)
    changes = re.compile(r"通道 (\d+) → ([01])$")

    def local(lines):
        return [tuple(map(int, found.groups())) for found in map(changes.search, lines) if found]

    def toggle(channel, times):
        for _ in range(times):
            for value in (1, 0):
                seen = len(local(out.lines))
                dio("set", "%d=%d" % (channel, value))
                if not out.wait(lambda lines: len(local(lines)) > seen, 60 * slow):
                    raise SystemExit("mqtt-check: the watch did not see %d=%d" % (channel, value))

    try:
        if not out.said("初始状态", 60 * slow):
            raise SystemExit("mqtt-check: the watch took no first reading")
        toggle(1, 3)
        sub.wait(6, 30 * slow)
        broker.stop()
        toggle(2, 2)
        broker = Broker(port)
        broker.logged(lambda log: log.count("New client connected") >= 2 and
                      " 1 plant/line3/watch" in log, 30 * slow)
        toggle(3, 2)
        watch.wait(timeout=60 * slow)
    finally:
        if watch.poll() is None:
            watch.kill()
    said = err.text()
    gaps = re.findall(r"其间序号 (\d+) 到 (\d+) 的 (\d+) 个变化未发布", said)
    first, last, count = map(int, gaps[0]) if len(gaps) == 1 else (0, -1, 0)
    sub.wait(14 - count, 10 * slow)
    messages = sub.messages()
    broker.stop()
    seen = local(out.text().split("\n"))
    numbers = sorted({message["seq"] for message in messages})
    missing = list(range(first, last + 1))
    check("watch status", watch.returncode == 7, (watch.returncode, said))
    check("local output", seen == [(1, 1), (1, 0)] * 3 + [(2, 1), (2, 0)] * 2 + [(3, 1), (3, 0)] * 2, seen)
    check("gap said", len(gaps) == 1 and 7 <= first <= last and count == len(missing), said)
    check("numbers", numbers == [n for n in range(1, 15) if n not in missing], (numbers, gaps))
    check("changes", all(0 < m["seq"] <= len(seen) and (m["channel"], m["value"]) == seen[m["seq"] - 1]
                         for m in messages), messages)
    check("message", messages and set(messages[0]) == {"seq", "time", "channel", "value"}, messages)


def refused_while_connected():
    """A broker that takes no message as large as a change (MQTT 5's maximum packet size): the
    watch says why, never that it is connected again, and ends with status 7."""
    broker = Broker(free_port(), extra=["max_packet_size 80"])
    watch = subprocess.Popen([*runner, cli, "watch", "--channels", "1-8", "--interval", "20ms",
                              "--count", "2", "--duration", "%ds" % (300 * slow), "--station",
                              "line3", "--mqtt", "mqtt://127.0.0.1:%d/plant" % broker.port],
                             env=dict(os.environ, ADCARD_SIM_NAME=card), text=True,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out = Lines(watch.stdout)
    out.said("初始状态", 60 * slow)
    for seen, value in enumerate((1, 0)):
        dio("set", "1=%d" % value)
        out.wait(lambda lines: sum("→" in line for line in lines) > seen, 60 * slow)
    try:
        watch.wait(timeout=60 * slow)
    finally:
        if watch.poll() is None:
            watch.kill()
    err = watch.stderr.read()
    broker.stop()
    check("refused while connected", watch.returncode == 7 and "又连上了" not in err and
          "发布失败" in err and "2 个变化中 2 个未发布" in err, (watch.returncode, err))


def interrupted_wait():
    """Ctrl-C while the self-test waits for a broker that never answers: it ends at once with
    the signal's status, the run kept here and said as not published."""
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen()
    process = subprocess.Popen([cli, "selftest", "--yes", "--settle", "0", "--channels", "1-8",
                                "--serial", "SN-INT", "--station", "line3", "--db",
                                os.path.join(folder, "runs.sqlite"), "--mqtt",
                                "mqtt://127.0.0.1:%d/plant" % silent.getsockname()[1]],
                               env=dict(os.environ, ADCARD_SIM_NAME=card), text=True,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    until(lambda: recorded("SN-INT") is not None, 60)  # kept: now the broker is awaited
    process.send_signal(signal.SIGINT)
    out, err = process.communicate(timeout=30)
    silent.close()
    check("Ctrl-C while the broker is awaited", process.returncode == 130 and "没等" in err and
          "全部正常" in out, (process.returncode, out, err))


try:  # the card and the folder go however the rows end
    for row in (published_run, unreachable, credentials, watch_through_outage,
                refused_while_connected):
        row()
    if not runner:  # the Windows build has no TLS; Wine passes no signal on
        tls()
        interrupted_wait()
finally:
    if not runner and os.path.exists("/dev/shm/adcard-sim3-%d-%s" % (os.getuid(), card)):
        os.unlink("/dev/shm/adcard-sim3-%d-%s" % (os.getuid(), card))
    shutil.rmtree(folder)
if failures:
    sys.exit("mqtt-check:\n  " + "\n  ".join(failures))
print("mqtt-check: mosquitto_sub receives the run as recorded and every change with its number; "
      "an unreachable broker and wrong credentials give status 7 with the run recorded; the "
      "numbers lost while the broker was down are those said%s" % ("" if runner else
      "; TLS with the broker's authority, refused without"))
