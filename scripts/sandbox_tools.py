# What the system tests, the demo and the end-to-end benchmark share, inside
# scripts/sandbox: the production service (TIDEWATCH_EXE, behind the command
# prefix TIDEWATCH_TEST_WRAPPER), dbusmock playing the LED manager on the
# sandbox's system bus, /var/log changed one system call at a time, and the
# service's journal records as journald stored them. Every wait is for a
# condition; the bound only decides how long a failure takes.
import ctypes, fcntl, json, os, re, shlex, signal, socket, subprocess, sys, termios, time
from systemd import journal

LOG, SCRATCH, BUS_SOCKET = "/var/log", "/var/tmp", "/run/dbus/system_bus_socket"
JOURNAL_SOCKET = "/run/systemd/journal/socket"
LAMPKEEPER, LAMP_OBJECT = (
    "xyz.openbmc_project.corvane.lampkeeper",
    "/xyz/openbmc_project/corvane/lampkeeper",
)
CALLS, MODE, RELEASE = (f"{SCRATCH}/lampkeeper.{n}" for n in ("calls", "py", "release"))
PATIENCE = 150  # the service may run under valgrind; one case outlasts sd-bus's 25 s call timeout
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
# dbusmock notes each value received and when, then does what the mode file says.
METHOD = f"open({CALLS!r}, 'a').write(f'{{time.monotonic_ns()}} {{bool(args[0])}}\\n'); exec(open({MODE!r}).read())"
ANSWERS = {
    "answer": "",
    "late": "time.sleep({}/1000)",
    "held": f"while not os.path.exists({RELEASE!r}): time.sleep(.005)",
    "error": "raise dbus.exceptions.DBusException('refused', name='org.freedesktop.DBus.Error.Failed')",
}
CHANGES = {"append", "create", "delete", "rename", "clear", "rmlog", "flood"}
bus_daemon = None  # ours, once a case stopped the sandbox's own


def wait(done, what, patience=PATIENCE):
    deadline = time.monotonic() + patience
    while not done():
        assert time.monotonic() < deadline, f"gave up waiting for {what}"
        time.sleep(0.001)


def busctl(*args):  # each time a fresh connection: the bus may have been replaced
    return (
        subprocess.run(["busctl", "--system", *args], capture_output=True).returncode
        == 0
    )


def start_bus():
    global bus_daemon
    bus_daemon = subprocess.Popen(
        [
            "dbus-daemon",
            "--config-file=" + os.environ["SANDBOX_BUS_CONFIG"],
            "--nofork",
            "--nopidfile",
        ],
        stderr=subprocess.DEVNULL,
    )
    wait(lambda: busctl("status"), "the bus to answer")


def idle(pid):
    # Asleep in read() on its inotify descriptor with nothing queued: it has
    # handled every change made before. The queue is looked at first, so a
    # read() seen after it is the one that follows.
    try:
        fds = {
            os.readlink(f"/proc/{pid}/fd/{fd}"): int(fd)
            for fd in os.listdir(f"/proc/{pid}/fd")
        }
        fd, pidfd = fds.get("anon_inode:inotify"), os.pidfd_open(pid)
        copy = (
            -1 if fd is None else ctypes.CDLL(None).syscall(438, pidfd, fd, 0)
        )  # pidfd_getfd
        os.close(pidfd)
        queued = copy >= 0 and fcntl.ioctl(copy, termios.FIONREAD, bytes(4))
        copy >= 0 and os.close(copy)
        with open(f"/proc/{pid}/syscall") as call:  # x86-64's read() is system call 0
            return queued == bytes(4) and call.read().split()[:2] == ["0", hex(fd)]
    except OSError:  # it opened or closed a file, or ended, meanwhile
        return False


class Sandbox:
    # /var/log laid out afresh, the stand-in answering, at most one service;
    # close() puts back what a case took away from the sandbox.
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
        self.set_lamp("answer")

    def close(self):  # returns what the service wrote on stdout and stderr
        if self.service and self.service.poll() is None:
            self.service.terminate(), self.service.wait()
        self.set_lamp("absent")
        for undo in reversed(self.undo):
            undo()
        return self.service and open(self.out.name, "rb").read()

    def calls(
        self,
    ):  # every SetHealthFault value received, in order, and when (CLOCK_MONOTONIC ns)
        lines = open(CALLS).read().splitlines() if os.path.exists(CALLS) else []
        return [
            (int(m[1]), m[2] == "True")
            for m in map(re.compile(r"(\d+) (True|False)").fullmatch, lines)
            if m
        ]

    def values(self):
        return [value for _, value in self.calls()[self.forgotten :]]

    def records(self):
        # The service's records not returned before, as (PRIORITY, MESSAGE), once
        # journald has stored all it received; every other field is checked here.
        os.path.exists(synced := "/run/systemd/journal/synced") and os.remove(synced)
        os.kill(int(os.environ["SANDBOX_JOURNALD_PID"]), signal.SIGRTMIN + 1)
        wait(lambda: os.path.exists(synced), "journald to sync")
        self.reader.process()
        found = []
        for entry in self.reader:
            fields = {
                key: value for key, value in entry.items() if not key.startswith("_")
            }
            assert fields.pop("CODE_FILE").endswith(
                "/usr/include/phosphor-logging/log.hpp"
            )
            assert (
                re.fullmatch(r"\d+", fields["TRANSACTION_ID"])
                and int(fields.pop("TRANSACTION_ID")) < 2**64
            )
            found.append((int(fields.pop("PRIORITY")), fields.pop("MESSAGE")))
            assert fields == {
                "CODE_LINE": "77",
                "CODE_FUNC": "helper_log",
                "SYSLOG_IDENTIFIER": "tidewatch",
            }
        return found

    def settle(self):  # until the service has handled every change so far, or ended
        wait(
            lambda: self.service.poll() is not None or idle(self.service.pid),
            "the service to handle every change",
        )

    def step(self, ops):
        # Makes the changes "verb args, verb args, ..." back to back, then
        # settles. If the service still watches and a call came, the explain
        # tool must judge the log as the service did.
        verbs = {
            "start": self.start,
            "append": self.append,
            "create": lambda name: self.append(name, None, os.O_EXCL),
            "delete": lambda name: (
                os.remove(f"{LOG}/{name}"),
                self.files.pop(name, None),
            ),
            "rename": self.rename,
            "clear": self.clear,
            "flood": self.flood,
            "lamp": self.set_lamp,
            "bus": self.replace_bus,
            "rmlog": lambda: (
                subprocess.run(["rm", "-r", LOG], check=True),
                self.files.clear(),
            ),
            "release": lambda: open(RELEASE, "w").close(),
            "await": lambda: wait(
                lambda: len(self.calls()) > self.step_calls, "a call in this step"
            ),
            "forget": lambda: setattr(self, "forgotten", len(self.calls())),
            "journal": lambda off: (
                os.rename(
                    JOURNAL_SOCKET, JOURNAL_SOCKET + ".hidden"
                ),  # journald keeps it
                self.undo.append(
                    lambda: os.rename(JOURNAL_SOCKET + ".hidden", JOURNAL_SOCKET)
                ),
            ),
        }
        self.step_calls, changed = len(self.calls()), 0
        for verb, *args in (op.split() for op in ops.split(", ") if op):
            verbs[verb](*args)
            changed = time.monotonic_ns() if verb in CHANGES else changed
        self.service and self.settle()
        # Only a call made after the last change judged the log as it is now.
        answered = len(self.calls()) > self.step_calls and self.calls()[-1][0] > changed
        if (
            (explain := os.environ.get("TIDEWATCH_EXPLAIN"))
            and answered
            and self.service.poll() is None
        ):
            run = subprocess.run([explain, "--json", LOG], capture_output=True)
            said = json.loads(run.stdout)["healthFault"]
            assert (said, run.returncode) == (
                self.calls()[-1][1],
                int(said),
            ), f"tidewatch-explain after {ops!r}"

    def start(
        self, inotify_limit=None
    ):  # with a limit: in a user namespace where that limit is 0
        launcher = (
            [
                "unshare",
                "--user",
                "--map-root-user",
                "sh",
                "-c",
                f'echo 0 >/proc/sys/user/{inotify_limit} && exec "$@"',
                "sh",
            ]
            if inotify_limit
            else []
        )
        self.out = open(f"{SCRATCH}/tidewatch.out", "wb")
        self.service = subprocess.Popen(
            launcher
            + shlex.split(os.environ.get("TIDEWATCH_TEST_WRAPPER", ""))
            + [os.environ["TIDEWATCH_EXE"]],
            stdin=subprocess.DEVNULL,
            stdout=self.out,
            stderr=self.out,
        )
        self.reader = journal.Reader(
            path=os.environ["SANDBOX_JOURNAL_DIR"],
            converters={"CODE_LINE": bytes.decode},
        )
        self.reader.add_match(_PID=str(self.service.pid))
        self.reader.fileno()  # so that it finds the files journald starts later

    def append(
        self, name, kind=None, flags=os.O_APPEND
    ):  # one write(): one inotify record
        fd = os.open(f"{LOG}/{name}", os.O_WRONLY | os.O_CREAT | flags, 0o644)
        kind and os.write(fd, LINES[kind])
        os.close(fd)
        self.files.setdefault(name, []).extend([kind] if kind else [])

    def rename(self, old, new):
        os.rename(f"{LOG}/{old}", f"{LOG}/{new}")
        self.files[new] = self.files.pop(old, [])

    def clear(self):  # the event log, "redfish" last: its deletion is the trigger
        for name in sorted(
            (n for n in os.listdir(LOG) if n.startswith("redfish")),
            key=lambda n: n == "redfish",
        ):
            os.remove(f"{LOG}/{name}")
            self.files.pop(name, None)

    def flood(
        self,
    ):  # as many records as the inotify queue holds, two names in turn so that none merge
        for n in range(int(open("/proc/sys/fs/inotify/max_queued_events").read())):
            self.append(f"flood.{n % 2}", "ok")

    def set_lamp(
        self, mode, late_ms="0"
    ):  # answer, error, late MS, held (until release) or absent
        if mode == "absent":
            self.lamp and (self.lamp.terminate(), self.lamp.wait())
            self.lamp = None
            return wait(
                lambda: not busctl("status", LAMPKEEPER), "the name to be released"
            )
        open(MODE + ".new", "w").write(ANSWERS[mode].format(late_ms))
        os.rename(MODE + ".new", MODE)
        if not self.lamp:
            self.lamp = subprocess.Popen(
                [
                    sys.executable,
                    "-m",
                    "dbusmock",
                    "--system",
                    LAMPKEEPER,
                    LAMP_OBJECT,
                    LAMPKEEPER,
                ],
                stdout=subprocess.DEVNULL,
            )
            wait(
                lambda: busctl(
                    "call",
                    LAMPKEEPER,
                    LAMP_OBJECT,
                    "org.freedesktop.DBus.Mock",
                    "AddMethod",
                    "sssss",
                    "",
                    "SetHealthFault",
                    "b",
                    "",
                    METHOD,
                ),
                "dbusmock",
            )

    def replace_bus(
        self, what
    ):  # stop: no bus; fake: a socket that accepts each connection and closes it at once
        bus_daemon.terminate() if bus_daemon else os.kill(
            int(os.environ["SANDBOX_DBUS_PID"]), signal.SIGTERM
        )
        wait(lambda: not os.path.exists(BUS_SOCKET), "the bus to stop")
        self.undo.append(start_bus)
        if what == "fake":
            listener = socket.socket(socket.AF_UNIX)
            listener.bind(BUS_SOCKET), listener.listen()
            accepter = subprocess.Popen(
                [
                    sys.executable,
                    "-c",
                    "import socket\nbus = socket.socket(fileno=0)\n"
                    "while True: bus.accept()[0].close()",
                ],
                stdin=listener,
            )
            listener.close()
            self.undo.append(
                lambda: (accepter.kill(), accepter.wait(), os.remove(BUS_SOCKET))
            )
