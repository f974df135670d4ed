"""The live view's server: frames reach pages, commands reach the camera or are refused with a
reason, slow or hostile pages harm nobody else, and the access rules hold."""

import asyncio
import json
import struct
import zlib

import numpy as np
import pytest
import tifffile

aiohttp = pytest.importorskip("aiohttp")

import qxcm  # noqa: E402
from qxcm.view import Acquisition, Viewer, preview  # noqa: E402


@pytest.fixture
def acquisition(request, sim, tmp_path):
    sim.reset()
    acq = Acquisition(getattr(request, "param", 1), tmp_path)  # camera 1: 512 x 512, 16-bit
    acq.start()
    acq.ready.result(30)
    yield acq
    acq.stop()
    assert not acq.is_alive()
    sim.reset()


async def connect(aiohttp_client, acq, folder, **options):
    viewer = Viewer(acq, folder, **options)
    client = await aiohttp_client(viewer.app)
    viewer.port = client.server.port
    return viewer, client


async def frames(ws, count, timeout=30):
    """count preview headers, acknowledging each; text messages are skipped."""
    out = []
    while len(out) < count:
        msg = await ws.receive(timeout)
        if msg.type == aiohttp.WSMsgType.BINARY:
            length = struct.unpack_from("<I", msg.data, 4)[0]
            out.append(json.loads(msg.data[8:8 + length]))
            await ws.send_str('{"cmd": "ack"}')
        elif msg.type != aiohttp.WSMsgType.TEXT:
            raise AssertionError(f"socket ended: {msg}")
    return out


async def ask(ws, cmd, **args):
    ident = ask.next = getattr(ask, "next", 0) + 1
    await ws.send_str(json.dumps(dict(args, cmd=cmd, id=ident)))
    deadline = asyncio.get_running_loop().time() + 30
    while asyncio.get_running_loop().time() < deadline:
        msg = await ws.receive(30)
        if msg.type == aiohttp.WSMsgType.TEXT:
            reply = json.loads(msg.data)
            if reply.get("id") == ident:
                return reply
        elif msg.type == aiohttp.WSMsgType.BINARY:
            await ws.send_str('{"cmd": "ack"}')
        else:
            raise AssertionError(f"socket ended: {msg}")
    raise AssertionError(f"no reply to {cmd} {args}")


def param(reply, name):
    return next(p for p in reply["result"] if p["name"] == name)


async def until(done):
    for _ in range(300):
        if done():
            return
        await asyncio.sleep(0.05)


def latest(frame, bits):
    """What the capture hands the preview: the frame and its bookkeeping."""
    return type("L", (), dict(frame=frame.view(qxcm.Frame), number=3, stamp=0.1, wall=1.0,
                              skipped_total=0, fps=1.0, bits=bits))


async def test_frames_flow_and_commands_reach_the_camera(aiohttp_client, acquisition, tmp_path):
    _, client = await connect(aiohttp_client, acquisition, tmp_path)
    ws = await client.ws_connect("/ws")
    seen = await frames(ws, 5)
    assert (seen[0]["width"], seen[0]["height"], seen[0]["bits"]) == (512, 512, 16)

    assert (await ask(ws, "set", name="EXPOSURE TIME", value=0.003))["result"]["value"] == 0.003
    # Binning is refused by the camera while it captures: the capture is restarted for it.
    assert (await ask(ws, "set", name="BINNING", value="2X2"))["result"]["text"] == "2X2"
    assert (await frames(ws, 3))[-1]["width"] == 256
    assert (await ask(ws, "area", rect=[10, 20, 100, 60]))["ok"]
    assert ((h := (await frames(ws, 3))[-1])["width"], h["height"]) == (100, 60)

    # A recording of 8 frames runs, closes and reads back.
    assert (await ask(ws, "record", name="run", frames=8))["ok"]
    await until(lambda: (acquisition.status()["recording"] or {}).get("done"))
    rec = acquisition.status()["recording"]
    assert (rec["written"], rec["lost"], rec["done"]) == (8, 0, True)
    with qxcm.open_sequence(tmp_path / "run.vlseq") as seq:
        assert len(seq) == 8 and seq.shape[1] in (100, 200)

    snap = await ask(ws, "snap", name="dark")
    assert snap["ok"], snap
    tif = tifffile.imread(tmp_path / "dark.tif")
    assert tif.dtype == np.uint16 and tif.shape == png_shape(tmp_path / "dark.png")
    got = await client.get("/files/dark.tif")
    assert got.status == 200 and len(await got.read()) == (tmp_path / "dark.tif").stat().st_size


def png_shape(path):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    w, h, depth, colour = struct.unpack(">IIBB", data[16:26])
    idat, at = b"", 8
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        assert struct.unpack(">I", data[at + 8 + n:at + 12 + n])[0] == zlib.crc32(kind + body)
        idat += body if kind == b"IDAT" else b""
        at += 12 + n
    assert depth == 8 and len(zlib.decompress(idat)) == h * (1 + w * (3 if colour == 2 else 1))
    return (h, w, 3) if colour == 2 else (h, w)


REFUSED = [  # (command, arguments, words in the refusal): the socket stays open
    *(("set", {"name": "EXPOSURE TIME", "value": v}, words) for v, words in [
        (1e300, "outside"), (-1, "outside"), (10 ** 400, "finite"), (True, "number"),
        ([1], "number")]),
    *(("set", {"name": n, "value": v}, words) for n, v, words in [
        ("BINNING", "3X3", "none of"), ("BINNING", 3, "none of"), ("IMAGE WIDTH", 100, "read-only"),
        ("NO SUCH", 1, "no parameter"), (7, 1, "text")]),
    ("area", {"rect": [0, 0, 10 ** 9, 10]}, "does not fit"), ("area", {"rect": "all"}, "x, y"),
    *(("record", {"name": n}, "plain file name") for n in ("../escape", "/etc/passwd", ".hidden")),
    *(("record", {"name": "ok", "frames": n}, "whole number") for n in (0, 2 ** 31, 1.5)),
    ("record", {"name": "ok", "frames": -10 ** 400}, "finite"),
    ("record_stop", {}, "no recording"), ("snap", {"name": "a/b"}, "plain file name"),
]

CLOSING = [  # messages no page sends: that socket closes, nothing else does
    "x" * 20000, "{not json", "[1, 2]", '{"cmd": "format disk", "id": 1}', "[" * 15000,
    '{"cmd": "set", "id": "1"}', '{"cmd": "view", "region": "all", "size": [1, 1]}',
    '{"cmd": "view", "region": null, "size": [NaN, 1]}', '{"cmd": "contrast", "limits": [1]}',
    b"\x00binary",
]


async def test_hostile_invalid_or_stalled_pages_harm_only_their_socket(
        aiohttp_client, acquisition, tmp_path):
    _, client = await connect(aiohttp_client, acquisition, tmp_path)
    stalled = await client.ws_connect("/ws")  # never reads, never acknowledges
    await stalled.send_str('{"cmd": "view", "region": null, "size": [4096, 4096]}')
    good = await client.ws_connect("/ws")
    await frames(good, 1)
    exposure = param(await ask(good, "params"), "EXPOSURE TIME")["value"]
    for cmd, args, words in REFUSED:
        reply = await ask(good, cmd, **args)
        assert not reply["ok"] and words in reply["error"], (cmd, args, reply)
    assert param(await ask(good, "params"), "EXPOSURE TIME")["value"] == exposure
    for message in CLOSING:
        bad = await client.ws_connect("/ws")
        await (bad.send_bytes if isinstance(message, bytes) else bad.send_str)(message)
        while (await bad.receive(10)).type not in (aiohttp.WSMsgType.CLOSE,
                                                   aiohttp.WSMsgType.CLOSED):
            pass
        assert bad.close_code in (1003, 1008, 1009), message[:40]
        await frames(good, 1)
    assert sorted(p.name for p in tmp_path.iterdir()) == []
    for name in ("..%2Fetc%2Fpasswd", ".hidden", "x" * 100):
        assert (await client.get(f"/files/{name}")).status == 404
    numbers = [h["frame"] for h in await frames(good, 40)]
    assert numbers == sorted(set(numbers))
    assert acquisition.status()["lost"] == 0


@pytest.mark.parametrize("host, token, origin, want", [
    ("127.0.0.1", None, None, 200),
    ("127.0.0.1", None, "http://evil.example:{port}", 403),
    ("0.0.0.0", None, None, 403),
    ("0.0.0.0", "wrong", None, 403),
    ("0.0.0.0", "right", None, 200),
    ("0.0.0.0", "right", "http://127.0.0.1:{port}", 200),
    ("0.0.0.0", "right", "http://evil.example:{port}", 403),
])
async def test_token_and_origin_rules(aiohttp_client, acquisition, tmp_path, host, token,
                                      origin, want):
    viewer, client = await connect(aiohttp_client, acquisition, tmp_path, host=host)
    assert (viewer.token is None) == (host == "127.0.0.1")
    query = {"token": viewer.token if token == "right" else token} if token else {}
    page = await client.get("/", params=query)
    assert page.status == (want if origin is None else 200)
    headers = {"Origin": origin.format(port=viewer.port)} if origin else {}
    if want == 200:
        ws = await client.ws_connect("/ws", params=query, headers=headers)
        await frames(ws, 1)
    else:
        with pytest.raises(aiohttp.WSServerHandshakeError):
            await client.ws_connect("/ws", params=query, headers=headers)
    # Without a token, a page of another site that resolves its name to 127.0.0.1 is refused.
    other = await client.get("/", params=query, headers={"Host": "evil.example"})
    assert other.status == (200 if token == "right" else 403)


@pytest.mark.parametrize("frame, bits, shape", [
    (np.arange(16, dtype=np.uint8).reshape(4, 4), 8, (4, 4)),
    (np.full((4, 6), 4095, np.uint16), 12, (4, 6)),
    (np.arange(2 * 4 * 5, dtype=np.uint16).reshape(2, 4, 5), 16, (4, 10)),  # two views
    (np.zeros((4, 5, 3), np.uint16), 16, (4, 5, 3)),  # colour
])
def test_every_layout_renders(frame, bits, shape, tmp_path):
    frame = frame.view(qxcm.Frame)
    stats = preview.Stats(preview.display(frame), bits)
    data = preview.render(latest(frame, bits), stats, None, (1024, 1024), None)
    length = struct.unpack_from("<I", data, 4)[0]
    header = json.loads(data[8:8 + length])
    assert (header["height"], header["width"]) == shape[:2]
    assert len(data) == 8 + length + int(np.prod(shape))
    path = tmp_path / "x.tif"
    path.write_bytes(preview.tiff_bytes(preview.display(frame)))
    assert np.array_equal(tifffile.imread(path), preview.display(frame))
    (tmp_path / "x.png").write_bytes(preview.png_bytes(np.zeros(shape, np.uint8)))
    assert png_shape(tmp_path / "x.png") == shape


@pytest.mark.parametrize("dtype, bits, values, limits, want", [
    (np.uint8, 8, [0, 1, 254, 255], None, [0, 1, 254, 255]),
    (np.uint16, 12, [0, 4095, 4096, 65535], (0, 4095), [0, 255, 255, 255]),  # stray 12-bit
    (np.uint16, 16, [0, 100, 65534, 65535], (100, 65535), [0, 0, 254, 255]),
    (np.uint16, 16, [0, 65535, 7, 7], (7, 7), [0, 255, 0, 0]),  # limits that meet
])
def test_preview_mapping_at_the_ends_of_the_range(dtype, bits, values, limits, want):
    frame = np.array([values], dtype).view(qxcm.Frame)
    data = preview.render(latest(frame, bits), preview.Stats(frame, bits), None, (16, 16), limits)
    assert list(data[-len(values):]) == want


@pytest.mark.parametrize("acquisition", [0], indirect=True)  # its pixel type can change
async def test_layout_changes_restart_the_capture_and_a_stop_closes_a_recording(
        aiohttp_client, acquisition, tmp_path):
    acq = acquisition
    _, client = await connect(aiohttp_client, acq, tmp_path)
    ws = await client.ws_connect("/ws")
    await frames(ws, 1)
    # Both are refused by the camera while it captures: applied between two captures.
    assert (await ask(ws, "set", name="SENSOR MODE", value="SPLIT VIEW"))["ok"]
    assert (await frames(ws, 3))[-1]["views"] == 2
    assert (await ask(ws, "set", name="IMAGE PIXEL TYPE", value="MONO8"))["ok"]
    assert (await frames(ws, 3))[-1]["dtype"] == "uint8"
    assert (await ask(ws, "record", name="open"))["ok"]  # until stopped
    await until(lambda: (acq.status()["recording"] or {}).get("written", 0) >= 3)
    refused = await ask(ws, "set", name="IMAGE PIXEL TYPE", value="MONO16")
    assert not refused["ok"] and ("layout" in refused["error"] or "BUSY" in refused["error"])
    assert (await frames(ws, 2))[-1]["dtype"] == "uint8"
    acq.stop()
    assert not acq.is_alive() and acq.status()["recording"]["done"]
    with qxcm.open_sequence(tmp_path / "open.vlseq") as seq:
        assert len(seq) >= 3 and seq.dtype == np.uint8 and seq.shape == (4096, 1024)


def test_a_command_runs_while_the_capture_waits_for_a_frame(acquisition):
    # Under a software trigger no frame comes: a command must not wait for one, nor for the
    # capture to give up; it runs inside the running capture.
    assert acquisition.submit("set", "TRIGGER SOURCE", "SOFTWARE").result(30)["text"] == \
        "SOFTWARE"
    acquisition._cmd_status = lambda: acquisition._cam.status
    assert [acquisition.submit("status").result(30) for _ in range(5)] == [1] * 5
    # Starting and stopping a recording restart the capture without waiting for a frame
    # either (a command queued during a restart runs before the capture starts again).
    for command, active in (("record", True), ("record_stop", False)):
        assert acquisition.submit(command, *(("idle",) if active else ())).result(30)
        assert [acquisition.submit("status").result(30) for _ in range(2)][-1] == 1
        assert acquisition.recording_active == active
    assert acquisition.status()["recording"]["done"]
