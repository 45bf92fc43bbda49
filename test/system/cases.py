# The system test cases, one row each, run by test_system.py's driver:
# (what, layout of /var/log, steps, SetHealthFault values received in order,
# journal records, exit status or None when it must still be watching).
#
# A step is "verb args, verb args, ...", made back to back; the driver then
# waits until the service has handled them. The service starts before the
# first step unless a step starts it. Verbs (sandbox_tools.Sandbox.step):
# append NAME KIND (one write of a line of sandbox_tools.LINES), create,
# delete, rename, clear (the event log), rmlog (/var/log itself), flood (the
# inotify queue), lamp answer|error|late MS|held|absent, release (a held call),
# await (a call in this step), forget (the calls so far), bus stop|fake,
# journal off, start [INOTIFY-LIMIT].
from sandbox_tools import LINES, TS

C, W, O = LINES["critical"], LINES["warning"], LINES["ok"]
TEN_MB = b"x" * (10 << 20)
MESSAGES = {
    "start": (6, "Starting xyz.openbmc_project.corvane.tidewatch"),
    "failed": (3, "Error while setting health fault status"),
    "unknown": (3, "Unknown exception in xyz.openbmc_project.corvane.tidewatch"),
    "init": (3, "inotify_init() failed"),
    "watch": (3, "inotify_add_watch() failed"),
}
# A change that triggers with the other answer: the service still watches and
# nothing else was queued ahead of it. Two calls when it creates redfish.
THEN_CRITICAL = "append redfish.9 critical, append redfish ok"
OTHER_NAMES = ["redfish.1", "redfish.tmp", "Redfish", "redfis", "messages"]
# Files vanish between the service's listing and its reading.
STORM = ", ".join(
    f"append redfish {'critical' if i % 5 == 0 else 'ok'}, rename redfish redfish.1, create redfish, "
    "append redfish warning, rename redfish.1 redfish.2, delete redfish.2"
    + ", delete redfish" * (i % 3 == 0)
    for i in range(1000)
)
HOLD = "lamp held, append redfish ok, await"  # the service waits for this call's reply
# Three calls that fail, then the stand-in is back for the next.
FAILING_CALLS = [
    "append redfish ok",
    "append redfish critical",
    "lamp answer, append redfish ok",
]


def case(what, files, steps, calls, records="start", status=None):
    return what, files, steps, calls, records, status


# fmt: off
CASES = [
    case("start: empty log", {}, [], "0"),
    case("start: warnings and OK entries", {"redfish": W + O}, [], "0"),
    case("start: a critical entry", {"redfish": O + C}, [], "1"),
    case("start: critical as line 999 of the walk", {"redfish.2": O * 600, "redfish.1": O * 399, "redfish": C}, [], "1"),
    case("start: critical as line 1100 of the walk", {"redfish.2": O * 600, "redfish.1": O * 500, "redfish": C}, [], "0"),
    case("start: redfish.10 walked after redfish.2", {"redfish.10": C, "redfish.2": O * 1000}, [], "0"),
    case("bytes: a 10 MB line without newline", {"redfish": TEN_MB}, [], "0"),
    case("bytes: critical after a 10 MB line", {"redfish": TEN_MB + b"\n" + C}, [], "1"),
    case("bytes: critical with a 10 MB argument", {"redfish": C[:-1] + TEN_MB}, [], "1"),
    case("bytes: critical after NULs and invalid UTF-8", {"redfish": b"\0\0\0\n\xff\xfe \xc3\x28\x80\n" + C}, [], "1"),
    case("bytes: invalid UTF-8 around a critical MessageId", {"redfish": b"\xff\xfe OpenBMC.0.1.CPUThermalTrip,\xc3\x28\n"},
         [], "1"),
    case("bytes: NUL ending a critical MessageId", {"redfish": TS + b"OpenBMC.0.1.CPUThermalTrip\0,1\n"}, [], "0"),
    case("bytes: invalid UTF-8 in a critical MessageId", {"redfish": TS + b"OpenBMC.0.1.CPU\xc3\x28ThermalTrip,1\n"}, [], "0"),
    case("trigger: creating redfish", {}, ["create redfish", THEN_CRITICAL], "0 0 1"),
    case("trigger: modifying redfish", {"redfish": O}, ["append redfish ok", THEN_CRITICAL], "0 0 1"),
    case("trigger: deleting redfish", {"redfish": O}, ["delete redfish", THEN_CRITICAL], "0 0 1 1"),
    case("trigger: renaming redfish away and back does not", {"redfish": O},
         ["rename redfish redfish.1", "rename redfish.1 redfish", THEN_CRITICAL], "0 1"),
    case("trigger: other names do not", {}, [f"create {n}, append {n} critical, delete {n}" for n in OTHER_NAMES] +
         [THEN_CRITICAL], "0 1 1"),
    case("trigger: every redfish record of one read, in order", {"redfish": O}, [
        f"{HOLD}, lamp answer, append redfish ok, create messages, append redfish ok, append redfish.1 critical, "
        "delete redfish, release"], "0 0 1 1 1"),
    case("trigger: a rotation storm, then a quiet change", {}, [STORM, "clear, append redfish.1 critical",
                                                                 "forget, create redfish"], "1"),
    case("trigger: the queue overflows", {"redfish": O}, [
        f"{HOLD}, lamp answer, flood, append redfish critical, release", "append redfish ok"], "0 0 1"),
    case("call: LED manager absent", {"redfish": O}, ["lamp absent", "start", *FAILING_CALLS], "1", "start" + " failed" * 3),
    case("call: LED manager answers an error", {"redfish": O}, ["lamp error", "start", *FAILING_CALLS], "0 0 1 1",
         "start" + " failed" * 3),
    case("call: slower than sd-bus's timeout", {"redfish": O}, [
        "lamp held, append redfish ok", "release, lamp answer, append redfish critical"], "0 0 1", "start failed"),
    case("ends: /var/log vanishes", {"redfish": O}, [f"{HOLD}, rmlog, release"], "0 0", "start unknown", 0),
    case("ends: /var/log missing at start", {}, ["rmlog", "start"], "", "start unknown", 0),
    case("ends: the bus goes away", {"redfish": O}, ["bus stop", "append redfish ok"], "0", "start unknown", 0),
    case("ends: the bus closes the connection", {"redfish": O}, ["bus fake", "append redfish ok"], "0", "start unknown", 0),
    case("ends: no bus at start", {}, ["bus stop", "start"], "", "start unknown", 0),
    case("ends: no inotify instance", {}, ["start max_inotify_instances"], "0", "start init", 1),
    case("ends: no inotify watch", {}, ["start max_inotify_watches"], "0", "start watch", 2),
    case("silent: no journal socket", {"redfish": O}, ["journal off", "start", "append redfish critical",
                                                       "lamp absent, delete redfish", "lamp answer, create redfish"],
         "0 1 0", ""),
]
# fmt: on
