# The service inside scripts/sandbox, as the system tests drive it:
# the production binary (TIDEWATCH_EXE, behind the command
# prefix TIDEWATCH_TEST_WRAPPER), lampkeeper.py as the LED manager on the
# sandbox's system bus, /var/log changed one system call at a time, and the
# service's journal records as journald stored them. Every wait is for a
# condition; PATIENCE only bounds how long a failure takes to show.
import ctypes
import fcntl
import json
import os
import re
import shlex
import socket
import sys
import termios
import time
from subprocess import DEVNULL, PIPE, Popen, run

from dbusmock import MOCK_IFACE, DBusTestCase

LOG = "/var/log"
OUT = "/var/tmp/tidewatch.out"
CALLS = "/var/tmp/lampkeeper.calls"
BUS = "/run/dbus/system_bus_socket"
# The sandbox's bus for the service, the stand-in and this process alike,
# whatever bus the caller's environment named.
os.environ["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={BUS}"
LAMP = "xyz.openbmc_project.corvane.lampkeeper"
TEMPLATE = f"{os.path.dirname(os.path.abspath(__file__))}/lampkeeper.py"
WRAPPER = shlex.split(os.environ.get("TIDEWATCH_TEST_WRAPPER", ""))
# one case outlasts sd-bus's 25 s call timeout
PATIENCE = 300 if WRAPPER else 60
TS = b"1970-01-01T00:00:13.052207+00:00 "
# Event log lines by kind; the part before "-" is the verdict a line gets.
LINES = {
    "critical": TS + b"OpenBMC.0.1.CPUThermalTrip,1\n",
    "critical-quor": TS + b"Quor.1.0.PSU0001,PSU2\n",
    "warning": TS + b"OpenBMC.0.1.PowerSupplyFailed,PSU1\n",
    "ok": TS + b"OpenBMC.0.1.DCPowerOn,\n",
    "unknown": TS + b"OpenBMC.0.1.NoSuchMessage,1\n",
    # the CR is in the MessageId
    "unknown-cr": TS + b"OpenBMC.0.1.CPUThermalTrip\r\n",
}
# A bus that takes each connection on its stdin and closes it at once.
FAKE_BUS = "import socket\ns = socket.socket(fileno=0)\nwhile 1: s.accept()[0].close()"
INOTIFY = "anon_inode:inotify"  # what its descriptor links to in /proc
with open("/proc/thread-self/syscall", "rb", buffering=0) as own:
    READ = own.read(64).split()[0].decode()  # this very read(2)'s number


def wait(done, what):
    deadline = time.monotonic() + PATIENCE
    while not done():
        assert time.monotonic() < deadline, f"gave up waiting for {what}"
        time.sleep(0.001)


class Sandbox:
    # /var/log laid out afresh (name: content), the LED manager answering, at
    # most one service. step() makes changes by the do_ methods, one for each
    # verb. Leaving the with-block ends it all, puts back what a case took
    # from the sandbox and fails when the service wrote on stdout or stderr.
    def __init__(self, layout={}):
        mounts = [line.split()[1:3] for line in open("/proc/mounts")]
        assert ["/var", "tmpfs"] in mounts, "run me in scripts/sandbox"
        self.service, self.lamp, self.undo = None, None, []
        run(["rm", "-rf", LOG, CALLS, CALLS + ".release"], check=True)
        os.mkdir(LOG)
        for name, content in layout.items():
            open(f"{LOG}/{name}", "wb").write(content)
        self.do_lamp("answer")

    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.service and self.service.poll() is None:
            self.service.terminate()
            self.service.wait()
        for undo in reversed(self.undo):
            undo()
        self.do_lamp("absent")
        output = open(OUT, "rb").read() if self.service else b""
        message = f"the service wrote outside the journal: {output[:999]!r}"
        assert not output, message

    def calls(self):  # the value of every SetHealthFault received, in order
        text = open(CALLS).read() if os.path.exists(CALLS) else ""
        return [value == "True" for value in re.findall(r"\d+ (\w+)\n", text)]

    def records(self):  # the service's journal records as (PRIORITY, MESSAGE)
        # returns once journald has stored all it was sent before
        run(["journalctl", "--sync"], check=True)
        # PIDs recur: not an earlier service's
        since = f"--since=@{self.started}"
        query = ["journalctl", "-qojson", f"_PID={self.service.pid}", since]
        found = map(json.loads, run(query, stdout=PIPE).stdout.splitlines())
        return [(int(r["PRIORITY"]), r["MESSAGE"]) for r in found]

    def idle(self):
        # Ended, or asleep in read() on its inotify descriptor with nothing
        # queued: it has handled every change made before. The queue is looked
        # at first, so a read() seen after it is the one that follows.
        if self.service.poll() is not None:
            return True
        fds = f"/proc/{self.service.pid}/fd/"
        try:
            names = os.listdir(fds)
            fd = [n for n in names if os.readlink(fds + n) == INOTIFY][0]
            pidfd = os.pidfd_open(self.service.pid)
            # glibc 2.36
            copy = ctypes.CDLL(None).pidfd_getfd(pidfd, int(fd), 0)
            os.close(pidfd)
            queued = fcntl.ioctl(copy, termios.FIONREAD, bytes(4))
            os.close(copy)
            call = open(fds + "../syscall").read().split()[:2]
            return queued == bytes(4) and call == [READ, hex(int(fd))]
        except (OSError, IndexError, ValueError):
            # a file came or went, or it ended
            return False

    def settle(self):
        # until the service has handled every change so far, or ended
        wait(self.idle, "the service to handle every change")

    def step(self, ops):
        # the changes "verb args, verb args, ...", then settles
        self.step_calls = len(self.calls())
        for verb, *args in (op.split() for op in ops.split(", ") if op):
            getattr(self, "do_" + verb)(*args)
        if self.service:
            self.settle()

    # start [LIMIT]: starts the service, with the inotify LIMIT
    # (max_inotify_instances or max_inotify_watches) at 0 if given.
    def do_start(self, limit=None):
        command = [*WRAPPER, os.environ["TIDEWATCH_EXE"]]
        if limit:  # in a user namespace of its own
            script = f'echo 0 >/proc/sys/user/{limit} && exec "$@"'
            command = ["unshare", "-Ur", "sh", "-c", script, "sh", *command]
        out, self.started = open(OUT, "wb"), time.time()
        self.service = Popen(command, stdin=DEVNULL, stdout=out, stderr=out)

    # append NAME [KIND]: one write() of LINES[KIND] (or of nothing) to NAME,
    # which is made if missing: one inotify record at most. create NAME: a new
    # empty file. rmlog: /var/log itself is removed.
    def do_append(self, name, kind=None, flags=os.O_APPEND):
        fd = os.open(f"{LOG}/{name}", os.O_WRONLY | os.O_CREAT | flags, 0o644)
        os.write(fd, LINES[kind] if kind else b"")
        os.close(fd)

    def do_create(self, name):
        self.do_append(name, None, os.O_EXCL)

    def do_delete(self, name):
        os.remove(f"{LOG}/{name}")

    def do_rename(self, old, new):
        os.rename(f"{LOG}/{old}", f"{LOG}/{new}")

    def do_rmlog(self):
        run(["rm", "-r", LOG], check=True)

    # clear: the event log, "redfish" last: its deletion is the trigger.
    def do_clear(self):
        names = [n for n in os.listdir(LOG) if n.startswith("redfish")]
        for name in sorted(names, key=lambda name: name == "redfish"):
            self.do_delete(name)

    # lamp answer|error|late MS|held|absent: how the LED manager answers from
    # now on (see lampkeeper.py), or that it leaves the bus.
    def do_lamp(self, mode, milliseconds="0"):
        if mode == "absent":
            if self.lamp:
                self.lamp.terminate(), self.lamp.wait()
            self.lamp = None
            owned = DBusTestCase.get_dbus(system_bus=True).name_has_owner
            return wait(lambda: not owned(LAMP), "the LED manager to go")
        if not self.lamp:  # returns once it is on the bus
            spawn = DBusTestCase.spawn_server_template
            mock = spawn(TEMPLATE, {"calls": CALLS}, DEVNULL, system_bus=True)
            self.lamp, self.mock = mock
        self.mock.SetAnswer(mode, int(milliseconds), dbus_interface=MOCK_IFACE)

    def do_release(self):  # the held calls: they are answered now
        open(CALLS + ".release", "w").close()

    def do_await(self):  # a call in this step, before the next verb
        what = "a call in this step"
        wait(lambda: len(self.calls()) > self.step_calls, what)

    def do_hidebus(self):
        # the bus's socket is hidden; the daemon runs on
        os.rename(BUS, BUS + ".hidden")
        self.undo.append(lambda: os.rename(BUS + ".hidden", BUS))

    def do_fakebus(self):
        # a bus that closes each connection at once
        self.do_hidebus()
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(BUS)
        listener.listen()
        fake = Popen([sys.executable, "-c", FAKE_BUS], stdin=listener)
        listener.close()
        self.undo += [lambda: os.remove(BUS), fake.wait, fake.kill]
