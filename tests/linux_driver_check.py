#!/usr/bin/python3
"""The drivers on Linux's own interfaces (libadcard.so of bin/comedi/ and bin/gpio/) under
dio-cli as it ships, through the real libcomedi and libgpiod, against a board or chip emulated by
umockdev (emulated-device: the kernel's side of the ioctls, a loopback with the simulated card's
faults): the self-test names what the simulated card's names with the same faults; get, set,
watch and serve (read by pymodbus) work; every failure is said with its reason and status 4;
what a digital I/O subdevice's channels were is put back.

  linux_driver_check.py comedi|gpio DIO-CLI DRIVER EMULATED-DEVICE SIMULATED-DIO-CLI [DIO-PANEL]

With the panel, it is started on a display (Xvfb) and its box for timed reads ticked with a
click (xdotool): the inputs it shows are those of the emulated lines.
"""
import json, os, re, shutil, signal, subprocess, sys, tempfile, time

from pymodbus.client import ModbusTcpClient

kind, cli_built, driver, emulator, simulated = sys.argv[1:6]
folder = tempfile.mkdtemp()
os.chmod(folder, 0o755)  # for the run as nobody
shutil.copy(cli_built, folder)
shutil.copy(driver, folder)  # beside the program: the driver it loads
cli = os.path.join(folder, "dio-cli")
variable = {"comedi": "ADCARD_COMEDI", "gpio": "ADCARD_GPIO"}[kind]
default_settings = {"comedi": "device=/dev/comedi0",
                    "gpio": "chip=/dev/gpiochip0;outputs=0-127;inputs=128-255"}[kind]
checks = []


def fail(what):
    print("linux-driver-check (%s): %s" % (kind, what), file=sys.stderr)
    shutil.rmtree(folder, ignore_errors=True)
    sys.exit(1)


def emulated(*arguments, device=(), settings=None, state=None, user=None, shell=None, timeout=120):
    """dio-cli's arguments (or a shell's commands, $CLI for dio-cli) run on the emulated device;
    its status and what it said."""
    extra = ["--state", state] if state else []
    program = ["sh", "-c", shell] if shell else [cli, *arguments]
    command = [emulator, kind, *device, *extra, "--", *(["setpriv", "--reuid", user, "--regid", "nogroup",
                                                         "--clear-groups"] if user else []),
               *program]
    done = subprocess.run(command, env=dict(os.environ, CLI=cli, **{variable: settings or default_settings}),
                          capture_output=True, text=True, timeout=timeout)
    return done.returncode, done.stdout + done.stderr, done.stdout


def expect(result, status, *texts):
    if result[0] != status or not all(re.search(text, result[1]) for text in texts):
        fail("expected status %d and %r:\n%s %s" % (status, texts, result[0], result[1]))


def findings(report):
    """A self-test report: its counts and findings (how often an intermittent line flickered is
    chance: the two draw their random bits at different calls)."""
    try:
        data = json.loads(report)
    except ValueError:
        fail("not a report:\n" + report)
    for fault in data["faults"]:
        fault.pop("flickers", None)
    return json.dumps(data, sort_keys=True)


# 1. The device named, the loopback read back, as on a card.
expect(emulated("info"), 0, {"comedi": "设备：loopback di-do，comedi 驱动 emulated_dio", "gpio": "设备：GPIO 芯片 emulated-loopback，/dev/gpiochip0"}[kind])
expect(emulated("get", "-w", "2", device=["--faults", ""]), 0, "字 1 ：0000")
checks.append("info names the device")

# 2. The self-test names exactly what the simulated card names with the same wiring's faults.
for faults in ["", "stuck0=5;short-and=17,18;cross=33,40", "stuck1=100;short-or=3,64,65;open=7",
               "flicker=12;seed=3"]:
    on_device = emulated("selftest", "--yes", "--json", "--settle", "0", device=["--faults", faults])
    on_card = subprocess.run([simulated, "selftest", "--yes", "--json", "--settle", "0"],
                             env=dict(os.environ, ADCARD_SIM_FAULTS=faults,
                                      ADCARD_SIM_NAME="linux-driver-%d" % os.getpid()),
                             capture_output=True, text=True, timeout=120)
    if on_device[0] != on_card.returncode or findings(on_device[2]) != findings(on_card.stdout) or \
            on_device[1] != on_device[2]:  # nothing on the standard error
        fail("faults %r: the emulated %s found\n%s\nthe simulated card\n%s"
             % (faults, kind, on_device[1], on_card.stdout))
checks.append("the self-test names the wiring's faults as the simulated card does")

# 3. set, get and watch. A comedi board keeps what was set after the program; GPIO lines are
# set back to 0 when it ends, and are one program's at a time.
if kind == "comedi":
    expect(emulated(shell='"$CLI" set 9=1 17=1 && "$CLI" get -w 3', device=["--faults", "cross=9,10"]),
           0, "字 1 ：0002", "字 2 ：0001")
    expect(emulated(shell='"$CLI" watch --count 1 --duration 20s --channels 1-16 --interval 20ms & '
                          'sleep 1; "$CLI" set 12=1; wait'), 0, "初始状态：全部为 0", "通道 12")
else:
    expect(emulated(shell='"$CLI" set 9=1 17=1 && "$CLI" get -w 3'), 0, "字 1 ：0000", "字 2 ：0000")
    expect(emulated(shell='"$CLI" watch --duration 3s --channels 1-16 & sleep 1; "$CLI" set 12=1; wait'),
           0, "初始状态：全部为 0", "Zan_DOBit.*线 0 已被“dio-panel”占用")
    expect(emulated("watch", "--duration", "1s", "--channels", "1-16", device=["--faults", "stuck1=12"]),
           0, "初始状态：通道 12 为 1，其余为 0")
checks.append("set, get and watch")

# 4. Every failure said with its reason, status 4.
state = os.path.join(folder, "state")
failures = {
    "comedi": [
        ("no device", {}, "device=/dev/comedi7", None, "没有设备 /dev/comedi7"),
        ("a subdevice not digital", {}, "device=/dev/comedi0;inputs=0", None,
         "子设备 0 是非数字的，不能作输入"),
        ("fewer channels than configured", {"lines": "64"}, "device=/dev/comedi0;lines=128", None,
         "只有 64 个通道"),
        ("no permission", {}, None, "nobody", "无权打开 /dev/comedi0"),
    ],
    "gpio": [
        ("no chip", {}, "chip=/dev/gpiochip7;outputs=0-7;inputs=8-15", None, "没有 GPIO 芯片 /dev/gpiochip7"),
        ("no chip of that label", {}, "chip=relays;outputs=0-7;inputs=8-15", None, "没有标签为“relays”的"),
        ("a line another program holds", {"held": "130=relayd"}, None, None, "线 130 已被“relayd”占用"),
        ("fewer lines than configured", {"lines": "64"}, None, None, "GPIO 芯片上没有线 128（共 128 条）"),
        ("a line name the chip lacks", {}, "chip=gpiochip0;outputs=OUT1,OUT2,OUT3,OUT4,OUT5,OUT6,OUT7,K8;"
         "inputs=8-15", None, "GPIO 芯片上没有线“K8”"),
        ("no permission", {}, None, "nobody", "无权打开 /dev/gpiochip0"),
    ],
}
fifo = os.path.join(folder, "settings.fifo")
os.mkfifo(fifo)  # a FIFO with no writer would hang a program that opened it
for rows in failures.values():
    rows.append(("a settings file that is a FIFO", {}, fifo, None, "settings.fifo：不是普通文件"))
failures["gpio"].append(("a line by name and by number", {}, "chip=gpiochip0;outputs=0-6,OUT1;inputs=128-135",
                         None, "线“OUT1”与线 0 是同一条线"))
for what, options, settings, user, said in failures[kind]:
    device = [item for key, value in options.items() for item in ("--" + key, value)]
    if kind == "gpio" and "lines" in options:  # the lines beyond the chip's
        settings = "chip=/dev/gpiochip0;outputs=0-127;inputs=128-255"
    expect(emulated("get", device=device, settings=settings, user=user), 4, said)
checks.append("failures said: " + ", ".join(row[0] for row in failures[kind]))
# A self-test that could not have the lines says it drove none of them.
expect(emulated("selftest", "--yes", settings={"comedi": "device=/dev/comedi0;inputs=0",
                                               "gpio": default_settings}[kind],
                device=["--held", "200=relayd"] if kind == "gpio" else []),
       4, "自检没有驱动过任何通道")

# 5. A device that goes away in the middle of a self-test: the lines not reset are named.
gone = emulated("selftest", "--yes", "--settle", "0", device=["--vanish-after", "100"])
expect(gone, 4, "未能复位|没能复位|复位")
checks.append("a device gone mid-test")

# 6. dio-cli serve on the device, read by pymodbus's client.
server = subprocess.Popen([emulator, kind, "--", cli, "serve", "--listen", "127.0.0.1:0"],
                          env=dict(os.environ, **{variable: default_settings}),
                          stderr=subprocess.PIPE, text=True)
port = None
for line in server.stderr:
    found = re.search(r"正在监听 127\.0\.0\.1:(\d+)", line)
    if found:
        port = int(found.group(1))
        break
if port is None:
    server.kill()
    fail("serve said no port")
client = ModbusTcpClient("127.0.0.1", port=port, timeout=2, retries=0)
client.connect()
client.write_coil(20, True)
inputs = client.read_discrete_inputs(0, 32).bits
client.close()
server.send_signal(signal.SIGINT)
server.wait(timeout=20)
if not inputs[20] or any(inputs[:20]):
    fail("served inputs after coil 20 set: %s" % inputs[:32])
checks.append("serve, read by pymodbus")

if kind == "comedi":
    # 7. A digital I/O subdevice's channels put back as they were; where the driver does not
    # say, left as the settings made them.
    expect(emulated("selftest", "--yes", "--settle", "0", device=["--layout", "dio"], state=state), 0,
           "全部正常")
    with open(state) as s:
        directions = s.readline().split()[1]
    if directions != "i" * 256:
        fail("directions after the program: " + directions)
    expect(emulated("get", device=["--layout", "dio", "--no-query"], state=state), 0)
    with open(state) as s:
        directions = s.readline().split()[1]
    if directions != "o" * 128 + "i" * 128:
        fail("directions after the program, not queried: " + directions)
    # A channel another program left an output (killed) and this one used as an input is an
    # output again after it.
    expect(emulated(shell='ADCARD_COMEDI="device=/dev/comedi0;output-channels=0-7;input-channels=8-15" '
                          '"$CLI" watch --channels 1-8 --duration 60s & sleep 1; kill -9 $!; '
                          'ADCARD_COMEDI="device=/dev/comedi0;output-channels=8-15;input-channels=0-7" "$CLI" get -w 1',
                    device=["--layout", "dio", "--lines", "8"], state=state), 0)
    with open(state) as s:
        directions = s.readline().split()[1]
    if directions != "o" * 8 + "i" * 8:
        fail("directions after a killed program and one that ended: " + directions)
    # A set beyond the board's lines sends nothing (a comedi board keeps what was sent).
    expect(emulated(shell='"$CLI" set 1=1 9=1', device=["--lines", "8"], settings="device=/dev/comedi0;lines=8",
                    state=state), 2, "通道 9 超出板卡的 8 条线")
    with open(state) as s:
        if s.readline().split()[1] != "0" * 8:
            fail("a refused set drove the outputs")
    checks.append("directions put back, or as set where the driver does not say; a refused set sends nothing")

if kind == "gpio":
    # 8. The chip by label and lines by name, as a device tree names them.
    expect(emulated(shell='"$CLI" set 3=1 && "$CLI" get -w 1', device=["--label", "jig-7"],
                    settings="chip=jig-7;outputs=" + ",".join("OUT%d" % n for n in range(1, 9)) +
                             ";inputs=" + ",".join("IN%d" % n for n in range(1, 9)) + ";bias=pull-down"),
           0, "设备：GPIO 芯片 jig-7|字 0 ：0000")
    # 9. Outputs at 0 when the program ends as it can catch; after kill -9 the kernel frees the
    # lines as driven.
    for ending, left in (("TERM", "0"), ("KILL", "1")):  # (a background job ignores SIGINT)
        shell = ('"$CLI" serve --listen 127.0.0.1:0 2>"$LOG" & pid=$!; '
                 'until port=$(grep -o "127.0.0.1:[0-9]*" "$LOG"); do sleep 0.05; done; '
                 '/usr/bin/python3 -c "import sys; from pymodbus.client import ModbusTcpClient as C; '
                 'c = C(\'127.0.0.1\', port=int(sys.argv[1])); c.connect(); c.write_coil(4, True); c.close()" '
                 '"${port#*:}"; kill -%s $pid; wait $pid; true' % ending)
        os.environ["LOG"] = os.path.join(folder, "serve.log")
        expect(emulated(shell=shell, state=state, timeout=60), 0)
        with open(state) as s:
            outputs = s.readline().split()[1]
        if outputs[4] != left or outputs.count("1") != int(left):
            fail("after SIG%s the outputs were left at %s" % (ending, outputs))
    checks.append("lines by label and name; outputs at 0 after SIGTERM, as driven after SIGKILL")

if len(sys.argv) > 6:
    # 10. The panel on the device: the board's caption, and the inputs it shows once its
    # "使能定时读取" box (at 264, 176 on a screen of 96 dots per inch) is ticked.
    shutil.copy(sys.argv[6], folder)
    log = os.path.join(folder, "panel.log")
    shell = ('QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="dio.panel.info=true" "$EMULATOR" %s --faults stuck1=3 -- '
             '"$PANEL" 2>"$LOG" & pid=$!; w=$(timeout 60 xdotool search --sync --name "^测试及编程源程序$" | '
             'head -n 1); xdotool mousemove --window "$w" 264 176 click 1; '
             'for _ in $(seq 100); do grep -q "inputs:" "$LOG" && break; sleep 0.1; done; kill $pid; wait' % kind)
    subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "sh", "-c", shell], timeout=120,
                   env=dict(os.environ, EMULATOR=emulator, PANEL=os.path.join(folder, "dio-panel"), LOG=log,
                            QT_FONT_DPI="96",
                            **{variable: default_settings + ";caption=51 8 1"}))
    with open(log, encoding="utf-8", errors="replace") as said:
        shown = said.read()
    if "board: 卡名：ZAN 51 8类型： 1" not in shown or "inputs: 4-0-0-0" not in shown:
        fail("the panel on the device showed:\n" + shown)
    checks.append("the panel shows the inputs")

shutil.rmtree(folder)
print("linux-driver-check (%s): %s" % (kind, "; ".join(checks)))
