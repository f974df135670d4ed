"""Camera features beyond parameters: the lookup table, two-view areas and region lists, output
triggers and the master pulse, the test pattern, the sensor cooler and electron values.

Everything reaches the library through ``camera._call``. Some device settings have no call that
reads them back (the lookup table, the region list, the master pulse); for those the attribute
reads what this Camera last set, None before."""

import math
import operator
from collections import namedtuple
from collections.abc import Sequence
from ctypes import byref, c_float, c_int32

import numpy as np

from ._errors import NOTSUPPORT, QxcmError
from ._native import refusal

Views = namedtuple("Views", "x1 y1 x2 y2 width height")
Region = namedtuple("Region", "x y width height")
TestPattern = namedtuple("TestPattern", "kind option")
PatternCheck = namedtuple("PatternCheck", "matched different")

INT32_MAX = 0x7FFFFFFF
PROGRAMMABLE = 3  # the output kind that also takes source, period and delay
PULSE_MODES = {"CONTINUOUS": 1, "START": 2, "BURST": 3}
PULSE_SOURCES = {"EXTERNAL": 1, "SOFTWARE": 2}
NOT_TWO_VIEWS = "the camera is not in its two-view layout (SENSOR MODE SPLIT VIEW)"


def _int32(value, what):
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"{what}: {value!r} is not an integer")
    if not -0x80000000 <= int(value) <= INT32_MAX:
        raise ValueError(f"{what}: {value} does not fit a signed 32-bit argument")
    return int(value)


def _seconds(value, what):
    value = float(value)
    if math.isnan(value):
        raise ValueError(f"{what} is NaN")
    return value


def _choice(value, choices, what):
    """A list value given by its text (from `choices`) or its number."""
    if isinstance(value, str):
        if value not in choices:
            raise ValueError(f"{what}: {value!r} is none of {sorted(choices)}")
        return int(choices[value])
    return _int32(value, what)


def _int32_array(values, what):
    """The rows of `values` as one contiguous int32 array, refusing what does not fit."""
    a = np.asarray(values)
    if a.dtype.kind not in "iub":
        if a.dtype.kind != "f" or not np.all(np.isfinite(a)) or np.any(a != np.round(a)):
            raise ValueError(f"{what}: whole numbers only")
    if a.size and (a.min() < -0x80000000 or a.max() > INT32_MAX):
        raise ValueError(f"{what}: a value does not fit a signed 32-bit argument")
    return np.ascontiguousarray(a, dtype=np.int32)


class OutputTrigger:
    """One output trigger connector: kind, source, polarity (texts), delay and period (seconds).

    Assigning one attribute rewrites the connector with the others as the device holds them;
    ``set()`` writes several at once. Source, delay and period belong to the PROGRAMABLE kind."""

    _NAMES = ("kind", "source", "polarity", "delay", "period")

    def __init__(self, camera, channel):
        self._camera, self.channel = camera, channel

    def parameter(self, what):
        name = f"OUTPUT TRIGGER {what.upper()}" + (f"[{self.channel}]" if self.channel else "")
        return self._camera._param(name)

    def __getattr__(self, what):
        if what in ("kind", "source", "polarity"):
            return self.parameter(what).text
        if what in ("delay", "period"):
            return self.parameter(what).get()
        raise AttributeError(what)

    def __setattr__(self, what, value):
        if what in self._NAMES:
            self.set(**{what: value})
        else:
            super().__setattr__(what, value)

    def _number(self, what, value):
        if value is None:
            return int(self.parameter(what).get())
        return _choice(value, self.parameter(what).choices or {}, f"output trigger {what}")

    def set(self, kind=None, source=None, polarity=None, delay=None, period=None):
        kind_n = self._number("kind", kind)
        if kind_n != PROGRAMMABLE and (source, delay, period) != (None, None, None):
            raise ValueError("source, delay and period apply to the PROGRAMABLE output kind only")
        polarity_n = self._number("polarity", polarity)
        source_n, delay_s, period_s = 0, 0.0, 0.0
        if kind_n == PROGRAMMABLE:
            source_n = self._number("source", source)
            delay_s = _seconds(self.delay if delay is None else delay, "delay")
            period_s = _seconds(self.period if period is None else period, "period")
        self._camera._call("QXCM_SETOUTPUTTRIGGER_40", kind_n, polarity_n, period_s, delay_s,
                           source_n, self.channel)

    def __repr__(self):
        values = []
        for what in self._NAMES:
            try:
                values.append(f"{what}={getattr(self, what)!r}")
            except QxcmError:
                pass
        return f"<OutputTrigger {self.channel} {' '.join(values)}>"


class OutputTriggers(Sequence):
    def __init__(self, camera):
        self._camera = camera
        params = camera.params
        name = "NUMBER OF OUTPUT TRIGGER CONNECTOR"
        self._count = int(params[name].get()) if name in params else 0

    def __len__(self):
        return self._count

    def __getitem__(self, k):
        k = operator.index(k)
        if not -self._count <= k < self._count:
            raise IndexError(f"output trigger {k!r}: the camera has {self._count}")
        return OutputTrigger(self._camera, k % self._count)


def expected_pattern(kind, option, height, width):
    """The 16-bit image the camera's test pattern shows: 1 flat, 2 horizontal and 3 vertical
    ramps over the full scale, 4 a checker of 32-pixel squares with the option at the top left."""
    y, x = np.ogrid[:height, :width]
    if kind == 1:
        image = np.full((height, width), option, np.int64)
    elif kind == 2:
        image = np.broadcast_to(x * 65535 // max(width - 1, 1), (height, width))
    elif kind == 3:
        image = np.broadcast_to(y * 65535 // max(height - 1, 1), (height, width))
    else:
        image = np.where((x // 32 + y // 32) % 2 == 0, option, 0)
    return np.asarray(image, np.uint16)


class FeaturesMixin:
    """The features of an open camera, on top of Camera's ``_call``, ``_param`` and
    ``params``."""

    def _call_or_refuse(self, why, name, *args):
        """A call whose refusal for a camera that cannot do it carries no error code of its
        own (the library then reports its previous result): raised as NOTSUPPORT, with why."""
        try:
            self._call(name, *args)
        except QxcmError as e:
            if e.code >= 0:
                raise refusal(NOTSUPPORT, why, name) from None
            raise

    # ---- lookup table ----

    @property
    def lut(self):
        """The output lookup table this Camera last loaded (n x 2: input, output), or None."""
        return getattr(self, "_lut", None)

    @lut.setter
    def lut(self, table):
        """Loads a table and switches it on: (input, output) points, an n x 2 array, or a
        1-D array of outputs for inputs 0, 1, 2 ... None loads the identity table (the library
        has no call that switches the table off)."""
        if table is None:
            points = np.array([[0, 0], [65535, 65535]], np.int32)
        else:
            a = np.asarray(table)
            if a.ndim == 1:
                a = np.stack([np.arange(a.size), a], axis=1)
            if a.ndim != 2 or a.shape[1] != 2 or a.shape[0] < 2:
                raise ValueError("a lookup table needs at least 2 (input, output) points")
            points = _int32_array(a, "lookup table")
        self._call("QXCM_SETLUT_40", points.ctypes.data, _int32(len(points), "points"))
        self._lut = None if table is None else points.copy()

    # ---- two views and regions ----

    @property
    def views(self):
        """The two rectangles of a sensor in its two-view layout: Views(x1, y1, x2, y2, width,
        height), in sensor pixels."""
        v = [c_int32(0) for _ in range(18)]
        self._call_or_refuse(NOT_TWO_VIEWS, "QXCM_GETAREA_PAIRED_40", *(byref(x) for x in v))
        x1, x2, y1, y2, width, height = (v[k].value for k in (0, 1, 5, 6, 10, 14))
        return Views(x1, y1, x2, y2, width, height)

    @views.setter
    def views(self, views):
        x1, y1, x2, y2, width, height = (_int32(v, "views") for v in views)
        self._call_or_refuse(NOT_TWO_VIEWS, "QXCM_SETAREA_PAIRED_40", x1, y1, x2, y2, width,
                             height)

    @property
    def regions(self):
        """The readout regions this Camera last set (Region(x, y, width, height) in image
        pixels), or None."""
        return getattr(self, "_regions", None)

    @regions.setter
    def regions(self, regions):
        """Reads out only these rectangles; None reads out the whole image again (as one
        region). Refused on cameras without region lists."""
        if regions is None:
            whole = [(0, 0, int(self._param("IMAGE WIDTH").get()),
                      int(self._param("IMAGE HEIGHT").get()))]
            rows = _int32_array(whole, "regions")
        else:
            rows = _int32_array([tuple(r) for r in regions], "regions")
            if rows.ndim != 2 or rows.shape[1] != 4 or len(rows) == 0:
                raise ValueError("regions: a list of (x, y, width, height) rectangles")
        self._call_or_refuse("the camera takes no region lists", "QXCM_SETMULTIREGION_40",
                             rows.ctypes.data, _int32(len(rows), "regions"))
        self._regions = None if regions is None else [Region(*map(int, r)) for r in rows]

    # ---- triggers out ----

    @property
    def output_triggers(self):
        """The output trigger connectors, by index (empty when the camera has none)."""
        return OutputTriggers(self)

    def set_master_pulse(self, mode, source="EXTERNAL", interval=0.1, burst=1):
        """The master pulse: mode (CONTINUOUS, START, BURST), the source that starts it
        (EXTERNAL, SOFTWARE), the interval in seconds and, for BURST, the pulses per burst."""
        mode = _choice(mode, PULSE_MODES, "master pulse mode")
        source = _choice(source, PULSE_SOURCES, "master pulse source")
        self._call("QXCM_SETMASTERPULSE_40", mode, source, _seconds(interval, "interval"),
                   _int32(burst, "burst"))
        self._master_pulse = (mode, source, float(interval), int(burst))

    # ---- test pattern ----

    @property
    def test_pattern(self):
        """TestPattern(kind, option) while the camera shows its test pattern, else None."""
        if self._param("TEST PATTERN").text == "OFF":
            return None
        return TestPattern(self._param("TEST PATTERN KIND").text,
                           int(self._param("TEST PATTERN OPTION").get()))

    @test_pattern.setter
    def test_pattern(self, pattern):
        """None or False: off; True: on as it was last set; (kind, option): on with that kind
        (text or number) and option."""
        if pattern is None or pattern is False:
            self._call("QXCM_TESTPATTERN_40", 0)
        elif pattern is True:
            self._call("QXCM_TESTPATTERN_40", 1)
        else:
            kind, option = pattern
            kind = _choice(kind, self._param("TEST PATTERN KIND").choices or {}, "pattern kind")
            self._call("QXCM_TESTPATTERN_41", 2, kind, _int32(option, "pattern option"))

    def verify_test_pattern(self, frames=4, timeout=None):
        """Captures `frames` frames with the test pattern on and compares each, pixel for
        pixel, with the image the pattern's kind and option describe; the pattern is switched
        back as it was. Returns PatternCheck(matched, different)."""
        before = self.test_pattern
        self.test_pattern = True
        try:
            kind = int(self._param("TEST PATTERN KIND").get())
            option = min(max(int(self._param("TEST PATTERN OPTION").get()), 0), 65535)
            matched = different = 0
            for frame in self.stream(frames, timeout):
                if frame.ndim != 2:
                    raise refusal(NOTSUPPORT, "the pattern check takes mono frames",
                                  "verify_test_pattern")
                want = expected_pattern(kind, option, *frame.shape)
                if frame.dtype == np.uint8:
                    want = want >> 8
                if np.array_equal(frame, want):
                    matched += 1
                else:
                    different += 1
        finally:
            if before is None:
                self.test_pattern = None
        return PatternCheck(matched, different)

    # ---- EM gain protection, cooler and electrons ----

    def set_em_protection(self, mode, alarm, level, frames):
        """The protection of the electron-multiplying gain stage (cameras that have one)."""
        self._call("QXCM_SETEMPROTECTION_40", *(_int32(v, "EM protection")
                                                 for v in (mode, alarm, level, frames)))

    @property
    def em_protect_status(self):
        """The protection level the device reports."""
        status = c_int32(0)
        self._call("QXCM_GETEMPROTECTSTATUS_40", byref(status))
        return status.value

    @property
    def cooler(self):
        """The sensor cooler: True on, False off (cameras that have one)."""
        return self._param("SENSOR COOLER").text == "ON"

    @cooler.setter
    def cooler(self, on):
        self._param("SENSOR COOLER")  # refuses on a camera without a cooler
        self._call("QXCM_SENSORCOOLER_40", 1 if on else 0)

    @property
    def electron_conversion(self):
        """(factor, offset): electrons = (value - offset) x factor, as the camera reports them
        now."""
        factor, offset = c_float(0.0), c_float(0.0)
        self._call("QXCM_GETELECTRONINFO_40", byref(factor), byref(offset))
        return factor.value, offset.value

    def _electron_values(self, index):
        """The conversion the library stored for buffer `index` as its frame arrived (the
        camera's own now when it stored none for it), or None for a camera without electron
        values."""
        factor, offset = c_float(0.0), c_float(0.0)
        self._call("QXCM_GETELECTRONINFO", index, byref(factor), byref(offset))
        if factor.value < 0.0:
            return None  # the preparation found no electron values on the camera
        if factor.value > 0.0:
            return factor.value, offset.value
        return self.electron_conversion
