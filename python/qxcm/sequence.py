"""Reading .vlseq recordings: frames by index, stamps, texts, all frames as one array, and
export to OME-Zarr."""

import ctypes
import mmap
import os
import struct
import sys
import threading
import zlib
from ctypes import byref, c_double, c_int32, c_uint32

import numpy as np

from ._errors import FAILEDREADDATA
from ._native import native, refusal
from .camera import level_number
from .frame import Frame

HEADER_BYTES = 4096
FRAME_HEAD_BYTES = 412  # a frame chunk's header and directory come before its pixels
MAGIC = b"VLSQ\r\n\x1a\n"
TIFF_HEAD = b"II+\x00\x08\x00\x00\x00"
# pixelType: (dtype, samples per pixel)
PIXEL_TYPES = {1: (np.uint8, 1), 2: (np.uint16, 1), 3: (np.uint8, 3), 4: (np.uint16, 3)}

# The library hands out one slot per path and one close frees it for every holder: the slots
# this process holds are counted here, so closing one Sequence leaves the others working.
_slot_users = {}
_slot_lock = threading.Lock()


class Header:
    """The fields of a recording's header block that reading needs, checked as the format
    prescribes (magic, version, superblock CRC, geometry)."""

    def __init__(self, block):
        if len(block) < HEADER_BYTES or block[0:8] != TIFF_HEAD or block[16:24] != MAGIC:
            raise ValueError("not a .vlseq recording")
        major, _, header_bytes, self.compat, incompat = struct.unpack_from("<HHIII", block, 24)
        if major != 1 or incompat != 0 or header_bytes != HEADER_BYTES:
            raise ValueError("unsupported .vlseq version")
        if zlib.crc32(block[16:252]) != struct.unpack_from("<I", block, 252)[0]:
            raise ValueError("damaged .vlseq header")
        (self.pixel_type, self.width, self.height, spp, bps, self.align_log2, self.row_pitch,
         self.frame_bytes, self.max_frames, _, self.file_text_capacity,
         self.frame_text_capacity) = struct.unpack_from("<IIIIIIQQIIII", block, 40)
        self.file_id = struct.unpack_from("<I", block, 112)[0]
        if self.pixel_type not in PIXEL_TYPES:
            raise ValueError(f"unknown pixel type {self.pixel_type}")
        dtype, samples = PIXEL_TYPES[self.pixel_type]
        self.dtype = np.dtype(dtype)
        self.shape = (self.height, self.width) if samples == 1 else (self.height, self.width, 3)
        if (spp, bps) != (samples, self.dtype.itemsize) or \
                self.row_pitch != self.width * samples * bps or \
                self.frame_bytes != self.row_pitch * self.height:
            raise ValueError("inconsistent .vlseq geometry")
        self.commits = [self._commit(block, 256, 1), self._commit(block, 320, 0)]

    @staticmethod
    def _commit(block, offset, parity):
        record = block[offset:offset + 64]
        if zlib.crc32(record[:60]) != struct.unpack_from("<I", record, 60)[0]:
            return None
        seq, count, _, _, last_ifd, trailer, state = struct.unpack_from("<QQQQQQI", record)
        if seq == 0 or seq % 2 != parity:
            return None
        return seq, count, trailer, state, last_ifd

    def latest_commit(self):
        valid = [c for c in self.commits if c is not None]
        return max(valid) if valid else None


def frame_offsets(f, header, size):
    """The pixel offsets of every frame of a cleanly closed file from its index, or None when
    the file was not closed or its index does not check out (the library then walks it)."""
    commit = header.latest_commit()
    if commit is None or commit[3] != 1 or commit[2] < HEADER_BYTES:
        return None
    _, count, trailer, _, last_ifd = commit
    f.seek(trailer)
    head = f.read(64)
    if len(head) != 64 or head[0:4] != b"VLCK":
        return None
    kind, head_bytes, chunk_bytes, _, file_id, head_crc = struct.unpack_from("<HHQQII", head, 4)
    zeroed = head[:28] + b"\0\0\0\0" + head[32:]
    if kind != 3 or head_bytes != 64 or file_id != header.file_id or \
            zlib.crc32(zeroed) != head_crc:
        return None
    n, texts, payload_crc = struct.unpack_from("<QQI", head, 32)
    if n != count or n < 1 or n > (size - HEADER_BYTES) // max(header.frame_bytes, 1):
        return None
    payload_bytes = n * 16 + texts * 24
    if payload_bytes > chunk_bytes - 64 or trailer + 64 + payload_bytes > size:
        return None
    payload = f.read(payload_bytes)
    if len(payload) != payload_bytes or zlib.crc32(payload) != payload_crc:
        return None
    table = np.frombuffer(payload, dtype="<u8", count=2 * n)[0::2]
    align = (1 << header.align_log2) - 1
    if np.any(table & align) or np.any(np.diff(table.astype(np.int64)) < header.frame_bytes) or \
            int(table[0]) < HEADER_BYTES + FRAME_HEAD_BYTES or \
            int(table[-1]) + header.frame_bytes > trailer:
        return None
    # As the library's reader does: the last frame's own chunk must agree with the index.
    start = last_ifd - 96
    if last_ifd < HEADER_BYTES + 96 or start + 96 > trailer:
        return None
    f.seek(start)
    head = f.read(96)
    if len(head) != 96 or head[0:4] != b"VLCK":
        return None
    kind, head_bytes, _, _, file_id, head_crc = struct.unpack_from("<HHQQII", head, 4)
    index, _, _, data_offset = struct.unpack_from("<QIiQ", head, 32)
    if kind != 1 or head_bytes != 96 or file_id != header.file_id or index != n - 1 or \
            data_offset != int(table[-1]) or \
            zlib.crc32(head[:28] + b"\0\0\0\0" + head[32:]) != head_crc:
        return None
    return table


COMPAT_LEDGER = 4  # frames carry the device's numbers and the gaps before them


def read_ledger(f, header, count):
    """The device number of each of the first `count` frames and the gaps, as (first, count,
    dropped) tuples, from the frame chunks (and the index for a gap after the last frame).
    Files from before frames carried numbers are numbered by index, without gaps."""
    if not header.compat & COMPAT_LEDGER:
        return np.arange(count, dtype=np.uint64), []
    indexed = _indexed_ledger(f, header, count)
    if indexed is not None:
        return indexed
    numbers, gaps, off, size = np.empty(count, np.uint64), [], HEADER_BYTES, os.fstat(
        f.fileno()).st_size
    k = 0
    while off + 96 <= size:
        f.seek(off)
        head = f.read(96)
        kind, _, chunk_bytes, _, file_id, _ = struct.unpack_from("<HHQQII", head, 4)
        if head[0:4] != b"VLCK" or file_id != header.file_id or chunk_bytes < 64 or \
                chunk_bytes % 64 or chunk_bytes > size - off:
            break
        if kind == 1 and k < count:
            number, gap, dropped = struct.unpack_from("<QII", head, 80)
            numbers[k] = number
            if gap:
                gaps.append((int(number - gap), gap, dropped))
            k += 1
        elif kind == 3:
            gap, dropped = struct.unpack_from("<II", head, 56)
            if gap and k == count:
                gaps.append((int(numbers[-1]) + 1, gap, dropped))
            break
        off += chunk_bytes
    if k != count:
        raise ValueError("the frame chunks end before the frames the library read")
    return numbers, gaps


def _indexed_ledger(f, header, count):
    """The ledger table of a cleanly closed file's index (one read), or None when there is none
    or it does not check out: its CRC, its frame count, and the rules every frame follows."""
    commit = header.latest_commit()
    if commit is None or commit[3] != 1 or commit[2] < HEADER_BYTES:
        return None
    f.seek(commit[2])
    head = f.read(64)
    if len(head) != 64 or head[0:4] != b"VLCK":
        return None
    kind, _, chunk_bytes, _, file_id, _ = struct.unpack_from("<HHQQII", head, 4)
    n, texts, _, ledger_crc, trailing, trailing_dropped = struct.unpack_from("<QQIIII", head, 32)
    start = 64 + n * 16 + texts * 24
    if kind != 3 or file_id != header.file_id or n != count or start + n * 16 > chunk_bytes:
        return None
    f.seek(commit[2] + start)
    table = f.read(n * 16)
    if len(table) != n * 16 or zlib.crc32(table) != ledger_crc:
        return None
    entries = np.frombuffer(table, dtype=np.dtype([("number", "<u8"), ("gap", "<u4"),
                                                    ("dropped", "<u4")]))
    numbers, gap, dropped = entries["number"], entries["gap"].astype(np.uint64), \
        entries["dropped"].astype(np.uint64)
    rising = np.diff(numbers.astype(np.int64)) > 0  # a new capture may number from 0 again
    if np.any(dropped > gap) or np.any(gap > numbers) or trailing_dropped > trailing or \
            np.any((numbers[1:] - numbers[:-1] - 1 != gap[1:]) & rising):
        return None
    at = np.flatnonzero(gap)
    gaps = [(int(numbers[k] - gap[k]), int(gap[k]), int(dropped[k])) for k in at]
    if trailing and count:
        gaps.append((int(numbers[-1]) + 1, trailing, trailing_dropped))
    return numbers.copy(), gaps


class Sequence:
    """A recording opened for reading (a context manager; close() frees its file slot)."""

    def __init__(self, path):
        self.path = os.fspath(path)
        self._native = native()
        slot, count = c_uint32(0), c_int32(0)
        self._native.call("QXCM_OPENVLSEQFILE_40", byref(slot), os.fsencode(self.path),
                          byref(count))
        with _slot_lock:
            _slot_users[slot.value] = _slot_users.get(slot.value, 0) + 1
        self.slot, self._count, self.closed = slot.value, count.value, False
        try:
            with open(self.path, "rb") as f:
                self.header = Header(f.read(HEADER_BYTES))
        except (OSError, ValueError) as e:
            self.close()
            raise refusal(FAILEDREADDATA, str(e), "open_sequence") from None
        width, height = c_uint32(0), c_uint32(0)
        self._call("QXCM_GETVLSEQFRAMEINFO_40", 0, byref(width), byref(height))
        h = self.header
        if height.value != h.height or width.value != h.width * (3 if len(h.shape) == 3 else 1):
            self.close()
            raise refusal(FAILEDREADDATA, "frame geometry differs from the header",
                            "open_sequence")
        self.shape, self.dtype = h.shape, h.dtype
        self._timestamps = self._ledger = None

    def _call(self, name, *args):
        if self.closed:
            raise refusal(FAILEDREADDATA, "the sequence is closed", name)
        self._native.call(name, self.slot, *args)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __len__(self):
        return self._count

    def __repr__(self):
        return f"<qxcm.Sequence {self.path!r}: {self._count} frames {self.shape} {self.dtype}>"

    def close(self):
        if self.closed:
            return
        self.closed = True
        with _slot_lock:
            users = _slot_users.get(self.slot, 1) - 1
            if users > 0:
                _slot_users[self.slot] = users
                return
            _slot_users.pop(self.slot, None)
        self._native.call("QXCM_CLOSEVLSEQFILE_40", self.slot)

    def _index(self, k):
        k = int(k)
        if k < 0:
            k += self._count
        if not 0 <= k < self._count:
            raise IndexError(f"frame {k} of {self._count}")
        return k

    def __getitem__(self, k):
        if isinstance(k, slice):
            return [self[i] for i in range(*k.indices(self._count))]
        k = self._index(k)
        frame = np.empty(self.shape, self.dtype).view(Frame)
        stamp = c_double(0.0)
        self._call("QXCM_GETVLSEQFRAMEDATA_40", k, frame.ctypes.data, byref(stamp), 0)
        frame.timestamp, frame.frame_number = stamp.value, int(self.frame_numbers[k])
        return frame

    def __iter__(self):
        for k in range(self._count):
            yield self[k]

    @property
    def timestamps(self):
        """Seconds since frame 0, one per frame."""
        if self._timestamps is None:
            stamps, stamp = np.empty(self._count), c_double(0.0)
            fn, err = self._native.function("QXCM_GETTIMESTAMP"), c_int32(0)
            for k in range(self._count):
                if fn(self.slot, k, byref(stamp), byref(err)) != 1:
                    raise self._native.fail("QXCM_GETTIMESTAMP", err.value)
                stamps[k] = stamp.value
            stamps.flags.writeable = False
            self._timestamps = stamps
        return self._timestamps

    def _read_ledger(self):
        if self._ledger is None:
            try:
                with open(self.path, "rb") as f:
                    numbers, gaps = read_ledger(f, self.header, self._count)
            except (OSError, ValueError, struct.error) as e:
                raise refusal(FAILEDREADDATA, str(e), "open_sequence") from None
            numbers.flags.writeable = False
            self._ledger = numbers, gaps
        return self._ledger

    @property
    def frame_numbers(self):
        """The device's number of every frame: a jump is frames the camera exposed that the
        recording lacks (their index in recordings made before frames carried numbers)."""
        return self._read_ledger()[0]

    @property
    def gaps(self):
        """The numbers the recording lacks, as (first, count, dropped) tuples: `dropped` of them
        the recorder dropped for want of room, the rest never reached it."""
        return list(self._read_ledger()[1])

    def texts(self, level, k=0):
        """The text stored at a level ("file", "group" or "frame", as str or bytes; or 0, 1, 2)
        and index: a str as this package writes texts (UTF-8, which plain ASCII is too), the
        bytes as stored when they are not such text; empty when none was written. Trailing
        NUL bytes are not kept."""
        if isinstance(level, (bytes, bytearray)):
            level = bytes(level).decode("ascii", "replace")
        level = level_number(level)
        capacity = self.header.file_text_capacity if level in (0, 1) else \
            self.header.frame_text_capacity
        buf = ctypes.create_string_buffer(capacity + 1)
        self._call("QXCM_READMETADATA_40", level, int(k), buf, capacity + 1)
        raw = buf.raw[:capacity].rstrip(b"\0")
        try:
            return raw.decode("utf-8")
        except UnicodeDecodeError:
            return raw

    def asarray(self):
        """All frames as one array (frames x height x width [x 3]): a read-only memory map of
        the file when its frames lie at one stride (a cleanly closed recording without texts
        between frames), else the frames loaded into memory."""
        mapped = self._map()
        if mapped is not None:
            return mapped
        out = np.empty((self._count,) + self.shape, self.dtype)
        stamp = c_double(0.0)
        for k in range(self._count):
            self._call("QXCM_GETVLSEQFRAMEDATA_40", k, out[k].ctypes.data, byref(stamp), 0)
        return out

    def _map(self):
        with open(self.path, "rb") as f:
            size = os.fstat(f.fileno()).st_size
            offsets = frame_offsets(f, self.header, size)
            if offsets is None or len(offsets) != self._count:
                return None
            stride = int(offsets[1] - offsets[0]) if len(offsets) > 1 else self.header.frame_bytes
            if len(offsets) > 1 and np.any(np.diff(offsets.astype(np.int64)) != stride):
                return None
            m = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
        item = self.dtype.itemsize
        strides = (stride, self.header.row_pitch) + ((3 * item, item) if len(self.shape) == 3
                                                     else (item,))
        array = np.ndarray((self._count,) + self.shape, self.dtype, m, int(offsets[0]), strides)
        array.flags.writeable = False
        return array

    def _all_texts(self):
        """Every text of the file as {"file": str, "group": {index: str}, "frame": {...}}."""
        def text(level, k=0):
            t = self.texts(level, k)
            return t if isinstance(t, str) else t.decode("utf-8", "replace")
        out = {"file": text("file"), "group": {}, "frame": {}}
        for level in ("group", "frame"):
            for k in range(self._count):
                t = text(level, k)
                if t:
                    out[level][str(k)] = t
        return out

    def to_ome_zarr(self, path, chunks=None, compressor=None, views=1, progress=None):
        """Writes the recording as OME-Zarr 0.4 (zarr format 2): one array "0" of shape
        (frames, channels, height, width), a channel per view (three per view for colour),
        with the frame times (seconds since frame 0), frame numbers and the file's texts under
        the group's "qxcm" attribute.

        chunks: of the array, default one plane per chunk; compressor: a numcodecs codec, None
        writes the chunks uncompressed; views: views stacked in each recorded frame; progress:
        a progress bar (tqdm) on stderr, by default when stderr is a terminal."""
        try:
            import zarr
        except ImportError:
            raise ImportError("to_ome_zarr needs the zarr package (Debian: python3-zarr)") \
                from None
        h, w = self.shape[0], self.shape[1]
        rgb = len(self.shape) == 3
        if views < 1 or h % views:
            raise ValueError(f"{h} rows do not split into {views} views")
        plane_rows, n = h // views, self._count
        channels = views * (3 if rgb else 1)
        shape = (n, channels, plane_rows, w)
        chunks = tuple(chunks) if chunks is not None else (1, 1, plane_rows, w)
        root = zarr.open_group(os.fspath(path), mode="w")
        array = root.create_dataset("0", shape=shape, chunks=chunks, dtype=self.dtype,
                                    compressor=compressor)
        times = np.asarray(self.timestamps, dtype=float)
        step = float(np.median(np.diff(times))) if n > 1 else 1.0
        root.attrs["multiscales"] = [{
            "version": "0.4",
            "name": os.path.basename(self.path),
            "axes": [{"name": "t", "type": "time", "unit": "second"},
                     {"name": "c", "type": "channel"},
                     {"name": "y", "type": "space"},
                     {"name": "x", "type": "space"}],
            "datasets": [{"path": "0", "coordinateTransformations": [
                {"type": "scale", "scale": [step if step > 0 else 1.0, 1.0, 1.0, 1.0]}]}],
        }]
        root.attrs["qxcm"] = {"frame_times": times.tolist(),
                              "frame_numbers": [int(n) for n in self.frame_numbers],
                              "gaps": [list(map(int, g)) for g in self.gaps],
                              "texts": self._all_texts()}
        fast = self._chunk_sources(chunks, compressor, views, plane_rows, root, array)
        frames = self.asarray() if fast is None else None
        block = max(1, chunks[0])  # whole chunks along t: no chunk is written twice
        starts = range(0, n, block)
        if progress is None:
            progress = sys.stderr.isatty()
        if progress:
            try:
                from tqdm import tqdm
                starts = tqdm(starts, total=len(starts), unit_scale=block, unit="frame",
                              desc="OME-Zarr")
            except ImportError:
                pass
        for k in starts:
            if fast is not None:
                fast(k)
                continue
            part = np.asarray(frames[k:k + block])
            if rgb:  # (t, views*rows, x, 3) -> (t, views*3, rows, x)
                part = part.reshape(len(part), views, plane_rows, w, 3).transpose(0, 1, 4, 2, 3)
            array[k:k + len(part)] = part.reshape(len(part), channels, plane_rows, w)
        return root


    def _chunk_sources(self, chunks, compressor, views, plane_rows, root, array):
        """A writer of whole chunk files copied straight from the recording (by the kernel
        where it can), for the layout where every chunk is one view of one mono frame stored
        raw: what zarr would write, one copy instead of several. None otherwise."""
        if compressor is not None or len(self.shape) == 3 or \
                tuple(chunks) != (1, 1, plane_rows, self.shape[1]) or \
                array.filters or array.order != "C" or \
                getattr(array, "_dimension_separator", ".") not in (None, ".") or \
                not hasattr(root.store, "path") or not hasattr(os, "copy_file_range"):
            return None
        with open(self.path, "rb") as f:
            offsets = frame_offsets(f, self.header, os.fstat(f.fileno()).st_size)
        if offsets is None or len(offsets) != self._count:
            return None
        folder = os.path.join(root.store.path, array.path)
        plane = self.header.frame_bytes // views
        source = open(self.path, "rb")
        done = []

        def write(k):
            for v in range(views):
                with open(os.path.join(folder, f"{k}.{v}.0.0"), "wb") as out:
                    at, left = int(offsets[k]) + v * plane, plane
                    while left:
                        n = os.copy_file_range(source.fileno(), out.fileno(), left, at)
                        if n <= 0:
                            raise OSError(f"{self.path}: frame {k} could not be copied")
                        at, left = at + n, left - n
            done.append(k)
            if len(done) == self._count:
                source.close()
        return write


def open_sequence(path):
    """Opens a .vlseq recording for reading."""
    return Sequence(path)
