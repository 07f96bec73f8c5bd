"""Kinematic models: a six-joint serial arm as a table of standard Denavit-Hartenberg links.

A model file is JSON (see models/orvek-sim.json at the top of the source tree, the simulator's
arm, which its build reads too)::

    {"name": "...", "length_unit": "mm", "joint_unit": "deg",
     "links": [{"d": 150, "a": 0, "alpha": 90, "offset": 0}, ...six links...]}

Each link is T = Rz(joint + offset) Tz(d) Tx(a) Rx(alpha); "alpha" and "offset" (default 0)
are in degrees, "d" and "a" in the length unit; "joint_unit" ("deg" or "rad") is the unit of
the joint values the controller reports. The tool centre point is the last link's frame.
"""

from __future__ import annotations

import json
import math
from dataclasses import dataclass
from importlib import resources
from pathlib import Path

Matrix = tuple[float, float, float, float, float, float, float, float, float]  # row-major 3 x 3
Vector = tuple[float, float, float]


def _simulator_model_text() -> str:
    """The simulator's model file: inside the package where it is installed (the wheel carries
    it there), else in the models/ folder of the source tree the package is imported from."""
    packaged = resources.files(__package__).joinpath("models/orvek-sim.json")
    if packaged.is_file():
        return packaged.read_text(encoding="utf-8")
    return (Path(__file__).resolve().parents[2] / "models" / "orvek-sim.json").read_text(encoding="utf-8")


@dataclass(frozen=True)
class Frame:
    rotation: Matrix
    position: Vector


@dataclass(frozen=True)
class Link:
    d: float
    a: float
    alpha: float  # radians
    offset: float  # radians


class ModelError(ValueError):
    """A model file that cannot be used, with the place and what was expected."""


@dataclass(frozen=True)
class ArmModel:
    name: str
    length_unit: str
    joint_unit: str
    links: tuple[Link, ...]

    @classmethod
    def load(cls, path: str | Path | None = None) -> ArmModel:
        """The model in `path`, or the simulator's arm when `path` is None."""
        if path is None:
            text = _simulator_model_text()
            where = "orvek-sim.json"
        else:
            where = str(path)
            try:
                text = Path(path).read_text(encoding="utf-8")
            except OSError as error:
                raise ModelError(f"{where}: {error.strerror}") from None
        try:
            data = json.loads(text)
        except ValueError as error:
            raise ModelError(f"{where}: not JSON: {error}") from None
        return cls.from_dict(data, where)

    @classmethod
    def from_dict(cls, data: object, where: str = "model") -> ArmModel:
        if not isinstance(data, dict):
            raise ModelError(f"{where}: expected an object")
        joint_unit = data.get("joint_unit", "deg")
        if joint_unit not in ("deg", "rad"):
            raise ModelError(f'{where}: "joint_unit" must be "deg" or "rad"')
        rows = data.get("links")
        if not isinstance(rows, list) or len(rows) != 6:
            raise ModelError(f'{where}: "links" must be a list of 6 links')
        links = []
        for i, row in enumerate(rows):
            if not isinstance(row, dict):
                raise ModelError(f"{where}: links[{i}]: expected an object")
            values = {}
            for key in ("d", "a", "alpha", "offset"):
                value = row.get(key, 0.0 if key == "offset" else None)
                if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value):
                    raise ModelError(f'{where}: links[{i}]: "{key}" must be a finite number')
                values[key] = float(value)
            links.append(Link(values["d"], values["a"], math.radians(values["alpha"]), math.radians(values["offset"])))
        return cls(str(data.get("name", "arm")), str(data.get("length_unit", "mm")), joint_unit, tuple(links))

    def frames(self, joints: list[float]) -> list[Frame]:
        """The base frame and the frame of every link, in order; the last is the tool's."""
        if len(joints) != len(self.links):
            raise ValueError(f"expected {len(self.links)} joint values, got {len(joints)}")
        to_radians = math.radians if self.joint_unit == "deg" else float
        rotation: Matrix = (1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0)
        position: Vector = (0.0, 0.0, 0.0)
        frames = [Frame(rotation, position)]
        for link, joint in zip(self.links, joints):
            theta = to_radians(joint) + link.offset
            ct, st = math.cos(theta), math.sin(theta)
            ca, sa = math.cos(link.alpha), math.sin(link.alpha)
            local: Matrix = (ct, -st * ca, st * sa, st, ct * ca, -ct * sa, 0.0, sa, ca)
            moved = _apply(rotation, (link.a * ct, link.a * st, link.d))
            position = (position[0] + moved[0], position[1] + moved[1], position[2] + moved[2])
            rotation = _multiply(rotation, local)
            frames.append(Frame(rotation, position))
        return frames

    def tool(self, joints: list[float]) -> Frame:
        return self.frames(joints)[-1]

    def reach(self) -> float:
        """An upper bound of how far the tool gets from the base (for framing a view)."""
        return sum(abs(link.d) + abs(link.a) for link in self.links)


def _multiply(a: Matrix, b: Matrix) -> Matrix:
    return tuple(  # type: ignore[return-value]
        a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j] for i in range(3) for j in range(3)
    )


def _apply(r: Matrix, v: Vector) -> Vector:
    return (
        r[0] * v[0] + r[1] * v[1] + r[2] * v[2],
        r[3] * v[0] + r[4] * v[1] + r[5] * v[2],
        r[6] * v[0] + r[7] * v[1] + r[8] * v[2],
    )
