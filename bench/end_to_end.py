#!/usr/bin/python3
# The service end to end: the time from the one write() that appends a line to
# /var/log/redfish to the LED manager (lampkeeper.py) receiving SetHealthFault,
# for an empty log and a typical one: four files of 64 KiB of realistic lines,
# none critical. Both clocks are CLOCK_MONOTONIC, read by the writer and by
# the stand-in. scripts/bench runs it inside scripts/sandbox, with TIDEWATCH_EXE
# naming the binary and PYTHONPATH test/system, where sandbox_tools.py lives.
#
#   end_to_end.py [TRIGGERS]
import datetime, os, random, statistics, sys, time
from sandbox_tools import LINES, LOG, Sandbox, wait

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TRIGGERS, WARM_UP = int(sys.argv[1]) if len(sys.argv) > 1 else 300, 20
PREFIXES = {"base": "Base.1.8.", "openbmc": "OpenBMC.0.1.", "quor": "Quor.1.0."}
ARGS = ["PSU1", "CPU0_DIMM_A1", "Power Supply 2 input lost", "2.14.0-dev-1042-g3c8e2f1"]
ARGS += ["Inlet_Temp", "/redfish/v1/Systems/system/Memory/dimm0", "0x3A", "host0"]
MAY_1ST = datetime.datetime(2024, 5, 1, tzinfo=datetime.timezone.utc)


def typical_log(rnd):
    # Shaped like a BMC's: every message of the registries that is not
    # critical, with arguments of its types: about 3,900 lines of 67 bytes.
    rows, files, second = [], {}, 0
    for registry, prefix in PREFIXES.items():
        for line in open(f"{REPO}/src/registries/{registry}.tsv"):
            key, severity, types, *_ = line.split("\t") + ["", ""]
            if not line.startswith("#") and severity != "Critical":
                rows.append((prefix + key, types.split(",") if types else []))
    for name in ["redfish.3", "redfish.2", "redfish.1", "redfish"]:
        lines = []
        while sum(map(len, lines)) < 64 * 1024:
            message, types = rnd.choice(rows)
            second += rnd.randrange(1, 300)
            args = [
                str(rnd.randrange(1000)) if t == "number" else rnd.choice(ARGS)
                for t in types
            ]
            stamp = MAY_1ST + datetime.timedelta(
                seconds=second, microseconds=rnd.randrange(10**6)
            )
            lines.append(f"{stamp.isoformat()} {message},{','.join(args)}\n".encode())
        files[name] = b"".join(lines)
    return files


def cpu_microseconds(pid):  # user and system time, which the load does not inflate
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return sum(map(int, fields[11:13])) * 1e6 / os.sysconf("SC_CLK_TCK")


def measure(name, files):
    latencies, cpu = [], 0
    with Sandbox(files) as sandbox:
        sandbox.step("start")
        for trigger in range(WARM_UP + TRIGGERS):
            if trigger == WARM_UP:
                cpu = cpu_microseconds(sandbox.service.pid)
            # "redfish" put back as it was by a rename, which the service does not watch.
            open(f"{LOG}/staged", "wb").write(files.get("redfish", b""))
            os.rename(f"{LOG}/staged", f"{LOG}/redfish")
            sandbox.settle()
            calls, fd = len(sandbox.calls()), os.open(
                f"{LOG}/redfish", os.O_WRONLY | os.O_APPEND
            )
            start = time.monotonic_ns()
            os.write(fd, LINES["warning"])
            os.close(fd)
            wait(lambda: len(sandbox.calls()) > calls, "the call")
            latencies.append((sandbox.calls()[-1][0] - start) / 1000)
        cpu = (cpu_microseconds(sandbox.service.pid) - cpu) / TRIGGERS
    latencies = sorted(latencies[WARM_UP:])
    median, p99 = statistics.median(latencies), latencies[int(0.99 * len(latencies))]
    size = sum(map(len, files.values()))
    print(f"{name:8} {size:9,} {median:8.0f} {p99:8.0f} {cpu:8.0f}")
    return median


print(f"trigger to call, {TRIGGERS} triggers per log (microseconds)")
print(f"{'log':8} {'bytes':>9} {'median':>8} {'p99':>8} {'cpu':>8}")
empty = measure("empty", {})
typical = measure("typical", typical_log(random.Random(1)))
print(f"typical median / empty median: {typical / empty:.2f}")
