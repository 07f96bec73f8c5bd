"""The alternative to liborvek a user would write: a straightforward pure-Python client.

One TCP connection to the controller (port 10001), one request and one reply at a time.
Requests are compact JSON with the keys sorted; a reply is read until it is one complete
JSON value. The realtime loop does per cycle what the library does: a fresh state object
(zeros and the default pose), one call of the user function with (state, 0.008), the same
checks of its result, one "servo_j" exchange. Used by bench/run.py as the reference the
library must beat; it is not part of the library.
"""

from __future__ import annotations

import json
import math
import socket
from dataclasses import dataclass

PORT = 10001
READ_SIZE = 10240
PERIOD = 0.008


@dataclass(slots=True)
class LoadState:
    m: float
    x: list[float]
    i: list[float]


@dataclass(slots=True)
class EulerPose:
    translation: list[float]
    angles: list[float]


@dataclass(slots=True)
class QuatPose:
    translation: list[float]
    rotation: list[float]


@dataclass(slots=True)
class ArmState:
    joint: list[float] | None = None
    joint_vel: list[float] | None = None
    joint_acc: list[float] | None = None
    tau: list[float] | None = None
    pose_o_to_ee: EulerPose | QuatPose | None = None
    pose_ee_to_k: EulerPose | QuatPose | None = None
    cartesian_vel: list[float] | None = None
    load: LoadState | None = None


def placeholder_state() -> ArmState:
    """The state handed to the user function each cycle: zeros and the default pose."""
    return ArmState(
        joint=[0.0] * 6,
        joint_vel=[0.0] * 6,
        joint_acc=[0.0] * 6,
        tau=[0.0] * 6,
        pose_o_to_ee=QuatPose([0.0, 0.0, 0.0], [0.0, 0.0, 0.0, 1.0]),
        pose_ee_to_k=QuatPose([0.0, 0.0, 0.0], [0.0, 0.0, 0.0, 1.0]),
        cartesian_vel=[0.0] * 6,
        load=LoadState(0.0, [0.0, 0.0, 0.0], [0.0] * 9),
    )


class CommandError(Exception):
    pass


class PureRobot:
    def __init__(self, host: str) -> None:
        self.sock = socket.create_connection((host, PORT), timeout=30.0)
        self.moving = False

    def close(self) -> None:
        self.sock.close()

    def exchange(self, request: dict) -> dict:
        self.sock.sendall(json.dumps(request, sort_keys=True, separators=(",", ":")).encode())
        data = self.sock.recv(READ_SIZE)
        while True:
            if not data:
                raise ConnectionError("the controller closed the connection")
            try:
                return json.loads(data)
            except json.JSONDecodeError:
                data += self.sock.recv(READ_SIZE)  # a reply split across reads

    def checked(self, request: dict) -> None:
        reply = self.exchange(request)
        if reply.get("errorCode") != "0":
            raise CommandError(f"[{reply.get('errorCode')}: {reply.get('errorMsg')}]")

    def enable(self) -> None:
        self.exchange({"cmdName": "power_on"})
        self.checked({"cmdName": "enable_robot"})

    def state(self) -> ArmState:
        reply = self.exchange({"cmdName": "get_data"})
        joint = reply["joint_actual_position"]
        p = reply["actual_position"]
        if len(joint) != 6 or len(p) != 6:
            raise ValueError("a get_data reply with short arrays")
        return ArmState(joint=[float(v) for v in joint], pose_o_to_ee=EulerPose([p[0], p[1], p[2]], [p[3], p[4], p[5]]))

    def move_joint_with_closure(self, closure) -> None:
        if self.moving:
            raise CommandError("Robot is moving")
        self.moving = True
        self.checked({"cmdName": "servo_move", "relFlag": 1})
        while True:
            result = closure(placeholder_state(), PERIOD)
            if type(result) is not tuple:
                raise TypeError(f"'{type(result).__name__}' object cannot be converted to 'PyTuple'")
            if len(result) != 2:
                raise ValueError(f"expected tuple of length 2, but got tuple of length {len(result)}")
            target, finished = result
            if type(finished) is not bool:
                raise TypeError(f"'{type(finished).__name__}' object cannot be converted to 'PyBool'")
            joints = [float(v) for v in target]
            if len(joints) != 6:
                raise ValueError(f"expected a sequence of length 6 (got {len(joints)})")
            if finished:
                break
            if not all(map(math.isfinite, joints)):
                raise ValueError("jointPosition is not finite")
            self.exchange({"cmdName": "servo_j", "jointPosition": joints, "relFlag": 0})
        self.checked({"cmdName": "servo_move", "relFlag": 0})
        self.moving = False
