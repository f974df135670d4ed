"""A recording replayed as a camera, and exported to OME-TIFF and OME-Zarr for others' readers."""

import subprocess
import xml.etree.ElementTree as ET

import numpy as np
import pytest

import qxcm
from qxcm._native import native

tifffile = pytest.importorskip("tifffile")
OME = "{http://www.openmicroscopy.org/Schemas/OME/2016-06}"
HOSTILE = b"<b>&\"x\"\0\x01\xff\xc3(\xe2\x82\xac"  # markup, NUL, control, bad UTF-8, a euro


@pytest.fixture(scope="module")
def recordings(tmp_path_factory, sim):
    """Two recordings of the simulated cameras: mono 16-bit two views, colour."""
    sim.reset()
    folder = tmp_path_factory.mktemp("export")
    with qxcm.Library() as lib:
        sim.lose(0, [2])  # frame 2 is lost on the way: a gap in the recording
        with lib.open(0) as cam:
            cam.exposure = 0.001
            cam.params["SENSOR MODE"].set(14)  # two views, stacked in each recorded frame
            cam.area = (0, 0, 64, 32)
            mono = cam.record(str(folder / "mono"), 6, texts={
                "file": HOSTILE, ("group", 0): "g0", ("frame", 2): "two"})
        with lib.open(2) as cam:
            rgb = cam.record(str(folder / "rgb"), 3)
    sim.reset()
    return {"mono": (mono, 2), "rgb": (rgb, 1)}


def export_tiff(path, out, *options):
    seq = native().folder / "qxcm-seq"
    return subprocess.run([str(seq), "export", str(path), "--ome-tiff", str(out), *options],
                          capture_output=True, text=True)


@pytest.mark.parametrize("name,big", [("mono", False), ("rgb", False), ("rgb", True)])
def test_ome_tiff_holds_the_pixels_times_and_texts(recordings, tmp_path, name, big):
    path, views = recordings[name]
    out = tmp_path / "out.ome.tif"
    # The BigTIFF case also reads its frames through the file library instead of the kernel.
    done = export_tiff(path, out, "--views", str(views),
                       *(["--bigtiff", "--plain-copy"] if big else []))
    assert done.returncode == 0, done.stderr
    with qxcm.open_sequence(path) as seq:
        frames, times = seq.asarray(), np.array(seq.timestamps)
        file_text, numbers, gaps = seq.texts("file"), list(seq.frame_numbers), seq.gaps
    with tifffile.TiffFile(out) as tif:
        assert tif.is_ome and tif.is_bigtiff == big  # classic unless asked: ImageJ 1.x opens it
        assert len(tif.pages) == len(frames) * views
        data = tif.series[0].asarray()
        ome = ET.fromstring(tif.ome_metadata)
    rows = frames.shape[1] // views
    want = frames.reshape((len(frames), views, rows) + frames.shape[2:])
    assert np.array_equal(data.reshape(want.shape), want)
    pixels = ome.find(f"{OME}Image/{OME}Pixels")
    assert (pixels.get("SizeT"), pixels.get("SizeC")) == (str(len(frames)),
                                                          str(views * (3 if name == "rgb" else 1)))
    planes = pixels.findall(f"{OME}Plane")
    deltas = [float(p.get("DeltaT")) for p in planes if p.get("TheC") == "0"]
    assert np.allclose(deltas, times, atol=1e-6)
    values = {m.get("K"): m.text for m in ome.iter(f"{OME}M")}
    assert values.get("frame numbers", "").split() == [str(n) for n in numbers]
    assert values.get("gaps", "").split() == [f"{a}+{n}({d})" for a, n, d in gaps]
    if name == "mono":
        assert values["file"] == file_text.decode("utf-8", "replace").replace("\0", "\ufffd") \
            .replace("\x01", "\ufffd")  # not UTF-8: texts() gives the bytes
        assert values["group 0"] == "g0"
        comments = [c.findtext(f"{OME}Value") for c in ome.iter(f"{OME}CommentAnnotation")]
        assert comments == ["two"]
    info = subprocess.run(["tiffinfo", str(out)], capture_output=True, text=True)
    assert info.returncode == 0 and "Error" not in info.stderr  # libtiff reads it too


def test_ome_tiff_export_refuses_what_it_cannot_write(recordings, tmp_path):
    path, _ = recordings["rgb"]  # 1024 rows: not three views
    assert export_tiff(path, tmp_path / "x.ome.tif", "--views", "3").returncode != 0
    assert not (tmp_path / "x.ome.tif").exists()
    assert export_tiff(path, tmp_path / "no" / "x.ome.tif").returncode != 0
    assert export_tiff(tmp_path / "missing.vlseq", tmp_path / "y.ome.tif").returncode != 0


@pytest.mark.parametrize("name,chunks", [("mono", None), ("rgb", (2, 3, 256, 256))])
def test_ome_zarr_holds_the_pixels_times_and_numbers(recordings, tmp_path, name, chunks):
    zarr = pytest.importorskip("zarr")
    path, views = recordings[name]
    out = tmp_path / "out.zarr"
    with qxcm.open_sequence(path) as seq:
        seq.to_ome_zarr(out, chunks=chunks, views=views, progress=False)
        frames, times = seq.asarray(), np.array(seq.timestamps)
        numbers, gaps = list(seq.frame_numbers), seq.gaps
    group = zarr.open_group(str(out), mode="r")
    meta = group.attrs["multiscales"][0]
    assert meta["version"] == "0.4" and [a["name"] for a in meta["axes"]] == ["t", "c", "y", "x"]
    data = group[meta["datasets"][0]["path"]][:]
    rows = frames.shape[1] // views
    if name == "rgb":
        want = frames.reshape(len(frames), views, rows, frames.shape[2], 3) \
            .transpose(0, 1, 4, 2, 3).reshape(data.shape)
    else:
        want = frames.reshape(data.shape)
    assert np.array_equal(data, want)
    assert np.allclose(group.attrs["qxcm"]["frame_times"], times)
    assert group.attrs["qxcm"]["frame_numbers"] == numbers
    assert [tuple(g) for g in group.attrs["qxcm"]["gaps"]] == [tuple(g) for g in gaps]


def test_a_replayed_recording_is_a_camera_with_the_recorded_frames(recordings, sim):
    path, _ = recordings["mono"]
    with qxcm.open_sequence(path) as seq:
        frames, times = seq.asarray().copy(), np.array(seq.timestamps)
        numbers = list(seq.frame_numbers)
    assert numbers == [0, 1, 3, 4, 5, 6]  # the recording's gap
    with qxcm.Library(replay=path) as lib:
        assert lib.info(0).model == "C-REPLAY"
        with lib.open(0) as cam:
            # REPLAY PACE 2: as fast as we take frames, none skipped
            sim.dll.VelaSim_SetProperty(0, 0x00FF0110, 2.0)
            got = [f.copy() for f in cam.stream(len(frames) + 2)]
    assert [f.frame_number for f in got][:len(frames)] == numbers  # gap included
    assert got[2].skipped == 1  # the replayed gap reaches the host as a lost frame
    for k, f in enumerate(got[:len(frames)]):
        assert np.array_equal(np.asarray(f).reshape(frames[0].shape), frames[k])
    assert np.allclose([f.timestamp for f in got[:len(frames)]], times, atol=1e-6)
    with qxcm.Library() as lib:  # without replay: the simulated cameras again
        assert lib.info(0).model == "C-SIM2048"
    with pytest.raises(qxcm.QxcmError):
        qxcm.Library(replay=str(path) + ".missing")
