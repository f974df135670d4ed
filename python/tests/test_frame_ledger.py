"""Frames exposed but never delivered: the recording, qxcm-seq and Python name exactly those."""

import importlib.util
import itertools
import os
import re
import subprocess
import zlib
from pathlib import Path

import numpy as np
import pytest

import qxcm
from conftest import frame_number

FIXTURE = Path(__file__).resolve().parents[2] / "tests" / "data" / "landed_v1_0.vlseq"


def runs(numbers):
    """(first, count) of each run of consecutive numbers."""
    groups = itertools.groupby(numbers, lambda n, c=itertools.count(): n - next(c))
    return [(g[0], len(g)) for g in (list(g) for _, g in groups)]


def tool_gaps(path):
    """The lines of `qxcm-seq gaps` on the recording; None where the build has no qxcm-seq."""
    tool = Path(qxcm._native.native().folder) / "qxcm-seq"
    if not tool.exists():
        return None
    return subprocess.run([str(tool), "gaps", path], capture_output=True, text=True,
                          check=True).stdout.splitlines()


# Every recorded frame takes a 4 KiB-aligned chunk, so 10^5 frames are 0.4 GB written in about
# 3 s: one seed goes the full length, the others a quarter of it. The stream checks its first
# 5,000 frames of each (Python copies a few 10^4 frames a second).
@pytest.mark.parametrize("seed, exposed", [(1, 100_000), (77, 25_000), (4096, 25_000)])
def test_seeded_loss_is_exactly_the_gaps_of_stream_recording_tool_and_reader(lib, sim, tmp_path,
                                                                            seed, exposed):
    streamed = 5_000
    assert sim.dll.VelaSim_SetFrameLoss(0, 0.001, seed) == 1
    injected = [n for n in range(exposed) if sim.dll.VelaSim_FrameLost(0, n) == 1]
    assert exposed / 2000 < len(injected) < exposed / 500 and injected[-1] < exposed - 1
    sim.dll.VelaSim_SetManualClock(1)
    with lib.open(0) as cam:
        cam.exposure, cam.area = 0.00001, (0, 0, 16, 8)
        thread = sim.expose(0, exposed)
        path = cam.record(str(tmp_path / "seeded"), exposed - len(injected), buffers=8)
        thread.join()
        # The stream over its first frames: numbers and skips as the copies report them.
        last = [n for n in range(exposed) if n not in set(injected)][streamed - 1]
        thread = sim.expose(0, last + 1)
        frames = [(f.frame_number, f.skipped) for f in cam.stream(streamed, buffers=streamed + 8)]
        thread.join()
        counts = cam.stream_counts
    assert (counts.copied, counts.lost) == (streamed, sum(k for _, k in frames))
    assert counts.delivered >= streamed
    assert [n for n, _ in frames] == [n for n in range(last + 1) if n not in set(injected)]
    assert [(n - k, k) for n, k in frames if k] == runs([n for n in injected if n < last])
    with qxcm.open_sequence(path) as seq:
        assert seq.gaps == [(first, count, 0) for first, count in runs(injected)]
        assert len(seq) + len(injected) == exposed == int(seq.frame_numbers[-1]) + 1
    out = tool_gaps(path)
    if out is not None:
        listed = [re.fullmatch(r"(\d+)(?:-\d+)? \((\d+)\): never delivered", n) for n in out]
        assert [(int(m[1]), int(m[2])) for m in listed] == runs(injected)
    os.remove(path)


def test_lost_frames_are_the_recordings_gaps_everywhere_and_in_the_timing_plot(lib, sim,
                                                                              tmp_path):
    lost, gaps = [0, 5, 17, 18, 250], [(0, 1, 0), (5, 1, 0), (17, 2, 0), (250, 1, 0)]
    sim.lose(1, lost)
    with lib.open(1) as cam:
        cam.exposure, cam.area = 0.0005, (0, 0, 16, 8)
        path = cam.record(str(tmp_path / "lossy"), 300)
    with qxcm.open_sequence(path) as seq:
        numbers = seq.frame_numbers
        assert len(seq) == 300 and numbers[-1] == 300 + len(lost) - 1
        assert seq.gaps == gaps
        assert [frame_number(seq[k]) for k in (0, 4, 16, 299)] == \
            [seq[k].frame_number for k in (0, 4, 16, 299)] == [1, 6, 20, 304]
    # The same file with its index's ledger damaged: the frame chunks say the same.
    data = bytearray(Path(path).read_bytes())
    trailer = max(int.from_bytes(data[at + 40:at + 48], "little") for at in (256, 320))
    data[trailer + 52] ^= 0xFF
    walked = tmp_path / "walked.vlseq"
    walked.write_bytes(bytes(data))
    with qxcm.open_sequence(walked) as seq:
        assert seq.gaps == gaps
        assert np.array_equal(seq.frame_numbers, numbers)
    if importlib.util.find_spec("matplotlib"):
        from qxcm.__main__ import main
        out = tmp_path / "timing.png"
        assert main(["timing", path, "-o", str(out)]) == 0
        assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        assert main(["timing", str(tmp_path / "absent.vlseq"), "-o", str(out)]) == 1


def test_a_recording_from_before_frame_numbers_reads_as_it_did(lib):
    with qxcm.open_sequence(FIXTURE) as seq:
        assert list(seq.frame_numbers) == [0, 1, 2, 3, 4] and seq.gaps == []
        assert [zlib.crc32(f.tobytes()) for f in seq] == \
            [3605192935, 2358024048, 2448753968, 3415962279, 1489840969]
        assert seq[3].frame_number == 3 and seq.texts("frame", 2) == "two"
        assert seq.texts("file") == "made before frame numbers"
        assert np.allclose(seq.timestamps, [0, 0.001456, 0.002951, 0.004426, 0.005908])

