# The suite runs inside scripts/sandbox, which skips it (meson's status 77)
# where it can make no namespace or lacks a program; here the same for
# python3-dbusmock.
import importlib.util

import pytest


def pytest_sessionstart(session):
    if not importlib.util.find_spec("dbusmock"):
        pytest.exit("skipped: python3-dbusmock is missing", returncode=77)
