"""The live view's figures, in headless Chromium over the simulated camera 0 (2048 x 2048, 16-bit):
frames drawn a second and the delay from the device's time stamp to the draw; a recording's
frame rate and losses while no page, 4 bare sockets and 4 pages view it, in turn over rounds; a
parameter change from the page to the camera and back. Prints the machine's load beside them:
on a shared machine the figures are pessimistic.

    QXCM_LIBRARY=build/release/bin python3 bench/bench_view.py [--seconds 10] [--frames 300]
        [--rounds 3]
"""

import argparse
import asyncio
import json
import os
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python" / "browser_tests"))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))

import aiohttp  # noqa: E402
import numpy as np  # noqa: E402

import qxcm  # noqa: E402
from harness import PAGE_COMMAND, ViewerProcess, browser, close, wait_for  # noqa: E402


def percentile(values, q):
    return float(np.percentile(values, q)) if values else float("nan")


def load():
    one, five, _ = os.getloadavg()
    return f"load {one:.1f} (5 min {five:.1f}) on {os.cpu_count()} cores"


def cpu_seconds(pid):
    """User and system time a process has used."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def browsers_cpu_seconds():
    """User and system time of every Chromium process (the pages, their renderers and GPU
    processes) so far."""
    total = 0.0
    for entry in Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and b"chromium" in (entry / "cmdline").read_bytes():
                total += cpu_seconds(entry.name)
        except OSError:  # gone meanwhile
            pass
    return total


def command(driver, cmd, args=None):
    return driver.execute_async_script(PAGE_COMMAND, cmd, args or {})


def live(driver, seconds):
    wait_for(lambda: driver.execute_script("return qxStats.drawn") > 20, 60, "frames drawn")
    driver.execute_script("qxStats.delays = []; qxStats.mark = qxStats.drawn;")
    start = time.monotonic()
    time.sleep(seconds)
    drawn, delays = driver.execute_script("return [qxStats.drawn - qxStats.mark, qxStats.delays]")
    fps = drawn / (time.monotonic() - start)
    print(f"page draws {fps:.1f} frames/s; device stamp to draw: median "
          f"{statistics.median(delays):.1f} ms, 95th percentile {percentile(delays, 95):.1f} ms "
          f"({len(delays)} frames; {load()})")


async def record(viewer, folder, name, frames):
    """Starts a recording from a socket of this process that takes no preview frames (two are
    sent before the first acknowledgement) and waits for it to close."""
    async with aiohttp.ClientSession() as s, s.ws_connect(viewer.url + "ws") as ws:
        await ws.send_str(json.dumps({"cmd": "record", "id": 1, "name": name, "frames": frames}))
        while True:
            msg = await ws.receive(600)
            if msg.type == aiohttp.WSMsgType.TEXT:
                m = json.loads(msg.data)
                if m.get("type") == "reply" and not m["ok"]:
                    raise RuntimeError(m["error"])
                rec = (m.get("status") or {}).get("recording")
                if m.get("type") == "status" and rec and rec["done"] and \
                        rec["name"] == name + ".vlseq":
                    break
            elif msg.type != aiohttp.WSMsgType.BINARY:
                raise RuntimeError(f"socket ended: {msg}")
    with qxcm.open_sequence(folder / f"{name}.vlseq") as seq:
        stamps = seq.timestamps
    return (len(stamps) - 1) / (stamps[-1] - stamps[0]), rec


async def socket_viewer(url, stop):
    """A page without a browser: takes and acknowledges every preview frame it is sent."""
    async with aiohttp.ClientSession() as s, s.ws_connect(url + "ws") as ws:
        await ws.send_str(json.dumps({"cmd": "view", "region": None, "size": [1024, 1024]}))
        while not stop.is_set():
            msg = await ws.receive(30)
            if msg.type == aiohttp.WSMsgType.BINARY:
                await ws.send_str('{"cmd": "ack"}')


async def record_with_sockets(viewer, folder, name, frames, sockets):
    stop = asyncio.Event()
    readers = [asyncio.ensure_future(socket_viewer(viewer.url, stop)) for _ in range(sockets)]
    try:
        return await record(viewer, folder, name, frames)
    finally:
        stop.set()
        await asyncio.gather(*readers, return_exceptions=True)


async def socket_round_trips(url, count):
    async with aiohttp.ClientSession() as s, s.ws_connect(url + "ws") as ws:
        times = []
        for k in range(count):
            t = time.perf_counter()
            await ws.send_str(json.dumps({"cmd": "set", "id": k + 1, "name": "EXPOSURE TIME",
                                          "value": 0.002 if k % 2 else 0.003}))
            while True:
                msg = await ws.receive(30)
                if msg.type == aiohttp.WSMsgType.TEXT and json.loads(msg.data).get("id") == k + 1:
                    break
            times.append((time.perf_counter() - t) * 1000)
        return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--frames", type=int, default=300)
    parser.add_argument("--changes", type=int, default=200)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    folder = Path(tempfile.mkdtemp(prefix="qxcm-bench-view-"))
    viewer = ViewerProcess(folder)
    drivers = [browser()]
    try:
        page = drivers[0]
        page.get(viewer.url)
        print(f"qxcm-view benchmark, camera 0 2048 x 2048 16-bit free-running; {load()}")
        live(page, args.seconds)

        # Every recording starts from the same state of the page cache: the ones before it
        # deleted and written back. Recordings of 2.5 GB one after another otherwise run into
        # the writeback of the ones before (the disk takes about 290 MB/s), and whichever
        # configuration comes later is slowed by the disk, not by what views it. The first
        # recording warms up and is not counted; the order turns from round to round.
        configs = [("no page", 0, 0), ("4 sockets", 0, 4), ("4 pages", 4, 0)]
        runs = [configs[0]] + [configs[(r + k) % 3] for r in range(args.rounds) for k in range(3)]
        results = {label: [] for label, _, _ in configs}
        for run, (label, pages, sockets) in enumerate(runs):
            for k, d in enumerate(drivers):
                if k >= pages:
                    d.get("about:blank")
            while len(drivers) < pages:
                drivers.append(browser())
            for d in drivers[:pages]:
                d.get(viewer.url)
            if pages:
                wait_for(lambda: all(d.execute_script("return qxStats.drawn") > 5
                                     for d in drivers[:pages]), 60, "pages drawing")
            for old in folder.glob("*.vlseq"):
                old.unlink()
            os.sync()
            name = f"{label.replace(' ', '')}{run}"
            cpu, pages_cpu = cpu_seconds(viewer.proc.pid), browsers_cpu_seconds()
            start = time.monotonic()
            fps, rec = asyncio.run(record_with_sockets(viewer, folder, name, args.frames, sockets))
            took = time.monotonic() - start
            share = (cpu_seconds(viewer.proc.pid) - cpu) / took
            pages_share = (browsers_cpu_seconds() - pages_cpu) / took
            if run:
                results[label].append((fps, rec["lost"]))
            print(f"recording of {args.frames} frames{'' if run else ' (warm-up)'}, {label} "
                  f"viewing: {fps:.2f} frames/s, {rec['written']} written, {rec['lost']} lost; "
                  f"the viewer's process (camera, recorder, server) used {share:.2f} cores, the "
                  f"browsers {pages_share:.2f} ({load()})")
        medians = {label: statistics.median(f for f, _ in rows) for label, rows in results.items()}
        for label, rows in results.items():
            print(f"recording, {label} viewing: median {medians[label]:.2f} frames/s over "
                  f"{len(rows)} runs, {medians[label] / medians['no page']:.3f}x no page; "
                  f"{sum(lost for _, lost in rows)} frames lost in all")
        for d in drivers[1:]:
            d.get("about:blank")
        page.get(viewer.url)
        wait_for(lambda: page.execute_script("return qxStats.drawn") > 5, 60, "page drawing")

        times = []
        for k in range(args.changes):
            out = command(page, "set", {"name": "EXPOSURE TIME",
                                        "value": 0.002 if k % 2 else 0.003})
            assert out["reply"]["ok"], out
            times.append(out["ms"])
        print(f"parameter change from the page to the camera and back: median "
              f"{statistics.median(times):.2f} ms, 95th percentile {percentile(times, 95):.2f} ms "
              f"({args.changes} changes; {load()})")
        page.get("about:blank")
        times = asyncio.run(socket_round_trips(viewer.url, args.changes))
        print(f"the same from a socket, no page drawing: median {statistics.median(times):.2f} "
              f"ms, 95th percentile {percentile(times, 95):.2f} ms ({load()})")
    finally:
        for d in drivers:
            close(d)
        viewer.interrupt()
        shutil.rmtree(folder, ignore_errors=True)  # gigabytes of recordings


if __name__ == "__main__":
    main()
