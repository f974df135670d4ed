"""The web side: the page, one WebSocket per page for preview frames and commands, and the
served folder's files. It never calls the camera: it reads the newest frame and queues
commands to the acquisition thread."""

import asyncio
import concurrent.futures
import datetime
import hmac
import ipaddress
import json
import math
import os
import secrets
from importlib import resources

import numpy as np
from aiohttp import WSMsgType, web

from .. import QxcmError
from . import preview
from .acquire import NAME, Refused, finite_number

MAX_MESSAGE = 16 * 1024  # a command is a few hundred bytes; anything larger closes the socket
IN_FLIGHT = 2  # preview frames sent and not yet drawn, per page
MAX_PENDING = 8  # commands of one page waiting for the camera
STATUS_PERIOD = 0.5
# Preview frames a page is sent a second while a recording runs: enough to watch it, and little
# enough that pages (which draw in the same machine's processors) leave the recorder its share.
RECORDING_PREVIEW_RATE = 10
MAX_CANVAS = 4096
COMMANDS = {"set", "area", "record", "record_stop", "params", "snap", "view", "contrast", "ack"}


class Malformed(Exception):
    """A message no page of ours sends: the socket closes."""


def is_loopback(host):
    try:
        return ipaddress.ip_address(host).is_loopback
    except ValueError:
        return host == "localhost"


class Page:
    """One connected page: what it looks at and how many frames it has not drawn yet."""

    def __init__(self, ws):
        self.ws = ws
        self.view = None
        self.max_size = (1024, 1024)
        self.limits = None
        self.credit = IN_FLIGHT
        self.sent = 0
        self.tick = -1  # the preview period it was last sent a frame in, while capped
        self.wake = asyncio.Event()
        self.pending = 0


class Viewer:
    """The aiohttp application around an Acquisition. token: None on loopback addresses, else
    required on every request."""

    def __init__(self, acquisition, folder, host="127.0.0.1", port=0, token=None):
        self.acq, self.folder = acquisition, os.path.realpath(folder)
        acquisition.notify = self.frame_arrived
        self.host, self.port = host, port
        self.token = token if token is not None else (
            None if is_loopback(host) else secrets.token_urlsafe(18))
        self.pages = set()
        self.pool = concurrent.futures.ThreadPoolExecutor(2, thread_name_prefix="qxcm-preview")
        self._stats = (0, None)
        self._rendered = {}  # (frame, view, size, limits): the rendering, being made or made
        self.loop = None
        self.app = web.Application(middlewares=[self._guard])
        self.app.add_routes([web.get("/", self._page), web.get("/ws", self._socket),
                             web.get("/files/{name}", self._file)])
        self.app.on_startup.append(self._started)
        self.app.on_shutdown.append(self._closing)

    # ---- the acquisition thread's notice ----

    def frame_arrived(self):
        loop = self.loop
        if loop is not None:
            try:
                loop.call_soon_threadsafe(self._wake_all)
            except RuntimeError:
                pass  # the loop has closed

    def _wake_all(self):
        for page in self.pages:
            page.wake.set()

    async def _started(self, app):
        self.loop = asyncio.get_running_loop()
        self._status_task = asyncio.ensure_future(self._status_loop())

    async def _closing(self, app):
        self._status_task.cancel()
        for page in list(self.pages):
            await page.ws.close(code=1001, message=b"server stops")
        self.pool.shutdown(wait=False)

    # ---- access ----

    def allowed_hosts(self):
        port = self.port
        names = {self.host, "127.0.0.1", "localhost", "[::1]"}
        if ":" in self.host and not self.host.startswith("["):
            names.add(f"[{self.host}]")
        return {f"{n}:{port}" for n in names}

    @web.middleware
    async def _guard(self, request, handler):
        # Without a token the Host header must name this machine's loopback: a page of another
        # site that resolves its name to 127.0.0.1 gets nothing. With one, the token decides
        # (the server is reached by whatever name the network gives it).
        if self.token is None and request.host not in self.allowed_hosts():
            raise web.HTTPForbidden(text="unknown host")
        if self.token is not None:
            given = request.query.get("token") or request.headers.get("X-Qxcm-Token", "")
            if not hmac.compare_digest(given.encode(), self.token.encode()):
                raise web.HTTPForbidden(text="the access token is missing or wrong")
        return await handler(request)

    def url(self):
        host = f"[{self.host}]" if ":" in self.host else self.host
        return f"http://{host}:{self.port}/" + (f"?token={self.token}" if self.token else "")

    async def _page(self, request):
        html = resources.files(__package__).joinpath("page.html").read_bytes()
        return web.Response(body=html, content_type="text/html", headers={
            "Cache-Control": "no-store", "X-Frame-Options": "DENY",
            "Content-Security-Policy": "default-src 'self'; script-src 'unsafe-inline'; "
                                       "style-src 'unsafe-inline'; img-src 'self' data: blob:; "
                                       "connect-src 'self'"})

    async def _file(self, request):
        name = request.match_info["name"]
        path = os.path.join(self.folder, name)
        if not NAME.fullmatch(name) or ".." in name or not os.path.isfile(path) \
                or os.path.islink(path):
            raise web.HTTPNotFound()
        return web.FileResponse(path, headers={
            "Content-Disposition": f'attachment; filename="{name}"'})

    # ---- the WebSocket ----

    async def _socket(self, request):
        origin = request.headers.get("Origin")
        if origin is not None and origin.split("://", 1)[-1] != request.host:
            raise web.HTTPForbidden(text="WebSocket from another origin")
        ws = web.WebSocketResponse(max_msg_size=MAX_MESSAGE, compress=False, heartbeat=20)
        await ws.prepare(request)
        page = Page(ws)
        self.pages.add(page)
        sender = asyncio.ensure_future(self._send_frames(page))
        tasks = set()
        try:
            await self._send(page, {"type": "hello", "status": self.acq.status()})
            async for msg in ws:
                if msg.type != WSMsgType.TEXT:
                    await ws.close(code=1003, message=b"text messages only")
                    break
                try:
                    command = self._parse(msg.data)
                    task = self._handle(page, command)
                except (Malformed, Refused, ValueError, TypeError, RecursionError) as e:
                    await ws.close(code=1008, message=str(e).encode()[:120])
                    break
                if task is not None:
                    tasks.add(task)
                    task.add_done_callback(tasks.discard)
        finally:
            self.pages.discard(page)
            sender.cancel()
            for task in tasks:
                task.cancel()
        return ws

    @staticmethod
    def _parse(text):
        command = json.loads(text)
        if not isinstance(command, dict) or command.get("cmd") not in COMMANDS:
            raise Malformed("not a command")
        ident = command.get("id", 0)
        if isinstance(ident, bool) or not isinstance(ident, int):
            raise Malformed("id must be an integer")
        return command

    async def _send(self, page, message):
        if not page.ws.closed:
            await page.ws.send_str(json.dumps(message))

    def _handle(self, page, c):
        """Runs a page's command: view settings at once, camera commands queued."""
        kind = c["cmd"]
        if kind == "ack":
            page.credit = min(IN_FLIGHT, page.credit + 1)
            page.wake.set()
            return None
        if kind == "view":
            rect, size = c.get("region"), c.get("size")
            if rect is not None:
                rect = [finite_number(v, "region") for v in self._list(rect, 4)]
            w, h = (finite_number(v, "size") for v in self._list(size, 2))
            page.view, page.max_size = rect, (min(max(16, w), MAX_CANVAS),
                                              min(max(16, h), MAX_CANVAS))
            page.wake.set()
            return None
        if kind == "contrast":
            limits = c.get("limits")
            page.limits = None if limits is None else tuple(
                finite_number(v, "limits") for v in self._list(limits, 2))
            page.wake.set()
            return None
        if page.pending >= MAX_PENDING:
            raise Malformed("too many commands waiting")
        return asyncio.ensure_future(self._command(page, c))

    @staticmethod
    def _list(value, n):
        if not isinstance(value, list) or len(value) != n:
            raise Malformed(f"expected a list of {n}")
        return value

    async def _command(self, page, c):
        page.pending += 1
        reply = {"type": "reply", "id": c["id"], "cmd": c["cmd"]}
        try:
            if c["cmd"] == "snap":
                reply["result"] = await self._snap(c.get("name"), page.limits)
            else:
                args = {"set": lambda: (c.get("name"), c.get("value")),
                        "area": lambda: (c.get("rect"),),
                        "record": lambda: (c.get("name"), c.get("frames")),
                        "record_stop": tuple, "params": tuple}[c["cmd"]]()
                reply["result"] = await asyncio.wrap_future(self.acq.submit(c["cmd"], *args))
            reply["ok"] = True
        except QxcmError as e:
            reply.update(ok=False, error=str(e), code=e.code)
        except Refused as e:
            reply.update(ok=False, error=str(e))
        except Exception as e:  # every command is answered, whatever went wrong
            reply.update(ok=False, error=f"{type(e).__name__}: {e}")
        finally:
            page.pending -= 1
        await self._send(page, reply)

    async def _snap(self, name, limits):
        latest = self.acq.latest
        if latest is None:
            raise Refused("no frame yet")
        if name is None:
            stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S")
            name = f"snap-{stamp}-{latest.number}"
        elif not isinstance(name, str) or not NAME.fullmatch(name) or ".." in name:
            raise Refused(f"{name!r} is not a plain file name")
        names = [name + ".tif", name + ".png"]
        if any(os.path.lexists(os.path.join(self.folder, n)) for n in names):
            raise Refused(f"{name} exists already")
        stats = self._frame_stats(latest)
        lo, hi = limits if limits is not None else stats.auto

        def write():
            image = preview.display(latest.frame)
            full = stats.full
            lo_, hi_ = min(max(0, int(lo)), full - 1), min(max(int(lo) + 1, int(hi)), full)
            eight = np.take(preview.lut(lo_, hi_, full, image.dtype), image)
            for n, data in ((names[0], preview.tiff_bytes(image)),
                            (names[1], preview.png_bytes(eight))):
                # Exclusive creation: a name taken meanwhile is not overwritten.
                with open(os.path.join(self.folder, n), "xb") as f:
                    f.write(data)

        try:
            await asyncio.get_running_loop().run_in_executor(self.pool, write)
        except OSError as e:
            raise Refused(f"snap not written: {e.strerror}") from None
        return {"files": names, "frame": latest.number}

    # ---- frames ----

    def _frame_stats(self, latest):
        seq, stats = self._stats
        if seq != latest.seq:
            stats = preview.Stats(preview.display(latest.frame), latest.bits)
            self._stats = (latest.seq, stats)
        return stats

    async def _send_frames(self, page):
        loop = asyncio.get_running_loop()
        while not page.ws.closed:
            latest = self.acq.latest
            if latest is None or latest.seq <= page.sent or page.credit <= 0:
                page.wake.clear()
                await page.wake.wait()
                continue
            if self.acq.recording_active:
                # Capped pages are all sent the newest frame at the same moments, so that
                # those looking at the same thing share one rendering.
                period = 1.0 / RECORDING_PREVIEW_RATE
                tick = math.floor(loop.time() / period)
                if tick <= page.tick:
                    await asyncio.sleep((tick + 1) * period - loop.time())
                    continue
                page.tick = tick
            page.sent, page.credit = latest.seq, page.credit - 1

            # Pages that look at the same thing share one rendering of a frame.
            key = (latest.seq, page.view and tuple(page.view), page.max_size, page.limits)
            data = self._rendered.get(key)
            if data is None:
                future = loop.run_in_executor(self.pool, lambda latest=latest, key=key: (
                    preview.render(latest, self._frame_stats(latest), *key[1:])))
                if len(self._rendered) > 4 * len(self.pages) + 4:
                    self._rendered.clear()
                data = self._rendered[key] = asyncio.ensure_future(future)
            try:
                data = await asyncio.shield(data)
            except Exception as e:  # a frame this code cannot show: said, and the next tried
                self.acq.last_error = f"preview: {e!r}"
                continue
            if page.ws.closed:
                break
            try:
                await page.ws.send_bytes(data)
            except ConnectionError:
                break

    async def _status_loop(self):
        while True:
            await asyncio.sleep(STATUS_PERIOD)
            message = {"type": "status", "status": self.acq.status()}
            for page in list(self.pages):
                try:
                    await self._send(page, message)
                except ConnectionError:
                    pass

