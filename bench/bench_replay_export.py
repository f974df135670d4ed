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


def best(fn, repeats=3):
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
        replay()  # the file into the page cache
        t_replay = best(replay)
        src = np.ones(frame_bytes * 8, np.uint8)
        dst = np.empty_like(src)

        def copy():
            t = time.perf_counter()
            for k in range(FRAMES):
                j = (k % 8) * frame_bytes
                dst[j:j + frame_bytes] = src[j:j + frame_bytes]
            return time.perf_counter() - t
        t_copy = best(copy)
        print(f"replay as fast as taken: {FRAMES * frame_bytes / t_replay / 1e9:.2f} GB/s, "
              f"memcpy {FRAMES * frame_bytes / t_copy / 1e9:.2f} GB/s, "
              f"ratio {t_copy / t_replay:.2f}")
        dev.VelaSim_Reset()

        def file_copy():
            t = time.perf_counter()
            shutil.copyfile(path, work / "copy.vlseq")
            return time.perf_counter() - t
        t_cp = best(file_copy)
        seq_tool = str(folder / "qxcm-seq")

        def tiff():
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
        print(f"file copy {size / t_cp / 1e9:.2f} GB/s; OME-TIFF {size / t_tiff / 1e9:.2f} GB/s "
              f"(ratio {t_cp / t_tiff:.2f}); OME-Zarr uncompressed {size / t_zarr / 1e9:.2f} GB/s "
              f"(ratio {t_cp / t_zarr:.2f})")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
