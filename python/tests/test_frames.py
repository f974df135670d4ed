"""Frames against the simulated cameras: shapes, dtypes, values and the numbers they carry."""

import time

import numpy as np
import pytest

from conftest import frame_number
import qxcm


@pytest.mark.parametrize("camera, shape, dtype, pitch", [
    (0, (2048, 2048), np.uint16, 4096),
    (1, (512, 512), np.uint16, 512 * 2 + 64),  # padded rows: a strided view, not a repack
    (2, (1024, 1280, 3), np.uint8, 1280 * 3),
])
def test_snap_shape_dtype_and_the_copy_lands_in_the_array(lib, camera, shape, dtype, pitch):
    with lib.open(camera) as cam:
        frames = [cam.snap() for _ in range(2)]
    for f in frames:
        assert (f.shape, f.dtype, f.strides[0]) == (shape, dtype, pitch)
        assert f.frame_number == frame_number(f) == 0 and f.timestamp == 0.0
        # The array's memory is the buffer the library copied into: no second copy.
        assert f.base is not None and f.base.nbytes >= shape[0] * pitch
    assert np.array_equal(frames[0], frames[1])  # the same frame number shows the same scene


@pytest.mark.parametrize("pixel_type, dtype, shift, tolerance", [
    ("MONO12P", np.uint16, 4, 0),
    ("MONO8", np.uint8, 8, 1),
])
def test_narrow_pixel_types_hold_the_16_bit_scene_scaled(cam0, pixel_type, dtype, shift, tolerance):
    wide = cam0.snap().astype(np.int64)
    cam0.params["IMAGE PIXEL TYPE"].value = pixel_type
    narrow = cam0.snap()
    assert (narrow.shape, narrow.dtype) == (wide.shape, dtype)
    assert narrow.max() <= (4095 if pixel_type == "MONO12P" else 255)
    # The first four bytes of the device's frame hold its number (they end inside pixel 2
    # for packed 12-bit pixels).
    diff = np.abs((wide >> shift) - narrow)
    diff[0, :3] = 0
    assert diff.max() <= tolerance


def test_a_slow_host_gets_the_frames_the_ring_still_holds_and_counts_the_rest(cam0):
    cam0.exposure = 0.001
    frames = []
    for f in cam0.stream(30, buffers=6):
        frames.append(f)
        if len(frames) == 3:
            time.sleep(0.5)  # the camera runs on for about 80 frames, the ring holds 6
    numbers = [f.frame_number for f in frames]
    assert numbers == [frame_number(f) for f in frames] and numbers == sorted(numbers)
    lost = sum(f.skipped for f in frames)
    assert lost > 0 and numbers[-1] + 1 == len(frames) + lost


def test_the_area_round_trips_and_shapes_the_frames(cam0):
    full = cam0.area
    assert full == (0, 0, 2048, 2048)
    cam0.area = (128, 64, 1000, 200)  # 1000 pixels of 16 bits: rows padded to 2048 bytes
    assert cam0.area == (128, 64, 1000, 200)
    f = cam0.snap()
    assert f.shape == (200, 1000) and f.strides == (2048, 2)
    cam0.area = None
    assert cam0.area == full and cam0.snap().shape == (2048, 2048)


def test_a_split_sensor_gives_both_views_as_the_recording_stacks_them(cam0, tmp_path):
    cam0.params["SENSOR MODE"].value = "SPLIT VIEW"
    cam0.exposure = 0.001
    frames = list(cam0.stream(3, record=str(tmp_path / "split")))
    for f in frames:
        assert f.shape == (2, 2048, 1024) and f.strides[0] == 2048 * 2048
        assert frame_number(f[0]) == frame_number(f[1]) == f.frame_number  # each view's number
    with qxcm.open_sequence(tmp_path / "split.vlseq") as seq:
        assert seq.shape == (4096, 1024)
        for f in frames:
            assert np.array_equal(seq[f.frame_number].reshape(f.shape), f)


def test_stamps_count_from_frame_0_when_the_ring_lapped_before_the_first_copy(sim, cam0):
    sim.dll.VelaSim_SetManualClock(1)  # frames come when delivered, each one interval later
    cam0.area = (0, 0, 64, 64)
    thread = sim.expose(0, 32)
    frames = list(cam0.stream(8, buffers=16))  # 32 frames in a ring of 16 before any copy
    thread.join()
    numbers = [f.frame_number for f in frames]
    assert numbers[0] > 16, "the ring lapped before the first copy"
    interval = frames[1].timestamp - frames[0].timestamp
    for f in frames:
        # Stamps are whole microseconds; frame 0 lies 16 intervals before the origin.
        assert f.timestamp == pytest.approx(f.frame_number * interval, abs=50e-6), numbers
