# tidewatch-explain run as a person or a script runs it: exit statuses,
# error lines, and one layout with the fault on, end to end.
import json
import os
import subprocess

import pytest

CRITICAL = "ts OpenBMC.0.1.SensorThresholdCriticalHighGoingHigh,CPU1 Temp,97"


@pytest.fixture
def log(tmp_path):
    (tmp_path / "log").mkdir()
    # The deciding line is the last, without a newline.
    (tmp_path / "log/redfish.1").write_text(f"ts Base.1.0.Success\n{CRITICAL}")
    (tmp_path / "log/redfish").write_text("ts Base.1.0.Success\n")
    os.mkfifo(tmp_path / "log/redfish.fifo")  # passed over, never waited on
    return tmp_path / "log"


def explain(*args):
    return subprocess.run([os.environ["TIDEWATCH_EXPLAIN"], *args],
                          capture_output=True, text=True, timeout=10)


@pytest.mark.parametrize("args, status, first_line, error", [
    ("--help", 0, "Usage: tidewatch-explain [--json] [--all] [DIRECTORY]", ""),
    ("--bogus", 2, "", "unknown option --bogus (see --help)"),
    ("a b", 2, "", "more than one directory: a, b"),
    ("/nonexistent", 2, "", "cannot list /nonexistent: No such file or directory"),
    ("{log}/..", 0, "health fault: off", ""),
    ("--all {log}", 1, "health fault: ON", ""),
])
def test_exit_status_and_error_line(log, args, status, first_line, error):
    result = explain(*args.format(log=log).split())
    assert result.returncode == status
    assert result.stdout.partition("\n")[0] == first_line
    assert result.stderr == (f"tidewatch-explain: {error}\n" if error else "")


def test_json_names_the_deciding_entry_and_counts_every_line(log):
    result = explain("--json", "--all", str(log))
    report = json.loads(result.stdout)
    assert (result.returncode, report["healthFault"]) == (1, True)
    assert report["decidingEntry"] | {"resolution": ""} == {
        "path": f"{log}/redfish.1", "line": 2, "text": CRITICAL,
        "messageId": "OpenBMC.0.1.SensorThresholdCriticalHighGoingHigh",
        "registry": "OpenBMC", "severity": "Critical", "resolution": "",
        "message": "Sensor CPU1 Temp reading of 97 is above the upper "
                   "critical threshold of %3."}
    # The walk reads on to count the lines it no longer judges.
    assert [(f["path"][len(str(log)):], f["lines"], f["judged"])
            for f in report["files"]] == [
        ("/redfish.fifo", 0, 0), ("/redfish.1", 2, 2), ("/redfish", 1, 0)]
    assert (report["linesJudged"], report["linesNotJudged"]) == (2, 1)
    assert [e["outcome"] for e in report["entries"]] == ["registered", "critical"]



# The deciding line as shown: what is not UTF-8 repaired, cut at 512 bytes on
# a character boundary, control characters as pictures on a console.
@pytest.mark.parametrize("tail, text, shown", [
    (b"x\xffz\xe2\x82\r", "x\ufffdz\ufffd\r", "x\ufffdz\ufffd\u240d"),
    ("x€".encode() * 200, "x€" * 111 + "x[…]", "x€" * 111 + "x[…]"),
])
def test_deciding_line_is_shown_clean(tmp_path, tail, text, shown):
    (tmp_path / "redfish").write_bytes(f"{CRITICAL},".encode() + tail)
    report = json.loads(explain("--json", str(tmp_path)).stdout)
    assert report["decidingEntry"]["text"] == f"{CRITICAL},{text}"
    assert f"  text        {CRITICAL},{shown}\n" in explain(str(tmp_path)).stdout
