#!/usr/bin/python3
"""dio-cli serve as it ships, against pymodbus, an independent
implementation of a Modbus client, on loopback: the map, every exception, --read-only, and clients
that lie, stop halfway, send garbage, crowd in or say nothing, while a
well-behaved client is answered throughout and the card gets nothing from a
refused request.

  serve_check.py DIO-CLI

RUNNER runs the program ("wine"); then the signal's exit status is not checked
(Wine does not pass it on as a Windows program's).
"""
import os, random, re, signal, socket, struct, subprocess, sys, tempfile, time

from pymodbus.client import ModbusTcpClient
from pymodbus.other_message import ReportSlaveIdRequest
from pymodbus.pdu import ExceptionResponse
from waiting import until

runner = os.environ.get("RUNNER", "").split()
# The programs started here get SIGINT at its default, as from a terminal, even where this check
# was started with it ignored (a background job of a script): dio-cli keeps an ignored one so.
signal.signal(signal.SIGINT, signal.default_int_handler)
cli = sys.argv[1]
card = "serve-%d" % os.getpid()
env = dict(os.environ, ADCARD_SIM_NAME=card)
env.pop("ADCARD_SIM_FAULTS", None)
checks = []
running = []  # every server started here, ended on the way out: one left would hold CTest's pipe


def fail(what):
    print("serve-check: " + what, file=sys.stderr)
    for process in running:
        if process.poll() is None:
            process.kill()
            process.wait()
    sys.exit(1)


def dio(*arguments, **extra):
    return subprocess.run([*runner, cli, *arguments], env=dict(env, **extra), capture_output=True,
                          text=True, timeout=120)


class Server:
    """dio-cli serve on a free loopback port, stopped with Ctrl-C."""

    def __init__(self, *arguments, preexec_fn=None, **extra):
        self.log = tempfile.NamedTemporaryFile(prefix="serve-", suffix=".log", delete=False)
        self.process = subprocess.Popen([*runner, cli, "serve", "--listen", "127.0.0.1:0",
                                         *arguments], env=dict(env, **extra), stderr=self.log,
                                        preexec_fn=preexec_fn)
        running.append(self.process)
        for _ in range(1200):  # a minute: under Wine a program starts slowly
            time.sleep(0.05)
            found = re.search(r"正在监听 127\.0\.0\.1:(\d+)", self.text())
            if found:
                self.port = int(found.group(1))
                return
        said = self.text()
        self.stop()
        fail("the server did not say where it listens:\n" + said)

    def text(self):
        with open(self.log.name, encoding="utf-8", errors="replace") as log:
            return log.read().replace("\r", "")

    def client(self):
        client = ModbusTcpClient("127.0.0.1", port=self.port, timeout=2, retries=0)
        if not client.connect():
            fail("no connection to the server")
        return client

    def stop(self):
        self.process.send_signal(2)
        try:
            status = self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            status = self.process.wait()
        os.unlink(self.log.name)
        return 130 if runner else status


def exception(response):
    return response.exception_code if isinstance(response, ExceptionResponse) else None


def raw(port, data, read=True):
    with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
        s.sendall(data)
        return s.recv(300) if read else b""


# 1. The map, through a client of another maker.
server = Server()
client = server.client()
for channel in (9, 17, 128):
    dio("set", "%d=1" % channel)
inputs = client.read_discrete_inputs(0, 128)
if [i + 1 for i, bit in enumerate(inputs.bits[:128]) if bit] != [9, 17, 128]:
    fail("128 discrete inputs in one request: %s" % inputs.bits[:128])
client.write_coil(0, True)
client.write_coils(24, [True] * 8)  # a whole group: one Zan_DO
client.write_coils(40, [True, False, True])
client.write_register(6, 0x3C)
client.write_registers(10, [0xA5, 0x01])
words = client.read_input_registers(0, 16).registers
if words != [0x01, 0x01, 0x01, 0xFF, 0, 0x05, 0x3C, 0, 0, 0, 0xA5, 0x01, 0, 0, 0, 0x80]:
    fail("the inputs after the writes: %s" % [hex(w) for w in words])
coils = client.read_coils(0, 48).bits[:48]
if [i + 1 for i, bit in enumerate(coils) if bit] != [1] + list(range(25, 33)) + [41, 43]:
    fail("coils read back as written: %s" % coils)
if client.read_holding_registers(3, 1).registers != [0xFF]:
    fail("group 3's byte read back")
caption = client.execute(ReportSlaveIdRequest(slave=1)).identifier
if "卡名：ZAN 51 8类型： 1".encode() not in caption:
    fail("function 17: %r" % caption)
checks.append("the map: 128 inputs in one request, coils and registers written and read back, "
              "the caption by function 17")

# 2. Every exception, and nothing sent for a refused request.
before = client.read_input_registers(0, 16).registers
refused = [
    (1, lambda: client.read_exception_status()),  # function 7: not served
    (2, lambda: client.read_discrete_inputs(120, 9)),
    (2, lambda: client.read_input_registers(0, 17)),
    (2, lambda: client.write_coil(128, True)),
    (2, lambda: client.write_registers(15, [1, 2])),
    (3, lambda: client.write_register(0, 256)),
    (3, lambda: client.write_registers(0, [1, 300])),
    (3, lambda: client.read_coils(0, 0)),
]
for code, request in refused:
    if exception(request()) != code:
        fail("expected exception %d" % code)
if client.read_input_registers(0, 16).registers != before:
    fail("a refused request reached the card")
client.close()
status = server.stop()
if status != 130:
    fail("Ctrl-C ended the server with %s" % status)
failing = Server(ADCARD_SIM_FAULTS="silent-after=300")  # after the caption at its start
client = failing.client()
# The card falls silent 300 ms after the server loaded it, however long it took to start.
if not until(lambda: exception(client.read_input_registers(0, 1)) == 4, 60, step=0.1):
    fail("a failed driver call is not exception 4")
client.close()
if not until(lambda: "请求失败" in failing.text(), 30):  # on Windows a thread writes the log
    fail("a failed driver call is not logged")
failing.stop()
readonly = Server("--read-only")
client = readonly.client()
if exception(client.write_coil(0, False)) != 1 or exception(client.write_register(0, 0)) != 1:
    fail("--read-only wrote")
if client.read_input_registers(0, 1).registers != [0x01]:
    fail("--read-only does not read")
client.close()
readonly.stop()
checks.append("exceptions 1, 2, 3 and 4, nothing sent for a refused request, --read-only")

# 3. Hostile clients, a well-behaved one answered throughout.
server = Server("--max-clients", "4", "--idle-timeout", "2s")
good = server.client()


asked = time.monotonic()


def answered():
    global asked
    asked = time.monotonic()
    return good.read_input_registers(0, 1).registers == [0x01]


silent = socket.create_connection(("127.0.0.1", server.port))
half = socket.create_connection(("127.0.0.1", server.port))
half.sendall(bytes.fromhex("0001000000060104000000"))  # a read cut short
lying = socket.create_connection(("127.0.0.1", server.port))
lying.sendall(bytes.fromhex("000100000040") + b"\x01\x04\x00\x00")  # says 64 bytes follow
if not answered():
    fail("half a frame, a lying length or silence held up another client")
crowd = [socket.create_connection(("127.0.0.1", server.port)) for _ in range(3)]
if not until(lambda: "被拒绝" in server.text(), 60) or not answered():
    fail("a client past --max-clients was not refused, or held up the others")
for s in crowd:
    s.close()
randomness = random.Random(20261208)
for n in range(1000):
    data = bytes(randomness.getrandbits(8) for _ in range(randomness.randrange(1, 40)))
    try:
        raw(server.port, data, read=False)
    except OSError:
        pass
    # Often enough that the good client, too, is never silent for the idle timeout.
    if (n % 100 == 0 or time.monotonic() - asked > 0.3) and not answered():
        fail("random frame %d: %s held up the good client" % (n, data.hex()))
# Past the idle timeout the silent ones are gone.
if not until(lambda: server.text().count("空闲超时") >= 2, 60):
    fail("clients that said nothing were not dropped after the idle timeout")
# One that sends a byte of a request now and then, never a whole one, is idle too.
drip = socket.create_connection(("127.0.0.1", server.port))
dripped = "127.0.0.1:%d 断开：空闲超时" % drip.getsockname()[1]
request = bytes.fromhex("000100000006010400000001") * 20  # more than the wait sends


sent = []


def dripping():
    try:
        drip.send(request[len(sent):len(sent) + 1])
        sent.append(1)
    except OSError:
        pass
    return dripped in server.text()


if not until(dripping, 30, step=0.3):
    fail("a client dripping a byte now and then kept its place")
drip.close()
good.close()
good = server.client()
if not answered() or dio("get", "-w", "16", "-f", "json").stdout.count(",") < 31:
    fail("the server or the card did not come through")
status = server.stop()
if status != 130:
    fail("the server ended with %s after the hostile clients" % status)
checks.append("half a frame, a lying length, silence, a crowd and 1,000 random frames: "
              "the good client answered throughout")

# 3b. Natively: a SIGHUP ignored at the start (nohup) stays ignored; out of
#     descriptors, a failed accept is said once and rests rather than spins.
if not runner:
    import resource
    ignoring = Server(preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
    ignoring.process.send_signal(signal.SIGHUP)
    client = ignoring.client()
    if ignoring.process.poll() is not None or client.read_input_registers(0, 1).isError():
        fail("serve under nohup ended at SIGHUP")
    client.close()
    ignoring.stop()
    few = Server("--max-clients", "50",
                 preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (16, 16)))
    crowd = [socket.create_connection(("127.0.0.1", few.port)) for _ in range(20)]
    if not until(lambda: "接受连接失败" in few.text(), 30):
        fail("an accept that failed was not said")
    ticks = os.sysconf("SC_CLK_TCK")

    def busy():
        fields = open("/proc/%d/stat" % few.process.pid).read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / ticks

    before = busy()
    time.sleep(2)  # what it does meanwhile: rest, not spin
    spent = busy() - before
    said = few.text().count("接受连接失败")  # before the crowd leaves: then it may run short again
    for s in crowd:
        s.close()
    if said != 1 or spent > 1:
        fail("out of descriptors: %s s of processor in 2 s, said %d times" % (spent, said))
    few.stop()
    checks.append("SIGHUP ignored under nohup; out of descriptors, one line and no spinning")

# A standard error nobody reads (a paused terminal, a stuck pipe): the log never holds
# the service up, and SIGTERM still ends it.
with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
stuck = subprocess.Popen([*runner, cli, "serve", "--listen", "127.0.0.1:%d" % port], env=env,
                         stderr=subprocess.PIPE)  # never read
running.append(stuck)


def listening():
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", port)) == 0


until(listening, 60)
for _ in range(2000):  # two lines a connection: far past the pipe's 64 KiB and the backlog
    try:
        socket.create_connection(("127.0.0.1", port), timeout=2).close()
    except OSError:
        break
client = ModbusTcpClient("127.0.0.1", port=port, timeout=5, retries=0)
answered_stuck = client.connect() and not client.read_input_registers(0, 1).isError()
client.close()
stuck.send_signal(signal.SIGTERM)  # Wine passes no signal on: there it is only ended
try:
    status = stuck.wait(timeout=10)
except subprocess.TimeoutExpired:
    stuck.kill()
    status = "still running"
if not answered_stuck or (status != 143 and not runner):
    fail("with its standard error unread: answered %s, SIGTERM gave %s" %
         (answered_stuck, status))
checks.append("a standard error nobody reads holds the service up in no way")

# 4. Exit statuses.
taken = socket.socket()
taken.bind(("127.0.0.1", 0))
taken.listen()
bad = dio("serve", "--listen", "127.0.0.1:%d" % taken.getsockname()[1])
if bad.returncode != 2 or "监听不了 127.0.0.1:%d" % taken.getsockname()[1] not in bad.stderr.replace("\r", ""):
    fail("a port in use: %s %s" % (bad.returncode, bad.stderr))
taken.close()
bad = dio("serve", "--listen", "localhost:1502")
if bad.returncode != 2 or "--listen" not in bad.stderr.replace("\r", ""):
    fail("an address that is no IPv4 address: %s" % bad.returncode)
alone = tempfile.mkdtemp()
subprocess.run(["cp", cli, alone])
bad = subprocess.run([*runner, os.path.join(alone, os.path.basename(cli)), "serve"], env=env,
                     capture_output=True, text=True, timeout=120)
subprocess.run(["rm", "-rf", alone])
if bad.returncode != 3:
    fail("no driver: status %s" % bad.returncode)
checks.append("a port in use and a malformed address: status 2, named; no driver: status 3")
dio("set", "--byte", *["%d=0" % g for g in range(16)])
if not runner:
    os.unlink("/dev/shm/adcard-sim3-%d-%s" % (os.getuid(), card))
for check in checks:
    print("serve-check: " + check)
