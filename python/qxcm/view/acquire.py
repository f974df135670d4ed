"""The acquisition thread: the only thread that calls the camera. It streams frames, keeps the
newest one for the viewers and runs the commands they queue between two frames."""

import concurrent.futures
import math
import os
import queue
import re
import threading
import time
from collections import deque
from contextlib import closing

from .. import Library, QxcmError, open_sequence
from .._errors import BUSY, TIMEOUT

INT32_MAX = 0x7FFFFFFF
NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9._-]{0,63}")
IDLE_PAUSE = 0.5
# What fixes the layout of the frames a capture delivers.
LAYOUT = ("IMAGE WIDTH", "IMAGE HEIGHT", "IMAGE ROWBYTES", "IMAGE PIXEL TYPE", "SENSOR MODE",
          "BINNING")  # between retries of a capture that failed to start


class Refused(Exception):
    """A command the viewer refuses before it reaches the library."""


class _NeedsIdle(Exception):
    """The camera refused a change while capturing: it runs again with the capture stopped."""


def safe_name(name, suffix=""):
    """A file name from a client: plain characters only, never a path."""
    if not isinstance(name, str) or not NAME.fullmatch(name) or ".." in name:
        raise Refused(f"{name!r} is not a plain file name (letters, digits, '.', '_', '-')")
    return name if not suffix or name.endswith(suffix) else name + suffix


def finite_number(value, what):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise Refused(f"{what} must be a number")
    try:
        finite = math.isfinite(value)
    except OverflowError:  # an integer beyond every float
        finite = False
    if not finite:
        raise Refused(f"{what} must be finite")
    return value


class Latest:
    """The newest frame and what the viewers show with it. Replaced whole, never changed."""

    __slots__ = ("seq", "frame", "number", "stamp", "wall", "skipped_total", "fps", "bits")

    def __init__(self, seq, frame, wall, skipped_total, fps, bits):
        self.seq, self.frame, self.wall = seq, frame, wall
        self.number, self.stamp = int(frame.frame_number), float(frame.timestamp)
        self.skipped_total, self.fps, self.bits = skipped_total, fps, bits


class Acquisition(threading.Thread):
    """Opens the library and one camera in its own thread and streams until stop().

    notify() is called (from this thread) after each new frame and must be cheap."""

    def __init__(self, camera=0, folder=".", notify=None):
        super().__init__(name="qxcm-acquisition", daemon=True)
        self.camera_index, self.folder = int(camera), os.path.realpath(folder)
        self.notify = notify or (lambda: None)
        self.ready = concurrent.futures.Future()
        self.latest = None
        self.last_error = ""
        self.camera_status = 0
        self.recording = None  # {"name", "frames", "written", "delivered", "lost", "bytes", "done"}
        self._commands = queue.Queue()
        self._quit = False
        self._cam = None
        self._record_to = None  # (path, frames) for the next capture
        self._restart = self._capturing = False

    # ---- the web side's interface (any thread) ----

    def submit(self, command, *args):
        """Queues a command; the future gets its result or its exception."""
        future = concurrent.futures.Future()
        if self._quit or not self.is_alive():
            future.set_exception(Refused("the camera is closed"))
        else:
            self._commands.put((getattr(self, "_cmd_" + command), args, future))
        return future

    def stop(self, timeout=10.0):
        """Ends the capture, closes the camera and de-initialises, in whatever state."""
        self._quit = True
        cam = self._cam
        if cam is not None:
            try:
                cam.stop()  # the one call made from outside: it ends a wait that may be long
            except Exception:
                pass
        self.join(timeout)

    @property
    def recording_active(self):
        return self._record_to is not None

    def status(self):
        latest = self.latest
        return {"camera": self.camera_index, "status": self.camera_status,
                "error": self.last_error, "recording": dict(self.recording or {}) or None,
                "frame": latest.number if latest else None,
                "fps": latest.fps if latest else 0.0,
                "lost": latest.skipped_total if latest else 0}

    # ---- the thread ----

    def run(self):
        try:
            with Library() as lib, lib.open(self.camera_index) as cam:
                self._cam = cam
                self.ready.set_result(lib.info(self.camera_index))
                while not self._quit:
                    self._capture(cam)
        except BaseException as e:
            if not self.ready.done():
                self.ready.set_exception(e)
            else:
                self.last_error = str(e)
        finally:
            self._cam = None
            self._quit = True
            self._fail_pending(Refused("the camera is closed"))

    def _fail_pending(self, error):
        while True:
            try:
                _, _, future = self._commands.get_nowait()
            except queue.Empty:
                return
            future.set_exception(error)

    def _run_commands(self, capturing):
        """Runs the queued commands; a change the camera refuses while capturing is kept for
        after the capture stopped (unless a recording runs: that is not broken for it)."""
        deferred = []
        while True:
            try:
                item = self._commands.get_nowait()
            except queue.Empty:
                break
            fn, args, future = item
            try:
                future.set_result(fn(*args))
            except _NeedsIdle:
                if capturing and self._record_to is None:
                    deferred.append(item)
                    self._restart = True
                else:
                    future.set_exception(self._busy_error)
            except BaseException as e:
                future.set_exception(e)
        for item in deferred:
            self._commands.put(item)

    def _bits(self, cam):
        try:
            return 12 if cam.params["IMAGE PIXEL TYPE"].text == "MONO12P" else 16
        except (KeyError, QxcmError):
            return 16

    def _capture(self, cam):
        self._run_commands(False)
        if self._quit:
            return
        self._restart = self._capturing = False
        record = self._record_to
        bits = self._bits(cam)
        started = time.monotonic()
        stamps, skipped_total, offset = deque(maxlen=64), 0, math.inf
        path, frames = record if record else (None, None)
        polled = 0.0
        try:
            self.camera_status = cam.status
            # The library's own limit for a wait: it follows the exposure, and is none for a
            # camera waiting for outside triggers (commands run while it waits, see _between).
            with closing(cam.stream(frames, record=path, between=self._between)) as stream:
                for frame in stream:
                    wall = time.time()
                    offset = min(offset, wall - frame.timestamp)
                    stamps.append(frame.timestamp)
                    skipped_total += frame.skipped
                    span = stamps[-1] - stamps[0]
                    fps = (len(stamps) - 1) / span if span > 0 else 0.0
                    latest = Latest((self.latest.seq + 1) if self.latest else 1, frame,
                                    frame.timestamp + offset, skipped_total, fps,
                                    8 if frame.dtype.itemsize == 1 else bits)
                    self.latest = latest
                    self.notify()
                    if record and wall - polled > 0.25:
                        polled = wall
                        self._progress(cam, path, frame.frame_number + 1)
                    self.camera_status, self._capturing = 1, True
                    self._run_commands(True)
                    if self._quit or self._restart:
                        break
        except QxcmError as e:
            if self._quit:
                return
            if e.code != TIMEOUT:
                self.last_error = str(e)
                # A capture that cannot start is retried slowly, commands still served.
                until = started + IDLE_PAUSE
                while not self._quit and time.monotonic() < until:
                    time.sleep(0.02)
                    self._run_commands(False)
        finally:
            self._capturing = False
            if record:
                self._finish_recording(path)
            try:
                self.camera_status = cam.status
            except QxcmError:
                pass

    def _between(self):
        """While the capture waits for a frame: queued commands run at once, not at the next
        frame (which may be many milliseconds or, with outside triggers, seconds away)."""
        if self._quit or self._restart or self._commands.empty():
            return
        self._capturing = True
        self._run_commands(True)
        if self._restart:
            self._cam.stop()  # ends this capture's wait; the next capture applies the change

    def _progress(self, cam, path, delivered):
        try:
            written = cam._recorded()
        except QxcmError:
            return
        try:
            size = os.path.getsize(path)
        except OSError:
            size = 0
        self.recording.update(written=written, delivered=delivered, bytes=size)

    def _finish_recording(self, path):
        self._record_to = None
        rec = self.recording
        delivered = (self.latest.number + 1) if self.latest else 0
        try:
            with open_sequence(path) as seq:
                written = len(seq)
        except (QxcmError, OSError) as e:
            written = rec.get("written", 0)
            self.last_error = f"recording: {e}"
        try:
            size = os.path.getsize(path)
        except OSError:
            size = 0
        rec.update(written=written, delivered=delivered, bytes=size,
                   lost=max(0, delivered - written), done=True)

    # ---- commands (run in this thread) ----

    _busy_error = Refused("the camera refuses this while a recording runs; stop it first")

    def _cmd_params(self):
        out = []
        for name, p in self._cam.params.items():
            entry = {"name": name}
            try:
                limits = p.limits
                entry.update(min=limits.min, max=limits.max, step=limits.step,
                             writable=p.writable, choices=p.choices)
                entry["value"] = p.get()
                entry["text"] = p.text if entry["choices"] else None
            except QxcmError as e:
                entry["error"] = str(e)
            out.append(entry)
        return out

    def _checked(self, name, value):
        """The parameter and the value to write, checked against what the camera lists."""
        if not isinstance(name, str):
            raise Refused("a parameter name must be a text")
        params = self._cam.params
        if name not in params:
            raise Refused(f"the camera has no parameter {name!r}")
        p = params[name]
        limits, choices = p.limits, p.choices
        if not p.writable:
            raise Refused(f"{name} is read-only")
        if isinstance(value, str):
            if not choices or value not in choices:
                raise Refused(f"{name}: {value!r} is none of {sorted(choices or ())}")
            return p, choices[value]
        value = finite_number(value, name)
        if choices and float(value) not in choices.values():
            raise Refused(f"{name}: {value!r} is none of its values {sorted(choices.values())}")
        if not limits.min <= value <= limits.max:
            raise Refused(f"{name}: {value!r} is outside {limits.min:g} .. {limits.max:g}")
        return p, float(value)

    def _layout(self):
        params = self._cam.params
        return tuple(params[n].get() for n in LAYOUT if n in params)

    def _cmd_set(self, name, value):
        p, value = self._checked(name, value)
        before, old = (self._layout(), p.get()) if self._capturing else (None, None)
        try:
            p.set(value)
        except QxcmError as e:
            if e.code == BUSY and self._capturing:
                self._busy_error = e
                raise _NeedsIdle() from e
            raise
        # A change the camera takes while capturing may change the frames' layout, which the
        # capture fixed when it started: it starts again, or, while recording, is undone.
        if before is not None and self._layout() != before:
            if self._record_to is not None:
                p.set(old)
                raise Refused(f"{name} changes the frames' layout; stop the recording first")
            self._restart = True
        return {"name": name, "value": p.get(), "text": p.text if p.choices else None}

    def _cmd_area(self, rect):
        """rect: (x, y, width, height) in pixels of the displayed frame, or None for the whole
        sensor. Converted to sensor pixels through the area and binning now set."""
        cam = self._cam
        limits = cam.area_limits()
        if rect is not None:
            if not isinstance(rect, (list, tuple)) or len(rect) != 4:
                raise Refused("an area is [x, y, width, height]")
            x, y, w, h = (finite_number(v, "area") for v in rect)
            binning = max(1, cam.binning)
            now = cam.area
            sensor_w = limits["width"][2] + limits["x"][0]
            sensor_h = limits["height"][2] + limits["y"][0]
            # Two views lie side by side in the page: a rectangle on the second means the same
            # place on the sensor.
            frame_w = now.width // binning
            x = x % frame_w if x >= frame_w else x

            def snap(v, step):
                step = max(1, int(step))
                return int(v) // step * step

            sx = snap(now.x + x * binning, limits["x"][3])
            sy = snap(now.y + y * binning, limits["y"][3])
            sw = max(limits["width"][1], snap(w * binning, limits["width"][3]))
            sh = max(limits["height"][1], snap(h * binning, limits["height"][3]))
            if not (0 <= sx and 0 <= sy and sx + sw <= sensor_w and sy + sh <= sensor_h):
                raise Refused(f"the area {sx}, {sy}, {sw} x {sh} does not fit the sensor "
                              f"({sensor_w} x {sensor_h})")
            rect = (sx, sy, sw, sh)
        try:
            cam.area = rect
        except QxcmError as e:
            if e.code == BUSY and self._capturing:
                self._busy_error = e
                raise _NeedsIdle() from e
            raise
        return list(cam.area)

    def _cmd_record(self, name, frames=None):
        if self._record_to is not None:
            raise Refused("a recording runs already")
        path = os.path.join(self.folder, safe_name(name, ".vlseq"))
        if os.path.lexists(path):
            raise Refused(f"{os.path.basename(path)} exists already")
        if frames is not None:
            frames = finite_number(frames, "frames")
            if frames != int(frames) or not 1 <= frames <= INT32_MAX:
                raise Refused(f"frames must be a whole number from 1 to {INT32_MAX}")
            frames = int(frames)
        self._record_to = (path, frames)
        self.recording = {"name": os.path.basename(path), "frames": frames, "written": 0,
                          "delivered": 0, "lost": 0, "bytes": 0, "done": False}
        self._restart = True
        return self.recording["name"]

    def _cmd_record_stop(self):
        if self._record_to is None:
            raise Refused("no recording runs")
        self._restart = True
        return True
