"""A camera's captures: snaps, streams and recordings, each waiting in slices that a stop or a
close from another thread can interrupt."""

import math
import os
import time
from collections import namedtuple
from contextlib import contextmanager
from ctypes import byref, c_double, c_int32, c_uint32

from ._errors import ABORT, BUSY, QxcmError, Timeout
from ._native import refusal
from .frame import NO_HOST_TYPE, capture_layout
from .params import Parameter

AUTOMATIC = 0xFFFFFFFF  # the wait computes its own limit from the exposure settings
SEQUENCE, SNAP = 1, 0
STREAM_BUFFERS = 16
# The longest single wait in milliseconds: a capture waits in slices this long, each with the
# library's lock, so that a stop or close from another thread gets its turn in between.
WAIT_SLICE_MS = 20
# The slice of a stream whose owner runs its own calls while it waits (stream's `between`): a
# call queued for the camera waits at most this long, while frames still come without delay.
BETWEEN_SLICE_MS = 2
LEVELS = {"file": 0, "group": 1, "frame": 2}

# A stream so far: frames the camera delivered, frames handed to the host, frames lost before
# the last one handed (never delivered, or overwritten in the ring before they were copied).
StreamCounts = namedtuple("StreamCounts", "delivered copied lost")


def milliseconds(seconds, ceiling):
    """Seconds to whole milliseconds, rounded up, 0 for none or less, saturated at `ceiling`;
    NaN is refused."""
    t = float(seconds)
    if math.isnan(t):
        raise ValueError("timeout is NaN")
    if t <= 0:
        return 0
    ms = t * 1000.0
    return ceiling if ms >= ceiling else int(math.ceil(ms))


def timeout_ms(timeout):
    """Seconds to the wait's milliseconds: None for the library's automatic limit, rounded up,
    saturated below the automatic marker (so math.inf waits 49 days, not automatically)."""
    return AUTOMATIC if timeout is None else milliseconds(timeout, AUTOMATIC - 1)


def int32(value):
    """A host integer for a signed 32-bit argument; refused rather than wrapped."""
    value = int(value)
    if not -0x80000000 <= value <= 0x7FFFFFFF:
        raise ValueError(f"{value} does not fit a signed 32-bit argument")
    return value


def uint32(value):
    value = int(value)
    if not 0 <= value <= 0xFFFFFFFF:
        raise ValueError(f"{value} does not fit an unsigned 32-bit argument")
    return value


def level_number(level):
    if isinstance(level, str):
        return LEVELS[level]
    return int(level)


def text_bytes(text):
    return text if isinstance(text, (bytes, bytearray)) else str(text).encode("utf-8")


class CaptureMixin:
    """Captures for Camera; every native call goes through ``Camera._call``."""

    @contextmanager
    def _capture(self, name):
        with self._lib.native.lock:
            self._require_open(name)
            if self._capture_name is not None:
                raise refusal(BUSY, f"{self._capture_name} is running on this camera", name)
            self._capture_name, self._stop_requested = name, False
        try:
            yield
        finally:
            self._capture_name = None

    @contextmanager
    def _then(self, step):
        """Runs a step (an export's name, or a method) after the body; its failure is raised
        only if the body succeeded."""
        action = step if callable(step) else (lambda: self._call(step))

        def run():
            if not self.closed:  # a close has released everything already
                action()

        try:
            yield
        except BaseException:
            try:
                run()
            except QxcmError:
                pass
            raise
        run()

    def _prepare(self, mode, frames):
        if self._prepared:
            self._unprepare()  # buffers an earlier failed release left behind
        width, height, data_type = c_uint32(0), c_uint32(0), c_uint32(NO_HOST_TYPE)
        self._call("QXCM_PREPARECAPTURE_40", mode, frames, byref(width), byref(height),
                   byref(data_type))
        self._prepared = True
        try:
            return self._layout(data_type.value, width.value, height.value)
        except BaseException:
            try:
                self._unprepare()
            except QxcmError:
                pass
            raise

    def _layout(self, data_type, width, height):
        params = self.params
        packed12 = False
        if data_type == NO_HOST_TYPE and "IMAGE PIXEL TYPE" in params:
            packed12 = params["IMAGE PIXEL TYPE"].text == "MONO12P"
        pitch = frame_bytes = 0
        if not packed12:
            pitch = int(self._param("IMAGE ROWBYTES").get())
            if "IMAGE FRAME SIZE IN 8-BYTE UNITS" in params:
                frame_bytes = 8 * int(params["IMAGE FRAME SIZE IN 8-BYTE UNITS"].get())
        # A split sensor delivers its two views one above the other: both are copied, the
        # frame is view x height x width.
        views = 2 if "SENSOR MODE" in params and params["SENSOR MODE"].text == "SPLIT VIEW" else 1
        return capture_layout(data_type, width, height, pitch, frame_bytes, packed12, views)

    def _unprepare(self):
        self._call("QXCM_UNPREPARECAPTURE_40")
        self._prepared = False

    def _check_stop(self, name):
        if self._stop_requested:
            raise refusal(ABORT, "stopped", name)

    def _copy(self, layout, index):
        frame, addresses = layout.allocate()
        stamp = c_double(0.0)
        if layout.views == 2:
            self._call("QXCM_GETFRAME_SPLIT_40", index, *addresses, byref(stamp), 0)
        else:
            name = "QXCM_GETFRAME_PACK12_40" if layout.packed12 else "QXCM_GETFRAME_40"
            self._call(name, index, addresses[0], byref(stamp), 0)
        number, check = c_uint32(0), c_double(0.0)
        self._call("QXCM_GETFRAMENUMBER_40", index, byref(number), byref(check))
        # The stamp tells whether the number is the copied frame's or a later one's.
        frame.timestamp = stamp.value
        frame.frame_number = number.value if check.value == stamp.value else -1
        frame.electron_conversion = self._electron_values(index)
        return frame

    def _origin_after_frame_zero(self, ring):
        """Seconds from frame 0 to the time origin the library took at the first copy: the
        stamp of the frame buffer 0 held then. 0 unless the ring had lapped by then; frame 0 is
        gone in that case, and its time is extrapolated back at the interval between buffer 0's
        frame and buffer 1's."""
        if not self._lib.native.has("QXCM_GETFRAMENUMBER_40"):
            return 0.0
        n0, s0 = self._frame_number_at(0)
        if n0 is None or n0 == 0 or s0 != 0.0:  # no lap, or buffer 0 no longer the origin's
            return 0.0
        n1, s1 = self._frame_number_at(1 % ring)
        if n1 is None or n1 == n0:
            return 0.0
        return n0 * (s1 - s0) / (n1 - n0)

    def _frame_number_at(self, index):
        number, stamp = c_uint32(0), c_double(0.0)
        try:
            self._call("QXCM_GETFRAMENUMBER_40", index, byref(number), byref(stamp))
        except QxcmError:
            return None, None
        return number.value, stamp.value

    def _wait(self, limit, name, between=None):
        """Waits for a frame in slices of WAIT_SLICE_MS, each a call of its own; ends with ABORT
        when a stop was asked for, and with the library's Timeout at the whole limit. With
        `between`, slices are BETWEEN_SLICE_MS long and it is called after each that ended
        without a frame."""
        index, count = c_int32(0), c_int32(0)
        start = time.monotonic()
        # Seconds; the automatic limit is learnt when a first slice ends without a frame.
        whole = None if limit == AUTOMATIC else limit / 1000.0
        slice_ms = WAIT_SLICE_MS if between is None else BETWEEN_SLICE_MS
        while True:
            if self._stop_requested:
                raise refusal(ABORT, "stopped", name)
            left = math.inf if whole is None else whole - (time.monotonic() - start)
            piece = slice_ms if left > slice_ms / 1000.0 else max(0, math.ceil(left * 1000))
            try:
                self._call("QXCM_WAITNEXTFRAME_40", piece, byref(index), byref(count))
                return index.value, count.value
            except Timeout:
                if whole is None:
                    whole = self._automatic_limit()
                if time.monotonic() - start >= whole:
                    raise
            if between is not None:
                between()

    def _automatic_limit(self):
        """The whole limit in seconds that the library gives a wait with the automatic limit:
        one second plus exposure and overhead; none under an external or software trigger,
        5 s for a camera without exposure or trigger settings. Waits here are slices, so the
        package keeps the whole limit itself."""
        try:
            exposure = Parameter(self, "EXPOSURE TIME", 7).get()
            source = Parameter(self, "TRIGGER SOURCE", 15).get()
        except QxcmError:
            return 5.0
        if source in (2.0, 3.0):
            return math.inf
        try:
            overhead = Parameter(self, "FRAME OVERHEAD TIME", 38).get()
        except QxcmError:
            overhead = 1000.0
        return (1000 + math.trunc((exposure + overhead) * 1000)) / 1000.0

    def _captured(self):
        index, count = c_int32(0), c_int32(0)
        self._call("QXCM_GETCAPTUREINFO_40", byref(index), byref(count))
        return count.value

    def snap(self, timeout=None):
        """Captures one frame and returns it."""
        limit = timeout_ms(timeout)
        with self._capture("snap"):
            layout = self._prepare(SNAP, 1)
            with self._then(self._unprepare):
                self._call("QXCM_STARTCAPTURE_40")
                with self._then("QXCM_STOPCAPTURE_40"):
                    self._check_stop("snap")
                    index, count = self._wait(limit, "snap")
                    frame = self._copy(layout, index)
        return frame

    def stream(self, n=None, timeout=None, buffers=STREAM_BUFFERS, record=None, durable=False,
               between=None):
        """Yields the frames of a sequence capture as they come: n frames, or until stop().

        timeout is the longest wait for one frame in seconds (None: the library's limit from
        the exposure settings; none at all for external and software triggers). Frames that
        came while the host was busy are still handed out from the capture's ring, in order;
        only frames the ring no longer holds are lost. A frame's ``frame_number`` is the camera's
        own and its ``skipped`` counts every frame lost since the one before, whether the ring
        lapped the host or the camera never delivered it; ``stream_counts`` sums them up so far.
        With record=path every frame the camera delivers also goes to that .vlseq file
        (n frames at most), whether or not the host keeps up. `between` is called in the
        stream's thread while it waits for a frame, every few milliseconds: a thread that owns
        the camera makes its other calls there instead of waiting for the next frame."""
        limit, buffers = timeout_ms(timeout), int32(buffers)
        if n is not None and n <= 0:
            return
        with self._capture("stream"):
            try:
                yield from self._stream(n, limit, buffers, record, durable, between)
            except QxcmError:
                if self._stop_requested:  # stop(), close() or the library's end, any thread
                    return
                raise

    def write_text(self, text, level="frame", index=0):
        """Stores a text (str or bytes) in the recording that runs: at the file level, for a
        group or for a frame (index: the group or frame)."""
        data = text_bytes(text)
        self._call("QXCM_WRITEMETADATA_40", level_number(level), uint32(index), data, len(data))

    def _stream(self, n, limit, buffers, record, durable, between):
        layout = self._prepare(SEQUENCE, buffers)
        ring = buffers if buffers >= 5 else 5  # the library's smallest sequence ring
        with self._then(self._unprepare), self._recording(record, n, durable):
            self._call("QXCM_STARTCAPTURE_40")
            with self._then("QXCM_STOPCAPTURE_40"):
                handed, last, previous, lost = 0, 0, -1, 0
                shift = None  # seconds from frame 0 to the library's time origin
                self.stream_counts = StreamCounts(0, 0, 0)
                while n is None or handed < n:
                    newest, count = self._wait(limit, "stream", between)
                    # Frame c (counted from 1) lies in buffer newest - (count - c) of the ring
                    # and stays intact until the device starts frame c - 1 + ring.
                    first = max(last + 1, count - (ring - 2))
                    lost += first - (last + 1)
                    for c in range(first, count + 1):
                        if self._stop_requested:  # frames the ring still holds are not handed out
                            return
                        try:
                            frame = self._copy(layout, (newest - (count - c)) % ring)
                        except QxcmError:
                            # The device refuses a buffer it is filling again.
                            if self._captured() < c - 1 + ring:
                                raise
                            frame = None
                        if frame is None or frame.frame_number < 0 or \
                                self._captured() >= c - 1 + ring:
                            continue  # overwritten before or while it was copied
                        if shift is None:
                            shift = self._origin_after_frame_zero(ring)
                        frame.timestamp += shift
                        frame.skipped = frame.frame_number - previous - 1
                        previous, lost = frame.frame_number, lost + frame.skipped
                        handed += 1
                        self.stream_counts = StreamCounts(count, handed, lost)
                        yield frame
                        if n is not None and handed >= n:
                            return
                    last = max(last, count)

    @contextmanager
    def _recording(self, path, frames, durable):
        if path is None:
            yield
            return
        frames = 0x7FFFFFFF if frames is None else int32(frames)
        self._call("QXCM_STARTRECORDER_41", os.fsencode(path), frames, 0 if durable else 1)
        with self._then("QXCM_STOPRECORDER_40"):
            yield

    def stop(self):
        """Stops a running capture from any thread: a stream ends (after the frame its loop
        holds), a snap or a recording in progress raises QxcmError with the ABORT code. The
        capture sees the request before its next wait, so a stop that comes before the
        capture's start or wait is not lost."""
        with self._lib.native.lock:
            self._require_open("stop")
            if self._capture_name is not None:
                self._stop_requested = True
            self._call("QXCM_STOPCAPTURE_40")

    def record(self, path, frames, texts=None, timeout=None, durable=False, buffers=STREAM_BUFFERS):
        """Records the next `frames` frames of a sequence capture to a .vlseq file.

        texts: {"file": text, ("group", g): text, ("frame", k): text, ...} stored with the
        recording. durable=True forces batches of frames to disk as they are written. Returns
        the path of the file (".vlseq" appended when the path does not contain it)."""
        frames, limit, buffers = int32(frames), timeout_ms(timeout), int32(buffers)
        if frames < 1:
            raise ValueError("a recording needs at least one frame")
        raw = os.fsencode(path)
        with self._capture("record"):
            self._prepare(SEQUENCE, buffers)
            with self._then(self._unprepare), self._recording(raw, frames, durable):
                for key, text in (texts or {}).items():
                    level, index = (key, 0) if not isinstance(key, tuple) else key
                    self.write_text(text, level, index)
                self._call("QXCM_STARTCAPTURE_40")
                with self._then("QXCM_STOPCAPTURE_40"):
                    while self._recorded() < frames:
                        self._check_stop("record")
                        self._wait(limit, "record")
        text = os.fsdecode(raw)
        return text if ".vlseq" in text else text + ".vlseq"

    def _recorded(self):
        index, count = c_int32(0), c_int32(0)
        self._call("QXCM_GETRECORDERSTATUS_40", byref(index), byref(count))
        return count.value
