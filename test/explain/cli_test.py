# tidewatch-explain run as a person or a script runs it: exit statuses,
# error lines, and one layout with the fault on, end to end.
import json
import os
import subprocess

import pytest

CRITICAL = "ts OpenBMC.0.1.SensorThresholdCriticalHighGoingHigh,CPU1 Temp,97"
# The deciding line's last argument, cut at 512 bytes inside the 148th €.
CUT = "€" * 147 + "[…]"
JUDGED = "judged 2 of 3 lines; 0 lie beyond the 1000-line window"


@pytest.fixture
def log(tmp_path):
    # The deciding line is the last, without a newline; what is not UTF-8 in
    # it is repaired, a CR shown as a picture on a console, a long argument
    # cut where a character starts.
    deciding = f"ts Base.1.0.Success\n{CRITICAL},".encode() + b"\xe2\x82\r,"
    (tmp_path / "redfish.1").write_bytes(deciding + "€".encode() * 200)
    (tmp_path / "redfish").write_text("ts Base.1.0.Success\n")
    os.mkfifo(tmp_path / "redfish.fifo")  # passed over, never waited on
    # A critical line 1001 lies beyond the window, in the newest file.
    (tmp_path / "window").mkdir()
    (tmp_path / "window/redfish").write_text("ts x\n" * 1000 + CRITICAL)
    return tmp_path


def explain(*args):
    run = [os.environ["TIDEWATCH_EXPLAIN"], *args]
    return subprocess.run(run, capture_output=True, text=True, timeout=10)


@pytest.mark.parametrize(
    "args, status, line, error",
    [
        (
            "--help",
            0,
            "Usage: tidewatch-explain [--json] [--all] [DIRECTORY]",
            "",
        ),
        ("--bogus", 2, "", "unknown option --bogus (see --help)"),
        ("a b", 2, "", "more than one directory: a, b"),
        (
            "/nonexistent",
            2,
            "",
            "cannot list /nonexistent: No such file or directory",
        ),
        ("{log}/..", 0, "health fault: off", ""),
        ("--all {log}", 1, f"  text        {CRITICAL},\ufffd\u240d,{CUT}", ""),
        # Lines read after the deciding one are within the window.
        ("{log}", 1, JUDGED, ""),
        (
            "{log}/window",
            0,
            "warning: 1 lines of the newest file, {log}/window/"
            "redfish, lie beyond the window: an entry there never sets the health "
            "fault",
            "",
        ),
    ],
)
def test_exit_status_and_error_line(log, args, status, line, error):
    result = explain(*args.format(log=log).split())
    assert result.returncode == status
    line = line.format(log=log)
    assert line in result.stdout.splitlines() if line else not result.stdout
    assert result.stderr == (f"tidewatch-explain: {error}\n" if error else "")


def test_json_names_the_deciding_entry_and_counts_every_line(log):
    result = explain("--json", "--all", str(log))
    report = json.loads(result.stdout)
    assert (result.returncode, report["healthFault"]) == (1, True)
    assert report["decidingEntry"] == {
        "path": f"{log}/redfish.1",
        "line": 2,
        "text": f"{CRITICAL},\ufffd\r,{CUT}",
        "messageId": "OpenBMC.0.1.SensorThresholdCriticalHighGoingHigh",
        "registry": "OpenBMC",
        "severity": "Critical",
        "resolution": "Check the component the sensor measures and the "
        "conditions that drive its reading.",
        "message": "Sensor CPU1 Temp reading of 97 is above the upper "
        "critical threshold of \ufffd\r.",
    }
    # The walk reads on to count the lines it no longer judges.
    assert [
        (f["path"][len(str(log)) :], f["lines"], f["judged"])
        for f in report["files"]
    ] == [("/redfish.fifo", 0, 0), ("/redfish.1", 2, 2), ("/redfish", 1, 0)]
    counts = {"lineLimit": 1000, "linesJudged": 2, "linesNotJudged": 1}
    assert report.items() >= counts.items()
    assert [e["outcome"] for e in report["entries"]] == [
        "registered",
        "critical",
    ]
