"""Frames a camera exposed but never delivered: the recording, qxcm-seq and Python name exactly
the lost numbers; a recording from before frames carried numbers reads as it did."""

import ctypes
import os
import subprocess
import zlib
from pathlib import Path

import numpy as np
import pytest

import qxcm
from conftest import frame_number

FIXTURE = Path(__file__).resolve().parents[2] / "tests" / "data" / "landed_v1_0.vlseq"


def lose(sim, numbers):
    array = (ctypes.c_int64 * len(numbers))(*numbers)
    sim.dll.VelaSim_SetLostFrames.argtypes = [ctypes.c_int32, ctypes.POINTER(ctypes.c_int64),
                                              ctypes.c_int32]
    assert sim.dll.VelaSim_SetLostFrames(1, array, len(numbers)) == 1


def test_lost_frames_are_the_recordings_gaps_everywhere(lib, sim, tmp_path):
    lost = [0, 5, 17, 18, 250]
    lose(sim, lost)
    with lib.open(1) as cam:
        cam.exposure, cam.area = 0.0005, (0, 0, 16, 8)
        path = cam.record(str(tmp_path / "lossy"), 300)
    with qxcm.open_sequence(path) as seq:
        numbers = seq.frame_numbers
        assert len(seq) == 300 and numbers[-1] == 300 + len(lost) - 1
        assert sorted(set(range(int(numbers[-1]) + 1)) - set(numbers.tolist())) == lost
        assert seq.gaps == [(0, 1, 0), (5, 1, 0), (17, 2, 0), (250, 1, 0)]
        assert [frame_number(seq[k]) for k in (0, 4, 16, 299)] == \
            [seq[k].frame_number for k in (0, 4, 16, 299)] == [1, 6, 20, 304]
    # The same file with its index's ledger damaged: the frame chunks say the same.
    data = bytearray(Path(path).read_bytes())
    trailer = max(int.from_bytes(data[at + 40:at + 48], "little") for at in (256, 320))
    data[trailer + 52] ^= 0xFF
    walked = tmp_path / "walked.vlseq"
    walked.write_bytes(bytes(data))
    with qxcm.open_sequence(walked) as seq:
        assert seq.gaps == [(0, 1, 0), (5, 1, 0), (17, 2, 0), (250, 1, 0)]
        assert np.array_equal(seq.frame_numbers, numbers)
    tool = Path(qxcm._native.native().folder) / "qxcm-seq"
    if tool.exists():
        out = subprocess.run([str(tool), "gaps", path], capture_output=True, text=True,
                             check=True).stdout.splitlines()
        assert out == ["0 (1): never delivered", "5 (1): never delivered",
                       "17-18 (2): never delivered", "250 (1): never delivered"]


def test_a_recording_from_before_frame_numbers_reads_as_it_did(lib):
    with qxcm.open_sequence(FIXTURE) as seq:
        assert list(seq.frame_numbers) == [0, 1, 2, 3, 4] and seq.gaps == []
        assert [zlib.crc32(f.tobytes()) for f in seq] == \
            [3605192935, 2358024048, 2448753968, 3415962279, 1489840969]
        assert seq[3].frame_number == 3 and seq.texts("frame", 2) == "two"
        assert np.allclose(seq.timestamps, [0, 0.001456, 0.002951, 0.004426, 0.005908])


def test_a_stream_numbers_frames_as_the_camera_does_and_counts_every_loss(lib, sim):
    lose(sim, [3, 7, 8])
    with lib.open(1) as cam:
        cam.exposure, cam.area = 0.002, (0, 0, 16, 8)
        frames = list(cam.stream(20))
        counts = cam.stream_counts
    numbers = [f.frame_number for f in frames]
    assert numbers == [frame_number(f) for f in frames]
    assert {3, 7, 8} <= set(range(numbers[-1] + 1)) - set(numbers)
    assert all(f.frame_number == p.frame_number + 1 + f.skipped
               for p, f in zip(frames, frames[1:]))
    assert counts.copied == 20 and counts.lost == sum(f.skipped for f in frames) == \
        numbers[-1] + 1 - 20
    assert counts.delivered >= 20


def test_the_timing_plot_is_a_picture_of_the_recording(lib, sim, tmp_path):
    pytest.importorskip("matplotlib")
    from qxcm.__main__ import main
    lose(sim, [4])
    with lib.open(1) as cam:
        cam.exposure, cam.area = 0.0005, (0, 0, 16, 8)
        path = cam.record(str(tmp_path / "plotted"), 12)
    out = tmp_path / "timing.png"
    assert main(["timing", path, "-o", str(out)]) == 0
    assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert main(["timing", str(tmp_path / "absent.vlseq"), "-o", str(out)]) == 1
