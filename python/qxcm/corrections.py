"""The camera's own image corrections: frame averaging, the recursive filter, background
subtraction and shading correction, and the capture of their reference frames.

The library has no call that reads these settings back: each attribute reads what this Camera
last set (None before). Every change is refused while a capture runs: the device would apply
it to part of the frames only."""

from ._errors import BUSY
from ._native import refusal
from .capture import milliseconds
from .features import _int32

CAPTURING = 1
INT32_MAX = 0x7FFFFFFF


class CorrectionsMixin:
    """On top of Camera's ``_call`` and ``status``."""

    def _correction(self, name, *args):
        if self.status == CAPTURING:
            raise refusal(BUSY, "a capture is running on this camera: stop it before changing "
                          "its corrections", name)
        self._call(name, *args)

    def _frames(self, name, frames):
        frames = 1 if frames is None or frames is False else _int32(frames, "frames")
        self._correction(name, frames)
        return None if frames == 1 else frames

    @property
    def averaging(self):
        """Frames averaged into each frame; None (or 1) is off."""
        return getattr(self, "_averaging", None)

    @averaging.setter
    def averaging(self, frames):
        self._averaging = self._frames("QXCM_SETFRAMEAVERAGING_40", frames)

    @property
    def recursive_filter(self):
        """Frames the recursive filter spans; None (or 1) is off."""
        return getattr(self, "_recursive_filter", None)

    @recursive_filter.setter
    def recursive_filter(self, frames):
        self._recursive_filter = self._frames("QXCM_SETRECURSIVEFILTER_40", frames)

    def _switch(self, name, slot):
        if slot is None or slot is False:
            self._correction(name, 0, 0)
            return None
        slot = _int32(slot, "reference slot")
        self._correction(name, 1, slot)
        return slot

    @property
    def background(self):
        """The reference slot subtracted from every frame; None is off."""
        return getattr(self, "_background", None)

    @background.setter
    def background(self, slot):
        self._background = self._switch("QXCM_BACKGROUNDSUBTRACT_40", slot)

    @property
    def shading(self):
        """The reference slot every frame is corrected by; None is off."""
        return getattr(self, "_shading", None)

    @shading.setter
    def shading(self, slot):
        self._shading = self._switch("QXCM_SHADINGCORRECT_40", slot)

    def _store(self, name, slot, timeout):
        slot = _int32(slot, "reference slot")
        if timeout is None:
            self._correction(name + "_40", slot)
        else:
            self._correction(name + "_41", slot, milliseconds(timeout, INT32_MAX))

    def store_background(self, slot=1, timeout=None):
        """Captures a background reference (keep the light off) into `slot`, waiting up to
        `timeout` seconds for it (None: the library's limit)."""
        self._store("QXCM_STOREBACKGROUNDFRAME", slot, timeout)

    def store_shading(self, slot=1, timeout=None):
        """Captures a shading reference (an evenly lit field) into `slot`."""
        self._store("QXCM_STORESHADINGFRAME", slot, timeout)
