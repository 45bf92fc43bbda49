# What the system tests, the demo and the end-to-end benchmark share, inside
# scripts/sandbox: the production service (TIDEWATCH_EXE, behind the command
# prefix TIDEWATCH_TEST_WRAPPER), dbusmock playing the LED manager on the
# sandbox's system bus, /var/log changed one system call at a time, and the
# service's journal records as journald stored them. Every wait is for a
# condition; the bound only decides how long a failure takes.
import ctypes, fcntl, json, os, re, shlex, signal, socket, subprocess, sys, termios
import time
from systemd import journal

LOG, SCRATCH, BUS_SOCKET = "/var/log", "/var/tmp", "/run/dbus/system_bus_socket"
JOURNAL_SOCKET, SYNCED = "/run/systemd/journal/socket", "/run/systemd/journal/synced"
LAMPKEEPER = "xyz.openbmc_project.corvane.lampkeeper"
LAMP_OBJECT = "/xyz/openbmc_project/corvane/lampkeeper"
CALLS, MODE, RELEASE = (f"{SCRATCH}/lampkeeper.{n}" for n in ("calls", "py", "release"))
OUT = f"{SCRATCH}/tidewatch.out"
PATIENCE = 150  # under valgrind; one case outlasts sd-bus's 25 s call timeout
TS = b"1970-01-01T00:00:13.052207+00:00 "
# Event log lines by kind. The part before "-" is the verdict a line gets;
# "malformed" lines carry critical MessageIds that must not count.
LINES = {
    "critical": TS + b"OpenBMC.0.1.CPUThermalTrip,1\n",
    "critical-quor": TS + b"Quor.1.0.PSU0001,PSU2\n",
    "warning": TS + b"OpenBMC.0.1.PowerSupplyFailed,PSU1\n",
    "ok": TS + b"OpenBMC.0.1.DCPowerOn,\n",
    "unknown": TS + b"OpenBMC.0.1.NoSuchMessage,1\n",
    "unknown-prefix": TS + b"Elsewhere.1.0.InternalError\n",
    "malformed-untimed": b"OpenBMC.0.1.CPUThermalTrip,1\n",
    "malformed-tab": TS[:-1] + b"\tBase.1.0.InternalError\n",
    "malformed-cr": TS + b"OpenBMC.0.1.CPUThermalTrip\r\n",
    "malformed-nul": TS + b"Base.1.0.InternalError\0,\n",
}
# The stand-in's SetHealthFault runs the mode file: it notes the value received
# and when, then answers as the mode says.
METHOD = f"exec(open({MODE!r}).read())"
NOTE = f"open({CALLS!r}, 'a').write(f'{{time.monotonic_ns()}} {{bool(args[0])}}\\n')\n"
FAILED = "org.freedesktop.DBus.Error.Failed"
ANSWERS = {
    "answer": "",
    "late": "time.sleep({}/1000)",
    "held": f"while not os.path.exists({RELEASE!r}): time.sleep(.005)",
    "error": f"raise dbus.exceptions.DBusException('refused', name={FAILED!r})",
}
# Every field of a record but PRIORITY, MESSAGE, CODE_FILE and TRANSACTION_ID.
FIELDS = dict(CODE_LINE="77", CODE_FUNC="helper_log", SYSLOG_IDENTIFIER="tidewatch")
# A fake bus: accepts each connection on its stdin and closes it at once.
FAKE_BUS = """import socket
bus = socket.socket(fileno=0)
while True:
    bus.accept()[0].close()
"""
CHANGES = {"append", "create", "delete", "rename", "clear", "rmlog", "flood"}
bus_daemon = None  # ours, once a case stopped the sandbox's own


def wait(done, what, patience=PATIENCE):
    deadline = time.monotonic() + patience
    while not done():
        assert time.monotonic() < deadline, f"gave up waiting for {what}"
        time.sleep(0.001)


def busctl(*args):  # each time a fresh connection: the bus may have been replaced
    run = subprocess.run(["busctl", "--system", *args], capture_output=True)
    return run.returncode == 0


def start_bus():
    global bus_daemon
    config = "--config-file=" + os.environ["SANDBOX_BUS_CONFIG"]
    command = ["dbus-daemon", config, "--nofork", "--nopidfile"]
    bus_daemon = subprocess.Popen(command, stderr=subprocess.DEVNULL)
    wait(lambda: busctl("status"), "the bus to answer")


class Sandbox:
    # /var/log laid out afresh, the stand-in answering, at most one service;
    # close() puts back what a case took away from the sandbox. step() makes
    # changes by the do_ methods, one for each verb.
    def __init__(self, files=None):
        assert any(
            m.split()[1:3] == ["/var", "tmpfs"] for m in open("/proc/mounts")
        ), "run me in scripts/sandbox"
        self.service = self.lamp = self.reader = None
        self.files, self.undo, self.forgotten, self.step_calls = {}, [], 0, 0
        subprocess.run(["rm", "-rf", LOG, CALLS, RELEASE], check=True)
        os.mkdir(LOG)
        for name, content in (files or {}).items():
            open(f"{LOG}/{name}", "wb").write(content)
        self.do_lamp("answer")

    def close(self):  # returns what the service wrote on stdout and stderr
        if self.service and self.service.poll() is None:
            self.service.terminate()
            self.service.wait()
        self.do_lamp("absent")
        for undo in reversed(self.undo):
            undo()
        return self.service and open(OUT, "rb").read()

    def calls(self):  # (CLOCK_MONOTONIC ns, value) of every SetHealthFault received
        text = open(CALLS).read() if os.path.exists(CALLS) else ""
        return [
            (int(ns), value == "True")
            for ns, value in re.findall(r"(\d+) (True|False)\n", text)
        ]

    def values(self):  # the values received since the last "forget"
        return [value for _, value in self.calls()[self.forgotten :]]

    def records(self):
        # The service's records not returned before, as (PRIORITY, MESSAGE), once
        # journald has stored all it received; every other field is checked here.
        if os.path.exists(SYNCED):
            os.remove(SYNCED)
        os.kill(int(os.environ["SANDBOX_JOURNALD_PID"]), signal.SIGRTMIN + 1)
        wait(lambda: os.path.exists(SYNCED), "journald to sync")
        self.reader.process()
        found = []
        for entry in self.reader:
            fields = {k: v for k, v in entry.items() if not k.startswith("_")}
            code_file = fields.pop("CODE_FILE")
            transaction = fields.pop("TRANSACTION_ID")
            assert code_file.endswith("/usr/include/phosphor-logging/log.hpp")
            assert transaction.isdecimal() and int(transaction) < 2**64
            found.append((int(fields.pop("PRIORITY")), fields.pop("MESSAGE")))
            assert fields == FIELDS
        return found

    def idle(self):
        # Ended, or asleep in read() on its inotify descriptor with nothing
        # queued: it has handled every change made before. The queue is looked
        # at first, so a read() seen after it is the one that follows.
        if self.service.poll() is not None:
            return True
        fds = f"/proc/{self.service.pid}/fd"
        try:
            links = {os.readlink(f"{fds}/{fd}"): int(fd) for fd in os.listdir(fds)}
            fd = links["anon_inode:inotify"]
            pidfd = os.pidfd_open(self.service.pid)
            copy = ctypes.CDLL(None).syscall(438, pidfd, fd, 0)  # pidfd_getfd
            os.close(pidfd)
            if copy < 0:
                return False
            queued = fcntl.ioctl(copy, termios.FIONREAD, bytes(4))
            os.close(copy)
            # x86-64's read() is system call 0
            call = open(f"/proc/{self.service.pid}/syscall").read().split()[:2]
            return queued == bytes(4) and call == ["0", hex(fd)]
        except (OSError, KeyError):  # it opened or closed a file, or ended, meanwhile
            return False

    def settle(self):  # until the service has handled every change so far, or ended
        wait(self.idle, "the service to handle every change")

    def step(self, ops):
        # Makes the changes "verb args, verb args, ..." back to back, then
        # settles. If the service still watches and a call came after the last
        # change, the explain tool must judge the log as the service did.
        self.step_calls, changed = len(self.calls()), 0
        for verb, *args in (op.split() for op in ops.split(", ") if op):
            getattr(self, "do_" + verb)(*args)
            if verb in CHANGES:
                changed = time.monotonic_ns()
        if self.service:
            self.settle()
        calls, explain = self.calls(), os.environ.get("TIDEWATCH_EXPLAIN")
        answered = len(calls) > self.step_calls and calls[-1][0] > changed
        if explain and answered and self.service.poll() is None:
            run = subprocess.run([explain, "--json", LOG], capture_output=True)
            said = json.loads(run.stdout)["healthFault"]
            assert said == calls[-1][1], f"tidewatch-explain after {ops!r}"
            assert run.returncode == int(said), f"its exit status after {ops!r}"

    def do_start(self, inotify_limit=None):
        command = shlex.split(os.environ.get("TIDEWATCH_TEST_WRAPPER", ""))
        command.append(os.environ["TIDEWATCH_EXE"])
        if inotify_limit:  # in a user namespace where that limit is 0
            script = f'echo 0 >/proc/sys/user/{inotify_limit} && exec "$@"'
            unshare = "unshare --user --map-root-user sh -c".split()
            command = [*unshare, script, "sh", *command]
        self.out = open(OUT, "wb")
        self.service = subprocess.Popen(
            command, stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.out
        )
        journal_dir = os.environ["SANDBOX_JOURNAL_DIR"]
        self.reader = journal.Reader(
            path=journal_dir, converters={"CODE_LINE": bytes.decode}
        )
        self.reader.add_match(_PID=str(self.service.pid))
        self.reader.fileno()  # so that it finds the files journald starts later

    def do_append(self, name, kind=None, flags=os.O_APPEND):  # one write(): one record
        fd = os.open(f"{LOG}/{name}", os.O_WRONLY | os.O_CREAT | flags, 0o644)
        lines = self.files.setdefault(name, [])
        if kind:
            os.write(fd, LINES[kind])
            lines.append(kind)
        os.close(fd)

    def do_create(self, name):
        self.do_append(name, None, os.O_EXCL)

    def do_delete(self, name):
        os.remove(f"{LOG}/{name}")
        self.files.pop(name, None)

    def do_rename(self, old, new):
        os.rename(f"{LOG}/{old}", f"{LOG}/{new}")
        self.files[new] = self.files.pop(old, [])

    def do_clear(self):  # the event log, "redfish" last: its deletion is the trigger
        names = [name for name in os.listdir(LOG) if name.startswith("redfish")]
        for name in sorted(names, key=lambda name: name == "redfish"):
            self.do_delete(name)

    def do_rmlog(self):
        subprocess.run(["rm", "-r", LOG], check=True)
        self.files.clear()

    def do_flood(self):
        # As many records as the inotify queue holds, two names in turn so that
        # none merge.
        for n in range(int(open("/proc/sys/fs/inotify/max_queued_events").read())):
            self.do_append(f"flood.{n % 2}", "ok")

    def do_lamp(self, mode, late_ms="0"):  # answer, error, late MS, held or absent
        if mode == "absent":
            if self.lamp:
                self.lamp.terminate()
                self.lamp.wait()
            self.lamp = None
            return wait(lambda: not busctl("status", LAMPKEEPER), "dbusmock to go")
        open(MODE + ".new", "w").write(NOTE + ANSWERS[mode].format(late_ms))
        os.rename(MODE + ".new", MODE)
        if not self.lamp:
            mock = [sys.executable, "-m", "dbusmock", "--system", LAMPKEEPER]
            self.lamp = subprocess.Popen(
                mock + [LAMP_OBJECT, LAMPKEEPER], stdout=subprocess.DEVNULL
            )
            add = [LAMPKEEPER, LAMP_OBJECT, "org.freedesktop.DBus.Mock", "AddMethod"]
            method = ["sssss", "", "SetHealthFault", "b", "", METHOD]
            wait(lambda: busctl("call", *add, *method), "dbusmock")

    def do_release(self):  # the held call
        open(RELEASE, "w").close()

    def do_await(self):
        wait(lambda: len(self.calls()) > self.step_calls, "a call in this step")

    def do_forget(self):  # the calls so far
        self.forgotten = len(self.calls())

    def do_journal(self, off):  # journald keeps the socket it listens on
        os.rename(JOURNAL_SOCKET, JOURNAL_SOCKET + ".hidden")
        self.undo.append(lambda: os.rename(JOURNAL_SOCKET + ".hidden", JOURNAL_SOCKET))

    def do_bus(self, what):  # stop: no bus; fake: one that closes each connection
        pid = bus_daemon.pid if bus_daemon else int(os.environ["SANDBOX_DBUS_PID"])
        os.kill(pid, signal.SIGTERM)
        wait(lambda: not os.path.exists(BUS_SOCKET), "the bus to stop")
        self.undo.append(start_bus)
        if what == "fake":
            listener = socket.socket(socket.AF_UNIX)
            listener.bind(BUS_SOCKET)
            listener.listen()
            fake = subprocess.Popen([sys.executable, "-c", FAKE_BUS], stdin=listener)
            listener.close()
            self.undo += [fake.wait, lambda: os.remove(BUS_SOCKET), fake.kill]
