"""python3 -m qxcm.view [--camera N] [--port P] [--host H] [--folder DIR]: serves a live view
of the camera and stops, closing the camera, on Ctrl-C."""

import argparse
import asyncio
import os
import signal
import sys

from aiohttp import web

from .acquire import Acquisition
from .server import Viewer, is_loopback


async def serve(args):
    stop, loop = asyncio.Event(), asyncio.get_running_loop()
    for sig in (signal.SIGINT, signal.SIGTERM):  # also while the camera opens
        loop.add_signal_handler(sig, stop.set)
    acq = Acquisition(args.camera, args.folder)
    acq.start()
    runner = None
    try:
        ready, stopped = asyncio.wrap_future(acq.ready), asyncio.ensure_future(stop.wait())
        await asyncio.wait({ready, stopped}, return_when=asyncio.FIRST_COMPLETED)
        stopped.cancel()
        if stop.is_set():
            return 0
        try:
            info = ready.result()
        except Exception as e:
            print(f"qxcm-view: camera {args.camera}: {e}", file=sys.stderr)
            return 1
        viewer = Viewer(acq, args.folder, args.host, args.port, args.token)
        runner = web.AppRunner(viewer.app, handle_signals=False, access_log=None)
        await runner.setup()
        try:
            await web.TCPSite(runner, args.host, args.port).start()
        except OSError as e:
            print(f"qxcm-view: cannot listen on {args.host}:{args.port}: {e.strerror}",
                  file=sys.stderr)
            return 1
        viewer.port = runner.addresses[0][1]
        print(f"qxcm-view: camera {args.camera} ({info.model}) at {viewer.url()}", flush=True)
        if not is_loopback(args.host):
            print("qxcm-view: listening beyond this machine; keep the token secret", flush=True)
        while not stop.is_set() and acq.is_alive():
            try:
                await asyncio.wait_for(stop.wait(), 0.5)
            except asyncio.TimeoutError:
                pass
        if not stop.is_set():
            print(f"qxcm-view: the camera stopped: {acq.last_error}", file=sys.stderr)
            return 1
        return 0
    finally:
        if runner is not None:
            await runner.cleanup()
        await loop.run_in_executor(None, acq.stop)
        if acq.ready.done() and acq.ready.exception() is None:
            print("qxcm-view: camera closed", flush=True)


def main(argv=None):
    parser = argparse.ArgumentParser(prog="qxcm-view", description=__doc__.split("\n")[0])
    parser.add_argument("--camera", type=int, default=0)
    parser.add_argument("--host", default="127.0.0.1",
                        help="address to listen on; any but a loopback one needs the token")
    parser.add_argument("--port", type=int, default=8765, help="0 picks a free port")
    parser.add_argument("--folder", default=os.getcwd(),
                        help="where recordings and snaps go, and the only files served")
    parser.add_argument("--token", default=None,
                        help="access token (made at start when listening beyond loopback)")
    args = parser.parse_args(argv)
    if not os.path.isdir(args.folder):
        parser.error(f"{args.folder} is not a folder")
    return asyncio.run(serve(args))


if __name__ == "__main__":
    sys.exit(main())
