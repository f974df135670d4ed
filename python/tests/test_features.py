"""Camera features: each setting shows in the frames or in the simulated device's value."""

import math

import numpy as np
import pytest

import qxcm
from conftest import frame_number, refused
from qxcm._errors import BUSY, NOTSUPPORT

OUT_KIND, OUT_SOURCE, OUT_POLARITY, OUT_DELAY, OUT_PERIOD = (0x001C0160, 0x001C0110, 0x001C0120,
                                                         0x001C0140, 0x001C0150)
PULSE = (0x001E0020, 0x001E0030, 0x001E0040, 0x001E0050)  # mode, source, interval, burst
FILTERS = (0x003803A0, 0x003803B0, 0x00380110, 0x00380120)  # averaging, its frames, recursive...
COOLER, EM_FRAMES = 0x00200320, 0x002002A0
OFF, ON = 1.0, 2.0
SLOW = 10  # seconds: waits on a shared, loaded machine


def scene(frame):
    """The frame as int64 without the frame number the camera writes into its first pixels."""
    a = np.asarray(frame, np.int64).copy()
    a[0, :3] = a[0, 3]
    return a


@pytest.mark.parametrize("table, expect", [
    ([(0, 65535), (65535, 0)], lambda a: 65535 - a),
    (np.array([[0, 0], [65535, 32767]]), lambda a: a // 2),
    (None, lambda a: a),  # the identity table
])
def test_a_lookup_table_maps_every_pixel(cam0, table, expect):
    before = scene(cam0.snap(SLOW))
    cam0.lut = table
    after = scene(cam0.snap(SLOW))
    assert np.abs(after - expect(before)).max() <= 1
    assert (cam0.lut is None) == (table is None)


@pytest.mark.parametrize("table, error", [
    ([(0, 0)], ValueError),                        # one point
    ([(0, 0), (2**31, 1)], ValueError),            # beyond 32 bits
    ([(0, 0), (math.nan, 1)], ValueError),
    ([(0, 0), (1.5, 1)], ValueError),
    ([(5, 0), (1, 9)], qxcm.QxcmError),            # inputs must rise: the device refuses
])
def test_a_refused_lookup_table_leaves_the_last_one(cam0, table, error):
    cam0.lut = [(0, 65535), (65535, 0)]
    with pytest.raises(error):
        cam0.lut = table
    assert cam0.lut.tolist() == [[0, 65535], [65535, 0]]


def test_regions_and_two_views_read_out_only_their_rectangles(lib, cam0, tmp_path):
    cam0.regions = [(0, 0, 100, 100), qxcm.Region(500, 400, 50, 20)]
    f = scene(cam0.snap(SLOW))
    inside = np.zeros(f.shape, bool)
    inside[:100, :100] = inside[400:420, 500:550] = True
    assert f[inside].min() > 0 and f[~inside].max() == 0
    assert cam0.regions == [qxcm.Region(0, 0, 100, 100), qxcm.Region(500, 400, 50, 20)]
    cam0.regions = None
    assert scene(cam0.snap(SLOW)).min() > 0 and cam0.regions is None
    with lib.open(1) as cam1, refused(NOTSUPPORT):
        cam1.regions = [(0, 0, 10, 10)]
    # Two views: the size and place of both halves.
    with refused(NOTSUPPORT):  # not in the two-view layout
        cam0.views = (0, 0, 1024, 1024, 512, 256)
    cam0.params["SENSOR MODE"].value = "SPLIT VIEW"
    cam0.views = qxcm.Views(0, 0, 1024, 1024, 512, 256)
    assert cam0.views == qxcm.Views(0, 0, 1024, 1024, 512, 256)
    f, = cam0.stream(1, SLOW, record=str(tmp_path / "split"))
    assert f.shape == (2, 256, 512) and frame_number(f[0]) == frame_number(f[1]) == f.frame_number
    with qxcm.open_sequence(tmp_path / "split.vlseq") as seq:  # the views stacked
        assert seq.shape == (512, 512) and np.array_equal(seq[0].reshape(f.shape), f)


@pytest.mark.parametrize("channel, change, device", [
    (1, dict(kind="PROGRAMABLE", source="VSYNC", delay=0.001, period=0.002),
     {OUT_KIND: 3, OUT_SOURCE: 3, OUT_DELAY: 0.001, OUT_PERIOD: 0.002}),
    (2, dict(polarity="POSITIVE"), {OUT_KIND: 2, OUT_POLARITY: 2}),  # one attribute
    (-1, dict(kind=5), {OUT_KIND: 5}),
])
def test_output_triggers_write_their_connector(sim, cam0, channel, change, device):
    trigger = cam0.output_triggers[channel]
    if len(change) == 1:
        setattr(trigger, *next(iter(change.items())))
    else:
        trigger.set(**change)
    k = channel % len(cam0.output_triggers)
    for prop, value in device.items():
        assert sim.value(0, prop + 0x100 * k) == pytest.approx(value), hex(prop)
    for other in set(range(3)) - {k}:
        assert sim.value(0, OUT_KIND + 0x100 * other) == 2  # the others keep their default


def test_output_trigger_misuse_is_refused_before_the_device_and_the_master_pulse(sim, lib, cam0):
    with pytest.raises(ValueError, match="PROGRAMABLE"):
        cam0.output_triggers[0].delay = 0.5  # the EXPOSURE kind has no delay
    with pytest.raises(IndexError):
        cam0.output_triggers[3]
    with pytest.raises(ValueError):
        cam0.output_triggers[0].set(kind="PROGRAMABLE", period=math.nan)
    assert sim.value(0, OUT_KIND) == 2 and sim.value(0, OUT_DELAY) == 0
    with lib.open(1) as cam1:
        assert len(cam1.output_triggers) == 0
    cam0.set_master_pulse("BURST", "SOFTWARE", 0.25, 7)
    assert [sim.value(0, p) for p in PULSE] == [3, 2, 0.25, 7]
    with pytest.raises(ValueError):
        cam0.set_master_pulse("SOMETIMES")


def test_the_test_pattern_replaces_the_picture_and_checks_itself(lib, cam0):
    assert cam0.test_pattern is None
    cam0.test_pattern = ("CHECKER", 1000)
    assert cam0.test_pattern == qxcm.TestPattern("CHECKER", 1000)
    cam0.test_pattern = None
    assert cam0.verify_test_pattern(3, SLOW) == (3, 0)
    assert cam0.test_pattern is None  # switched back off
    cam0.area = (100, 36, 1000, 500)  # a sub-array shows the pattern of its own size
    assert cam0.area == (100, 36, 1000, 500)
    assert cam0.snap(SLOW).strides == (2048, 2)  # 1000 pixels of 16 bits: rows padded
    assert cam0.verify_test_pattern(2, SLOW) == (2, 0)
    cam0.area = None
    assert cam0.area == (0, 0, 2048, 2048) and cam0.snap(SLOW).shape == (2048, 2048)
    with lib.open(1) as cam1, refused(NOTSUPPORT):
        cam1.verify_test_pattern()


def test_cooler_electrons_and_em_protection(sim, lib):
    with lib.open(1) as cam:
        cam.cooler = True
        assert cam.cooler and sim.value(1, COOLER) == 1
        cam.params["SENSITIVITY"].value = 10
        f = cam.snap(SLOW)
        assert f.electron_conversion == (0.5, 100.0) == cam.electron_conversion
        assert np.allclose(f.electrons, (f.astype(np.float32) - 100) * 0.5)
        assert np.array_equal(f[5:9, 5:9].electrons, f.electrons[5:9, 5:9])
        cam.set_em_protection(1, 1, 2, 10)
        assert cam.em_protect_status == 2 and sim.value(1, EM_FRAMES) == 10
    with lib.open(0) as cam:
        f = cam.snap(SLOW)
        for action in (lambda: f.electrons, lambda: setattr(cam, "cooler", True)):
            with refused(NOTSUPPORT):
                action()


def test_stored_references_correct_the_frames(cam0):
    cam0.exposure = 0.001
    plain = scene(cam0.snap(SLOW))
    cam0.store_background(2, timeout=SLOW)
    cam0.background = 2
    assert scene(cam0.snap(SLOW)).mean() < 0.02 * plain.mean() and cam0.background == 2
    cam0.background = None
    ratio = lambda f: np.median(f[8:40, 8:40]) / np.median(f[1008:1040, 1008:1040])  # noqa
    assert ratio(plain) < 0.7  # the scene falls off toward the corners
    cam0.store_shading(3, timeout=math.inf)
    cam0.shading = 3
    assert ratio(scene(cam0.snap(SLOW))) == pytest.approx(1.0, abs=0.05)


def test_averaging_and_filter_switch_and_are_refused_while_capturing(sim, cam0):
    cam0.averaging = 4
    cam0.recursive_filter = 3
    assert [sim.value(0, p) for p in FILTERS] == [ON, 4, ON, 3]
    for frame in cam0.stream(1, SLOW):
        for name in ("averaging", "recursive_filter", "background", "shading"):
            with refused(BUSY):
                setattr(cam0, name, None)
        with pytest.raises(qxcm.QxcmError):
            cam0.store_background()
        with pytest.raises(ValueError):
            cam0.store_background(1, timeout=math.nan)
    assert (cam0.averaging, cam0.recursive_filter) == (4, 3)
    cam0.averaging = cam0.recursive_filter = None
    assert [sim.value(0, p) for p in FILTERS[::2]] == [OFF, OFF]
