"""What orvek-plot reads: a viewer recording (CSV) or an orvek-sim log (JSON lines), as one Run.

From a simulator log: the arm's samples (logged with --log-joints), the commands that
change what the arm does, and each servo run (from "servo_move" 1 to "servo_move" 0) with
the time and target of every "servo_j" it received.
"""

from __future__ import annotations

import json
import math
from dataclasses import dataclass, field
from pathlib import Path

from .recording import is_recording, read_recording

# Commands marked on the time plots; "get_data" and the servo steps are far too many.
MARKED = {"power_on", "power_off", "enable_robot", "disable_robot", "stop_program", "joint_move", "moveL",
          "servo_move"}


@dataclass
class ServoRun:
    start: float
    times: list[float] = field(default_factory=list)     # when each "servo_j" arrived
    targets: list[list[float]] = field(default_factory=list)
    relative: bool = False                               # some targets were offsets


@dataclass
class Run:
    name: str
    times: list[float] = field(default_factory=list)
    joints: list[list[float]] = field(default_factory=list)
    positions: list[list[float]] = field(default_factory=list)
    commands: list[tuple[float, str]] = field(default_factory=list)
    servo_runs: list[ServoRun] = field(default_factory=list)

    def tool_speeds(self) -> tuple[list[float], list[float]]:
        """The tool's speed between samples (length unit per second), at the middle times."""
        times, speeds = [], []
        for i in range(1, len(self.times)):
            dt = self.times[i] - self.times[i - 1]
            if dt > 0:
                times.append((self.times[i] + self.times[i - 1]) / 2)
                speeds.append(math.dist(self.positions[i], self.positions[i - 1]) / dt)
        return times, speeds


def read_run(path: Path) -> Run:
    if is_recording(path):
        run = Run(path.name)
        for row in read_recording(path):
            run.times.append(row[0])
            run.joints.append(row[1:7])
            run.positions.append(row[7:10])
        return run
    return read_sim_log(path)


def read_sim_log(path: Path) -> Run:
    run = Run(path.name)
    servo: ServoRun | None = None
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, line in enumerate(lines, start=1):
        if not line.strip():
            continue
        try:
            entry = json.loads(line)
            t = float(entry["t"])
        except (ValueError, KeyError, TypeError):
            if number == len(lines):
                break  # the line being written when the simulator stopped
            raise ValueError(f"{path}:{number}: neither a recording nor an orvek-sim log line") from None
        if "joint" in entry:
            run.times.append(t)
            run.joints.append([float(v) for v in entry["joint"]])
            run.positions.append([float(v) for v in entry["pose"][:3]])
            continue
        if "raw" not in entry:
            continue  # a connection event
        try:
            request = json.loads(entry["raw"])
            name = request["cmdName"]
        except (ValueError, KeyError, TypeError):
            continue  # a malformed request: the controller refused it
        if name == "servo_move":
            entering = request.get("relFlag") == 1
            run.commands.append((t, "servo on" if entering else "servo off"))
            servo = ServoRun(t) if entering else None
            if servo:
                run.servo_runs.append(servo)
        elif name in MARKED:
            run.commands.append((t, name))
        elif name == "servo_j" and servo is not None and isinstance(request.get("jointPosition"), list):
            servo.times.append(t)
            servo.targets.append(request["jointPosition"])
            servo.relative |= request.get("relFlag") == 1
    run.servo_runs = [s for s in run.servo_runs if len(s.times) >= 2]
    return run


def cycle_intervals(servo: ServoRun) -> list[float]:
    """Seconds between consecutive servo steps as the controller received them."""
    return [b - a for a, b in zip(servo.times, servo.times[1:])]
