# Every case of cases.py against the production service inside scripts/sandbox.
import pytest
from cases import CASES
from sandbox_tools import PATIENCE, Sandbox


@pytest.mark.parametrize("case", CASES, ids=[case.what for case in CASES])
def test_case(case):
    with Sandbox(case.log) as sandbox:
        starts = any(step.split()[0] == "start" for step in case.steps)
        for step in case.steps if starts else ["start", *case.steps]:
            sandbox.step(step)
        if case.status is None:
            assert sandbox.service.poll() is None, "the service ended"
        else:
            assert sandbox.service.wait(PATIENCE) == case.status
        assert sandbox.calls() == case.calls
        assert sandbox.records() == list(case.records)
