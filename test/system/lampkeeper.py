# The LED manager as tidewatch meets it on the system bus, a python-dbusmock
# template:
#
#   python3 -m dbusmock --system --template lampkeeper.py [-p '{"calls": PATH}']
#
# SetHealthFault(b) appends "<CLOCK_MONOTONIC ns> <True|False>" to the call log
# PATH (default /run/lampkeeper.calls), then answers as SetAnswer(s mode,
# u milliseconds) on org.freedesktop.DBus.Mock last said: "answer" (so at
# first), "error" (org.freedesktop.DBus.Error.Failed), "late" (after the
# milliseconds) or "held" (once the file PATH.release exists). A late or held
# answer leaves the mock free to take other calls meanwhile.
import os
import time

import dbus
from dbusmock import MOCK_IFACE
from gi.repository import GLib

BUS_NAME = MAIN_IFACE = "xyz.openbmc_project.corvane.lampkeeper"
MAIN_OBJ = "/xyz/openbmc_project/corvane/lampkeeper"
SYSTEM_BUS = True
FAILED = "org.freedesktop.DBus.Error.Failed"


def load(mock, parameters):
    mock.calls = parameters.get("calls", "/run/lampkeeper.calls")
    mock.answer = "answer"


def held(calls, reply):  # True: still held, ask again
    return not os.path.exists(calls + ".release") or reply() or False


@dbus.service.method(MAIN_IFACE, "b", "", async_callbacks=("reply", "fail"))
def SetHealthFault(self, fault, reply, fail):
    with open(self.calls, "a") as log:
        log.write(f"{time.monotonic_ns()} {bool(fault)}\n")
    if self.answer == "error":
        fail(dbus.DBusException("refused", name=FAILED))
    elif self.answer == "late":  # reply() returns None: a timeout run once
        GLib.timeout_add(self.milliseconds, lambda: reply() or False)
    elif self.answer == "held":  # asks every 5 ms until released
        GLib.timeout_add(5, held, self.calls, reply)
    else:
        reply()


@dbus.service.method(MOCK_IFACE, "su", "")
def SetAnswer(self, mode, milliseconds):
    self.answer, self.milliseconds = str(mode), int(milliseconds)
