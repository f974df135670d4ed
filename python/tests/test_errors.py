"""Failures raise QxcmError with the code, its text and the export; the package cleans up after a
failure in any state, and waits leave other threads running."""

import time
from concurrent.futures import ThreadPoolExecutor

import pytest

import qxcm
from conftest import refused
from qxcm._errors import (ABORT, API_LEVEL, BUSY, FAILEDOPENVLSEQ, FAILEDREADDATA, INVALIDHANDLE,
                          TIMEOUT, signed32)

INJECTED = signed32(0x80000F02)  # a code no refusal of the library produces itself


SNAP, STREAM = (lambda cam, tmp: cam.snap()), (lambda cam, tmp: next(cam.stream()))
RECORD = lambda cam, tmp: cam.record(str(tmp / "r"), 2)  # noqa: E731
# (device operation to fail, what the host does, the export that reports it)
FAULTS = [
    ("VelaSetValue", lambda cam, tmp: setattr(cam, "exposure", 0.02), "QXCM_SETPARAMETER_40"),
    ("VelaGetValue", lambda cam, tmp: cam.exposure, "QXCM_GETPARAMETER_40"),
    ("VelaGetPropertyAttr", lambda cam, tmp: cam.params["BINNING"].limits,
     "QXCM_GETPARAMETERLIMITS_41"),
    ("VelaAllocBuffers", SNAP, "QXCM_PREPARECAPTURE_40"),
    ("VelaCaptureStart", SNAP, "QXCM_STARTCAPTURE_40"),
    ("VelaWaitStart", STREAM, "QXCM_WAITNEXTFRAME_40"),
    ("VelaGetTransferInfo", SNAP, "QXCM_WAITNEXTFRAME_40"),
    ("VelaLockFrame", STREAM, "QXCM_GETFRAME_40"),
    ("VelaStopCapture", SNAP, "QXCM_STOPCAPTURE_40"),
    ("VelaReleaseBuffers", SNAP, "QXCM_UNPREPARECAPTURE_40"),
    ("VelaRecorderOpen", RECORD, "QXCM_STARTRECORDER_41"),
    ("VelaCaptureRecord", RECORD, "QXCM_STARTRECORDER_41"),
    ("VelaRecorderStatus", RECORD, "QXCM_GETRECORDERSTATUS_40"),
    ("VelaRecorderClose", RECORD, "QXCM_STOPRECORDER_40"),
    # The row pitch, read after the buffers exist: they must be let go again.
    ("VelaGetValue:0x00420230", SNAP, "QXCM_GETPARAMETER_40"),
]


@pytest.mark.parametrize("op, action, export", FAULTS, ids=[f[0] for f in FAULTS])
def test_a_device_failure_raises_its_code_and_leaves_the_camera_usable(lib, sim, tmp_path, op,
                                                                       action, export):
    with lib.open(1) as cam:
        cam.exposure = 0.001
        name, _, prop = op.partition(":")
        sim.fail(name, INJECTED, prop=int(prop or "0", 16))
        with pytest.raises(qxcm.QxcmError) as e:
            action(cam, tmp_path)
        assert (e.value.code, e.value.function) == (INJECTED, export)
        assert e.value.text == lib.native.error_text(INJECTED) != ""
        assert type(e.value) is qxcm.QxcmError
        # Nothing is left prepared, unless releasing was what failed.
        assert cam.status == (2 if op == "VelaReleaseBuffers" else 0)
        sim.dll.VelaSim_ClearFaults()
        assert cam.snap().shape == (512, 512)  # buffers, capture and recorder were let go


def test_time_outs_and_refusals_before_any_device_call(lib, sim, tmp_path):
    with lib.open(0) as cam:
        cam.trigger = "EXTERNAL"  # no frame comes without an external trigger
        with refused(TIMEOUT, qxcm.Timeout):
            cam.snap(timeout=0.05)
        with pytest.raises(qxcm.Timeout):
            next(cam.stream(timeout=0))
        with pytest.raises(ValueError):
            cam.snap(timeout=float("nan"))
    with pytest.raises(qxcm.QxcmError) as e:
        lib.open(99)
    assert e.value.function == "QXCM_OPENCAMERA_40"
    with refused(FAILEDOPENVLSEQ):
        qxcm.open_sequence(tmp_path / "missing.vlseq")
    (tmp_path / "junk.vlseq").write_bytes(b"\0" * 8192)
    with refused(FAILEDREADDATA):
        qxcm.open_sequence(tmp_path / "junk.vlseq")


def test_context_managers_clean_up_after_an_exception_in_their_body(sim):
    sim.reset()
    with pytest.raises(ZeroDivisionError):
        with qxcm.Library() as lib:
            with lib.open(0) as cam:
                stream = cam.stream()
                next(stream)
                1 / 0
    assert lib.closed and cam.closed
    calls = [line.split("(")[0] for line in sim.journal()]
    assert calls[-2:] == ["VelaClose", "VelaUninit"] and "VelaReleaseBuffers" in calls[-4:]
    with pytest.raises(qxcm.QxcmError) as e:
        cam.exposure
    assert e.value.code in (API_LEVEL, INVALIDHANDLE)
    with qxcm.Library() as lib:
        with pytest.raises(KeyError):
            with lib.open(0) as cam:
                next(cam.stream())
                cam.params["NO SUCH"]
        assert not lib.cameras[0].is_open and cam.closed
        with lib.open(0) as again:  # no force needed: it was closed
            assert again.snap().frame_number == 0
    sim.reset()


def test_call_orders_a_host_gets_wrong_are_refused_with_a_code(lib, tmp_path):
    with refused(BUSY) as e:
        qxcm.Library()  # a second session would be torn down with the first
    assert e.value.text.startswith(lib.native.error_text(BUSY))
    cam = lib.open(1)
    with pytest.raises(qxcm.QxcmError):
        lib.open(1)  # open already
    stream = cam.stream()
    first = next(stream)
    for other in (cam.snap, lambda: next(cam.stream()), lambda: cam.record(tmp_path / "x", 1)):
        with refused(BUSY):
            other()
    assert next(stream).frame_number > first.frame_number  # the stream went on
    for huge in (2**32, -1):
        with pytest.raises(ValueError):
            cam.write_text("t", "frame", huge)
    cam.close()  # with the stream suspended: it ends, it does not fail
    assert list(stream) == []
    for call in (cam.snap, lambda: cam.exposure):
        with refused(INVALIDHANDLE):
            call()


@pytest.mark.parametrize("how", ["snap", "stream"])
def test_a_thread_runs_while_another_waits_for_a_trigger_that_never_comes(cam0, how):
    cam0.params["TRIGGER SOURCE"].value = 3  # software: the automatic limit is none at all
    with ThreadPoolExecutor(1) as pool:
        waiter = pool.submit(cam0.snap if how == "snap" else lambda: list(cam0.stream()))
        ticks, end = 0, time.monotonic() + 0.3
        while time.monotonic() < end:
            ticks += 1  # needs the GIL the waiting thread let go
        assert not waiter.done() and ticks > 10000
        cam0.stop()
        if how == "snap":
            assert waiter.exception(5).code == ABORT
        else:
            assert waiter.result(5) == []  # a stopped stream just ends
    cam0.trigger = "INTERNAL"
    assert cam0.snap().frame_number == 0  # nothing of the stopped capture is left
