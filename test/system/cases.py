# The system test cases, run one by one by test_system.py. A case names the
# layout of /var/log at the start (name: content), the steps, the
# SetHealthFault values the LED manager receives in order, the service's
# journal records (PRIORITY, MESSAGE) and its exit status (None: it must still
# be watching). A step is "verb args, verb args, ...", made back to back; the
# driver then waits until the service has handled them. The verbs are the do_
# methods of sandbox_tools.Sandbox, each explained there. The service starts
# before the first step unless a step starts it. Which lines are critical, and
# where the 1000-line window ends, is the unit tests' matter: these cases are
# about what only the running service shows.
from dataclasses import dataclass

from sandbox_tools import LINES

START = (6, "Starting xyz.openbmc_project.corvane.tidewatch")
FAILED = (3, "Error while setting health fault status")
UNKNOWN = (3, "Unknown exception in xyz.openbmc_project.corvane.tidewatch")
ENDED = dict(records=(START, UNKNOWN), status=0)  # by the catch-all
NO_INIT = dict(records=(START, (3, "inotify_init() failed")), status=1)
NO_WATCH = dict(records=(START, (3, "inotify_add_watch() failed")), status=2)


@dataclass
class Case:
    what: str
    log: dict
    steps: list
    calls: list
    records: tuple = (START,)
    status: int = None


OK = {"redfish": LINES["ok"]}
# A change that triggers with the other answer: the service still watches and
# nothing else was queued ahead of it. Two calls when it creates redfish.
THEN_CRITICAL = "append redfish.9 critical, append redfish ok"
EACH = ["create redfish", "append redfish ok", "delete redfish", THEN_CRITICAL]
NAMES = ["redfish.1", "redfish.tmp", "Redfish", "redfis", "messages"]
OTHERS = ["rename redfish redfish.1", "rename redfish.1 redfish"]
OTHERS += [f"create {n}, append {n} critical, delete {n}" for n in NAMES]
OTHERS += [THEN_CRITICAL]
# the service waits for this reply
HOLD = "lamp held, append redfish ok, await"
# queued while the service waits, then read at once
QUEUED = "append redfish ok, create messages, append redfish ok"
QUEUED += ", append redfish.1 critical, delete redfish"
ONE_READ = [f"{HOLD}, lamp answer, {QUEUED}, release"]
# Three calls that fail, then the stand-in is back for the next.
FAILING = ["start", "append redfish ok", "append redfish critical"]
FAILING += ["lamp answer, append redfish ok"]
ABSENT = ["lamp absent", *FAILING]
GONE = ["hidebus", "append redfish ok"]
DROPS = ["fakebus", "append redfish ok"]
VANISHES, NO_LOG = [f"{HOLD}, rmlog, release"], ["rmlog", "start"]
# that inotify limit at 0
NO_INSTANCE = ["start max_inotify_instances"]
NO_WATCHES = ["start max_inotify_watches"]
THREE_FAILED, F, T = (START, FAILED, FAILED, FAILED), False, True

CASES = [
    Case("trigger: create, modify, delete", {}, EACH, [F, F, F, F, T, T]),
    Case("trigger: not renames, not other names", OK, OTHERS, [F, T]),
    Case("trigger: each record of one read", OK, ONE_READ, [F, F, T, T, T]),
    Case("call: LED manager absent", OK, ABSENT, [T], THREE_FAILED),
    Case("ends: /var/log vanishes", OK, VANISHES, [F, F], **ENDED),
    Case("ends: /var/log missing at start", {}, NO_LOG, [], **ENDED),
    Case("ends: the bus goes away", OK, GONE, [F], **ENDED),
    Case("ends: the bus drops the connection", OK, DROPS, [F], **ENDED),
    Case("ends: no inotify instance", {}, NO_INSTANCE, [F], **NO_INIT),
    Case("ends: no inotify watch", {}, NO_WATCHES, [F], **NO_WATCH),
]
