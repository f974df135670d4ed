"""Frames against the simulated cameras: shapes, dtypes, values and the numbers they carry."""

import numpy as np
import pytest

from conftest import frame_number


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


def test_stamps_count_from_frame_0_when_the_ring_lapped_before_the_first_copy(sim, cam0):
    sim.dll.VelaSim_SetManualClock(1)  # frames come when delivered, each one interval later
    cam0.area = (0, 0, 64, 64)
    thread = sim.expose(0, 32)
    frames = list(cam0.stream(8, buffers=16))  # 32 frames in a ring of 16 before any copy
    thread.join()
    numbers = [f.frame_number for f in frames]
    assert numbers == [frame_number(f) for f in frames]
    assert numbers[0] > 16, "the ring lapped before the first copy"
    assert sum(f.skipped for f in frames) == numbers[-1] + 1 - len(frames)  # every loss counted
    interval = frames[1].timestamp - frames[0].timestamp
    for f in frames:
        # Stamps are whole microseconds; frame 0 lies 16 intervals before the origin.
        assert f.timestamp == pytest.approx(f.frame_number * interval, abs=50e-6), numbers
