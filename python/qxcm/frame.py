"""Frames: numpy arrays the library copies into directly, with their stamp and number."""

import numpy as np

from ._errors import NOTSUPPORT
from ._native import refusal

# Host data-type codes the capture preparation reports (QXCM_DATATYPE_* of the C header) and
# the one table of what their frames are: sample type and samples per pixel.
HOST_MONO8, HOST_MONO16, HOST_RGB24, HOST_RGB48 = 0, 7, 4, 6
HOST_TYPES = {
    HOST_MONO8: (np.uint8, 1),
    HOST_MONO16: (np.uint16, 1),
    HOST_RGB24: (np.uint8, 3),
    HOST_RGB48: (np.uint16, 3),
}
# What the preparation leaves in the data-type variable when the device's type has no host
# code (packed 12-bit among them).
NO_HOST_TYPE = 0xFFFFFFFF


class Frame(np.ndarray):
    """A frame as a numpy array (height x width, or height x width x 3 for colour).

    ``timestamp``: seconds since frame 0 of the capture or file (when a stream's ring was lapped
    before its first copy, frame 0's time is extrapolated at the camera's frame interval); ``frame_number``: the frame's
    running number since the start of the capture (its index in a file); ``skipped``: frames
    the camera delivered since the previous frame of a stream that were lost to the host;
    ``electron_conversion``: (factor, offset) of a camera that reports electron values."""

    timestamp = 0.0
    frame_number = -1
    skipped = 0
    electron_conversion = None

    def __array_finalize__(self, obj):
        if obj is not None:
            self.timestamp = getattr(obj, "timestamp", 0.0)
            self.frame_number = getattr(obj, "frame_number", -1)
            self.skipped = getattr(obj, "skipped", 0)
            self.electron_conversion = getattr(obj, "electron_conversion", None)

    def __array_wrap__(self, out, context=None, *args):
        # Reductions give plain numbers, not zero-dimensional frames.
        out = super().__array_wrap__(out, context, *args)
        return out[()] if out.ndim == 0 else out

    def __reduce__(self):
        base = np.asarray(self)
        return (_rebuild, (base, self.timestamp, self.frame_number, self.skipped,
                           self.electron_conversion))

    @property
    def electrons(self):
        """The frame in electrons, (value - offset) x factor, as float32 (cameras that report
        electron values)."""
        if self.electron_conversion is None:
            raise refusal(NOTSUPPORT, "the camera reports no electron values", "electrons")
        factor, offset = self.electron_conversion
        return (np.asarray(self, np.float32) - np.float32(offset)) * np.float32(factor)


def _rebuild(array, timestamp, frame_number, skipped, electron_conversion=None):
    frame = np.asarray(array).view(Frame)
    frame.timestamp, frame.frame_number, frame.skipped = timestamp, frame_number, skipped
    frame.electron_conversion = electron_conversion
    return frame


class Layout:
    """How a frame of one capture lies in memory: the shape and dtype of the array, the row
    pitch the copy writes with, the bytes to allocate (at least views x height x pitch), and
    the views of a split sensor (2: the array is view x height x width, each view a block of
    height rows)."""

    __slots__ = ("shape", "dtype", "pitch", "nbytes", "packed12", "views", "view_bytes",
                 "_strides")

    def __init__(self, shape, dtype, pitch, nbytes, packed12=False, views=1):
        self.dtype, self.pitch, self.views = np.dtype(dtype), int(pitch), int(views)
        self.shape = tuple(shape) if views == 1 else (views,) + tuple(shape)
        self.nbytes, self.packed12 = int(nbytes), packed12
        item = self.dtype.itemsize
        row = item * int(np.prod(shape[1:]))
        self.view_bytes = shape[0] * self.pitch
        if self.pitch < row or self.nbytes < self.views * self.view_bytes:
            raise refusal(NOTSUPPORT, f"row pitch {pitch} does not hold a row of {row} bytes",
                          "capture")
        strides = (self.pitch, 3 * item, item) if len(shape) == 3 else (self.pitch, item)
        self._strides = strides if views == 1 else (self.view_bytes,) + strides

    def strides(self):
        return self._strides

    def allocate(self):
        """A fresh frame and the addresses the copy writes to, one per view."""
        raw = np.empty(self.nbytes, np.uint8)
        frame = np.ndarray.__new__(Frame, self.shape, self.dtype, raw.data, 0, self.strides())
        base = raw.ctypes.data
        return frame, [base + v * self.view_bytes for v in range(self.views)]


def capture_layout(data_type, width, height, pitch, frame_bytes, packed12, views=1):
    """The layout of captured frames from what the preparation and the camera report.

    width is in samples (three per pixel for colour), as the preparation reports it; pitch is
    the device's row pitch in bytes; frame_bytes the device's bytes per buffer frame (0 when
    unknown). The allocation covers both, so a copy of height rows of the pitch never passes
    the end of the array."""
    if packed12 and views > 1:
        raise refusal(NOTSUPPORT, "packed 12-bit frames of a split sensor are not supported",
                      "capture")
    if packed12:
        # The expansion writes height x (width / 2) pixel pairs with no gap between rows.
        w = width // 2 * 2
        return Layout((height, w), np.uint16, 2 * w, 2 * w * height, packed12=True)
    if data_type not in HOST_TYPES:
        raise refusal(NOTSUPPORT, f"frames of data type {data_type} are not supported",
                      "capture")
    dtype, samples = HOST_TYPES[data_type]
    shape = (height, width) if samples == 1 else (height, width // samples, samples)
    nbytes = max(views * height * pitch, frame_bytes)
    return Layout(shape, dtype, pitch, nbytes, views=views)
