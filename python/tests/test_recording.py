"""Recordings: what a stream records reads back identical, as frames and as one array."""

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st

import qxcm
from conftest import frame_number


def test_streamed_frames_read_back_with_their_stamps_and_texts(lib, tmp_path):
    cam1, path = lib.open(1), str(tmp_path / "run")
    cam1.exposure = 0.001
    frames = []
    for f in cam1.stream(12, record=path):
        frames.append(f)
        if f.frame_number == 5:
            cam1.write_text(b"five\0and more", "frame", 5)  # a text between frames
            cam1.write_text(b"\xb5s \xff", "frame", 6)  # no UTF-8: handed back as bytes
    with qxcm.open_sequence(path + ".vlseq") as seq:
        assert len(seq) == 12 and seq.shape == (512, 512) and seq.dtype == np.uint16
        for f in frames:
            k = f.frame_number
            assert np.array_equal(seq[k], f) and frame_number(seq[k]) == k
            assert seq[k].timestamp == pytest.approx(f.timestamp, abs=1e-6)
        assert np.array_equal(seq.timestamps, [seq[k].timestamp for k in range(12)])
        assert seq.texts("frame", 5) == "five\0and more" and seq.texts(b"frame", 4) == ""
        assert seq.texts(2, 6) == b"\xb5s \xff"
        whole = seq.asarray()  # a text chunk sits between frames 5 and 6: loaded, not mapped
        assert np.array_equal(whole, np.stack(list(seq)))


def test_a_closed_recording_maps_without_reading_and_equals_frame_reads(lib, tmp_path):
    with lib.open(2) as cam:  # colour: three samples per pixel
        path = cam.record(str(tmp_path / "rgb"), 4)
    with qxcm.open_sequence(path) as seq:
        whole = seq.asarray()
        assert whole.shape == (4, 1024, 1280, 3) and not whole.flags.writeable
        assert not whole.flags.owndata and whole.base is not None  # the file's pages
        assert [frame_number(f) for f in whole] == [0, 1, 2, 3]
        assert np.array_equal(seq[-1], seq[3])
        with pytest.raises(IndexError):
            seq[4]
    assert whole.sum() > 0  # the map outlives the closed sequence


@pytest.fixture(scope="module")
def small_recording(tmp_path_factory, sim):
    sim.reset()
    path = str(tmp_path_factory.mktemp("rec") / "small.vlseq")
    with qxcm.Library() as lib, lib.open(1) as cam:
        cam.exposure = 0.001
        cam.record(path, 3)
    with open(path, "rb") as f:
        return f.read()


@given(st.lists(st.tuples(st.integers(0, 2**31), st.integers(0, 255)), min_size=1, max_size=4),
       st.booleans())
def test_a_damaged_file_is_refused_or_reads_the_same_both_ways(small_recording, tmp_path, edits,
                                                                   tail):
    data = bytearray(small_recording)
    # Damage where the layout lives: the header block and the index at the end.
    for where, value in edits:
        region = 4096 if not tail else 4096 + 64 + 3 * 16 + 64
        offset = where % region if not tail else len(data) - 1 - where % region
        data[offset] = value
    path = tmp_path / "damaged.vlseq"
    path.write_bytes(bytes(data))
    try:
        seq = qxcm.open_sequence(path)
    except qxcm.QxcmError:
        return
    with seq:
        assert np.array_equal(seq.asarray(), np.stack([seq[k] for k in range(len(seq))]))
