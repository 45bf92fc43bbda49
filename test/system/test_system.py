# The production service against a real bus, journal and inotify, inside
# scripts/sandbox: every row of cases.py, then the soak.
import collections, os, random, re, time
import pytest
from cases import CASES, MESSAGES
from sandbox_tools import LINES, LOG, PATIENCE, Sandbox


@pytest.mark.parametrize(
    "what, files, steps, calls, records, status", CASES, ids=[case[0] for case in CASES]
)
def test_case(what, files, steps, calls, records, status):
    sandbox = Sandbox(files)
    try:
        for step in (
            steps
            if any(step.startswith("start") for step in steps)
            else ["start", *steps]
        ):
            sandbox.step(step)
        assert (
            sandbox.service.wait(PATIENCE) == status
            if status is not None
            else sandbox.service.poll() is None
        )
        assert sandbox.values() == [value == "1" for value in calls.split()]
        assert sandbox.records() == [MESSAGES[key] for key in records.split()]
    finally:
        assert sandbox.close() == b"", "the service writes to the journal only"


def verdict(
    files,
):  # a critical line among the first 1000 of the walk, oldest rotation first
    walk = [
        kind
        for name in sorted(files, reverse=True)
        if name.startswith("redfish")
        for kind in files[name]
    ]
    return any(kind.split("-")[0] == "critical" for kind in walk[:1000])


def resources(pid):  # open descriptors, VmRSS in KiB
    return len(os.listdir(f"/proc/{pid}/fd")), int(
        re.search(r"VmRSS:\s*(\d+)", open(f"/proc/{pid}/status").read())[1]
    )


MODES, WARM_UP = {"answer": 45, "error": 20, "late": 8, "absent": 27}, {
    1: "error",
    2: "absent",
    3: "late",
}


def test_soak(capsys):
    # TIDEWATCH_SOAK_STEPS random changes (seeded), each one trigger, while the
    # stand-in switches in phases between answering, error, late and absent.
    # Every trigger gives exactly one call attempt: a call with the value the
    # log demands, or one error record. Descriptors stay; VmRSS does not grow
    # after the first tenth.
    steps, rnd, began = (
        int(os.environ.get("TIDEWATCH_SOAK_STEPS", "200")),
        random.Random(1),
        time.monotonic(),
    )
    kinds = list(LINES)
    weights = [
        {"critical": 3, "warning": 30, "ok": 20, "unknown": 15, "malformed": 12}[
            k.split("-")[0]
        ]
        for k in kinds
    ]
    sandbox, mode, phase, tally = Sandbox(), "answer", 0, collections.Counter()
    sandbox.step("start")
    assert sandbox.records() == [MESSAGES["start"]]
    pid, samples = sandbox.service.pid, [resources(sandbox.service.pid)]
    try:
        for n in range(1, steps + 2):
            ops, phase, files, before = (
                [],
                phase - 1,
                sandbox.files,
                len(sandbox.values()),
            )
            if (
                n > steps or phase < 0
            ):  # each way of a call first, to page in its code; a quiet answered trigger last
                mode = (
                    "answer"
                    if n > steps
                    else WARM_UP.get(n) or rnd.choices(list(MODES), MODES.values())[0]
                )
                ops, phase = [
                    f"lamp {mode} {rnd.randint(20, 200)}"
                ], 0 if n in WARM_UP else rnd.randint(0, 39)
            names = ["redfish"] + [f"redfish.{g}" for g in (1, 2, 3)]
            change = (
                "create"
                if "redfish" not in files
                else "rotate"
                if len(files["redfish"]) >= 40
                else rnd.choices(
                    ["append", "rotate", "delete", "clear"], [85, 8, 5, 2]
                )[0]
            )
            kind = rnd.choices(kinds, weights)[0]
            ops += {
                "create": ["create redfish"],
                "delete": ["delete redfish"],
                "clear": ["clear"],
                "append": [f"append redfish {kind}"],
                "rotate": ["delete redfish.3"] * ("redfish.3" in files)
                + [
                    f"rename {names[g]} {names[g + 1]}"
                    for g in (2, 1, 0)
                    if names[g] in files
                ]
                + ["create redfish"],
            }[change]
            sandbox.step(", ".join(ops))
            calls, failing = sandbox.values()[before:], mode in ("error", "absent")
            tally.update(
                [mode, change if change != "append" else kind.split("-")[0]],
                calls=len(calls),
                true=sum(calls),
                errors=failing,
            )
            assert (calls, sandbox.records()) == (
                [] if mode == "absent" else [verdict(files)],
                [MESSAGES["failed"]] * failing,
            ), f"step {n}: {ops}"
            samples += [resources(pid)] * (n % (steps // 10) == 0 or n > steps)
        on_disk = {
            name: open(f"{LOG}/{name}", "rb").read().count(b"\n")
            for name in os.listdir(LOG)
        }
        assert on_disk == {name: len(lines) for name, lines in sandbox.files.items()}
        with capsys.disabled():
            print(
                f"\nsoak: {steps} steps in {time.monotonic() - began:.1f} s; {dict(sorted(tally.items()))};\n"
                f"descriptors and VmRSS (KiB) at 0, every tenth and the end: {samples}"
            )
        assert all(
            fds == samples[0][0] for fds, _ in samples
        ), "open descriptors changed"
        # Under valgrind or AddressSanitizer memory grows by design.
        if (
            not os.environ.get("TIDEWATCH_TEST_WRAPPER")
            and "libasan" not in open(f"/proc/{pid}/maps").read()
        ):
            assert (
                samples[-1][1] - samples[1][1] <= 64
            ), "VmRSS grew after the first tenth"
    finally:
        assert sandbox.close() == b"", "the service writes to the journal only"
