"""The library session: initialisation, the cameras it finds, and its end."""

import ctypes
import os
import threading
import weakref
from collections import namedtuple
from ctypes import byref, c_uint32

from ._errors import BUSY, NOTSUPPORT, QxcmError
from ._native import native, refusal

INFO_BUS, INFO_SERIAL, INFO_MODEL = 0x04000101, 0x04000102, 0x04000104

_active, _active_lock = None, threading.Lock()  # the Library now open in this process

CameraInfo = namedtuple("CameraInfo", "index model serial bus is_open")


class Library:
    """An initialised library. As a context manager it de-initialises on exit, closing every
    camera still open, also when the body raised."""

    def __init__(self, log=False, replay=None):
        """replay: a .vlseq recording that the simulated device plays as camera 0, frames and
        time stamps as recorded, before its own cameras (the simulated device only)."""
        self.native = native()
        global _active
        with _active_lock:
            other = _active() if _active is not None else None
            if other is not None and not other.closed:
                # The library's state is process-wide: a second session would be torn down
                # with the first.
                raise refusal(BUSY, "another qxcm.Library is open in this process; close it "
                                "first", "Library")
            _active = weakref.ref(self)
        count = c_uint32(0)
        version, device = ctypes.create_string_buffer(64), ctypes.create_string_buffer(64)
        self.closed = True  # until the initialisation succeeded
        _play(self.native, replay)
        try:
            self.native.call("QXCM_INITIALIZE_40", byref(count), version, device, 0,
                             1 if log else 0)
        except QxcmError:
            if replay is not None:
                _play(self.native, None)  # a file that cannot be played spoils no later session
            raise
        self.camera_count = count.value
        self.version = version.value.decode("latin-1")
        self.device_version = device.value.decode("latin-1")
        self._open = {}
        self.closed = False

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        state = "closed" if self.closed else f"{self.camera_count} cameras"
        return f"<qxcm.Library {self.version} ({state})>"

    def info(self, index):
        def text(ident):
            buf = ctypes.create_string_buffer(256)
            try:
                self.native.call("QXCM_GETCAMERAINFO_40", index, ident, buf)
            except QxcmError:
                return None  # the camera has no such text
            return buf.value.decode("latin-1")

        return CameraInfo(index, text(INFO_MODEL), text(INFO_SERIAL), text(INFO_BUS),
                          index in self._open)

    @property
    def cameras(self):
        return [self.info(i) for i in range(self.camera_count)]

    def open(self, index, force=False):
        from .camera import Camera  # the camera module builds on this one

        camera = Camera(self, index, force)
        self._open[index] = camera
        return camera

    def close(self):
        """Closes every camera and de-initialises (forced); a second close does nothing. From
        any thread: a capture that runs in another one ends."""
        with self.native.lock:
            if self.closed:
                return
            self.closed = True
            for camera in list(self._open.values()):
                camera._release_quietly()
            self._open.clear()
            self.native.functions["QXCM_DEINITIALIZE_40"](1)


_replaying = None  # the recording the simulated device was last told to play


def _play(lib, replay):
    """Makes the simulated device play `replay` as camera 0 (None: its own cameras only). It
    reads VELASIM_REPLAY when its camera set is next needed, which a reset brings about."""
    global _replaying
    want = os.fspath(replay) if replay is not None else None
    if want is None and _replaying is None:
        return
    name = "VELAAPI.dll" if os.name == "nt" else "libvelaapi.so"
    try:
        reset = ctypes.CDLL(str(lib.folder / name)).VelaSim_Reset
    except (OSError, AttributeError):
        raise refusal(NOTSUPPORT, "replaying a recording needs the simulated device library",
                      "Library") from None
    if want is not None:
        os.environ["VELASIM_REPLAY"] = want
    else:
        os.environ.pop("VELASIM_REPLAY", None)
    reset()
    _replaying = want
