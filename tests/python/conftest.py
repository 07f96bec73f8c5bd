"""Shared fixtures: a private orvek-sim controller per test.

``sim`` is a factory fixture. Each call starts one ``orvek-sim`` process on a loopback
address of its own (127.0.A.B with A in 100..199, port 10001), waits until it accepts
connections and returns a :class:`Sim`; every simulator a test started is stopped when
the test ends::

    def test_enable(sim):
        controller = sim()                     # simulated replies only
        robot = liborvek.OrvekRobot(controller.host)
        ...
        assert controller.names() == ["power_on", "enable_robot"]

    def test_refused(sim):
        controller = sim(script={"enable_robot": [{"reply": {"errorCode": "7", "errorMsg": "x"}}]})

``sim(script=None, host=None, args=())``
    ``script``: a dict (written to a file) or a path to a script file, in the format of
    sim/README.md. ``host``: listen there instead of a fresh 127.0.A.B (e.g. "::1").
    ``args``: more command-line arguments (e.g. ``["--log-joints", "100"]``).

:class:`Sim`
    ``host``            the address to give the client (``OrvekRobot(sim.host)``)
    ``port``            10001
    ``requests()``      the raw text of every request received so far, in order
    ``parsed()``        the same, each parsed as JSON
    ``names()``         the "cmdName" of each parsed request
    ``events()``        every log line as a dict: requests ({"conn", "t", "raw"}) and
                        connection events ({"conn", "t", "event": "open" | "close" |
                        "drop" | "hangup"})
    ``stop()``          stops the simulator (SIGTERM) and returns its exit status

A simulator that does not exit with status 0 when the test ends fails the test.

The binary is, in this order: $ORVEK_SIM, ``orvek-sim`` beside the running Python (the
virtual environment's bin), ``orvek-sim`` on the PATH, the newest build/**/sim/orvek-sim.
"""

from __future__ import annotations

import itertools
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
PORT = 10001
READY_TIMEOUT = 10.0
_host_counter = itertools.count()


def find_sim_binary() -> str:
    override = os.environ.get("ORVEK_SIM")
    if override:
        return override
    beside = Path(sys.executable).parent / "orvek-sim"
    if beside.is_file() and os.access(beside, os.X_OK):
        return str(beside)
    on_path = shutil.which("orvek-sim")
    if on_path:
        return on_path
    built = [p for pattern in ("build/*/sim/orvek-sim", "build/*/*/sim/orvek-sim") for p in REPO.glob(pattern)]
    built = [p for p in built if os.access(p, os.X_OK)]
    if built:
        return str(max(built, key=lambda p: p.stat().st_mtime))
    pytest.fail("orvek-sim not found: install the package or build the orvek-sim target")


def next_loopback_host() -> str:
    """A loopback address no other test of this run uses; runs in other processes start
    elsewhere in the range (by process id) and a taken address is skipped on start-up."""
    index = (os.getpid() * 7919 + next(_host_counter)) % (100 * 254)
    return f"127.0.{100 + index // 254}.{1 + index % 254}"


class Sim:
    port = PORT

    def __init__(self, process: subprocess.Popen, host: str, log_path: Path, stderr_path: Path):
        self.process = process
        self.host = host
        self.log_path = log_path
        self.stderr_path = stderr_path

    def events(self) -> list[dict]:
        if not self.log_path.exists():
            return []
        text = self.log_path.read_text(encoding="utf-8")
        # A line still being written has no newline yet; it is read next time.
        return [json.loads(line) for line in text.split("\n")[:-1]]

    def requests(self) -> list[str]:
        return [e["raw"] for e in self.events() if "raw" in e]

    def parsed(self) -> list[dict]:
        return [json.loads(raw) for raw in self.requests()]

    def names(self) -> list[str]:
        return [request.get("cmdName") for request in self.parsed()]

    def stop(self, timeout: float = 5.0) -> int:
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.process.stdout:
            self.process.stdout.close()
        return self.process.returncode


def _start(binary: str, host: str, script_path: Path | None, log_path: Path, stderr_path: Path,
           extra: tuple[str, ...] | list[str] = ()) -> Sim | str:
    """A running Sim, or the simulator's complaint when it exited before it was ready."""
    args = [binary, "--host", host, "--log", str(log_path), *extra]
    if script_path is not None:
        args += ["--script", str(script_path)]
    with open(stderr_path, "wb") as stderr:
        process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=stderr)
    sim = Sim(process, host.strip("[]"), log_path, stderr_path)
    deadline = time.monotonic() + READY_TIMEOUT
    line = b""
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        readable, _, _ = select.select([process.stdout], [], [], max(left, 0))
        if not readable:
            sim.stop()
            pytest.fail(f"orvek-sim on {host} was not ready within {READY_TIMEOUT} s")
        chunk = os.read(process.stdout.fileno(), 1)
        if not chunk:
            sim.stop()
            return stderr_path.read_text(errors="replace") or f"exit status {process.returncode}"
        line += chunk
    return sim


@pytest.fixture
def sim(tmp_path):
    binary = find_sim_binary()
    started: list[Sim] = []

    def start(script: dict | str | os.PathLike | None = None, host: str | None = None,
              args: tuple[str, ...] | list[str] = ()) -> Sim:
        n = len(started)
        script_path = None
        if isinstance(script, dict):
            script_path = tmp_path / f"sim{n}-script.json"
            script_path.write_text(json.dumps(script), encoding="utf-8")
        elif script is not None:
            script_path = Path(script)
        for _ in range(20):
            chosen = host or next_loopback_host()
            outcome = _start(binary, chosen, script_path, tmp_path / f"sim{n}-log.jsonl", tmp_path / f"sim{n}-stderr.txt",
                             args)
            if isinstance(outcome, Sim):
                started.append(outcome)
                return outcome
            if host is not None or "in use" not in outcome:
                pytest.fail(f"orvek-sim did not start on {chosen}: {outcome}")
        pytest.fail("orvek-sim: no free loopback address after 20 tries")

    yield start
    failures = []
    for s in started:
        status = s.stop()
        if status != 0:  # a crash, or a sanitizer's report, in the simulator
            failures.append(f"orvek-sim on {s.host} exited with {status}: {s.stderr_path.read_text(errors='replace')}")
    if failures:
        pytest.fail("\n".join(failures))


@pytest.fixture
def accepting_robot(sim):
    """An enabled robot whose controller accepts every joint and linear move without carrying
    it out: a blocking move that gets a valid target ends at once and the arm stays at home."""
    import liborvek  # here, so that the simulator's own tests do not need the module

    accepted = {"default": {"reply": {"errorCode": "0", "errorMsg": ""}}}
    controller = sim(script={"joint_move": accepted, "moveL": accepted})
    robot = liborvek.OrvekRobot(controller.host)
    robot.enable()
    return robot
