"""Every constructor, method, index and attribute setter of liborvek called with wrong values:
None, text, bytes, mappings, huge integers, NaN and infinities, sequences of the wrong length or
depth, and objects whose __float__, __len__, __getitem__ or __index__ raise or lie.

The outcome is always success or an ordinary error: TypeError, ValueError (and OverflowError,
which float() itself raises for an integer too large), IndexError from indexing or from a
sequence that runs out before its __len__, the hostile object's own exception, or the library's
own Exception and PanicException. Never SystemError, never a crash; every error has a message;
and the robot serves the next call."""

import math
import os

import numpy
import pytest

import liborvek
from liborvek import ArmState, ControlType, LoadState, MotionType, OrvekRobot, Pose

HOME = [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]


class Boom(Exception):
    """Raised by the hostile objects below: it must reach the caller unchanged."""


class FloatRaises:
    def __float__(self):
        raise Boom("__float__ raised")


class FloatLies:
    def __float__(self):
        return "1.0"


class IndexRaises:
    def __index__(self):
        raise Boom("__index__ raised")


class LenRaises:
    def __len__(self):
        raise Boom("__len__ raised")

    def __getitem__(self, index):
        return 0.0


class GetItemRaises:
    def __len__(self):
        return 6

    def __getitem__(self, index):
        raise Boom("__getitem__ raised")


class GetItemLies:
    def __len__(self):
        return 6

    def __getitem__(self, index):
        return "x"


class LongerThanItIs:
    """Claims `length` items but has three: reading it must not trust the claim with memory."""

    def __init__(self, length):
        self.length = length

    def __len__(self):
        return self.length

    def __getitem__(self, index):
        if 0 <= index < 3:
            return 1.0
        raise IndexError(index)


class NegativeLength(LongerThanItIs):
    def __len__(self):
        return -1


class ShrinkingList(list):
    """A list whose first item's conversion empties the list."""

    def __init__(self):
        super().__init__([self.Emptier(self)] + [0.0] * 5)

    class Emptier:
        def __init__(self, owner):
            self.owner = owner

        def __float__(self):
            self.owner.clear()
            return 0.0


class ListGetItemRaises(list):
    def __getitem__(self, index):
        raise Boom("list __getitem__ raised")


class StrSubclass(str):
    def __str__(self):
        raise Boom("__str__ raised")


def recursive_list():
    items = [0.0] * 5
    items.append(items)
    return items


def battery():
    """(label, value) pairs; fresh objects on every call, since some tests mutate them."""
    nested = [[0.0] * 6 for _ in range(6)]
    return [
        ("None", None), ("empty str", ""), ("str", "abc"), ("number str", "1.5"), ("NUL str", "\x00"),
        ("lone surrogate", "\ud800"), ("str subclass", StrSubclass("OCS")), ("bytes", b"abc"),
        ("bytearray", bytearray(6)), ("memoryview", memoryview(b"\x00" * 6)), ("dict", {}),
        ("dict of six", {i: 0.0 for i in range(6)}), ("set", {1.0}), ("object", object()),
        ("True", True), ("huge int", 10**400), ("minus huge int", -(10**400)), ("2**64", 2**64),
        ("nan", math.nan), ("inf", math.inf), ("-inf", -math.inf), ("-0.0", -0.0), ("complex", 1j),
        ("empty list", []), ("5 numbers", [0.0] * 5), ("7 numbers", [0.0] * 7), ("many numbers", [0.0] * 10000),
        ("6 None", [None] * 6), ("6 str", ["1"] * 6), ("6 nan", [math.nan] * 6), ("6 huge", [10**400] * 6),
        ("nested", nested), ("nested once", [[0.0]] * 6), ("recursive", recursive_list()),
        ("generator", (x for x in range(6))), ("range", range(6)), ("tuple", (0,) * 6),
        ("numpy 6", numpy.zeros(6)), ("numpy 6x6", numpy.zeros((6, 6))), ("numpy str", numpy.array(["a"] * 6)),
        ("numpy nan", numpy.float64("nan")), ("float raises", FloatRaises()), ("float lies", FloatLies()),
        ("6 float raises", [FloatRaises()] * 6), ("6 float lies", [FloatLies()] * 6),
        ("index raises", IndexRaises()), ("len raises", LenRaises()), ("getitem raises", GetItemRaises()),
        ("getitem lies", GetItemLies()), ("longer by far", LongerThanItIs(2**40)), ("longer", LongerThanItIs(6)),
        ("negative length", NegativeLength(0)), ("shrinking list", ShrinkingList()),
        ("list getitem raises", ListGetItemRaises([0.0] * 6)),
        ("pose", Pose.Position([0, 0, 0])), ("motion", MotionType.Stop()), ("control", ControlType.Zero()),
        ("load", LoadState(0, [0, 0, 0], [0] * 9)),
    ]


LIBRARY_ERRORS = ("Exception", "PanicException")


def check_outcome(call, label, extra=()):
    """Runs `call`; success or an allowed error passes, anything else fails the test."""
    allowed = (TypeError, ValueError, OverflowError, IndexError, Boom) + tuple(extra)
    try:
        call()
    except BaseException as error:  # noqa: BLE001 - PanicException derives from BaseException
        kind = type(error)
        assert kind is not SystemError and not isinstance(error, SystemError), (label, error)
        library = kind is Exception or kind.__name__ == "PanicException"
        assert library or isinstance(error, allowed), (label, kind, error)
        assert str(error) or isinstance(error, Boom), (label, kind)


# --- the robot ---------------------------------------------------------------------------------

ROBOT_METHODS = sorted(n for n in dir(OrvekRobot) if not n.startswith("_"))


def takes_argument(name):
    return getattr(OrvekRobot, name).__text_signature__ != "($self)"


@pytest.fixture
def robot(accepting_robot):
    # Enabled, so that the realtime methods get as far as calling what they are given.
    return accepting_robot


@pytest.mark.parametrize("name", ROBOT_METHODS)
def test_every_robot_method_takes_every_wrong_value(robot, name, tmp_path, monkeypatch):
    workdir = tmp_path / "cwd"
    workdir.mkdir()
    monkeypatch.chdir(workdir)  # file names from the battery name no file
    method = getattr(robot, name)
    parameter = getattr(OrvekRobot, name).__text_signature__.split(", ")[-1].rstrip(")")
    for label, value in battery():
        check_outcome(lambda: method(value), f"{name}({label})")
        if takes_argument(name):
            check_outcome(lambda: method(**{parameter: value}), f"{name}({parameter}={label})")
    with pytest.raises(TypeError):
        method(1, 2)
    with pytest.raises(TypeError):
        method(nonsense=1)
    if takes_argument(name):
        with pytest.raises(TypeError):
            method()
    # The object is not left borrowed, and the connection still serves.
    assert robot.state().joint == HOME
    assert robot.is_moving() is False
    assert os.listdir(workdir) == []


def test_the_constructor_takes_every_wrong_value():
    # Only texts that cannot reach beyond this machine: no name lookup, no remote address.
    safe_texts = {"NUL str", "lone surrogate"}
    for label, value in battery():
        if isinstance(value, str) and label not in safe_texts:
            continue
        check_outcome(lambda: OrvekRobot(value), f"OrvekRobot({label})")
        check_outcome(lambda: OrvekRobot(ip=value), f"OrvekRobot(ip={label})")
    for text in ("127.0.99.254", "[127.0.99.254]", "127.0.99.254:1"):
        check_outcome(lambda: OrvekRobot(text), text)
    for call in (lambda: OrvekRobot(), lambda: OrvekRobot("127.0.99.254", 1), lambda: OrvekRobot(host="x")):
        with pytest.raises(TypeError):
            call()


# --- value classes -----------------------------------------------------------------------------

T3, Q4 = [0.0, 0.0, 0.0], [0.0, 0.0, 0.0, 1.0]
CONSTRUCTORS = {
    "Pose.Euler": (Pose.Euler, [T3, T3]),
    "Pose.Quat": (Pose.Quat, [T3, Q4]),
    "Pose.Homo": (Pose.Homo, [[0.0] * 16]),
    "Pose.AxisAngle": (Pose.AxisAngle, [T3, [1.0, 0.0, 0.0], 0.5]),
    "Pose.Position": (Pose.Position, [T3]),
    "MotionType.Joint": (MotionType.Joint, [[0.0] * 6]),
    "MotionType.JointVel": (MotionType.JointVel, [[0.0] * 6]),
    "MotionType.Cartesian": (MotionType.Cartesian, [Pose.Position(T3)]),
    "MotionType.CartesianVel": (MotionType.CartesianVel, [[0.0] * 6]),
    "MotionType.Position": (MotionType.Position, [T3]),
    "MotionType.PositionVel": (MotionType.PositionVel, [T3]),
    "MotionType.Stop": (MotionType.Stop, []),
    "ControlType.Torque": (ControlType.Torque, [[0.0] * 6]),
    "ControlType.Zero": (ControlType.Zero, []),
    "LoadState": (LoadState, [1.0, T3, [0.0] * 9]),
    "ArmState": (ArmState, []),
}


@pytest.mark.parametrize("name", CONSTRUCTORS)
def test_every_constructor_takes_every_wrong_value_in_every_place(name):
    make, good = CONSTRUCTORS[name]
    for label, value in battery():
        for place in range(len(good)):
            args = list(good)
            args[place] = value
            check_outcome(lambda: make(*args), f"{name} argument {place} = {label}")
        check_outcome(lambda: make(*good, value), f"{name} with an extra {label}")
        check_outcome(lambda: make(value), f"{name}({label})")
        check_outcome(lambda: make(*good, nonsense=value), f"{name} keyword {label}")
    if name != "ArmState":
        make(*good)  # the good arguments are good


def instances(state):
    return [
        Pose.Euler(T3, T3), Pose.Quat(T3, Q4), Pose.Homo([0.0] * 16), Pose.AxisAngle(T3, T3, 0.0),
        Pose.Position(T3), MotionType.Joint([0.0] * 6), MotionType.Cartesian(Pose.Position(T3)),
        MotionType.Stop(), ControlType.Torque([0.0] * 6), ControlType.Zero(), LoadState(1.0, T3, [0.0] * 9), state,
    ]


@pytest.fixture
def arm_state(robot):
    return robot.state()


def test_every_attribute_setter_index_and_method_of_the_values(arm_state):
    for obj in instances(arm_state):
        kind = type(obj).__qualname__
        attributes = [a for a in dir(obj) if not a.startswith("__")]
        for label, value in battery():
            for attribute in attributes:
                member = getattr(type(obj), attribute, None)
                if callable(member) and not isinstance(member, type):
                    check_outcome(lambda: getattr(obj, attribute)(value), f"{kind}.{attribute}({label})")
                elif not isinstance(member, type):
                    check_outcome(lambda: setattr(obj, attribute, value), f"{kind}.{attribute} = {label}",
                                  extra=(AttributeError,))
            check_outcome(lambda: obj[value], f"{kind}[{label}]")
        for attribute in attributes:
            member = getattr(type(obj), attribute, None)
            if not callable(member) and not isinstance(member, type):
                check_outcome(lambda: delattr(obj, attribute), f"del {kind}.{attribute}", extra=(AttributeError,))
                getattr(obj, attribute)  # still readable
        repr(obj)


def test_test_closure_takes_every_wrong_value(capsys):
    for label, value in battery():
        check_outcome(lambda: liborvek.test_closure(value), f"test_closure({label})")
    capsys.readouterr()


# --- specific lies -----------------------------------------------------------------------------

def test_a_sequence_claiming_2_to_the_40_items_is_read_only_as_far_as_its_items_go(robot, arm_state):
    liar = LongerThanItIs(2**40)
    for call in (
        lambda: setattr(arm_state, "joint", liar),
        lambda: robot.move_joint_path(liar),
        lambda: robot.move_path(liar),
        lambda: robot.move_cartesian_path(liar),
    ):
        with pytest.raises((IndexError, TypeError)):
            call()
    arm_state.joint = LongerThanItIs(3)
    assert arm_state.joint == [1.0, 1.0, 1.0]


def test_errors_of_hostile_objects_reach_the_caller_unchanged(robot, arm_state):
    with pytest.raises(Boom, match="__float__ raised"):
        robot.set_speed(FloatRaises())
    with pytest.raises(Boom, match="__getitem__ raised"):
        robot.move_joint(GetItemRaises())
    with pytest.raises(Boom, match="__len__ raised"):
        arm_state.joint = LenRaises()
    with pytest.raises(IndexError):
        arm_state.joint = ShrinkingList()
    # The interpreter's own words for a lying __float__ (they changed in 3.15), after the argument's name.
    with pytest.raises(TypeError) as lie:
        float(FloatLies())
    with pytest.raises(TypeError) as refused:
        robot.set_speed(FloatLies())
    assert str(refused.value) == f"argument 'speed': {lie.value}"
    assert robot.state().joint == HOME
