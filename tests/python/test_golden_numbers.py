"""The same numbers on every CPU and interpreter: pose conversions, their printed forms, forward
kinematics and the request text of Cartesian moves, compared byte for byte with golden_numbers.txt.

Each line of the file is one input (as Python literals, read back exactly) and what the library
made of it. The inputs were drawn once from a seeded generator (WRITE below) and are part of the
file, so the test itself draws nothing. A fused multiply-add, a different rounding or a different
number formatter changes a last digit somewhere in these lines.

    python tests/python/test_golden_numbers.py --write     # regenerates the file (x86-64)
"""

from __future__ import annotations

import ast
import math
import random
import sys
from pathlib import Path

import pytest

import liborvek
from liborvek import MotionType, Pose

GOLDEN = Path(__file__).with_name("golden_numbers.txt")
SEED = 20261209
CONVERSIONS = ("euler", "quat", "homo", "axis_angle", "position")
ACCEPTING = {"moveL": {"default": {"reply": {"errorCode": "0", "errorMsg": ""}}}}


def make_pose(form: str, args: tuple) -> Pose:
    return getattr(Pose, form)(*args)


def as_pose(conversion: str, value) -> Pose:
    """The pose a conversion's result describes, in that conversion's form."""
    if conversion == "homo":
        return Pose.Homo(value)
    if conversion == "position":
        return Pose.Position(value)
    return {"euler": Pose.Euler, "quat": Pose.Quat, "axis_angle": Pose.AxisAngle}[conversion](*value)


class Printer:
    """The library's printed form of a pose: how an ArmState shows it."""

    def __init__(self):
        held = []
        liborvek.test_closure(lambda state, _period: (held.append(state), (MotionType.Stop(), True))[1])
        self.state = held[0]

    def __call__(self, pose: Pose) -> str:
        self.state.pose_o_to_ee = pose
        (line,) = [line for line in repr(self.state).splitlines() if "pose_o_to_ee" in line]
        return line.split(": ", 1)[1].rstrip(",")


def conversion_line(printer: Printer, form: str, args: tuple, conversion: str) -> str:
    value = getattr(make_pose(form, args), conversion)()
    return f"{form} {args!r} .{conversion} -> {printer(as_pose(conversion, value))}"


def fk_line(robot, joints: list[float]) -> str:
    pose = robot.forward_kinematics(joints)
    return f"fk {joints!r} -> {pose.quat()!r}"


def parse_input(head: str) -> tuple[str, tuple]:
    form, rest = head.split(" ", 1)
    literal = rest.rsplit(" .", 1)[0] if " ." in rest else rest
    return form, ast.literal_eval(literal)


@pytest.fixture(scope="module")
def golden() -> str:
    return GOLDEN.read_text(encoding="utf-8")


def test_pose_conversions_and_their_printed_forms(golden):
    printer = Printer()
    wanted = [line for line in golden.splitlines() if line.split(" ", 1)[0] in {"Euler", "Quat", "Homo", "AxisAngle",
                                                                                  "Position"}]
    assert len(wanted) >= 1000
    got = []
    for line in wanted:
        head = line.split(" -> ")[0]
        form, args = parse_input(head)
        got.append(conversion_line(printer, form, args, head.rsplit(".", 1)[1]))
    assert [g for g, w in zip(got, wanted) if g != w] == []


def test_forward_kinematics(golden, sim):
    robot = liborvek.OrvekRobot(sim().host)
    wanted = [line for line in golden.splitlines() if line.startswith("fk ")]
    assert len(wanted) >= 100
    got = [fk_line(robot, ast.literal_eval(line.split(" -> ")[0][3:])) for line in wanted]
    assert [g for g, w in zip(got, wanted) if g != w] == []


def test_request_text_of_cartesian_moves(golden, sim):
    wanted = [line for line in golden.splitlines() if line.startswith("moveL ")]
    assert len(wanted) >= 50
    controller = sim(script=ACCEPTING)
    robot = liborvek.OrvekRobot(controller.host)
    heads = []
    for line in wanted:
        head = line.split(" -> ")[0]
        form, args = parse_input(head[len("moveL "):])
        robot.move_cartesian(make_pose(form, args))
        heads.append(head)
    sent = [raw for raw in controller.requests() if '"cmdName":"moveL"' in raw]
    got = [f"{head} -> {raw}" for head, raw in zip(heads, sent)]
    assert [g for g, w in zip(got, wanted) if g != w] == [] and len(got) == len(wanted)


# --- writing the file -------------------------------------------------------------------------

def draw_inputs(rng: random.Random, count: int) -> list[tuple[str, tuple]]:
    """Seeded poses in the five forms, and the cases where conversions branch: gimbal lock,
    half turns, the identity, a matrix block that is not quite a rotation."""
    def r(scale: float) -> float:
        return rng.uniform(-scale, scale)

    def tran() -> list[float]:
        return [r(1000.0) for _ in range(3)]

    def rotation(roll: float, pitch: float, yaw: float) -> list[float]:
        cr, sr, cp, sp, cy, sy = math.cos(roll), math.sin(roll), math.cos(pitch), math.sin(pitch), math.cos(yaw), math.sin(yaw)
        return [cy * cp, sy * cp, -sp, cy * sp * sr - sy * cr, sy * sp * sr + cy * cr, cp * sr,
                cy * sp * cr + sy * sr, sy * sp * cr - cy * sr, cp * cr]

    def homo(block: list[float], t: list[float]) -> list[float]:
        return block[0:3] + [0.0] + block[3:6] + [0.0] + block[6:9] + [0.0] + t + [1.0]

    inputs: list[tuple[str, tuple]] = [
        ("Euler", ([0.0, 0.0, 0.0], [0.0, 0.0, 0.0])),
        ("Euler", ([1.0, 2.0, 3.0], [0.3, math.pi / 2, -0.2])),
        ("Euler", ([1.0, 2.0, 3.0], [0.3, -math.pi / 2, 0.2])),
        ("Quat", ([0.0, 0.0, 0.0], [1.0, 0.0, 0.0, 0.0])),
        ("Quat", ([0.0, 0.0, 0.0], [0.0, 0.0, 1.0, 0.0])),
        ("Homo", (homo([1.0, 0.0, 0.0, 0.0, -1.0, 0.0, 0.0, 0.0, -1.0], [5.0, 6.0, 7.0]),)),
        ("Homo", (homo([-1.0, 0.0, 0.0, 0.0, -1.0, 0.0, 0.0, 0.0, 1.0], [0.0, 0.0, 0.0]),)),
        ("AxisAngle", ([0.0, 0.0, 0.0], [0.0, 1.0, 0.0], math.pi)),
        ("AxisAngle", ([1.0, 1.0, 1.0], [1.0, 1.0, 1.0], 0.0)),
        ("Position", ([10.0, -20.0, 30.5],)),
    ]
    forms = ("Euler", "Quat", "Homo", "AxisAngle", "Position")
    while len(inputs) < count:
        form = forms[len(inputs) % len(forms)]
        if form == "Euler":
            inputs.append((form, (tran(), [r(math.pi), r(math.pi / 2), r(math.pi)])))
        elif form == "Quat":
            inputs.append((form, (tran(), [r(1.0) for _ in range(4)])))
        elif form == "Homo":
            block = rotation(r(math.pi), r(math.pi / 2), r(math.pi))
            if len(inputs) % 2:  # a little off a rotation: the nearest one is found
                block = [v + r(1e-3) for v in block]
            inputs.append((form, (homo(block, tran()),)))
        elif form == "AxisAngle":
            inputs.append((form, (tran(), [r(1.0) for _ in range(3)], r(math.pi))))
        else:
            inputs.append((form, (tran(),)))
    return inputs


def write() -> None:
    import json
    import subprocess
    import tempfile
    import time

    from conftest import find_sim_binary

    rng = random.Random(SEED)
    poses = draw_inputs(rng, 200)
    joints = [[rng.uniform(-math.pi, math.pi) for _ in range(6)] for _ in range(100)]
    moves = draw_inputs(random.Random(SEED + 1), 50)
    printer = Printer()
    out = [f"# Written by tests/python/test_golden_numbers.py --write (seed {SEED}); compared byte for byte."]
    out += [conversion_line(printer, form, args, c) for form, args in poses for c in CONVERSIONS]

    with tempfile.TemporaryDirectory() as work:
        script = Path(work) / "script.json"
        script.write_text(json.dumps(ACCEPTING), encoding="utf-8")
        log = Path(work) / "log.jsonl"
        host = "127.0.250.250"
        sim = subprocess.Popen([find_sim_binary(), "--host", host, "--script", str(script), "--log", str(log)],
                               stdout=subprocess.PIPE)
        try:
            sim.stdout.readline()
            robot = liborvek.OrvekRobot(host)
            out += [fk_line(robot, q) for q in joints]
            for form, args in moves:
                robot.move_cartesian(make_pose(form, args))
            time.sleep(0.2)
        finally:
            sim.terminate()
            sim.wait()
        sent = [e["raw"] for e in map(json.loads, log.read_text(encoding="utf-8").splitlines())
                if '"cmdName":"moveL"' in e.get("raw", "")]
    out += [f"moveL {form} {args!r} -> {raw}" for (form, args), raw in zip(moves, sent, strict=True)]
    GOLDEN.write_text("\n".join(out) + "\n", encoding="utf-8")
    print(f"wrote {len(out) - 1} lines to {GOLDEN}")


if __name__ == "__main__":
    if sys.argv[1:] != ["--write"]:
        sys.exit(__doc__)
    sys.path.insert(0, str(Path(__file__).parent))
    write()
