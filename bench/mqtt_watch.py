#!/usr/bin/python3
"""watch --mqtt under load: another process changes the simulated card's lines
RATE times a second (round the eight lines of group 0, so that each change
stands 8 ms and a 1 ms poll sees every one) for SECONDS; dio-cli watch polls
every millisecond and publishes to Debian's mosquitto on a free loopback port;
mosquitto_sub (QoS 1) stamps each message as it arrives. Prints one JSON line:
changes made, changes the watch saw (a poll held up more than 8 ms on a busy
machine misses a line's two changes), messages received, sequence numbers missing, and the time from
the poll that saw a change to its arrival at the subscriber (median, 99th
percentile, longest).

  mqtt_watch.py DIO-CLI LIBADCARD.SO [SECONDS=60] [RATE=1000]
"""
import ctypes, datetime, json, os, pwd, socket, statistics, subprocess, sys, tempfile, time

cli, library = sys.argv[1], sys.argv[2]
seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 60
rate = float(sys.argv[4]) if len(sys.argv) > 4 else 1000
folder = tempfile.mkdtemp()
os.environ["ADCARD_SIM_NAME"] = "mqtt-bench-%d" % os.getpid()

with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
config = os.path.join(folder, "mosquitto.conf")
open(config, "w").write("listener %d 127.0.0.1\nallow_anonymous true\nuser %s\n"
                        % (port, pwd.getpwuid(os.getuid()).pw_name))
broker = subprocess.Popen(["/usr/sbin/mosquitto", "-c", config], stderr=subprocess.DEVNULL)
time.sleep(0.5)
received_file = open(os.path.join(folder, "received"), "w+")
sub = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-q", "1",
                        "-t", "bench/line/watch", "-F", "%U %p"], stdout=received_file)
time.sleep(0.5)
listed = open(os.path.join(folder, "listed"), "w+")  # a pipe would fill and hold the watch up
watch = subprocess.Popen([cli, "watch", "--channels", "1-8", "--interval", "1ms",
                          "--duration", "%ds" % (seconds + 3), "--station", "line",
                          "--mqtt", "mqtt://127.0.0.1:%d/bench" % port],
                         stdout=listed, stderr=subprocess.PIPE, text=True)
time.sleep(1.5)

card = ctypes.CDLL(library)
card.Zan_DO.argtypes = [ctypes.c_int16, ctypes.c_int16]
byte, made = 0, 0
start = time.monotonic()
while time.monotonic() - start < seconds:
    byte ^= 1 << made % 8
    card.Zan_DO(0, byte)
    made += 1
    # Absolute deadlines: a late change does not delay the ones after it.
    time.sleep(max(0, start + made / rate - time.monotonic()))
card.Zan_DO(0, 0)
made += bin(byte).count("1")
_, err = watch.communicate(timeout=seconds + 30)
listed.seek(0)
seen = listed.read().count("→")  # the changes the watch's polls saw, as it lists them
time.sleep(1)
sub.terminate()
sub.wait()
broker.terminate()
broker.wait()

received_file.seek(0)
numbers, delays = [], []
for line in received_file:
    arrived, payload = line.split(" ", 1)
    message = json.loads(payload)
    numbers.append(message["seq"])
    polled = datetime.datetime.strptime(message["time"], "%Y-%m-%dT%H:%M:%S.%fZ").replace(
        tzinfo=datetime.timezone.utc).timestamp()
    delays.append((float(arrived) - polled) * 1000)
os.unlink("/dev/shm/adcard-sim3-%d-%s" % (os.getuid(), os.environ["ADCARD_SIM_NAME"]))
missing = sorted(set(range(1, max(numbers, default=0) + 1)) - set(numbers))
delays.sort()
print(json.dumps({
    "seconds": seconds, "rate": rate, "changes_made": made, "watch_saw": seen,
    "received": len(numbers),
    "highest_seq": max(numbers, default=0), "missing": len(missing),
    "watch_status": watch.returncode, "watch_said": err.strip()[-300:],
    # The poll's time is stamped to the millisecond: up to 1 ms more or less.
    "delay_ms_median": round(statistics.median(delays), 2) if delays else None,
    "delay_ms_p99": round(delays[int(len(delays) * 0.99) - 1], 2) if delays else None,
    "delay_ms_longest": round(delays[-1], 2) if delays else None}))
