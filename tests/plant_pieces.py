"""The plant's pieces as the checks and benchmarks start them: Debian's PostgreSQL 15 in a data
folder of its own (on a Unix socket and a free port, as a user other than root) and Debian's
mosquitto with persistence on, on loopback only; each started, killed and stopped by its caller."""
import glob, os, pwd, shutil, signal, socket, subprocess

from waiting import until

# PostgreSQL will not run as root: as root, its folder and processes are nobody's.
as_other = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if os.getuid() == 0 \
    else []
pg_bin = "/usr/lib/postgresql/15/bin"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Postgres:
    def __init__(self, folder):
        self.folder = folder
        os.chmod(folder, 0o755)  # for nobody to reach its data folder
        self.data = os.path.join(folder, "pg")
        self.port = free_port()
        os.mkdir(self.data, 0o700)
        if as_other:
            shutil.chown(self.data, "nobody", "nogroup")
        subprocess.run([*as_other, pg_bin + "/initdb", "-D", self.data, "-U", "dio", "-A", "trust",
                        "-E", "UTF8", "--locale=C"], check=True, capture_output=True)
        self.start()
        self.psql("CREATE DATABASE plant", db="postgres")
        self.url = "postgresql:///plant?host=%s&port=%d&user=dio" % (self.data, self.port)

    def start(self):
        # In its own session, so that a kill takes its children with it.
        self.process = subprocess.Popen(
            [*as_other, pg_bin + "/postgres", "-D", self.data, "-k", self.data, "-p", str(self.port),
             "-c", "listen_addresses=", "-c", "fsync=off"], start_new_session=True,
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.folder, "pg.log"), "a"))
        if not until(lambda: self.process.poll() is not None or subprocess.run(
                [pg_bin + "/pg_isready", "-q", "-h", self.data, "-p", str(self.port)]).returncode == 0,
                60) or self.process.poll() is not None:
            with open(os.path.join(self.folder, "pg.log")) as log:
                raise SystemExit("plant: PostgreSQL did not start:\n" + "".join(log.readlines()[-10:]))

    def gone(self):
        """Whether no process of its group still runs (a zombie holds no memory)."""
        for stat in glob.glob("/proc/[0-9]*/stat"):
            try:
                fields = open(stat).read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[2]) == self.process.pid and fields[0] != "Z":
                return False
        return True

    def kill(self):
        # Its backends too: a new server refuses to start while one of them still holds the old
        # shared memory, as one may for a moment on a loaded machine.
        os.killpg(self.process.pid, signal.SIGKILL)
        self.process.wait()
        if not until(self.gone, 60):
            raise SystemExit("plant: PostgreSQL's processes outlived a kill")
        # Its lock file names a process that is gone, whose number another may have taken since
        # (numbers wrap at 32768 here): the next server would take that one for a running server.
        os.remove(os.path.join(self.data, "postmaster.pid"))

    def stop(self):  # a fast shutdown: clients still connected are let go
        os.killpg(self.process.pid, signal.SIGINT)
        self.process.wait(timeout=60)

    def psql(self, sql, db="plant"):
        done = subprocess.run(["psql", "-X", "-At", "-h", self.data, "-p", str(self.port), "-U", "dio",
                               "-d", db, "-c", sql], capture_output=True, text=True, timeout=60)
        if done.returncode != 0:
            raise SystemExit("plant: psql: " + done.stderr)
        return done.stdout


class Broker:
    """mosquitto with persistence on, on loopback only, as whoever runs the test; with users
    (name → password) and an ACL file where given, else anonymous."""

    def __init__(self, folder, port=None, users=None, acl=None):
        self.port = port or free_port()
        self.config = os.path.join(folder, "mosquitto-%d.conf" % self.port)
        store = os.path.join(folder, "mosquitto-%d" % self.port)
        os.makedirs(store, exist_ok=True)
        self.log = store + ".log"
        access = ["allow_anonymous true"]
        if users:
            passwords = store + ".passwords"
            open(passwords, "w").close()
            for user, password in users.items():
                subprocess.run(["mosquitto_passwd", "-b", passwords, user, password], check=True)
            access = ["allow_anonymous false", "password_file " + passwords]
        if acl:
            access.append("acl_file " + acl)
        open(self.config, "w").write("\n".join([
            "listener %d 127.0.0.1" % self.port, *access,
            "user " + pwd.getpwuid(os.getuid()).pw_name, "persistence true",
            "persistence_location %s/" % store, "autosave_interval 1", "max_queued_messages 0",
            "log_dest file " + self.log]) + "\n")
        self.start()

    def start(self):
        self.process = subprocess.Popen(["/usr/sbin/mosquitto", "-c", self.config],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not until(lambda: self.listening(), 30):
            raise SystemExit("plant: mosquitto did not start")

    def listening(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
            return True
        except OSError:
            return False

    def kill(self):
        self.process.kill()
        self.process.wait()

    def url(self, prefix="plant"):
        return "mqtt://127.0.0.1:%d/%s" % (self.port, prefix)
