#!/usr/bin/python3
"""dio-cli --mqtt as it ships, against Debian's mosquitto broker (started here
on a free loopback port) and mosquitto_sub, clients no one here wrote: the
self-test's run as it was recorded; a broker that cannot be reached or that
refuses the credentials (status 7, the run still recorded); a watch whose
broker stops and comes back (the local output goes on, the gap is said, the
numbers not published are exactly those missing at the subscriber); mqtts://
with a test authority's certificate (trusted through DIO_MQTT_CAFILE, else
refused).

  mqtt_check.py DIO-CLI        (RUNNER="wine" for dio-cli.exe, reaching the
                                broker here through Wine)
"""
import json, os, pwd, shutil, socket, subprocess, sys, tempfile, time

cli = sys.argv[1]
runner = os.environ.get("RUNNER", "").split()
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

    def __init__(self, port, users=None, tls=None):
        self.port = port
        config = os.path.join(folder, "mosquitto-%d.conf" % port)
        # As whoever runs the test: as root, mosquitto would become "mosquitto",
        # who cannot read this test's folder.
        lines = ["listener %d 127.0.0.1" % port, "user " + pwd.getpwuid(os.getuid()).pw_name]
        if users:
            passwords = os.path.join(folder, "passwords")
            open(passwords, "w").close()
            for user, password in users.items():
                subprocess.run(["mosquitto_passwd", "-b", passwords, user, password], check=True)
            lines += ["allow_anonymous false", "password_file " + passwords]
        else:
            lines += ["allow_anonymous true"]
        if tls:
            lines += ["cafile " + tls["ca"], "certfile " + tls["cert"], "keyfile " + tls["key"]]
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

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


def subscriber(port, topic, count, seconds):
    process = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", topic,
                                "-q", "1", "-C", str(count), "-W", str(seconds)],
                               stdout=subprocess.PIPE, text=True)
    time.sleep(0.3)  # subscribed before anything is published
    return process


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
    sub = subscriber(broker.port, "plant/hall 2/line3/selftest", 1, 20 * slow)
    done = selftest(broker.port, "SN-1", faults="stuck1=9")
    received = sub.communicate(timeout=30 * slow)[0]
    broker.stop()
    check("selftest status", done.returncode == 1, done.stderr)
    run = recorded("SN-1")
    run.pop("id")
    check("selftest message", received.strip() and json.loads(received) == run,
          (received, run))


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
    check("password refused", bad.returncode == 7 and "not authorised" in bad.stderr.lower(),
          bad.stderr)


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
    sub = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port),
                            "--cafile", files["ca"], "-t", "plant/line3/selftest", "-C", "1",
                            "-W", "20"], stdout=subprocess.PIPE, text=True)
    time.sleep(0.3)
    trusted = dio("selftest", "--yes", "--settle", "0", "--channels", "1-8", "--station",
                  "line3", "--mqtt", url, env={"DIO_MQTT_CAFILE": files["ca"]})
    received = sub.communicate(timeout=30)[0]
    untrusted = dio("selftest", "--yes", "--settle", "0", "--channels", "1-8", "--station",
                    "line3", "--mqtt", url)
    broker.stop()
    check("TLS", trusted.returncode == 0 and '"status":"pass"' in received, trusted.stderr)
    check("TLS untrusted", untrusted.returncode == 7, untrusted.stderr)


def toggle(channel, times):
    for _ in range(times):
        for value in (1, 0):
            dio("set", "%d=%d" % (channel, value))
            time.sleep(0.15)


def watch_through_outage():
    port = free_port()
    broker = Broker(port)
    # It reconnects by itself when the broker is back; ten messages are expected.
    sub = subscriber(port, "plant/line3/watch", 10, 25 * slow)
    watch = subprocess.Popen([*runner, cli, "watch", "--channels", "1-8", "--interval", "20ms",
                              "--duration", "%ds" % (9 * slow), "--station", "line3",
                              "--mqtt", "mqtt://127.0.0.1:%d/plant" % port],
                             env=dict(os.environ, ADCARD_SIM_NAME=card), text=True,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    time.sleep(1 * slow)
    toggle(1, 3)
    broker.stop()
    time.sleep(0.3)
    toggle(2, 2)
    broker = Broker(port)
    time.sleep(2)  # both clients reconnect within a second or two
    toggle(3, 2)
    out, err = watch.communicate(timeout=30 * slow)
    received = sub.communicate(timeout=30 * slow)[0]
    broker.stop()
    messages = [json.loads(line) for line in received.split("\n") if line]
    numbers = [message["seq"] for message in messages]
    local = [line for line in out.split("\n") if "→" in line]
    check("watch status", watch.returncode == 7, (watch.returncode, err))
    check("local output", len(local) == 14, out)
    check("gap said", "其间序号 7 到 10 的 4 个变化未发布" in err, err)
    check("numbers", numbers == [1, 2, 3, 4, 5, 6, 11, 12, 13, 14], numbers)
    changes = [(message["channel"], message["value"]) for message in messages]
    check("changes", changes == [(1, 1), (1, 0)] * 3 + [(3, 1), (3, 0)] * 2, changes)
    message = json.loads(received.split("\n")[0])
    check("message", set(message) == {"seq", "time", "channel", "value"} and
          message["channel"] == 1 and message["value"] == 1, message)


try:  # the card and the folder go however the rows end
    for row in (published_run, unreachable, credentials, watch_through_outage):
        row()
    if not runner:  # the Windows build has no TLS
        tls()
finally:
    if not runner and os.path.exists("/dev/shm/adcard-sim2-%d-%s" % (os.getuid(), card)):
        os.unlink("/dev/shm/adcard-sim2-%d-%s" % (os.getuid(), card))
    shutil.rmtree(folder)
if failures:
    sys.exit("mqtt-check:\n  " + "\n  ".join(failures))
print("mqtt-check: mosquitto_sub receives the run as recorded and every change with its number; "
      "an unreachable broker and wrong credentials give status 7 with the run recorded; the "
      "numbers lost while the broker was down are those said%s" % ("" if runner else
      "; TLS with the broker's authority, refused without"))
