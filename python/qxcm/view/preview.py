"""What a page is sent of a frame: a region, downscaled and mapped to 8 bits, with the frame's
histogram; and snaps written as 16-bit TIFF and 8-bit PNG without further dependencies."""

import json
import math
import struct
import zlib

import numpy as np

MAGIC = b"QXV1"
HIST_BINS = 256
AUTO_LOW, AUTO_HIGH = 0.001, 0.999  # the fractions of pixels automatic contrast clips


def views(frame):
    """2 for the two views of a split sensor (view x height x width [x 3]), else 1."""
    return frame.shape[0] if frame.ndim == 4 or (frame.ndim == 3 and frame.shape[2] != 3) else 1


def display(frame):
    """The frame as the page shows it: height x width (x 3); two views side by side."""
    a = np.asarray(frame)
    return np.concatenate(list(a), axis=1) if views(a) > 1 else a


SAMPLES = 1 << 16  # pixels of a frame the histogram and the automatic limits are taken from


class Stats:
    """Per-frame figures shared by every page: a coarse histogram and the automatic limits."""

    def __init__(self, image, bits):
        full = (1 << bits) - 1
        step = max(1, math.isqrt(image.shape[0] * image.shape[1] // SAMPLES))
        sample = image[::step, ::step].reshape(-1)
        if np.iinfo(sample.dtype).max > full:  # 12-bit data: a stray value counts as the top
            sample = np.minimum(sample, full)
        counts = np.bincount(sample, minlength=full + 1)
        cumulative = np.cumsum(counts)
        total = cumulative[-1]
        self.full = full
        self.auto = (int(np.searchsorted(cumulative, total * AUTO_LOW)),
                     int(np.searchsorted(cumulative, total * AUTO_HIGH)))
        if self.auto[1] <= self.auto[0]:
            self.auto = (self.auto[0], min(full, self.auto[0] + 1))
        self.histogram = counts.reshape(HIST_BINS, -1).sum(axis=1) if full + 1 >= HIST_BINS \
            else counts
        self.histogram = self.histogram.tolist()


_luts = {}


def lut(lo, hi, full, dtype=None):
    """0..full to 0..255 with lo and hi at the ends, and on to the top of `dtype` (so that any
    sample indexes it); cached: pages keep their limits."""
    top = full if dtype is None else max(full, int(np.iinfo(dtype).max))
    key = (lo, hi, top)
    table = _luts.get(key)
    if table is None:
        values = np.arange(top + 1, dtype=np.float32)
        table = np.clip((values - lo) * (255.0 / max(1, hi - lo)), 0, 255).astype(np.uint8)
        if len(_luts) > 32:
            _luts.clear()
        _luts[key] = table
    return table


def region(view, width, height):
    """The part of the displayed frame a page looks at, clamped to the frame."""
    x, y, w, h = view
    x = min(max(0, int(x)), width - 1)
    y = min(max(0, int(y)), height - 1)
    w = min(max(1, int(math.ceil(w))), width - x)
    h = min(max(1, int(math.ceil(h))), height - y)
    return x, y, w, h


def render(latest, stats, view, max_size, limits):
    """One preview message: MAGIC, header length, JSON header, 8-bit pixels (1 or 3 a pixel).

    view: (x, y, w, h) in displayed-frame pixels or None for all; max_size: (width, height) of
    the page's canvas; limits: (lo, hi) or None for automatic contrast."""
    image = display(latest.frame)
    height, width = image.shape[:2]
    x, y, w, h = region(view or (0, 0, width, height), width, height)
    step = max(1, math.ceil(max(w / max_size[0], h / max_size[1])))
    part = image[y:y + h:step, x:x + w:step]
    lo, hi = limits if limits is not None else stats.auto
    lo = min(max(0, int(lo)), stats.full - 1)
    hi = min(max(lo + 1, int(hi)), stats.full)
    pixels = np.take(lut(lo, hi, stats.full, part.dtype), part)
    header = {"frame": latest.number, "stamp": latest.stamp, "wall": latest.wall,
              "fps": latest.fps, "lost": latest.skipped_total, "bits": latest.bits,
              "width": width, "height": height, "region": [x, y, w, h], "step": step,
              "pw": pixels.shape[1], "ph": pixels.shape[0],
              "channels": 3 if pixels.ndim == 3 else 1, "lo": lo, "hi": hi,
              "auto": limits is None, "histogram": stats.histogram, "full": stats.full,
              "dtype": str(image.dtype), "views": views(latest.frame)}
    head = json.dumps(header).encode()
    return b"".join((MAGIC, struct.pack("<I", len(head)), head,
                     np.ascontiguousarray(pixels).tobytes()))


def png_bytes(image8):
    """An 8-bit grey or RGB PNG."""
    h, w = image8.shape[:2]
    colour = 2 if image8.ndim == 3 else 0
    rows = np.ascontiguousarray(image8).reshape(h, -1)
    raw = np.concatenate([np.zeros((h, 1), np.uint8), rows], axis=1).tobytes()

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, colour, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def tiff_bytes(image):
    """An uncompressed little-endian baseline TIFF of 8- or 16-bit grey or RGB samples."""
    image = np.ascontiguousarray(image)
    h, w = image.shape[:2]
    spp = 3 if image.ndim == 3 else 1
    bits = 8 * image.dtype.itemsize
    data = image.astype(image.dtype.newbyteorder("<"), copy=False).tobytes()
    entries = [(256, 4, w), (257, 4, h), (258, 3, bits), (259, 3, 1), (262, 3, 2 if spp == 3 else 1),
               (273, 4, 0), (277, 3, spp), (278, 4, h), (279, 4, len(data)), (284, 3, 1)]
    extra = b""
    ifd_at = 8
    ifd_size = 2 + 12 * len(entries) + 4
    data_at = ifd_at + ifd_size
    if spp == 3:  # three BitsPerSample values live outside the entry
        extra = struct.pack("<3H", bits, bits, bits)
        entries[2] = (258, 3, -(data_at))
        data_at += len(extra)
    ifd = struct.pack("<H", len(entries))
    for tag, kind, value in entries:
        count = 3 if (tag == 258 and value < 0) else 1
        if tag == 273:
            value = data_at
        if count == 3:
            ifd += struct.pack("<HHII", tag, kind, 3, -value)
        elif kind == 3:
            ifd += struct.pack("<HHIHH", tag, kind, 1, value, 0)
        else:
            ifd += struct.pack("<HHII", tag, kind, 1, value)
    ifd += struct.pack("<I", 0)
    return b"II*\x00" + struct.pack("<I", ifd_at) + ifd + extra + data
