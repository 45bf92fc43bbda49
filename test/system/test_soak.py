# TIDEWATCH_SOAK_STEPS random changes of the event log (seeded) against one
# service, each change one trigger, while the LED manager switches between its
# answers and absence. Every trigger must give exactly one call or one error
# record, the open descriptors stay the same, and the memory a leak would grow
# (the heap and anonymous mappings, not the stack or pages of code) does not
# grow after the first tenth.
import os
import random
import re

from cases import FAILED
from sandbox_tools import LINES, LOG, WRAPPER, Sandbox

STEPS = int(os.environ.get("TIDEWATCH_SOAK_STEPS", "200"))
# each once first, to page in its code
MODES = ["error", "absent", "late", "answer"]
# rotation: each one older
AGES = ["redfish.3", "redfish.2", "redfish.1", "redfish"]


def usage(pid):
    # open descriptors, KiB resident in the heap and anonymous maps
    kib, leaky = 0, False
    for line in open(f"/proc/{pid}/smaps"):
        if re.match("[0-9a-f]+-", line):  # a mapping's header: its name last
            leaky = line.split()[5:] in ([], ["[heap]"])
        elif line.startswith("Rss:") and leaky:
            kib += int(line.split()[1])
    return len(os.listdir(f"/proc/{pid}/fd")), kib


def change(rnd):  # an append, a rotation, a deletion or clearing: one trigger
    files = os.listdir(LOG)
    if "redfish" not in files:
        return "create redfish"
    moves = zip(AGES, AGES[1:])  # (to, from), the oldest first
    rotation = [f"rename {a} {b}, " for b, a in moves if a in files]
    append = f"append redfish {rnd.choice(list(LINES))}"
    rotate = "".join(rotation) + "create redfish"
    changes = [append, "delete redfish", "clear", rotate]
    return rnd.choices(changes, [85, 5, 2, 8])[0]


def test_soak():
    rnd, samples = random.Random(1), []
    with Sandbox() as sandbox:
        sandbox.step("start")
        pid, seen = sandbox.service.pid, len(sandbox.records())
        for n in range(STEPS):
            if n < len(MODES) or rnd.random() < 0.03:
                mode = MODES[n] if n < len(MODES) else rnd.choice(MODES)
                sandbox.step(f"lamp {mode} {rnd.randint(20, 200)}")
            calls, ops = len(sandbox.calls()), change(rnd)
            sandbox.step(ops)
            records = sandbox.records()
            called = len(sandbox.calls()) - calls
            assert called == (mode != "absent"), f"{n}: {ops}"
            failed = [FAILED] * (mode in ("error", "absent"))
            assert records[seen:] == failed, ops
            seen = len(records)
            if n % (STEPS // 10 or 1) == 0 or n == STEPS - 1:
                samples.append(usage(pid))
        print(f"descriptors and heap (KiB) at every tenth: {samples}")
        descriptors = {fds for fds, _ in samples}
        assert len(descriptors) == 1, "open descriptors changed"
        # Under valgrind or AddressSanitizer memory grows by design.
        if not WRAPPER and "libasan" not in open(f"/proc/{pid}/maps").read():
            grown = samples[-1][1] - samples[1][1]
            assert grown <= 32, "heap grew after a tenth"
