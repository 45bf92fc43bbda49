# The system test cases, run one by one by test_system.py. A case names the
# layout of /var/log at the start (name: content), the steps, the
# SetHealthFault values the LED manager receives in order, the service's
# journal records (PRIORITY, MESSAGE) and its exit status (None: it must still
# be watching). A step is "verb args, verb args, ...", made back to back; the
# driver then waits until the service has handled them. The verbs are the do_
# methods of sandbox_tools.Sandbox, each explained there. The service starts
# before the first step unless a step starts it.
from dataclasses import dataclass
from sandbox_tools import LINES, TS

START = (6, "Starting xyz.openbmc_project.corvane.tidewatch")
FAILED = (3, "Error while setting health fault status")
ONE_FAILED, THREE_FAILED = (START, FAILED), (START, FAILED, FAILED, FAILED)
UNKNOWN = (3, "Unknown exception in xyz.openbmc_project.corvane.tidewatch")
ENDED = dict(records=(START, UNKNOWN), status=0)  # by the catch-all
INIT_FAILED = dict(records=(START, (3, "inotify_init() failed")), status=1)
WATCH_FAILED = dict(records=(START, (3, "inotify_add_watch() failed")), status=2)


@dataclass
class Case:
    what: str
    log: dict
    steps: list
    calls: list
    records: tuple = (START,)
    status: int = None


C, W, O = LINES["critical"], LINES["warning"], LINES["ok"]
TEN_MB, ONE_OK = b"x" * (10 << 20), {"redfish": O}
# Nothing critical: warnings, OK, a NUL ending a critical MessageId, invalid
# UTF-8 inside one, a last line of 10 MB without a newline.
NUL_IN_ID = TS + b"OpenBMC.0.1.CPUThermalTrip\0,1\n"
UTF8_IN_ID = TS + b"OpenBMC.0.1.CPU\xc3\x28ThermalTrip,1\n"
NOTHING = {"redfish.1": W + O + NUL_IN_ID + UTF8_IN_ID, "redfish": TEN_MB}
# Critical amid invalid UTF-8, after lines of NULs and invalid UTF-8.
AMID = {"redfish": b"\0\0\n\xff \xc3\x28\n\xff OpenBMC.0.1.CPUThermalTrip,\xc3\x28\n"}
# Critical with a 10 MB argument, after an old rotation of one 32 MB entry of
# 16 million arguments.
HUGE = {"redfish.3": TS + b"x," * (16 << 20) + b"\n", "redfish": C[:-1] + TEN_MB}
LINE_1000 = {"redfish.2": O * 600, "redfish.1": O * 399, "redfish": C}
LINE_1001 = {"redfish.2": O * 600, "redfish.1": O * 400, "redfish": C}
TEN_AFTER_TWO = {"redfish.10": C, "redfish.2": O * 1000}
# A change that triggers with the other answer: the service still watches and
# nothing else was queued ahead of it. Two calls when it creates redfish.
THEN_CRITICAL = "append redfish.9 critical, append redfish ok"
EACH = ["create redfish", "append redfish ok", "delete redfish", THEN_CRITICAL]
NAMES = ["redfish.1", "redfish.tmp", "Redfish", "redfis", "messages"]
OTHERS = ["rename redfish redfish.1", "rename redfish.1 redfish"]
OTHERS += [f"create {n}, append {n} critical, delete {n}" for n in NAMES]
OTHERS += [THEN_CRITICAL]
# Files vanish between the service's listing and its reading.
STORM = ", ".join(
    f"append redfish {['ok', 'critical'][i % 5 == 0]}, rename redfish redfish.1, "
    "create redfish, append redfish warning, rename redfish.1 redfish.2, "
    "delete redfish.2" + ", delete redfish" * (i % 3 == 0)
    for i in range(1000)
)
STORMS = [STORM, "clear, append redfish.1 critical", "forget, create redfish"]
HOLD = "lamp held, append redfish ok, await"  # the service waits for this reply
ONE_READ = [
    f"{HOLD}, lamp answer, append redfish ok, create messages, "
    "append redfish ok, append redfish.1 critical, delete redfish, release"
]
OVERFLOW = [f"{HOLD}, lamp answer, flood, append redfish critical, release"]
OVERFLOW += ["append redfish ok"]  # what the overflow lost is seen now
FILES = ["link redfish.9 /dev/zero, fifo redfish.8, append redfish critical"]
# Three calls that fail, then the stand-in is back for the next.
FAILING = ["start", "append redfish ok", "append redfish critical"]
FAILING += ["lamp answer, append redfish ok"]
ABSENT, ERROR = ["lamp absent", *FAILING], ["lamp error", *FAILING]
VANISH = [f"{HOLD}, rmlog, release"]
NO_INSTANCE, NO_WATCH = ["start max_inotify_instances"], ["start max_inotify_watches"]
GONE, DROPS = ["hide bus", "append redfish ok"], ["fake bus", "append redfish ok"]
TIMEOUT = ["lamp held, append redfish ok"]  # sd-bus gives up after 25 s
TIMEOUT += ["release, lamp answer, append redfish critical"]
QUIET = ["hide journal", "start", "append redfish critical"]
QUIET += ["lamp absent, delete redfish", "lamp answer, create redfish"]

CASES = [
    Case("start: nothing critical", NOTHING, [], [False]),
    Case("start: critical as line 1000 of the walk", LINE_1000, [], [True]),
    Case("start: critical as line 1001 of the walk", LINE_1001, [], [False]),
    Case("start: redfish.10 walked after redfish.2", TEN_AFTER_TWO, [], [False]),
    Case("bytes: critical with 10 MB argument, after a 32 MB entry", HUGE, [], [True]),
    Case("bytes: critical amid invalid UTF-8, after NULs", AMID, [], [True]),
    Case("files: a link to /dev/zero, a FIFO", ONE_OK, FILES, [False, True]),
    Case("trigger: create, modify, delete", {}, EACH, [False] * 4 + [True] * 2),
    Case("trigger: not renames, not other names", ONE_OK, OTHERS, [False, True]),
    Case(
        "trigger: each record of one read", ONE_OK, ONE_READ, [False] * 2 + [True] * 3
    ),
    Case("trigger: a rotation storm, then a quiet change", {}, STORMS, [True]),
    Case("trigger: the queue overflows", ONE_OK, OVERFLOW, [False, False, True]),
    Case("call: LED manager absent", ONE_OK, ABSENT, [True], THREE_FAILED),
    Case(
        "call: LED manager answers an error",
        ONE_OK,
        ERROR,
        [False] * 2 + [True] * 2,
        THREE_FAILED,
    ),
    Case(
        "call: slower than sd-bus's timeout",
        ONE_OK,
        TIMEOUT,
        [False, False, True],
        ONE_FAILED,
    ),
    Case("ends: /var/log vanishes", ONE_OK, VANISH, [False, False], **ENDED),
    Case("ends: /var/log missing at start", {}, ["rmlog", "start"], [], **ENDED),
    Case("ends: the bus goes away", ONE_OK, GONE, [False], **ENDED),
    Case("ends: the bus drops the connection", ONE_OK, DROPS, [False], **ENDED),
    Case("ends: no bus at start", {}, ["hide bus", "start"], [], **ENDED),
    Case("ends: no inotify instance", {}, NO_INSTANCE, [False], **INIT_FAILED),
    Case("ends: no inotify watch", {}, NO_WATCH, [False], **WATCH_FAILED),
    Case("silent: no journal socket", ONE_OK, QUIET, [False, True, False], ()),
]
