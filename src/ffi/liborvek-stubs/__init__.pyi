"""Client library for a six-axis robot arm controller: seven names, OrvekRobot, Pose, MotionType,
ControlType, LoadState, ArmState and test_closure.

A refusal by the controller or the robot raises the built-in Exception with its text ("Command
exception: Robot is moving"); an argument of the wrong type or length raises TypeError or
ValueError and sends nothing.

Internal failures (a connection that fails, a broken or malformed exchange, a time-out, an
operation this controller does not carry out) raise an exception class named PanicException
(module "liborvek", derived from BaseException, so `except Exception` lets it through). It is not
a module attribute: catch it as BaseException and check type(e).__name__ == "PanicException".
After either kind of error the robot object can be used again.
"""

from collections.abc import Callable, Sequence
from typing import Final, NoReturn, SupportsFloat, SupportsIndex, TypeAlias, final

from typing_extensions import Self, disjoint_base

__all__ = ["OrvekRobot", "Pose", "LoadState", "ArmState", "MotionType", "ControlType", "test_closure"]

_Float: TypeAlias = SupportsFloat | SupportsIndex
"""Anything float() of the library accepts: float, int, objects with __float__ or __index__."""
_Floats: TypeAlias = Sequence[_Float]
"""A sequence of numbers (list, tuple, NumPy array, ...); each method says how many it takes."""

# The functions a realtime run calls once per cycle as f(state, period).
_MotionFn: TypeAlias = Callable[[ArmState, float], tuple[MotionType, bool]]
"""A realtime function: f(state, period) returns (target, finished) with a MotionType target.
`state` is a placeholder, not a reading from the controller (see OrvekRobot.move_with_closure);
`period` is the nominal cycle in seconds, 0.008. `finished` is a bool or a NumPy boolean; an int is
refused.
"""
_JointsFn: TypeAlias = Callable[[ArmState, float], tuple[_Floats, bool]]
"""A realtime function returning (six joint values, finished); otherwise as _MotionFn."""
_PoseFn: TypeAlias = Callable[[ArmState, float], tuple[Pose, bool]]
"""A realtime function returning (Pose, finished); otherwise as _MotionFn."""

# Numbers go to the controller exactly as given and come back exactly as sent: no unit is
# converted. Controller and robot errors raise Exception; internal failures PanicException.
@final
class OrvekRobot:
    """One arm controller over one TCP connection. A call that talks to the controller holds the
    interpreter lock while it waits; numbers go and come back without unit conversion.
    """
    def __new__(cls, ip: str) -> Self:
        """Connects to `ip`, port 10001, at once (sends nothing; waits at most 5 s per address).
        Raises PanicException with the system's text when no address accepts.
        """
    # robot operations
    def version(self) -> str:
        """The driver's version string, always "0.1.0" (the package's own version is
        importlib.metadata.version("liborvek")); asks the controller nothing.
        """
    def init(self) -> None:
        """Powers the arm on ("power_on"). Waits for the reply (at most 30 s); a refusal raises
        Exception, a failed exchange PanicException.
        """
    def shutdown(self) -> None:
        """Powers the arm off ("power_off"); the connection stays. Waits for the reply (at most
        30 s); a refusal raises Exception, a failed exchange PanicException.
        """
    def enable(self) -> None:
        """Powers on, then enables the arm ("power_on", "enable_robot"). Waits for the reply (at
        most 30 s); a refusal raises Exception, a failed exchange PanicException.
        """
    def disable(self) -> None:
        """Disables the arm ("disable_robot"). Waits for the reply (at most 30 s); a refusal raises
        Exception, a failed exchange PanicException.
        """
    def reset(self) -> NoReturn:
        """Not carried out by this controller: raises PanicException "not implemented", sends
        nothing.
        """
    def is_moving(self) -> bool:
        """Whether a move this robot started still runs: asks the controller ("get_data") only while
        one may; at rest the robot accepts the next move. A failed exchange raises
        PanicException.
        """
    def stop(self) -> None:
        """Stops the running motion where the arm is ("stop_program"). Waits for the reply (at most
        30 s); a refusal raises Exception, a failed exchange PanicException.
        """
    def pause(self) -> NoReturn:
        """Not carried out by this controller: raises PanicException "not implemented", sends
        nothing.
        """
    def resume(self) -> NoReturn:
        """Not carried out by this controller: raises PanicException "not implemented", sends
        nothing.
        """
    def emergency_stop(self) -> NoReturn:
        """Not carried out by this controller: raises PanicException "not implemented", sends
        nothing. Use stop() to stop the arm.
        """
    def clear_emergency_stop(self) -> None:
        """Clears the controller's error ("clear_error"). Waits for the reply (at most 30 s); a
        refusal raises Exception, a failed exchange PanicException.
        """
    # status, payload and settings; set_ is standing, with_ applies to the next motion only
    def state(self) -> ArmState:
        """Reads the arm ("get_data"): `joint` and `pose_o_to_ee` (an Euler pose) as the controller
        sent them, the rest None. Waits for the reply (at most 30 s); a refusal raises Exception,
        a failed exchange PanicException.
        """
    def set_load(self, load: LoadState) -> None:
        """Sends the payload's mass and centre of mass ("set_payload"; the inertia is not sent).
        Waits for the reply (at most 30 s); a refusal raises Exception, a failed exchange
        PanicException.
        """
    def set_coord(self, coord: str) -> None:
        """Standing frame of motions: "OCS" absolute (initially), "Shot" or "Interial" relative; a
        pose text (a user frame) is refused by the motion that uses it. Sends nothing; text that is
        neither raises PanicException ("called `Result::unwrap()` on an `Err` value: Error(...)"
        with where the text stopped being readable) and changes nothing.
        """
    def with_coord(self, coord: str) -> Self:
        """As set_coord, for the next motion only; returns the robot, to chain. Sends nothing."""
    def set_speed(self, speed: _Float) -> None:
        """Standing speeds: joint moves at 180·s and 400·s (speed, acceleration), linear moves at
        1000·s and 4000·s; initially 0.05. Sends nothing.
        """
    def with_speed(self, speed: _Float) -> Self:
        """As set_speed, for the next motion only; returns the robot. Sends nothing."""
    def with_velocity(self, joint_vel: _Floats) -> Self:
        """Joint speed of the next joint move (six values, element 0 is sent); returns the robot.
        Sends nothing.
        """
    def with_acceleration(self, joint_acc: _Floats) -> Self:
        """Joint acceleration of the next joint move (six values, element 0 is sent); returns the
        robot. Sends nothing.
        """
    def with_jerk(self, joint_jerk: _Floats) -> Self:
        """Accepted for the generic interface and not sent (this controller takes no jerk); returns
        the robot.
        """
    def with_cartesian_velocity(self, cartesian_vel: _Float) -> Self:
        """Tool speed of the next linear move; returns the robot. Sends nothing."""
    def with_cartesian_acceleration(self, cartesian_acc: _Float) -> Self:
        """Tool acceleration of the next linear move; returns the robot. Sends nothing."""
    def with_cartesian_jerk(self, cartesian_jerk: _Float) -> Self:
        """Accepted for the generic interface and not sent; returns the robot."""
    # kinematics, computed locally
    def forward_kinematics(self, q: _Floats) -> Pose.Quat:
        """The pose of six joint values in radians as a Pose.Quat, computed locally from the
        library's own chain (every joint turns about x through the origin), not the controller's
        arm; no exchange. Raises ValueError unless six numbers are given.
        """
    def inverse_kinematics(self, pose: Pose) -> NoReturn:
        """Not available: raises PanicException "not implemented: inverse kinematics ..." and
        computes nothing.
        """
    # motions: the plain forms wait until the arm is at rest, the _async forms return at once
    def move_to(self, target: MotionType) -> None:
        """Moves to a MotionType.Joint or .Cartesian target in the current frame; other variants
        raise Exception. Waits until the arm is at rest (polls every 100 ms, no time limit);
        Ctrl-C stops the arm (KeyboardInterrupt).
        """
    def move_to_async(self, target: MotionType) -> None:
        """Moves to a MotionType.Joint or .Cartesian target in the current frame; other variants
        raise Exception. Returns once the controller accepts the move; is_moving() tells when it
        has ended.
        """
    def move_rel(self, target: MotionType) -> None:
        """Moves to a MotionType.Joint or .Cartesian target relative to where the arm is; other
        variants raise Exception. Waits until the arm is at rest (polls every 100 ms, no time
        limit); Ctrl-C stops the arm (KeyboardInterrupt).
        """
    def move_rel_async(self, target: MotionType) -> None:
        """Moves to a MotionType.Joint or .Cartesian target relative to where the arm is; other
        variants raise Exception. Returns once the controller accepts the move; is_moving() tells
        when it has ended.
        """
    def move_int(self, target: MotionType) -> None:
        """Moves to a MotionType.Joint or .Cartesian target in the "Interial" frame; other variants
        raise Exception. Waits until the arm is at rest (polls every 100 ms, no time limit);
        Ctrl-C stops the arm (KeyboardInterrupt).
        """
    def move_int_async(self, target: MotionType) -> None:
        """Moves to a MotionType.Joint or .Cartesian target in the "Interial" frame; other variants
        raise Exception. Returns once the controller accepts the move; is_moving() tells when it
        has ended.
        """
    def move_path(self, path: Sequence[MotionType]) -> NoReturn:
        """Not carried out by this controller: raises PanicException "not implemented", sends
        nothing.
        """
    def move_path_async(self, path: Sequence[MotionType]) -> NoReturn:
        """Not carried out by this controller: raises PanicException "not implemented", sends
        nothing.
        """
    def move_path_prepare(self, path: Sequence[MotionType]) -> NoReturn:
        """Not carried out by this controller: raises PanicException "not implemented", sends
        nothing.
        """
    def move_path_start(self, start: MotionType) -> NoReturn:
        """Not carried out by this controller: raises PanicException "not implemented", sends
        nothing.
        """
    def move_joint(self, target: _Floats) -> None:
        """Joint move in the current frame ("joint_move"; six values, orvek-sim: degrees). Waits
        until the arm is at rest (polls every 100 ms, no time limit); Ctrl-C stops the arm
        (KeyboardInterrupt). Refused ("Robot is moving") while an earlier move may still run.
        """
    def move_joint_async(self, target: _Floats) -> None:
        """Joint move in the current frame ("joint_move"; six values, orvek-sim: degrees). Returns
        once the controller accepts the move; is_moving() tells when it has ended. Refused
        ("Robot is moving") while an earlier move may still run.
        """
    def move_cartesian(self, target: Pose) -> None:
        """Linear tool move in the current frame ("moveL"; a Pose, sent as x, y, z, roll, pitch,
        yaw; orvek-sim: mm, radians). Waits until the arm is at rest (polls every 100 ms, no time
        limit); Ctrl-C stops the arm (KeyboardInterrupt). Refused ("Robot is moving") while an
        earlier move may still run.
        """
    def move_cartesian_async(self, target: Pose) -> None:
        """Linear tool move in the current frame ("moveL"; a Pose, sent as x, y, z, roll, pitch,
        yaw; orvek-sim: mm, radians). Returns once the controller accepts the move; is_moving()
        tells when it has ended. Refused ("Robot is moving") while an earlier move may still run.
        """
    def move_joint_rel(self, target: _Floats) -> None:
        """Joint move relative to where the arm is ("joint_move"; six values, orvek-sim: degrees).
        Waits until the arm is at rest (polls every 100 ms, no time limit); Ctrl-C stops the arm
        (KeyboardInterrupt). Refused ("Robot is moving") while an earlier move may still run.
        """
    def move_joint_rel_async(self, target: _Floats) -> None:
        """Joint move relative to where the arm is ("joint_move"; six values, orvek-sim: degrees).
        Returns once the controller accepts the move; is_moving() tells when it has ended.
        Refused ("Robot is moving") while an earlier move may still run.
        """
    def move_joint_path(self, target: Sequence[_Floats]) -> NoReturn:
        """Not carried out by this controller: raises PanicException "not implemented", sends
        nothing.
        """
    def move_cartesian_rel(self, target: Pose) -> None:
        """Linear tool move relative to where the arm is ("moveL"; a Pose, sent as x, y, z, roll,
        pitch, yaw; orvek-sim: mm, radians). Waits until the arm is at rest (polls every 100 ms,
        no time limit); Ctrl-C stops the arm (KeyboardInterrupt). Refused ("Robot is moving")
        while an earlier move may still run.
        """
    def move_cartesian_rel_async(self, target: Pose) -> None:
        """Linear tool move relative to where the arm is ("moveL"; a Pose, sent as x, y, z, roll,
        pitch, yaw; orvek-sim: mm, radians). Returns once the controller accepts the move;
        is_moving() tells when it has ended. Refused ("Robot is moving") while an earlier move
        may still run.
        """
    def move_cartesian_int(self, target: Pose) -> None:
        """Linear tool move in the "Interial" frame ("moveL"; a Pose, sent as x, y, z, roll, pitch,
        yaw; orvek-sim: mm, radians). Waits until the arm is at rest (polls every 100 ms, no time
        limit); Ctrl-C stops the arm (KeyboardInterrupt). Refused ("Robot is moving") while an
        earlier move may still run.
        """
    def move_cartesian_int_async(self, target: Pose) -> None:
        """Linear tool move in the "Interial" frame ("moveL"; a Pose, sent as x, y, z, roll, pitch,
        yaw; orvek-sim: mm, radians). Returns once the controller accepts the move; is_moving()
        tells when it has ended. Refused ("Robot is moving") while an earlier move may still run.
        """
    def move_cartesian_path(self, target: Sequence[Pose]) -> NoReturn:
        """Not carried out by this controller: raises PanicException "not implemented", sends
        nothing.
        """
    def move_linear_with_euler(self, target: _Floats) -> None:
        """Linear tool move in the current frame ("moveL"; x, y, z, roll, pitch, yaw; orvek-sim: mm,
        radians). Waits until the arm is at rest (polls every 100 ms, no time limit); Ctrl-C
        stops the arm (KeyboardInterrupt). Refused ("Robot is moving") while an earlier move may
        still run.
        """
    def move_linear_with_euler_async(self, target: _Floats) -> None:
        """Linear tool move in the current frame ("moveL"; x, y, z, roll, pitch, yaw; orvek-sim: mm,
        radians). Returns once the controller accepts the move; is_moving() tells when it has
        ended. Refused ("Robot is moving") while an earlier move may still run.
        """
    def move_linear_with_euler_rel(self, target: _Floats) -> None:
        """Linear tool move relative to where the arm is ("moveL"; x, y, z, roll, pitch, yaw;
        orvek-sim: mm, radians). Waits until the arm is at rest (polls every 100 ms, no time
        limit); Ctrl-C stops the arm (KeyboardInterrupt). Refused ("Robot is moving") while an
        earlier move may still run.
        """
    def move_linear_with_euler_rel_async(self, target: _Floats) -> None:
        """Linear tool move relative to where the arm is ("moveL"; x, y, z, roll, pitch, yaw;
        orvek-sim: mm, radians). Returns once the controller accepts the move; is_moving() tells
        when it has ended. Refused ("Robot is moving") while an earlier move may still run.
        """
    def move_linear_with_euler_int(self, target: _Floats) -> None:
        """Linear tool move in the "Interial" frame ("moveL"; x, y, z, roll, pitch, yaw; orvek-sim:
        mm, radians). Waits until the arm is at rest (polls every 100 ms, no time limit); Ctrl-C
        stops the arm (KeyboardInterrupt). Refused ("Robot is moving") while an earlier move may
        still run.
        """
    def move_linear_with_euler_int_async(self, target: _Floats) -> None:
        """Linear tool move in the "Interial" frame ("moveL"; x, y, z, roll, pitch, yaw; orvek-sim:
        mm, radians). Returns once the controller accepts the move; is_moving() tells when it has
        ended. Refused ("Robot is moving") while an earlier move may still run.
        """
    def move_path_from_file(self, path: str) -> NoReturn:
        """Reads and checks the path file (a faulty one raises Exception with line and column), then
        raises PanicException "not implemented". Sends nothing.
        """
    def move_path_prepare_from_file(self, path: str) -> NoReturn:
        """As move_path_from_file: checks the file, then raises PanicException "not implemented"."""
    # realtime motion driven by a Python function
    def move_with_closure(self, closure: _MotionFn) -> None:
        """Streams targets in servo mode: calls closure(state, 0.008) once per cycle and sends each
        target it returns ("servo_j" for MotionType.Joint, "servo_p" for MotionType.Cartesian) until
        it returns finished=True; that last target is not sent. Other variants end the run with
        Exception "Command exception: Invalid motion type".

        `state` is a placeholder: every cycle it is a new ArmState of zeros and the default pose,
        NOT a reading from the controller. Compute targets from your own model, or from
        robot.state() read before the run. The loop does not sleep: a cycle lasts as long as the
        function plus one round trip to the controller, so pace in the function if the controller
        expects a fixed rate. The robot object is busy for the whole run: using it from inside the
        function fails ("Already borrowed").

        A failing function, or a result that is not (target, bool), raises PanicException
        "called `Result::unwrap()` on an `Err` value: <error>"; a controller error raises Exception.
        Either way servo mode is left, and the robot refuses motions ("Robot is moving") until
        is_moving() finds the arm at rest. Each cycle waits at most 2 s for its reply, then raises
        PanicException "Connection timed out (os error 110)" and drops the connection.
        """
    def control_with_closure(self, closure: object) -> NoReturn:
        """Not supported by this controller: raises PanicException "not implemented" without
        calling `closure` and without sending anything."""
    def move_joint_with_closure(self, closure: _JointsFn) -> None:
        """As move_with_closure, the function returning (six joint values, finished); each target
        is sent as "servo_j". `state` is a placeholder, not a reading from the controller."""
    def move_joint_vel_with_closure(self, closure: _JointsFn) -> None:
        """Joint velocities cannot be streamed to this controller: the first cycle that is not
        finished raises Exception "Command exception: Invalid motion type". `state` is a
        placeholder, not a reading from the controller."""
    def move_cartesian_with_closure(self, closure: _PoseFn) -> None:
        """As move_with_closure, the function returning (Pose, finished); each target is sent as
        "servo_p". `state` is a placeholder, not a reading from the controller."""
    def move_cartesian_vel_with_closure(self, closure: _JointsFn) -> None:
        """Cartesian velocities cannot be streamed to this controller: the first cycle that is not
        finished raises Exception "Command exception: Invalid motion type". `state` is a
        placeholder, not a reading from the controller."""

# A closed family: its only subclasses are the variant classes below.
@disjoint_base
class Pose:
    """An end-effector pose in one of five forms (the variant classes below); converts to each form.
    Positions in the caller's length unit, angles in radians. Not subclassable; match on the
    variants.
    """
    def euler(self) -> tuple[list[float], list[float]]:
        """The pose as (xyz, [roll, pitch, yaw]), R = Rz(yaw)·Ry(pitch)·Rx(roll). Computed locally,
        fresh lists.
        """
    def quat(self) -> tuple[list[float], list[float]]:
        """The pose as (xyz, [x, y, z, w]), a unit quaternion. Computed locally, fresh lists."""
    def homo(self) -> list[float]:
        """The pose as a 4×4 homogeneous matrix: 16 numbers, column by column."""
    def axis_angle(self) -> tuple[list[float], list[float], float]:
        """The pose as (xyz, unit axis, angle in radians)."""
    def position(self) -> list[float]:
        """The position xyz alone (a Position pose has no rotation)."""
    def __len__(self) -> int:
        """The number of fields of the variant (Euler 2, Quat 2, Homo 1, AxisAngle 3, Position 1).
        """
    def __getitem__(self, key: SupportsIndex, /) -> list[float] | float:
        """The variant's field by index, as _0, _1, ...; raises IndexError "tuple index out of
        range".
        """
    @final
    class Euler(Pose):
        """Position xyz and roll, pitch, yaw in radians. Raises ValueError unless 3 and 3 numbers
        are given.
        """
        __match_args__: Final = ("_0", "_1")
        def __new__(cls, _0: _Floats, _1: _Floats) -> Self:
            """Position xyz and roll, pitch, yaw in radians. Raises ValueError unless 3 and 3
            numbers are given.
            """
        @property
        def _0(self) -> list[float]:
            """Field 0: the position xyz (a fresh list on every read)."""
        @property
        def _1(self) -> list[float]:
            """Field 1: the roll, pitch, yaw in radians (a fresh list on every read)."""

    @final
    class Quat(Pose):
        """Position xyz and a quaternion [x, y, z, w]. Raises ValueError unless 3 and 4 numbers are
        given.
        """
        __match_args__: Final = ("_0", "_1")
        def __new__(cls, _0: _Floats, _1: _Floats) -> Self:
            """Position xyz and a quaternion [x, y, z, w]. Raises ValueError unless 3 and 4 numbers
            are given.
            """
        @property
        def _0(self) -> list[float]:
            """Field 0: the position xyz (a fresh list on every read)."""
        @property
        def _1(self) -> list[float]:
            """Field 1: the quaternion [x, y, z, w] (a fresh list on every read)."""

    @final
    class Homo(Pose):
        """A 4×4 homogeneous matrix, 16 numbers column by column; conversions use the nearest
        rotation to its 3×3 block.
        """
        __match_args__: Final = ("_0",)
        def __new__(cls, _0: _Floats) -> Self:
            """A 4×4 homogeneous matrix, 16 numbers column by column; conversions use the nearest
            rotation to its 3×3 block.
            """
        @property
        def _0(self) -> list[float]:
            """Field 0: the 16 numbers, column by column (a fresh list on every read)."""

    @final
    class AxisAngle(Pose):
        """Position xyz, a rotation axis (3 numbers) and an angle in radians."""
        __match_args__: Final = ("_0", "_1", "_2")
        def __new__(cls, _0: _Floats, _1: _Floats, _2: _Float) -> Self:
            """Position xyz, a rotation axis (3 numbers) and an angle in radians."""
        @property
        def _0(self) -> list[float]:
            """Field 0: the position xyz (a fresh list on every read)."""
        @property
        def _1(self) -> list[float]:
            """Field 1: the rotation axis (a fresh list on every read)."""
        @property
        def _2(self) -> float:
            """Field 2: the angle in radians."""

    @final
    class Position(Pose):
        """A position xyz with no rotation given (converted as the identity rotation)."""
        __match_args__: Final = ("_0",)
        def __new__(cls, _0: _Floats) -> Self:
            """A position xyz with no rotation given (converted as the identity rotation)."""
        @property
        def _0(self) -> list[float]:
            """Field 0: the position xyz (a fresh list on every read)."""

# A closed family: its only subclasses are the variant classes below.
@disjoint_base
class MotionType:
    """A motion target (the variant classes below), for move_to, move_rel, move_int and the realtime
    functions.
    """
    def __len__(self) -> int:
        """The number of fields of the variant (Stop 0, the others 1)."""
    def __getitem__(self, key: SupportsIndex, /) -> list[float] | Pose:
        """The variant's field by index (_0); raises IndexError "tuple index out of range"."""
    @final
    class Joint(MotionType):
        """Joint values, six for this arm (the controller's units; orvek-sim: degrees)."""
        __match_args__: Final = ("_0",)
        def __new__(cls, _0: _Floats) -> Self:
            """Joint values, six for this arm (the controller's units; orvek-sim: degrees)."""
        @property
        def _0(self) -> list[float]:
            """Field 0: the six joint values (a fresh list on every read)."""

    @final
    class JointVel(MotionType):
        """Six joint velocities; this controller takes none (a motion refuses them)."""
        __match_args__: Final = ("_0",)
        def __new__(cls, _0: _Floats) -> Self:
            """Six joint velocities; this controller takes none (a motion refuses them)."""
        @property
        def _0(self) -> list[float]:
            """Field 0: the six joint velocities (a fresh list on every read)."""

    @final
    class Cartesian(MotionType):
        """A tool pose."""
        __match_args__: Final = ("_0",)
        def __new__(cls, _0: Pose) -> Self:
            """A tool pose."""
        @property
        def _0(self) -> Pose:
            """Field 0: the pose."""

    @final
    class CartesianVel(MotionType):
        """Six Cartesian velocities; this controller takes none."""
        __match_args__: Final = ("_0",)
        def __new__(cls, _0: _Floats) -> Self:
            """Six Cartesian velocities; this controller takes none."""
        @property
        def _0(self) -> list[float]:
            """Field 0: the six Cartesian velocities (a fresh list on every read)."""

    @final
    class Position(MotionType):
        """Six joint values, for the generic interface; this controller does not move to it."""
        __match_args__: Final = ("_0",)
        def __new__(cls, _0: _Floats) -> Self:
            """Six joint values, for the generic interface; this controller does not move to it."""
        @property
        def _0(self) -> list[float]:
            """Field 0: the six joint values (a fresh list on every read)."""

    @final
    class PositionVel(MotionType):
        """Six joint velocities, for the generic interface; this controller does not move to it."""
        __match_args__: Final = ("_0",)
        def __new__(cls, _0: _Floats) -> Self:
            """Six joint velocities, for the generic interface; this controller does not move to it.
            """
        @property
        def _0(self) -> list[float]:
            """Field 0: the six joint velocities (a fresh list on every read)."""

    @final
    class Stop(MotionType):
        """Stop where the arm is; not a target here: moves refuse it, a realtime run ends ("Invalid
        motion type").
        """
        __match_args__: Final = ()
        def __new__(cls) -> Self:
            """Stop where the arm is; not a target here: moves refuse it, a realtime run ends
            ("Invalid motion type").
            """

# A closed family: its only subclasses are the variant classes below.
@disjoint_base
class ControlType:
    """A control output for control_with_closure (not supported by this controller)."""
    def __len__(self) -> int:
        """The number of fields of the variant (Zero 0, Torque 1)."""
    def __getitem__(self, key: SupportsIndex, /) -> list[float]:
        """The variant's field by index (_0); raises IndexError "tuple index out of range"."""
    @final
    class Zero(ControlType):
        """No output."""
        __match_args__: Final = ()
        def __new__(cls) -> Self:
            """No output."""

    @final
    class Torque(ControlType):
        """Six joint torques."""
        __match_args__: Final = ("_0",)
        def __new__(cls, _0: _Floats) -> Self:
            """Six joint torques."""
        @property
        def _0(self) -> list[float]:
            """Field 0: the six joint torques (a fresh list on every read)."""

@final
class LoadState:
    """A payload: mass m, centre of mass x (3 numbers) and inertia i (9 numbers), in the
    controller's units (orvek-sim: kg, mm). Setters raise ValueError for the wrong length and
    TypeError for a non-number.
    """
    def __new__(cls, m: _Float, x: _Floats, i: _Floats) -> Self:
        """A payload of mass m, centre of mass x (3 numbers) and inertia i (9 numbers); raises
        ValueError for a wrong length.
        """
    @property
    def m(self) -> float:
        """The mass."""
    @m.setter
    def m(self, value: _Float) -> None: ...
    @property
    def x(self) -> list[float]:
        """The centre of mass, 3 numbers (a fresh list on every read)."""
    @x.setter
    def x(self, value: _Floats) -> None: ...
    @property
    def i(self) -> list[float]:
        """The inertia tensor, 9 numbers (a fresh list on every read)."""
    @i.setter
    def i(self, value: _Floats) -> None: ...

@final
class ArmState:
    """A state of the arm. From OrvekRobot.state(): `joint` and `pose_o_to_ee` as the controller
    sent them, the rest None. In a realtime function: a placeholder of zeros and the default
    pose, not a reading.
    """
    # No constructor: states come from OrvekRobot.state() and the realtime callables.
    @property
    def joint(self) -> list[float] | None:
        """Six joint values, or None."""
    @joint.setter
    def joint(self, value: _Floats | None) -> None: ...
    @property
    def joint_vel(self) -> list[float] | None:
        """Six joint velocities, or None (the controller's are not read)."""
    @joint_vel.setter
    def joint_vel(self, value: _Floats | None) -> None: ...
    @property
    def joint_acc(self) -> list[float] | None:
        """Six joint accelerations, or None."""
    @joint_acc.setter
    def joint_acc(self, value: _Floats | None) -> None: ...
    @property
    def tau(self) -> list[float] | None:
        """Six joint torques, or None."""
    @tau.setter
    def tau(self, value: _Floats | None) -> None: ...
    @property
    def pose_o_to_ee(self) -> Pose | None:
        """The tool pose in the base frame (an Euler pose from state()), or None."""
    @pose_o_to_ee.setter
    def pose_o_to_ee(self, value: Pose | None) -> None: ...
    @property
    def pose_ee_to_k(self) -> Pose | None:
        """The pose from the tool to a stiffness frame, or None."""
    @pose_ee_to_k.setter
    def pose_ee_to_k(self, value: Pose | None) -> None: ...
    @property
    def cartesian_vel(self) -> list[float] | None:
        """Six Cartesian velocities, or None."""
    @cartesian_vel.setter
    def cartesian_vel(self, value: _Floats | None) -> None: ...
    @property
    def load(self) -> LoadState | None:
        """The payload, or None."""
    @load.setter
    def load(self, value: LoadState | None) -> None: ...

def test_closure(closure: Callable[[ArmState, float], tuple[MotionType, bool]]) -> None:
    """Calls closure(state, 0.125) once, with the same placeholder state a realtime cycle gets, and
    prints "Joint: <motion>, Is Finished: true|false" to sys.stdout. If the call fails or its
    result is not (MotionType, bool), prints "Failed to call closure" and raises PanicException
    "not yet implemented" (the function's own error is dropped)."""
