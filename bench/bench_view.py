"""The live view's figures, in headless Chromium over the simulated camera 0 (2048 x 2048, 16-bit):
frames drawn a second and the delay from the device's time stamp to the draw; a recording's
frame rate and losses while 0 and while 4 pages view it; a parameter change from the page to
the camera and back. Prints the machine's load beside them: on a shared machine the figures
are pessimistic.

    QXCM_LIBRARY=build/release/bin python3 bench/bench_view.py [--seconds 10] [--frames 300]
"""

import argparse
import asyncio
import json
import os
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
from harness import PAGE_COMMAND, ViewerProcess, browser, wait_for  # noqa: E402


def percentile(values, q):
    return float(np.percentile(values, q)) if values else float("nan")


def load():
    one, five, _ = os.getloadavg()
    return f"load {one:.1f} (5 min {five:.1f}) on {os.cpu_count()} cores"


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


def record(viewer, folder, name, frames):
    """Starts a recording from a socket of this process that takes no preview frames (two are
    sent before the first acknowledgement) and waits for it to close."""

    async def run():
        async with aiohttp.ClientSession() as s, s.ws_connect(viewer.url + "ws") as ws:
            await ws.send_str(json.dumps({"cmd": "record", "id": 1, "name": name,
                                          "frames": frames}))
            while True:
                msg = await ws.receive(600)
                if msg.type == aiohttp.WSMsgType.TEXT:
                    m = json.loads(msg.data)
                    if m.get("type") == "reply" and not m["ok"]:
                        raise RuntimeError(m["error"])
                    rec = (m.get("status") or {}).get("recording")
                    if m.get("type") == "status" and rec and rec["done"] and \
                            rec["name"] == name + ".vlseq":
                        return rec
                elif msg.type != aiohttp.WSMsgType.BINARY:
                    raise RuntimeError(f"socket ended: {msg}")

    rec = asyncio.run(run())
    with qxcm.open_sequence(folder / f"{name}.vlseq") as seq:
        stamps = seq.timestamps
    return (len(stamps) - 1) / (stamps[-1] - stamps[0]), rec


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--frames", type=int, default=300)
    parser.add_argument("--changes", type=int, default=200)
    args = parser.parse_args()
    folder = Path(tempfile.mkdtemp(prefix="qxcm-bench-view-"))
    viewer = ViewerProcess(folder)
    drivers = [browser()]
    try:
        main_page = drivers[0]
        main_page.get(viewer.url)
        print(f"qxcm-view benchmark, camera 0 2048 x 2048 16-bit free-running; {load()}")
        live(main_page, args.seconds)

        results = {}
        for pages in (0, 4):
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
            fps, rec = record(viewer, folder, f"pages{pages}", args.frames)
            results[pages] = fps
            print(f"recording of {args.frames} frames with {pages} pages viewing: {fps:.2f} "
                  f"frames/s, {rec['written']} written, {rec['lost']} lost ({load()})")
        print(f"recording rate with 4 pages / with none: {results[4] / results[0]:.3f}")

        times = []
        for k in range(args.changes):
            value = 0.002 if k % 2 else 0.003
            out = command(main_page, "set", {"name": "EXPOSURE TIME", "value": value})
            assert out["reply"]["ok"], out
            times.append(out["ms"])
        print(f"parameter change from the page to the camera and back: median "
              f"{statistics.median(times):.2f} ms, 95th percentile {percentile(times, 95):.2f} ms "
              f"({args.changes} changes; {load()})")
    finally:
        for d in drivers:
            d.quit()
        viewer.interrupt()


if __name__ == "__main__":
    main()
