"""Camera parameters by name: values, limits, views and the choices of list parameters."""

import ctypes
import math
from collections import namedtuple
from collections.abc import Mapping
from ctypes import byref, c_double, c_int32

from ._errors import API_LEVEL, INVALIDHANDLE

Limits = namedtuple("Limits", "min max step default")

WRITABLE_BIT = 0x00020000
MAX_CHOICES = 64  # a parameter record holds at most this many value texts
MAX_PARAMETERS = 4096  # far beyond the records a camera holds: an enumeration that never ends


class Parameter:
    """One parameter of an open camera, by its function id (or parameter number)."""

    def __init__(self, camera, name, ident, number=None):
        self._camera, self.name, self.id, self.number = camera, name, ident, number

    def __repr__(self):
        try:
            value = self.value
        except Exception as e:  # a read-only or write-only property shows why
            value = f"<{e}>"
        return f"<Parameter {self.name!r} id={self.id} value={value!r}>"

    def _call(self, name, *args):
        self._camera._call(name, self.id, *args)

    def get(self, view=0):
        value = c_double(0.0)
        self._call("QXCM_GETPARAMETER_40", byref(value), view)
        return value.value

    def set(self, value, view=0):
        """Writes a number, or for a list parameter also one of its texts."""
        if isinstance(value, str):
            choices = self.choices
            if not choices or value not in choices:
                raise ValueError(f"{self.name}: {value!r} is none of {sorted(choices or ())}")
            value = choices[value]
        value = float(value)
        self._call("QXCM_SETPARAMETER_40", value, view)

    value = property(get, set)

    def _limits(self):
        is_list, writable, views = c_int32(0), c_int32(0), c_int32(1)
        lo, hi, step, default = c_double(), c_double(), c_double(), c_double()
        native = self._camera._lib.native
        if native.has("QXCM_GETPARAMETERLIMITS_41"):
            self._call("QXCM_GETPARAMETERLIMITS_41", byref(is_list), byref(hi), byref(lo),
                       byref(step), byref(default), byref(writable), byref(views))
        else:
            self._call("QXCM_GETPARAMETERLIMITS_40", byref(is_list), byref(hi), byref(lo),
                       byref(step), byref(default), byref(writable))
        return (Limits(lo.value, hi.value, step.value, default.value), is_list.value != 0,
                writable.value != 0, views.value)

    @property
    def limits(self):
        """(min, max, step, default) as the device reports them now."""
        return self._limits()[0]

    @property
    def writable(self):
        return self._limits()[2]

    @property
    def views(self):
        """Values this parameter holds, one per view of a split sensor (1 for most)."""
        return self._limits()[3]

    @property
    def is_list(self):
        return self._limits()[1]

    @property
    def choices(self):
        """For a list parameter, {text: value} in the device's order; None otherwise."""
        limits, is_list, _, _ = self._limits()
        if not is_list:
            return None
        text, following = ctypes.create_string_buffer(64), c_double(0.0)
        choices, value, seen = {}, limits.min, set()
        for _ in range(MAX_CHOICES):
            if value in seen or math.isnan(value):
                break
            seen.add(value)
            try:
                self._call("QXCM_GETPARAMETERTEXT_40", text, value, byref(following))
            except Exception:
                break  # a minimum that is no list value: nothing to walk
            choices[text.value.decode("latin-1")] = value
            # The list ends with a next value of 0.0 (a list may start at 0.0 itself).
            if following.value == 0.0 or following.value <= value:
                break
            value = following.value
        return choices

    @property
    def text(self):
        """The text of the current value of a list parameter."""
        text = ctypes.create_string_buffer(64)
        self._call("QXCM_GETVALUETEXT_40", text, self.get())
        return text.value.decode("latin-1")


class Parameters(Mapping):
    """Every parameter the camera lists, by name, in the camera's order."""

    def __init__(self, camera):
        self._camera = camera
        self._by_name = {}
        native = camera._lib.native
        name, number, ident = ctypes.create_string_buffer(64), c_int32(-1), c_int32(0)
        fn, err = native.function("QXCM_GETNEXTPARAMETER_40"), c_int32(0)
        for _ in range(MAX_PARAMETERS):
            with native.lock:
                camera._require_open("QXCM_GETNEXTPARAMETER_40")
                ok = fn(camera.index, name, byref(number), byref(ident), 0, byref(err))
            if ok != 1:
                if err.value in (API_LEVEL, INVALIDHANDLE):
                    raise native.fail("QXCM_GETNEXTPARAMETER_40", err.value)
                break  # the end of the list
            text = name.value.decode("latin-1")
            self._by_name[text] = Parameter(camera, text, ident.value, number.value)

    def __getitem__(self, name):
        return self._by_name[name]

    def __iter__(self):
        return iter(self._by_name)

    def __len__(self):
        return len(self._by_name)

    def __repr__(self):
        return f"<Parameters of camera {self._camera.index}: {', '.join(self._by_name)}>"
