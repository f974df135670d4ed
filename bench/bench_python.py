#!/usr/bin/env python3
"""Speed of the Python package over the release library, as ratios taken in the same run.

1. The frame copy of cam.snap() and cam.stream(): one QXCM_GETFRAME_40 into a fresh numpy
   array, against np.empty plus memcpy of the same 2048 x 2048 16-bit frame.
2. A Python loop over cam.stream() with camera 0 at 2 ms exposure: frames skipped in 1000.
3. open_sequence() and asarray() of a 1000-frame recording, its pages evicted first.

Run from anywhere: /usr/bin/python3 bench/bench_python.py (QXCM_LIBRARY picks a library)."""

import ctypes
import os
import statistics
import sys
import tempfile
import threading
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import qxcm  # noqa: E402
from qxcm._native import native  # noqa: E402

REPEATS = 3


def median_time(fn, n):
    times = []
    for _ in range(n):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return statistics.median(times)


def bench_copy(cam):
    layout = cam._prepare(0, 1)
    try:
        cam._call("QXCM_STARTCAPTURE_40")
        index, _ = cam._wait(0xFFFFFFFF)
        source = np.ones(layout.nbytes, np.uint8)

        def memcpy():
            out = np.empty(layout.nbytes, np.uint8)
            ctypes.memmove(out.ctypes.data, source.ctypes.data, layout.nbytes)

        # Interleaved pairs, each compared with its neighbour, so that a load that comes and
        # goes on a shared machine hits both sides alike.
        ratios, copies = [], []
        for _ in range(REPEATS):
            pairs = []
            for _ in range(100):
                base = median_time(memcpy, 1)
                copy = median_time(lambda: cam._copy(layout, index), 1)
                pairs.append((base / copy, copy))
            ratios.append(statistics.median(p[0] for p in pairs))
            copies.append(statistics.median(p[1] for p in pairs))
        cam._call("QXCM_STOPCAPTURE_40")
    finally:
        cam._unprepare()
    snap = median_time(cam.snap, 10)
    ratio, copy = statistics.median(ratios), statistics.median(copies)
    print(f"frame copy, 2048x2048 16-bit: {ratio:.2f}x memcpy (np.empty + memcpy) "
          f"({layout.nbytes / copy / 1e9:.1f} GB/s); whole snap {snap * 1e3:.1f} ms")


def bench_stream(cam):
    cam.exposure = 0.002
    nominal = 1.0 / (cam.exposure + cam.params["FRAME OVERHEAD TIME"].value)
    results = []
    for _ in range(REPEATS):
        skipped, n, t = 0, 0, time.perf_counter()
        for frame in cam.stream(1000):
            skipped += frame.skipped
            n += 1
        rate = n / (time.perf_counter() - t)
        results.append((skipped, rate))
    worst = max(r[0] for r in results)
    rate = statistics.median(r[1] for r in results)
    print(f"stream, camera 0 at 2 ms exposure: {worst} frames skipped of 1000 (worst of "
          f"{REPEATS} runs), {rate:.0f} frames/s ({rate / nominal:.2f}x the nominal "
          f"{nominal:.1f} frames/s)")


def bench_sequence(lib, folder):
    sim = ctypes.CDLL(str(native().folder / "libvelaapi.so"))
    path = os.path.join(folder, "thousand.vlseq")
    with lib.open(0) as cam:
        cam.binning = 4  # 512 x 512 16-bit frames: 0.5 GB for the recording
        sim.VelaSim_SetManualClock(1)
        failure = []

        def record():
            try:
                cam.record(path, 1000, timeout=30)
            except qxcm.QxcmError as e:
                failure.append(e)

        recorder = threading.Thread(target=record)
        recorder.start()
        while recorder.is_alive():
            sim.VelaSim_DeliverFrames(0, 20)
            time.sleep(0.001)
        sim.VelaSim_SetManualClock(0)
        cam.binning = 1
        if failure:
            raise failure[0]
    opens, maps = [], []
    for _ in range(REPEATS):
        with open(path, "rb") as f:
            os.fsync(f.fileno())
            os.posix_fadvise(f.fileno(), 0, 0, os.POSIX_FADV_DONTNEED)
        t = time.perf_counter()
        seq = qxcm.open_sequence(path)
        t1 = time.perf_counter()
        whole = seq.asarray()
        t2 = time.perf_counter()
        opens.append(t1 - t)
        maps.append(t2 - t1)
        assert whole.shape == (1000, 512, 512) and not whole.flags.owndata
        seq.close()
    size = os.path.getsize(path) / 1e9
    os.remove(path)
    print(f"1000-frame recording ({size:.2f} GB, pages evicted): open_sequence "
          f"{statistics.median(opens) * 1e3:.1f} ms, "
          f"asarray {statistics.median(maps) * 1e3:.1f} ms "
          f"(a memory map: no frame read)")


def main():
    print(f"qxcm Python package over {native().path}")
    # As the C benchmarks do: the simulated device's journal of every call is a test aid that no
    # real device library has.
    ctypes.CDLL(str(native().folder / "libvelaapi.so")).VelaSim_JournalEnable(0)
    with qxcm.Library() as lib:
        with lib.open(0) as cam:
            bench_copy(cam)
            bench_stream(cam)
        with tempfile.TemporaryDirectory(dir=os.environ.get("QXCM_BENCH_DIR", "/tmp")) as d:
            bench_sequence(lib, d)


if __name__ == "__main__":
    main()
