"""An open camera: its state, parameters, sensor area and trigger; its captures come from
capture.py and the library session from library.py, both importable from here as before."""

from collections import namedtuple
from ctypes import byref, c_int32

from ._errors import INVALIDHANDLE, NOTSUPPORT, QxcmError
from ._native import refusal
from .capture import (AUTOMATIC, LEVELS, SEQUENCE, SNAP, STREAM_BUFFERS,  # noqa: F401
                      WAIT_SLICE_MS, CaptureMixin, StreamCounts, int32, level_number,
                      text_bytes, timeout_ms, uint32)
from .corrections import CorrectionsMixin
from .features import FeaturesMixin
from .library import INFO_BUS, INFO_MODEL, INFO_SERIAL, CameraInfo, Library  # noqa: F401
from .params import Parameter, Parameters

Area = namedtuple("Area", "x y width height")


class Trigger:
    """The input trigger: source, active, mode and polarity (texts or numbers), and fire()."""

    _NUMBERS = {"source": 15, "active": 16, "mode": 17, "polarity": 18}

    def __init__(self, camera):
        self._camera = camera

    def parameter(self, what):
        return Parameter(self._camera, f"TRIGGER {what.upper()}", self._NUMBERS[what])

    def __getattr__(self, what):
        if what in self._NUMBERS:
            return self.parameter(what).text
        raise AttributeError(what)

    def __setattr__(self, what, value):
        if what in self._NUMBERS:
            self.parameter(what).set(value)
        else:
            super().__setattr__(what, value)

    def fire(self):
        self._camera._call("QXCM_FIRETRIGGER_40")

    def __repr__(self):
        parts = []
        for what in self._NUMBERS:
            try:
                parts.append(f"{what}={getattr(self, what)}")
            except QxcmError:
                pass
        return f"<Trigger {' '.join(parts)}>"


class Camera(CaptureMixin, FeaturesMixin, CorrectionsMixin):
    """An open camera; as a context manager it closes on exit."""

    def __init__(self, library, index, force=False):
        library.native.call("QXCM_OPENCAMERA_40", index, 1 if force else 0)
        self._lib, self.index = library, index
        self._params = None
        self._capture_name = None
        self._stop_requested = False
        self._prepared = False
        self.closed = False
        self.stream_counts = StreamCounts(0, 0, 0)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<qxcm.Camera {self.index} {self.info.model}{' closed' if self.closed else ''}>"

    def _call(self, name, *args):
        """The one way the camera's exports are called: with the library's lock, and never
        after the camera was closed (by any thread), when it raises INVALIDHANDLE."""
        native = self._lib.native
        with native.lock:
            self._require_open(name)
            native.call(name, self.index, *args)

    def _require_open(self, name):
        if self.closed or self._lib.closed:
            raise refusal(INVALIDHANDLE, "the camera was closed", name)

    def close(self):
        """Closes the camera, from any thread: a capture that runs in another one ends."""
        native = self._lib.native
        with native.lock:
            if self.closed:
                return
            if self._capture_name is not None:
                self._release_quietly()
                return
            self.closed = True
            self._lib._open.pop(self.index, None)
            native.call("QXCM_CLOSECAMERA_40", self.index)

    def _release_quietly(self):
        # Teardown in whatever state the camera is: nothing here may mask the caller's error,
        # and a capture of another thread ends at its next call rather than failing.
        native = self._lib.native
        with native.lock:
            if self.closed:
                return
            self.closed = self._stop_requested = True
            self._lib._open.pop(self.index, None)
            for name in ("QXCM_STOPCAPTURE_40", "QXCM_STOPRECORDER_40",
                         "QXCM_UNPREPARECAPTURE_40", "QXCM_CLOSECAMERA_40"):
                try:
                    native.call(name, self.index)
                except QxcmError:
                    pass

    @property
    def info(self):
        return self._lib.info(self.index)

    @property
    def status(self):
        """The device's capture state: 0 no buffers, 1 capturing, 2 buffers prepared, idle."""
        status = c_int32(0)
        self._call("QXCM_GETCAMERASTATUS_40", byref(status))
        return status.value

    # ---- parameters ----

    @property
    def params(self):
        if self._params is None:
            self._params = Parameters(self)
        return self._params

    def _param(self, name):
        try:
            return self.params[name]
        except KeyError:
            raise refusal(NOTSUPPORT, f"the camera has no parameter {name!r}", "params") from None

    @property
    def exposure(self):
        """Exposure time in seconds."""
        return Parameter(self, "EXPOSURE TIME", 7).get()

    @exposure.setter
    def exposure(self, seconds):
        Parameter(self, "EXPOSURE TIME", 7).set(seconds)

    @property
    def binning(self):
        return int(Parameter(self, "BINNING", 1).get())

    @binning.setter
    def binning(self, value):
        Parameter(self, "BINNING", 1).set(value)

    @property
    def trigger(self):
        return Trigger(self)

    @trigger.setter
    def trigger(self, source):
        Trigger(self).source = source

    def area_limits(self):
        """The area now and its ranges: {"x": (value, min, max, step), "y": ..., "width": ...,
        "height": ...}, in sensor pixels."""
        out = [c_int32(0) for _ in range(16)]
        self._call("QXCM_GETAREA_40", *(byref(v) for v in out))
        values = [v.value for v in out]
        return {key: tuple(values[4 * k:4 * k + 4])
                for k, key in enumerate(("x", "y", "width", "height"))}

    @property
    def area(self):
        """The sensor area read out, in sensor pixels: Area(x, y, width, height)."""
        limits = self.area_limits()
        return Area(*(limits[key][0] for key in ("x", "y", "width", "height")))

    @area.setter
    def area(self, area):
        """Sets a sub-array (x, y, width, height); None reads the whole sensor."""
        if area is None:
            limits = self.area_limits()
            # Sizes run up to the sensor size minus the offset.
            area = (0, 0, limits["width"][2] + limits["x"][0], limits["height"][2] + limits["y"][0])
        self._call("QXCM_SETAREA_40", *(int32(v) for v in area))
