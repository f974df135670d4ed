"""Replay and export figures (README "Replay and export"): replay into the device's buffers
against memcpy of the same bytes, the recorded pace's interval error, OME-TIFF and OME-Zarr
export against copying the file. Run with the release build:
    /usr/bin/python3 bench/bench_replay_export.py [FRAMES]"""

import ctypes
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import qxcm  # noqa: E402
from qxcm._native import native  # noqa: E402

FRAMES = int(sys.argv[1]) if len(sys.argv) > 1 else 100


class Init(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint32), ("count", ctypes.c_int32), ("r0", ctypes.c_uint32),
                ("optionBytes", ctypes.c_uint32), ("options", ctypes.c_void_p),
                ("r1", ctypes.c_uint64)]


class Open(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint32), ("index", ctypes.c_uint32),
                ("device", ctypes.c_uint64)]


class WaitOpen(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint32), ("r", ctypes.c_uint32), ("wait", ctypes.c_uint64),
                ("device", ctypes.c_uint64)]


class Wait(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint32), ("event", ctypes.c_uint32),
                ("mask", ctypes.c_uint32), ("timeout", ctypes.c_uint32)]


class Transfer(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint32), ("r", ctypes.c_uint32), ("newest", ctypes.c_int32),
                ("count", ctypes.c_int32)]


def paced(dev, work, frames=400):
    """The recorded pace: a recording of camera 0 at about 190 frames/s played back; each
    interval between two frame events against the recorded interval of those frames."""
    path = str(work / "paced.vlseq")
    with qxcm.Library() as lib, lib.open(0) as cam:
        cam.area = (0, 0, 64, 64)
        cam.exposure = 0.005
        cam.record(path, frames)
    with qxcm.open_sequence(path) as seq:
        stamps = np.array(seq.timestamps)
    dev.VelaSim_Reset()
    dev.VelaSim_LoadCameraSet(f'replay "{path}"'.encode())
    dev.VelaSim_SetProperty.argtypes = [ctypes.c_int32, ctypes.c_uint32, ctypes.c_double]
    dev.VelaSim_SetProperty(0, 0x00FF0120, 2.0)  # stop at the end
    init = Init(32, 0, 0, 0, None, 0)
    assert dev.VelaInit(ctypes.byref(init)) == 1
    op = Open(16, 0, 0)
    assert dev.VelaOpen(ctypes.byref(op)) == 1
    wo = WaitOpen(24, 0, 0, op.device)
    assert dev.VelaOpenWait(ctypes.byref(wo)) == 1
    dev.VelaWaitStart.argtypes = [ctypes.c_uint64, ctypes.c_void_p]
    dev.VelaGetTransferInfo.argtypes = [ctypes.c_uint64, ctypes.c_void_p]
    assert dev.VelaAllocBuffers(op.device, 8) == 1
    assert dev.VelaCaptureStart(op.device, -1) == 1
    seen = []
    while True:
        w = Wait(16, 0, 2, 1000)
        if dev.VelaWaitStart(wo.wait, ctypes.byref(w)) != 1:
            break
        now = time.perf_counter()
        t = Transfer(16, 0, 0, 0)
        dev.VelaGetTransferInfo(op.device, ctypes.byref(t))
        seen.append((now, t.count))
    dev.VelaStopCapture(op.device)
    dev.VelaSim_Reset()
    errors = [abs((b[0] - a[0]) - (stamps[b[1] - 1] - stamps[a[1] - 1]))
              for a, b in zip(seen, seen[1:]) if b[1] == a[1] + 1]
    errors = np.array(errors) * 1e3
    print(f"recorded pace, {len(errors)} intervals of about "
          f"{np.median(np.diff(stamps)) * 1e3:.2f} ms: error p50 {np.percentile(errors, 50):.3f} ms, "
          f"p99 {np.percentile(errors, 99):.3f} ms, max {errors.max():.3f} ms; "
          f"{len(seen)} events for {frames} frames")


def best(fn, repeats=5):
    return min(fn() for _ in range(repeats))


def main():
    folder = native().folder
    dev = ctypes.CDLL(str(folder / "libvelaapi.so"))
    work = Path(tempfile.mkdtemp(prefix="qxcm_bench_"))
    try:
        path = str(work / "bench.vlseq")
        with qxcm.Library() as lib, lib.open(0) as cam:  # 1024 x 1024 16-bit, 2 MiB a frame
            cam.exposure = 0.001
            cam.area = (0, 0, 1024, 1024)
            cam.record(path, FRAMES)
        size = os.path.getsize(path)
        frame_bytes = 1024 * 1024 * 2
        dev.VelaSim_Reset()
        dev.VelaSim_SetManualClock(1)
        dev.VelaSim_LoadCameraSet(f'replay "{path}"'.encode())
        init = Init(32, 0, 0, 0, None, 0)
        assert dev.VelaInit(ctypes.byref(init)) == 1
        op = Open(16, 0, 0)
        assert dev.VelaOpen(ctypes.byref(op)) == 1
        dev.VelaAllocBuffers.argtypes = [ctypes.c_uint64, ctypes.c_int32]
        dev.VelaCaptureStart.argtypes = [ctypes.c_uint64, ctypes.c_int32]
        dev.VelaStopCapture.argtypes = [ctypes.c_uint64]
        assert dev.VelaAllocBuffers(op.device, 8) == 1

        def replay():
            assert dev.VelaCaptureStart(op.device, -1) == 1
            t = time.perf_counter()
            assert dev.VelaSim_DeliverFrames(0, FRAMES) == FRAMES
            t = time.perf_counter() - t
            dev.VelaStopCapture(op.device)
            return t
        t_first = replay()  # from the page cache (the recording was just written)
        t_replay = best(replay)  # later passes, the file still in the page cache
        src = np.ones(frame_bytes * FRAMES, np.uint8)  # the same bytes: distinct frames
        dst = np.empty(frame_bytes * 8, np.uint8)

        def copy():
            t = time.perf_counter()
            for k in range(FRAMES):
                j, i = (k % 8) * frame_bytes, k * frame_bytes
                dst[j:j + frame_bytes] = src[i:i + frame_bytes]
            return time.perf_counter() - t
        t_copy = best(copy)
        print(f"replay as fast as taken: first pass {t_copy / t_first:.2f}x memcpy, later passes "
              f"{FRAMES * frame_bytes / t_replay / 1e9:.2f} GB/s, memcpy "
              f"{FRAMES * frame_bytes / t_copy / 1e9:.2f} GB/s, ratio {t_copy / t_replay:.2f}")
        del src, dst
        dev.VelaSim_Reset()

        def file_copy():  # cp, a program like qxcm-seq, started the same way
            (work / "copy.vlseq").unlink(missing_ok=True)
            t = time.perf_counter()
            subprocess.run(["cp", path, str(work / "copy.vlseq")], check=True)
            return time.perf_counter() - t
        t_cp = best(file_copy)
        seq_tool = str(folder / "qxcm-seq")

        def tiff():
            (work / "o.ome.tif").unlink(missing_ok=True)
            t = time.perf_counter()
            subprocess.run([seq_tool, "export", path, "--ome-tiff", str(work / "o.ome.tif")],
                           check=True, stdout=subprocess.DEVNULL)
            return time.perf_counter() - t
        t_tiff = best(tiff)
        with qxcm.open_sequence(path) as seq:
            def zarr_export():
                shutil.rmtree(work / "o.zarr", ignore_errors=True)
                t = time.perf_counter()
                seq.to_ome_zarr(work / "o.zarr", progress=False)
                return time.perf_counter() - t
            t_zarr = best(zarr_export)
        print(f"cp {size / t_cp / 1e9:.2f} GB/s; OME-TIFF {size / t_tiff / 1e9:.2f} GB/s "
              f"(ratio {t_cp / t_tiff:.2f}); OME-Zarr uncompressed {size / t_zarr / 1e9:.2f} GB/s "
              f"(ratio {t_cp / t_zarr:.2f})")
        paced(dev, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
