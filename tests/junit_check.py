#!/usr/bin/python3
"""dio-cli selftest --junit as it ships, read by junitparser, an independent
implementation of the format: one suite named for the serial number with the part, station
and operator, one case per tested channel, the faulty ones failed with their
faults.

  junit_check.py DIO-CLI
"""
import os, shutil, subprocess, sys, tempfile

from junitparser import Failure, JUnitXml

cli = sys.argv[1]
runner = os.environ.get("RUNNER", "").split()
folder = tempfile.mkdtemp()
path = os.path.join(folder, "run.xml")
# The records (--serial keeps the run) in the check's own folder, not the user's (under
# Wine, in the scratch prefix's).
env = dict(os.environ, ADCARD_SIM_NAME="junit-%d" % os.getpid(),
           ADCARD_SIM_FAULTS="stuck0=5;short-and=17,18", XDG_DATA_HOME=folder)
done = subprocess.run([*runner, cli, "selftest", "--yes", "--settle", "0", "--channels", "1-32",
                       "--serial", "SN-0042 <&>", "--part", "ZAN-51", "--station", "line 3",
                       "--operator", "王工", "--junit", path],
                      env=env, capture_output=True, text=True, timeout=120)
if done.returncode != 1:
    sys.exit("junit-check: the self-test ended with %d: %s" % (done.returncode, done.stderr))
xml = JUnitXml.fromfile(path)
suites = list(xml)
if len(suites) != 1 or suites[0].name != "SN-0042 <&>":
    sys.exit("junit-check: the suites: %s" % [s.name for s in suites])
suite = suites[0]
properties = {p.name: p.value for p in suite.properties()}
if properties != {"serial": "SN-0042 <&>", "part": "ZAN-51", "station": "line 3", "operator": "王工"}:
    sys.exit("junit-check: the properties: %s" % properties)
cases = list(suite)
failed = {case.name: [r.message for r in case.result if isinstance(r, Failure)]
          for case in cases if case.result}
if len(cases) != 32 or suite.tests != 32 or suite.failures != 3:
    sys.exit("junit-check: %d cases, %s tests, %s failures" % (len(cases), suite.tests, suite.failures))
if failed != {"通道 5": ["通道 5：固定为 0（开路或被钳住）"], "通道 17": ["通道 17、18：短路（线与）"],
              "通道 18": ["通道 17、18：短路（线与）"]}:
    sys.exit("junit-check: the failures: %s" % failed)
# Whatever was typed, the file is well-formed XML 1.0: a byte that is not UTF-8
# and U+FFFE in the serial, read by Python's own parser (expat), no one's here.
if not runner:
    import xml.etree.ElementTree as ElementTree
    subprocess.run([cli, "selftest", "--yes", "--settle", "0", "--channels", "1-8", "--serial",
                    b"SN-\xff\xef\xbf\xbe-1", "--junit", path], env=env, capture_output=True,
                   timeout=120)
    try:
        name = ElementTree.parse(path).getroot().find("testsuite").get("name")
    except ElementTree.ParseError as e:
        sys.exit("junit-check: not well-formed with a serial that is not UTF-8: %s" % e)
    if name != "SN-\ufffd-1":
        sys.exit("junit-check: the suite of a serial that is not UTF-8: %r" % name)
os.unlink(path)
shutil.rmtree(folder)
if not runner:
    os.unlink("/dev/shm/adcard-sim3-%d-junit-%d" % (os.getuid(), os.getpid()))
print("junit-check: junitparser reads one suite for the card, its properties, 32 cases, "
      "the 3 faulty ones failed with their faults")
