"""What the link tests share: the realtime run of examples/realtime.py, the figures of a
distribution of times, and the checks of the simulator's log."""

from __future__ import annotations

import importlib.util
import json
import math
import statistics
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
HOME = [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]
NOT_INITIALIZED = "Network exception: TCP command stream is not initialized"
TIMED_OUT = "Connection timed out (os error 110)"

def _load(name: str, path: Path):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


realtime_example = _load("realtime_example", REPO / "examples/realtime.py")
# What a call ended with, as the Python tests check it.
_outcomes = _load("python_tests_outcomes", REPO / "tests/python/outcomes.py")
panic_text, robot_error = _outcomes.panic_text, _outcomes.robot_error


def paced_run(robot, cycles: int) -> tuple[list[float], list[float]]:
    """A 125 Hz run paced as examples/realtime.py paces it, from where the arm is; returns the
    joints it started from and the times the function was called."""
    realtime_example.CYCLES = cycles
    start = robot.state().joint
    return start, realtime_example.run(robot, start, paced=True)


def intervals(times: list[float]) -> list[float]:
    return [b - a for a, b in zip(times, times[1:])]


def quantile(values: list[float], q: float) -> float:
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(q * len(ordered)))]


def distribution_ms(values: list[float]) -> str:
    """median, p99, p99.9 and worst of durations in seconds, as milliseconds."""
    return (f"median {1e3 * statistics.median(values):.2f} ms, p99 {1e3 * quantile(values, 0.99):.2f} ms, "
            f"p99.9 {1e3 * quantile(values, 0.999):.2f} ms, worst {1e3 * max(values):.2f} ms (n={len(values)})")


def servo_targets(controller) -> list[list[float]]:
    return [r["jointPosition"] for r in controller.parsed() if r.get("cmdName") == "servo_j"]


def connections(controller) -> list[int]:
    return sorted({e["conn"] for e in controller.events()})


def expected_targets(cycles: int, start: list[float]) -> list[list[float]]:
    """The targets examples/realtime.py sends for a run of `cycles`, as the wire carries them."""
    targets = []
    for k in range(cycles):
        target = list(start)
        target[0] += realtime_example.AMPLITUDE * (1.0 - math.cos(2.0 * math.pi * k / cycles)) / 2.0
        targets.append(json.loads(json.dumps(target)))
    return targets


def tcp_counters() -> dict[str, int]:
    """The kernel's TCP counters of this network namespace: segments retransmitted, and how
    the losses were found (retransmission time-outs, tail loss probes, fast retransmits)."""
    found = {}
    for path in ("/proc/net/snmp", "/proc/net/netstat"):
        with open(path) as table:
            lines = table.read().splitlines()
        for names, values in zip(lines[::2], lines[1::2]):
            prefix, *keys = names.split()
            found.update({prefix + k: int(v) for k, v in zip(keys, values.split()[1:])})
    wanted = {"RetransSegs": "Tcp:RetransSegs", "Timeouts": "TcpExt:TCPTimeouts",
              "LossProbes": "TcpExt:TCPLossProbes", "FastRetrans": "TcpExt:TCPFastRetrans"}
    return {name: found.get(key, 0) for name, key in wanted.items()}


def counter_changes(before: dict[str, int], after: dict[str, int]) -> str:
    return ", ".join(f"{name} {after[name] - before[name]}" for name in before)


class RecordingRobot:
    """A robot whose realtime runs record when the function was called, even when the run fails."""

    def __init__(self, robot):
        self.robot = robot
        self.calls: list[float] = []

    def state(self):
        return self.robot.state()

    def move_joint_with_closure(self, step):
        def recorded(state, period):
            self.calls.append(time.monotonic())
            return step(state, period)

        return self.robot.move_joint_with_closure(recorded)
