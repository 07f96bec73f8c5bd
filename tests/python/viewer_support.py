"""Starting orvek-view for a test: `viewer` fixture (a factory) and reading its routes."""

from __future__ import annotations

import json
import os
import select
import signal
import subprocess
import sys
import time
import urllib.error
import urllib.request
from pathlib import Path

import pytest

VIEW = Path(sys.executable).parent / "orvek-view"


class Viewer:
    def __init__(self, process: subprocess.Popen, url: str):
        self.process = process
        self.url = url

    def get(self, path: str) -> tuple[int, bytes]:
        try:
            with urllib.request.urlopen(self.url + path.lstrip("/"), timeout=5) as response:
                return response.status, response.read()
        except urllib.error.HTTPError as error:
            return error.code, error.read()

    def state(self) -> dict:
        return json.loads(self.get("state.json")[1])

    def wait_for(self, condition, timeout: float = 5.0) -> dict:
        """The first state for which condition(state) is true, polled every 20 ms."""
        deadline = time.monotonic() + timeout
        while True:
            state = self.state()
            if condition(state):
                return state
            if time.monotonic() > deadline:
                pytest.fail(f"orvek-view: no such state within {timeout} s; the last: {state}")
            time.sleep(0.02)

    def stop(self) -> int:
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode


@pytest.fixture
def viewer():
    started: list[Viewer] = []

    def start(address: str, *args: str) -> Viewer:
        process = subprocess.Popen([str(VIEW), address, "--port", "0", *args], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        ready, _, _ = select.select([process.stdout], [], [], 10)
        line = os.read(process.stdout.fileno(), 4096).decode() if ready else ""
        if not line.startswith("orvek-view: http://"):
            process.kill()
            pytest.fail(f"orvek-view did not start: {line!r}")
        started.append(Viewer(process, line.split()[1]))
        return started[-1]

    yield start
    statuses = [v.stop() for v in started]
    assert statuses == [0] * len(started), "orvek-view did not stop cleanly on SIGTERM"
