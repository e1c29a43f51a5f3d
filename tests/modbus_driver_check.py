#!/usr/bin/python3
"""The Modbus TCP driver (libadcard.so of bin/modbus/) under dio-cli as it
ships, against pymodbus, an independent implementation of a Modbus server (its
datastore as the module, at other addresses) and against dio-cli serve on the simulated
card; a server gone, one that never answers, an exception answer and a wrong
configuration each said with its reason and status 4. Servers on loopback,
started and stopped here.

  modbus_driver_check.py DIO-CLI MODBUS-DRIVER SIMULATED-DIO-CLI

RUNNER runs the programs ("wine").
"""
import os, re, shutil, signal, socket, subprocess, sys, tempfile, threading, time

from pymodbus.client import ModbusTcpClient
from faulty_link import DrippingModule, LosingRelay, LyingModule
from waiting import Lines, until

here = os.path.dirname(os.path.abspath(__file__))
runner = os.environ.get("RUNNER", "").split()
folder = tempfile.mkdtemp()
shutil.copy(sys.argv[1], folder)
shutil.copy(sys.argv[2], folder)  # beside the program: the driver it loads
cli = os.path.join(folder, os.path.basename(sys.argv[1]))
served = sys.argv[3]  # dio-cli on the simulated card, for serve
checks = []


def fail(what):
    print("modbus-driver-check: " + what, file=sys.stderr)
    sys.exit(1)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def dio(settings, *arguments, cwd=None):
    done = subprocess.run([*runner, cli, *arguments], env=dict(os.environ, ADCARD_MODBUS=settings),
                          capture_output=True, text=True, timeout=120, cwd=cwd)
    return done.returncode, (done.stdout + done.stderr).replace("\r", "")


def expect(result, status, text):
    if result[0] != status or text not in result[1]:
        fail("expected status %d and %r:\n%s %s" % (status, text, result[0], result[1]))


def started(command, port, **environment):
    process = subprocess.Popen(command, env=dict(os.environ, **environment),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(1200):  # a minute: under Wine a program starts slowly
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return process
        except OSError:
            time.sleep(0.05)
    process.kill()
    fail("%s did not listen on %d" % (command[0], port))


def stopped(process):
    process.terminate()
    process.wait(timeout=10)


try:
    # 1. pymodbus, an independent implementation, as the module, at other addresses.
    port = free_port()
    module = started(["/usr/bin/python3", os.path.join(here, "pymodbus_server.py"), str(port),
                      "100,108,115"], port)
    settings = "host=127.0.0.1;port=%d;inputs=100;coils=50;registers=200;caption=51 8 1" % port
    expect(dio(settings, "info"), 0, "板卡信息：卡名：ZAN 51 8类型： 1")
    expect(dio(settings, "get", "-w", "2", "-f", "json"), 0, '"words":[1,129]')
    expect(dio(settings, "set", "3=1"), 0, "")
    expect(dio(settings, "set", "--byte", "1=3C"), 0, "")
    client = ModbusTcpClient("127.0.0.1", port=port)
    client.connect()
    if client.read_coils(50, 8).bits[:8] != [False, False, True] + [False] * 5:
        fail("channel 3 did not reach coil 52")
    if client.read_holding_registers(201, 1).registers != [0x3C]:
        fail("group 1's byte did not reach holding register 201")
    client.close()
    expect(dio("127.0.0.1:%d" % port, "info"), 4, "没有板卡信息：在配置里给出 caption")
    expect(dio(settings.replace("inputs=100", "lines=8"), "get", "-w", "2"), 2, "板卡只有 1 个")
    stopped(module)
    checks.append("a pymodbus module at other addresses: inputs read, a coil and a register "
                  "written, the caption configured")

    # 2. A card served by dio-cli serve: the self-test through the network.
    port = free_port()
    faults = "stuck0=5;short-and=17,18;cross=33,40"
    card = "modbus-check-%d" % os.getpid()
    server = started([*runner, served, "serve", "--listen", "127.0.0.1:%d" % port], port,
                     ADCARD_SIM_NAME=card, ADCARD_SIM_FAULTS=faults)
    remote = dio("127.0.0.1:%d" % port, "selftest", "--yes", "--settle", "0", "--json")
    local = subprocess.run([*runner, served, "selftest", "--yes", "--settle", "0", "--json"],
                           env=dict(os.environ, ADCARD_SIM_NAME=card + "-local",
                                    ADCARD_SIM_FAULTS=faults), capture_output=True, text=True)
    if remote[0] != 1 or remote[1].strip() != local.stdout.replace("\r", "").strip():
        fail("the self-test through the network found otherwise:\n%s\n%s" % (remote, local.stdout))
    expect(dio("127.0.0.1:%d" % port, "info"), 0, "卡名：ZAN 51 8类型： 1")

    # 2b. One answer lost in the middle of a self-test: the call fails, and the
    #     lines are reset all the same through the module that answers again.
    relay = LosingRelay(port, lose=20)
    lost = dio("127.0.0.1:%d" % relay.port, "selftest", "--yes", "--settle", "0")
    relay.close()
    expect(lost, 4, "各通道已复位为 0")
    expect(dio("127.0.0.1:%d" % port, "get", "-w", "16", "-f", "json"), 0,
           '"words":[%s]' % ",".join("0" * 16))
    checks.append("an answer lost during a self-test: every line reset through the module")

    # 2c. One self-test a card, however they meet: two modules from one PC both
    #     run; a self-test through the server while one runs on the card's own
    #     PC is refused (exception 6), and one on the PC while clients write
    #     through the server waits; neither reports a fault that is not there.
    ports = {name: free_port() for name in ("a", "b")}
    logs = {name: os.path.join(folder, "serve-%s.log" % name) for name in ports}
    servers = [started([*runner, served, "serve", "--listen", "127.0.0.1:%d" % port_, "--log",
                        logs[name]], port_, ADCARD_SIM_NAME="%s-%s" % (card, name))
               for name, port_ in ports.items()]

    def remote(name, settle):
        return subprocess.Popen([*runner, cli, "selftest", "--yes", "--settle", settle,
                                 "--channels", "1-16"],
                                env=dict(os.environ, ADCARD_MODBUS="127.0.0.1:%d" % ports[name]),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def local(*more):
        return subprocess.Popen([*runner, served, "selftest", "--yes", "--channels", "1-16",
                                 *more], env=dict(os.environ, ADCARD_SIM_NAME=card + "-a"),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    both = [remote(name, "100") for name in ports]
    done = [(p.wait(timeout=120), *p.communicate()) for p in both]
    if [d[0] for d in done] != [0, 0]:
        fail("two self-tests on two modules from one PC:\n%s" % done)
    # While a client writes through the server, the card's PC waits.
    writer = ModbusTcpClient("127.0.0.1", port=ports["a"])
    writer.connect()
    refused = local("--settle", "0")
    until(lambda: writer.write_coil(0, False) and refused.poll() is not None, 120, step=0.3)
    said = refused.communicate(timeout=120)
    if refused.returncode != 2 or "dio-cli serve" not in said[1]:
        fail("a self-test while a client writes through the server: %s %s" %
             (refused.returncode, said))
    # A line a client left at 1 keeps the card past the 5 s (a test through the server
    # settling longer than that keeps it between its patterns) until it is written back; back
    # at 0, it stays held while the client that wrote is connected (a remote test may be
    # settling on a pattern of zeros), and is let go once it has gone.
    for value, said, why in ((True, "还有通道被写成 1", "a client's line is left at 1"),
                             (False, "还连着", "a client that wrote is connected")):
        writer.write_coil(0, value)
        if not until(lambda: said in open(logs["a"]).read(), 60):
            fail("the server did not say that the card is held while " + why)
        refused = local("--settle", "0")
        if refused.wait(timeout=120) != 2:
            fail("a self-test while %s: %s" % (why, refused.communicate()))
    writer.close()
    # Once the server has let the card go, a self-test on its PC refuses one through it.
    if not until(lambda: "板卡可以自检了" in open(logs["a"]).read(), 60):
        fail("the server did not let the card go")
    own = local("--settle", "400")
    shown = set()
    until(lambda: len(shown.add(dio("127.0.0.1:%d" % ports["a"], "get", "-w", "2")[1]) or
                      shown) >= 3, 60, step=0.05)  # its patterns on the inputs
    expect(dio("127.0.0.1:%d" % ports["a"], "selftest", "--yes", "--settle", "0"), 4,
           "模块答以异常")

    if own.wait(timeout=120) != 0:
        fail("the self-test on the card's PC, beside one through its server: %s" %
             (own.communicate(),))
    # A client that keeps writing while a self-test on the PC holds the card is refused each
    # time, said once and counted.
    # (Started again while the server still holds the card for the refused test's reset
    # writes, which may have come after the test above had ended.)
    def driving():
        return any(int(w) for w in re.findall(r"\d+", dio(
            "127.0.0.1:%d" % ports["a"], "get", "-w", "2", "-f", "json")[1].split("hex")[0]))
    for _ in range(30):
        holding = local("--settle", "3000")
        until(lambda: holding.poll() is not None or driving(), 60, step=0.05)
        if holding.poll() is None:
            break
        holding.communicate(timeout=120)
        time.sleep(1)
    else:
        fail("no self-test on the card's PC could take the card")
    pushy = ModbusTcpClient("127.0.0.1", port=ports["a"])
    pushy.connect()
    for _ in range(20):
        pushy.write_coil(5, True)
    pushy.close()
    holding.send_signal(signal.SIGINT)
    holding.communicate(timeout=120)
    if not until(lambda: "共被拒绝 20 次" in open(logs["a"]).read(), 30) or \
            open(logs["a"]).read().count("的写请求被拒绝") > 2:
        fail("refused writes said once each and counted: %s" % open(logs["a"]).read()[-800:])
    # A write refused as malformed (no coil 301) reaches no line and holds nothing.
    malformed = ModbusTcpClient("127.0.0.1", port=ports["a"])
    malformed.connect()
    malformed.write_coil(300, True)
    time.sleep(0.5)
    after = local("--settle", "0")
    if after.wait(timeout=120) != 0:
        fail("a malformed write held the card: %s" % (after.communicate(),))
    malformed.close()
    for server_ in servers:
        stopped(server_)
    for name in ports:
        path = "/dev/shm/adcard-sim3-%d-%s-%s" % (os.getuid(), card, name)
        if os.path.exists(path):
            os.unlink(path)
    checks.append("one self-test a card: two modules from one PC both run; through the server "
                  "beside one on the card's PC, refused with exception 6, and the other way")

    # 3. A watch through the link: the server stopped and started again is a
    #    gap in its output, said on the standard error, and no change. Each
    #    step waits for what the watch says, not for a time (Wine under an
    #    emulator keeps none); a change made once it reads again ends it.
    watch = subprocess.Popen([*runner, cli, "watch", "--interval", "100ms", "--count", "1",
                              "--duration", "300s"],
                             env=dict(os.environ, ADCARD_MODBUS="127.0.0.1:%d" % port),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    out, err = Lines(watch.stdout), Lines(watch.stderr)
    steps = out.said("初始状态", 120)
    stopped(server)
    steps = steps and err.said("继续尝试", 120)
    server = started([*runner, served, "serve", "--listen", "127.0.0.1:%d" % port], port,
                     ADCARD_SIM_NAME=card)
    steps = steps and err.said("又读到了输入", 120)
    dio("127.0.0.1:%d" % port, "set", "1=1")
    watch.wait(timeout=120)
    out, err = out.text(), err.text()
    dio("127.0.0.1:%d" % port, "set", "1=0")
    if (not steps or watch.returncode != 0 or len(re.findall("读不到输入：从 .* 到 ", out)) != 1
            or "变化次数：通道 1：1 次" not in out):
        fail("a watch through a link that dropped:\n%s\n%s\n%s" % (watch.returncode, out, err))
    checks.append("a watch through a link that drops and comes back: one gap, then the change "
                  "made after it")

    # 3b. A watch whose first polls fail (its module not up yet): the header
    #     first, times from the watch's start, a dump sigrok-cli reads.
    late = free_port()
    for shape in ("vcd", "csv"):
        watch = subprocess.Popen([*runner, cli, "watch", "--interval", "100ms", "--count", "1",
                                  "--duration", "300s", "--channels", "1-8", "--format", shape],
                                 env=dict(os.environ, ADCARD_MODBUS="127.0.0.1:%d" % late),
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        out, err = Lines(watch.stdout), Lines(watch.stderr)
        steps = err.said("继续尝试", 120)
        module = started([*runner, served, "serve", "--listen", "127.0.0.1:%d" % late], late,
                         ADCARD_SIM_NAME=card + "-late")
        steps = steps and err.said("又读到了输入", 120)
        dio("127.0.0.1:%d" % late, "set", "2=1")
        watch.wait(timeout=120)
        dio("127.0.0.1:%d" % late, "set", "2=0")
        stopped(module)
        lines = out.text().split("\n")
        if shape == "csv":
            ok = lines[0] == "time,event,channel,value" and ",gap," in lines[1] and any(
                line.endswith(",change,2,1") for line in lines)
        else:
            dump = os.path.join(folder, "late.vcd")
            open(dump, "w").write("\n".join(lines) + "\n")
            times = [int(line[1:]) for line in lines if line.startswith("#")]
            read = subprocess.run(["sigrok-cli", "-I", "vcd", "-i", dump, "-O", "csv"],
                                  capture_output=True, text=True)
            ok = (lines[0] == "$date" and times == sorted(times) and times[-1] < 600 * 10**6
                  and read.returncode == 0 and "0,1,0,0,0,0,0,0" in read.stdout)
        if not steps or watch.returncode != 0 or not ok:
            fail("a watch whose first polls fail, as %s:\n%s\n%s" % (shape, out.text(), err.text()))
    checks.append("a watch whose first polls fail: its header first, times from its start")

    # 4. The server gone, then a refusing one: said, status 4.
    stopped(server)
    expect(dio("127.0.0.1:%d" % port, "get"), 4, "连接不上 127.0.0.1:%d" % port)
    server = started([*runner, served, "serve", "--listen", "127.0.0.1:%d" % port, "--read-only"],
                     port, ADCARD_SIM_NAME=card)
    expect(dio("127.0.0.1:%d" % port, "get", "-w", "1", "-f", "hex"), 0, "字 0 ：0000")
    expect(dio("127.0.0.1:%d" % port, "set", "9=1"), 4, "模块答以异常")
    stopped(server)
    for name in (card, card + "-local", card + "-late"):
        path = "/dev/shm/adcard-sim3-%d-%s" % (os.getuid(), name)
        if os.path.exists(path):
            os.unlink(path)
    checks.append("dio-cli serve's card through the network: the self-test finds the faults it "
                  "finds locally; a server gone and a refusing one said, status 4")

    # 5. A server that accepts and never answers: bounded by the timeout.
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen()
    began = time.monotonic()
    expect(dio("host=127.0.0.1;port=%d;timeout=200" % silent.getsockname()[1], "get"), 4, "超时")
    if time.monotonic() - began > 30:
        fail("a silent server held the call past its timeout")
    silent.close()
    # A module that takes every connection and answers none: a new connection at most once a
    # second while no answer comes, not one a call (a watch calls every 10 ms).
    taking = socket.socket()
    taking.bind(("127.0.0.1", 0))
    taking.listen(64)
    accepted = []

    def take():
        while True:
            try:
                accepted.append(taking.accept()[0])
            except OSError:
                return

    threading.Thread(target=take, daemon=True).start()
    expect(dio("host=127.0.0.1;port=%d;timeout=50" % taking.getsockname()[1], "watch", "--interval",
               "10ms", "--duration", "3s"), 4, "读不到输入")
    if len(accepted) > 6:
        fail("a module that answers nothing got %d connections in 3 s" % len(accepted))
    taking.close()
    for connection in accepted:
        connection.close()
    # A full queue of connections: the connection times out, said as such.
    full = socket.socket()
    full.bind(("127.0.0.1", 0))
    full.listen(0)
    queued = [socket.socket() for _ in range(3)]
    for waiting in queued:
        waiting.setblocking(False)
        waiting.connect_ex(full.getsockname())
    expect(dio("host=127.0.0.1;port=%d;timeout=200" % full.getsockname()[1], "get"), 4,
           "连接不上 127.0.0.1:%d：超时" % full.getsockname()[1])
    for waiting in queued + [full]:
        waiting.close()
    # An answer dripped a byte at a time: one timeout for the whole request.
    dripping = DrippingModule(pause=0.1)
    expect(dio("host=127.0.0.1;port=%d;timeout=300" % dripping.port, "get"), 4, "超时")
    dripping.close()
    # Answers that are not the request's own: named, status 4, never taken as done or as inputs.
    def twisted(at, value):
        def twist(frame):
            frame[at] = value
            return bytes(frame)
        return twist

    for what, twist, call, said in (
            ("an echo of another value", twisted(10, 0x00), ("set", "7=1"), "不是请求的回显"),
            ("an echo of another coil", twisted(9, 0x07), ("set", "7=1"), "不是请求的回显"),
            ("another unit", twisted(6, 9), ("get",), "回答的单元号是 9，请求的是 1"),
            ("another protocol", twisted(3, 1), ("get",), "回答的协议号是 1"),
            ("another transaction", twisted(1, 0x77), ("get",), "回答的事务号是 119")):
        lying = LyingModule(twist)
        expect(dio("host=127.0.0.1;port=%d;caption=51 8 1" % lying.port, *call), 4, said)
        lying.close()
    # A file in the current folder is not read as the settings: only an absolute path names one.
    open(os.path.join(folder, "planted.conf"), "w").write("host=127.0.0.1;port=%d\n" % port)
    expect(dio("planted.conf", "get", cwd=folder), 4, "“planted.conf”：应为")
    for settings, named in (("host=127.0.0.1;port=x", "“port=x”"), ("port=502", "缺少 host"),
                            ("host=10.0.0.9;lines=12", "“lines=12”：应为 8 的倍数"),
                            ("host=10.0.0.9;speed=9", "“speed=9”：不认识的设置")):
        expect(dio(settings, "get"), 4, named)
    checks.append("a silent server ends at the timeout; a wrong configuration names the setting")
finally:
    shutil.rmtree(folder)
for check in checks:
    print("modbus-driver-check: " + check)
