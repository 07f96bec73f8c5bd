"""orvek-view: a live view of the arm in the browser.

    orvek-view ADDRESS [--port PORT] [--rate HZ] [--model FILE] [--record FILE.csv]

Reads the controller's state at a fixed rate (in a poller process of its own, see poller.py)
and serves, on http://127.0.0.1:PORT/, a page that draws the arm from a kinematic model and
shows its numbers. Routes:

    /              the page (its files ship in this package; nothing comes from outside)
    /state.json    the latest sample: {"t", "joint", "pose", "connected", "error", "points", "axes"}
    /events        the same object pushed as Server-Sent Events, one per sample
    /model.json    the model being drawn

The server is aiohttp: one event loop serves any number of pages and their event streams,
with HTTP parsing, keep-alive and shutdown done right, where the standard library's
http.server needs a thread per open stream and says it is not meant for more than testing.
It is an extra of the package: pip install "liborvek[view]".
"""

from __future__ import annotations

import argparse
import asyncio
import json
import signal
import socket
import sys
from importlib import resources
from pathlib import Path

try:
    from aiohttp import web
except ImportError:  # the web server is an extra (liborvek[view]); main() says so
    web = None  # type: ignore[assignment]

from .model import ArmModel, ModelError
from .recording import RecordingWriter

RESTART_PERIOD = 1.0
WEB_FILES = {
    "/": ("index.html", "text/html"),
    "/viewer.js": ("viewer.js", "text/javascript"),
    "/viewer.css": ("viewer.css", "text/css"),
}


def _compact(value: object) -> str:
    return json.dumps(value, separators=(",", ":"))


class Viewer:
    """The latest sample, the poller that makes samples, and the pages that follow them."""

    def __init__(self, address: str, rate: float, model: ArmModel, record: Path | None):
        self.address = address
        self.rate = rate
        self.model = model
        self.latest: dict | None = None
        self.status: dict = {"connected": False, "error": f"connecting to {address}"}
        self.streams: set[asyncio.Queue] = set()
        self.recording = RecordingWriter(record) if record else None
        self.poller: asyncio.subprocess.Process | None = None
        self.task: asyncio.Task | None = None

    # --- samples ----------------------------------------------------------------------

    def take(self, line: dict) -> None:
        """One line of the poller: a sample, or the error that ended the connection."""
        if "joint" in line:
            try:
                frames = self.model.frames(line["joint"])
            except (ValueError, TypeError) as error:  # a joint value that is not a finite number
                line = {"t": line["t"], "error": f"cannot draw the arm at joints {line['joint']}: {error}"}
            else:
                self.take_sample(line, frames)
                return
        self.status = {"connected": False, "error": line["error"]}
        if self.latest is not None:
            self.latest = {**self.latest, **self.status}
        self.publish(self.snapshot())

    def take_sample(self, line: dict, frames: list) -> None:
        r = frames[-1].rotation
        self.status = {"connected": True, "error": None}
        self.latest = {
            "t": line["t"],
            "joint": line["joint"],
            "pose": line["pose"],
            **self.status,
            "points": [list(f.position) for f in frames],
            "axes": [[r[0], r[3], r[6]], [r[1], r[4], r[7]], [r[2], r[5], r[8]]],  # the tool frame's x, y, z
        }
        if self.recording:
            self.recording.write(line["t"], line["joint"], line["pose"])
        self.publish(self.latest)

    def snapshot(self) -> dict:
        return self.latest if self.latest is not None else {"t": None, "joint": None, "pose": None, **self.status}

    def publish(self, message: dict) -> None:
        text = _compact(message)
        for queue in self.streams:
            if queue.full():  # a page that does not keep up gets the newest samples
                queue.get_nowait()
            queue.put_nowait(text)

    async def run_poller(self) -> None:
        """Runs the poller, and again a second after it ends (it only ends on a fault)."""
        command = [sys.executable, "-m", "orvek_tools.poller", self.address, repr(self.rate)]
        while True:
            self.poller = await asyncio.create_subprocess_exec(
                *command, stdin=asyncio.subprocess.DEVNULL, stdout=asyncio.subprocess.PIPE,
                stderr=asyncio.subprocess.PIPE, limit=1 << 20)
            assert self.poller.stdout is not None and self.poller.stderr is not None
            async for raw in self.poller.stdout:
                self.take(json.loads(raw))
            stderr = (await self.poller.stderr.read()).decode(errors="replace").strip()
            status = await self.poller.wait()
            last = stderr.splitlines()[-1] if stderr else f"exit status {status}"
            self.take({"t": None, "error": f"poller ended: {last}"})
            await asyncio.sleep(RESTART_PERIOD)

    # --- HTTP -------------------------------------------------------------------------

    async def state_json(self, _request: web.Request) -> web.Response:
        body = _compact(self.snapshot())
        return web.Response(text=body, content_type="application/json", status=200 if self.latest else 503,
                            headers={"Cache-Control": "no-store"})

    async def model_json(self, _request: web.Request) -> web.Response:
        m = self.model
        body = {"name": m.name, "length_unit": m.length_unit, "joint_unit": m.joint_unit, "reach": m.reach(),
                "address": self.address, "rate": self.rate}
        return web.json_response(body)

    async def events(self, request: web.Request) -> web.StreamResponse:
        response = web.StreamResponse(headers={"Content-Type": "text/event-stream", "Cache-Control": "no-store"})
        await response.prepare(request)
        queue: asyncio.Queue = asyncio.Queue(maxsize=64)
        queue.put_nowait(_compact(self.snapshot()))
        self.streams.add(queue)
        try:
            while (text := await queue.get()) is not None:
                await response.write(f"data: {text}\n\n".encode())
        except (ConnectionResetError, asyncio.CancelledError):
            pass
        finally:
            self.streams.discard(queue)
        return response

    def app(self) -> web.Application:
        app = web.Application()
        for path, (name, kind) in WEB_FILES.items():
            body = resources.files(__package__).joinpath("web", name).read_bytes()
            app.router.add_get(path, self._file_handler(body, kind))
        app.router.add_get("/state.json", self.state_json)
        app.router.add_get("/model.json", self.model_json)
        app.router.add_get("/events", self.events)
        app.on_startup.append(self._start)
        app.on_shutdown.append(self._stop)
        return app

    @staticmethod
    def _file_handler(body: bytes, kind: str):
        async def handler(_request: web.Request) -> web.Response:
            return web.Response(body=body, content_type=kind, charset="utf-8")
        return handler

    async def _start(self, _app: web.Application) -> None:
        self.task = asyncio.create_task(self.run_poller())

    async def _stop(self, _app: web.Application) -> None:
        for queue in self.streams:  # ends every event stream
            queue.put_nowait(None)
        if self.task:
            self.task.cancel()
        if self.poller and self.poller.returncode is None:
            self.poller.terminate()
            await self.poller.wait()
        if self.recording:
            self.recording.close()


def parse_args(argv: list[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(prog="orvek-view", description="Live view of the arm in the browser.")
    parser.add_argument("address", help="the controller's address (port 10001), e.g. 127.0.0.1")
    parser.add_argument("--port", type=int, default=8800, help="HTTP port on 127.0.0.1 (default 8800; 0: any free port)")
    parser.add_argument("--rate", type=float, default=50.0, help="samples per second (default 50)")
    parser.add_argument("--model", type=Path, help="kinematic model file (default: orvek-sim's arm)")
    parser.add_argument("--record", type=Path, metavar="FILE.csv", help="write every sample to this CSV file")
    args = parser.parse_args(argv)
    if not 0 < args.rate <= 1000:
        parser.error("--rate must be greater than 0 and at most 1000")
    if not 0 <= args.port <= 65535:
        parser.error("--port must be from 0 to 65535")
    return args


async def serve(args: argparse.Namespace, model: ArmModel) -> None:
    viewer = Viewer(args.address, args.rate, model, args.record)
    runner = web.AppRunner(viewer.app(), shutdown_timeout=2.0)
    await runner.setup()
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        sock.bind(("127.0.0.1", args.port))
    except OSError as error:
        await runner.cleanup()
        raise SystemExit(f"orvek-view: cannot listen on 127.0.0.1:{args.port}: {error.strerror}") from None
    await web.SockSite(runner, sock).start()
    print(f"orvek-view: http://127.0.0.1:{sock.getsockname()[1]}/ showing {args.address} at {args.rate:g} Hz",
          flush=True)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGINT, signal.SIGTERM):
        loop.add_signal_handler(sig, stop.set)
    await stop.wait()
    await runner.cleanup()


def main(argv: list[str] | None = None) -> None:
    args = parse_args(argv)
    if web is None:
        print('orvek-view: needs aiohttp: pip install "liborvek[view]"', file=sys.stderr)
        raise SystemExit(2)
    try:
        model = ArmModel.load(args.model)
        if args.record:
            RecordingWriter(args.record).close()  # a recording that cannot be written fails now
    except (ModelError, OSError) as error:
        raise SystemExit(f"orvek-view: {error}") from None
    asyncio.run(serve(args, model))


if __name__ == "__main__":
    main()
