"""The package from this tree over the build tree's library (or QXCM_LIBRARY's), and the
simulated cameras' controls."""

import ctypes
import sys
import threading
import time
from contextlib import contextmanager
from pathlib import Path

import numpy as np
import pytest
from hypothesis import HealthCheck, settings

# No example database in the checkout: every run draws afresh (CI starts clean anyway). The
# camera fixtures hold no state a drawn example could leak into the next one.
settings.register_profile("qxcm", database=None, deadline=None, max_examples=60,
                          suppress_health_check=[HealthCheck.function_scoped_fixture])
settings.load_profile("qxcm")

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import qxcm  # noqa: E402
from qxcm._native import native  # noqa: E402


class Sim:
    """The VelaSim_* controls of the simulated device library qxcm loaded (the same module:
    loading it again by its path hands back the loaded copy)."""

    def __init__(self, folder):
        self.dll = ctypes.CDLL(str(folder / "libvelaapi.so"))
        i32, u32, i64, f64 = ctypes.c_int32, ctypes.c_uint32, ctypes.c_int64, ctypes.c_double
        for name, types in dict(FailCall=[ctypes.c_char_p, u32, i32, i32, i32],
                                SetProperty=[i32, u32, f64], DeliverFrames=[i32, i32],
                                GetProperty=[i32, u32, ctypes.POINTER(f64)],
                                SetLostFrames=[i32, ctypes.POINTER(i64), i32],
                                SetFrameLoss=[i32, f64, ctypes.c_uint64],
                                FrameLost=[i32, i64]).items():
            getattr(self.dll, "VelaSim_" + name).argtypes = types

    def reset(self):
        self.dll.VelaSim_Reset()

    def fail(self, op, code, nth=1, sticky=False, prop=0):
        self.dll.VelaSim_FailCall(op.encode(), prop, nth, code, 1 if sticky else 0)

    def value(self, camera, prop):
        """A device property as the simulated camera holds it (None when it has none)."""
        v = ctypes.c_double(0.0)
        return v.value if self.dll.VelaSim_GetProperty(camera, prop, ctypes.byref(v)) >= 0 else None

    def lose(self, camera, numbers):
        """The camera exposes these frame numbers but never delivers them."""
        array = (ctypes.c_int64 * len(numbers))(*numbers)
        assert self.dll.VelaSim_SetLostFrames(camera, array, len(numbers)) == 1

    def expose(self, camera, count):
        """Exposes `count` frames on the manual clock from a second thread once a capture runs."""
        def deliver():
            deadline = time.monotonic() + 30
            while self.dll.VelaSim_DeliverFrames(camera, count) < 0 and time.monotonic() < deadline:
                time.sleep(0.001)
        thread = threading.Thread(target=deliver, daemon=True)
        thread.start()
        return thread

    def journal(self):
        """The device calls made since the last reset, one line each."""
        text = ctypes.create_string_buffer(512)
        lines = []
        for i in range(self.dll.VelaSim_JournalCount()):
            self.dll.VelaSim_JournalLine(i, text, len(text))
            lines.append(text.value.decode())
        return lines


@pytest.fixture(scope="session")
def sim():
    return Sim(native().folder)


@pytest.fixture
def lib(sim):
    sim.reset()
    with qxcm.Library() as library:
        yield library
    sim.reset()


@pytest.fixture
def cam0(lib):
    with lib.open(0) as cam:
        yield cam


def frame_number(frame):
    """The running number the simulated camera writes into the first four bytes of a frame."""
    return int.from_bytes(np.ascontiguousarray(frame[0]).view(np.uint8).reshape(-1)[:4].tobytes(),
                          "little")


@contextmanager
def refused(code, error=None):
    """The body raises QxcmError (or the given subclass) with this code."""
    with pytest.raises(error or qxcm.QxcmError) as e:
        yield e
    assert e.value.code == code
