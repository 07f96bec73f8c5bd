"""Fixtures of the link tests: a private network for the whole run, orvek-sim inside it, the
delaying relay, and faults switched on and off.

The run enters its own network namespace before any test (see netns.py), so the addresses
are fixed: the simulator on 127.0.0.2, the relay on 127.0.0.3. Every test starts from a
clean link; the figures tests record go to build/links/figures.md and the end of the output.
"""

from __future__ import annotations

import importlib.util
import os
import subprocess
import sys
import time
from pathlib import Path

import pytest

import netns

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
SIM_HOST = "127.0.0.2"
RELAY_HOST = "127.0.0.3"

# The simulator's log reader and binary search of the Python tests, loaded under a name of
# its own so that it is not taken for this folder's conftest.
_spec = importlib.util.spec_from_file_location("python_tests_conftest", REPO / "tests/python/conftest.py")
python_tests = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(python_tests)


def pytest_configure(config):
    netns.enter_private_network(f"orvek-links-{os.getpid()}")
    config.links_figures = []


def pytest_terminal_summary(terminalreporter, config):
    if not config.links_figures:
        return
    text = "\n".join(config.links_figures) + "\n"
    out = REPO / "build/links/figures.md"
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_text(text, encoding="utf-8")
    terminalreporter.write_sep("-", f"figures (also in {out.relative_to(REPO)})")
    terminalreporter.write(text)


@pytest.fixture
def figure(request):
    """figure(text): one line for the figures report."""
    return request.config.links_figures.append


def _wait_for_line(process: subprocess.Popen, expected: str, what: str) -> None:
    line = process.stdout.readline()
    if not line.startswith(expected):
        process.kill()
        pytest.fail(f"{what} did not start: {line!r}")


class LinkSim(python_tests.Sim):
    def restart(self) -> None:
        """Kills the simulator (SIGKILL: no goodbye to its clients) and starts a fresh one on
        the same address, as a controller that rebooted."""
        self.process.kill()
        self.process.wait()
        self.process.stdout.close()
        self.process = _start_sim(self.log_path, self.stderr_path).process


def _start_sim(log_path: Path, stderr_path: Path) -> LinkSim:
    args = [python_tests.find_sim_binary(), "--host", SIM_HOST, "--log", str(log_path)]
    with open(stderr_path, "ab") as stderr:
        process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=stderr,
                                   text=True, preexec_fn=netns.die_with_parent)
    _wait_for_line(process, "orvek-sim listening", "orvek-sim")
    return LinkSim(process, SIM_HOST, log_path, stderr_path)


@pytest.fixture
def sim(tmp_path):
    """A fresh orvek-sim on SIM_HOST, on a clean link; stopped (and checked) after the test."""
    netns.clear()
    controller = _start_sim(tmp_path / "sim-log.jsonl", tmp_path / "sim-stderr.txt")
    yield controller
    netns.clear()
    status = controller.stop()
    if status != 0:
        pytest.fail(f"orvek-sim exited with {status}: {controller.stderr_path.read_text(errors='replace')}")


@pytest.fixture
def relay(sim):
    """relay(min_ms, max_ms): starts the delaying relay to the simulator; returns the address
    to give OrvekRobot. Stopped after the test."""
    started = []

    def start(low_ms: float, high_ms: float) -> str:
        process = subprocess.Popen([sys.executable, str(HERE / "relay.py"), RELAY_HOST, SIM_HOST, str(low_ms), str(high_ms)],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True,
                                   preexec_fn=netns.die_with_parent)
        started.append(process)
        _wait_for_line(process, "relay ready", "the relay")
        return RELAY_HOST

    yield start
    for process in started:
        process.kill()
        process.wait()
        process.stdout.close()


@pytest.fixture
def timelines():
    """timelines(timeline): a fault timeline that is ended with the test, whatever happens."""
    started = []
    yield lambda timeline: started.append(timeline) or timeline
    for timeline in started:
        timeline.finish()
