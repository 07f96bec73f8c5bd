"""The references of `make bench` do the same work as the library, or its ratios mean nothing:
the pure-Python client sends the same bytes and reads the same state, and the pure-Python
pose formulas give the library's results."""

import math
import random
import re
import sys
from pathlib import Path

import pytest

import liborvek

BENCH = Path(__file__).resolve().parents[2] / "bench"
pytestmark = pytest.mark.source_tree
if not BENCH.is_dir():  # the installed module tested without its source tree (make test-wheel)
    pytest.skip("the references are files of bench/ in the source tree", allow_module_level=True)
sys.path.insert(0, str(BENCH))
import pose_formulas  # noqa: E402
import pure_client  # noqa: E402


def joint_function(targets):
    """Returns each target in turn, then finished; notes what each call was given."""
    seen = []

    def step(state, period):
        seen.append((state, period))
        k = len(seen) - 1
        if k < len(targets):
            return targets[k], False
        return [0.0] * 6, True

    return step, seen


TARGETS = [[0.5 * k, 90.0, -90.0 + 1e-7 * k, -90.0, -90.0, 1.0 / 3.0] for k in range(5)]


def test_the_pure_client_sends_the_libraries_bytes_in_a_realtime_run(sim):
    ours, theirs = sim(), sim()
    robot = liborvek.OrvekRobot(ours.host)
    robot.enable()
    robot.move_joint_with_closure(joint_function(TARGETS)[0])
    pure = pure_client.PureRobot(theirs.host)
    pure.enable()
    step, seen = joint_function(TARGETS)
    pure.move_joint_with_closure(step)
    pure.close()
    assert theirs.requests() == ours.requests()
    assert theirs.names() == ["power_on", "enable_robot", "servo_move"] + ["servo_j"] * 5 + ["servo_move"]
    # The state it hands over carries the library's values.
    state, period = seen[0]
    assert period == 0.008
    assert state.joint == state.joint_vel == state.joint_acc == state.tau == state.cartesian_vel == [0.0] * 6
    assert state.pose_o_to_ee.rotation == [0.0, 0.0, 0.0, 1.0] and state.pose_o_to_ee.translation == [0.0] * 3
    assert state.load.m == 0.0 and state.load.x == [0.0] * 3 and state.load.i == [0.0] * 9


def test_the_pure_client_reads_the_libraries_state(sim):
    controller = sim()
    robot = liborvek.OrvekRobot(controller.host)
    pure = pure_client.PureRobot(controller.host)
    ours = robot.state()
    theirs = pure.state()
    pure.close()
    assert theirs.joint == ours.joint
    translation, angles = ours.pose_o_to_ee.euler()
    assert theirs.pose_o_to_ee.translation == translation
    assert theirs.pose_o_to_ee.angles == angles
    assert controller.requests() == ['{"cmdName":"get_data"}'] * 2


@pytest.mark.parametrize(
    "result, error",
    [
        ([[0.0] * 6, False], "'list' object cannot be converted to 'PyTuple'"),
        (([0.0] * 6, 1), "'int' object cannot be converted to 'PyBool'"),
        (([0.0] * 5, False), "expected a sequence of length 6 (got 5)"),
        (([0.0] * 6, False, 1), "expected tuple of length 2, but got tuple of length 3"),
    ],
)
def test_the_pure_client_checks_results_as_the_library_does(sim, result, error):
    controller = sim()
    robot = liborvek.OrvekRobot(controller.host)
    robot.enable()
    with pytest.raises(BaseException, match=re.escape(error)) as raised:
        robot.move_joint_with_closure(lambda state, period: result)
    assert type(raised.value).__name__ == "PanicException"
    pure = pure_client.PureRobot(sim().host)
    pure.enable()
    with pytest.raises((TypeError, ValueError), match=re.escape(error)):
        pure.move_joint_with_closure(lambda state, period: result)
    pure.close()


def flat(value):
    if isinstance(value, (tuple, list)):
        return [x for item in value for x in flat(item)]
    return [value]


def close(a, b):
    return len(a) == len(b) and all(math.isclose(x, y, rel_tol=1e-9, abs_tol=1e-9) for x, y in zip(a, b))


def random_poses(rng):
    t = [rng.uniform(-500, 500) for _ in range(3)]
    angles = [rng.uniform(-3, 3), rng.uniform(-1.5, 1.5), rng.uniform(-3, 3)]
    q = [rng.gauss(0, 1) for _ in range(4)]
    axis = [rng.uniform(-2, 2) for _ in range(3)]
    angle = rng.uniform(-3, 3)
    homo = liborvek.Pose.Euler(t, angles).homo()
    scaled = [v * 2.5 if i not in (12, 13, 14, 15) else v for i, v in enumerate(homo)]
    return [
        (liborvek.Pose.Euler(t, angles), pose_formulas.Euler(t, angles)),
        (liborvek.Pose.Quat(t, q), pose_formulas.Quat(t, q)),
        (liborvek.Pose.Homo(homo), pose_formulas.Homo(homo)),
        (liborvek.Pose.Homo(scaled), pose_formulas.Homo(scaled)),
        (liborvek.Pose.AxisAngle(t, axis, angle), pose_formulas.AxisAngle(t, axis, angle)),
        (liborvek.Pose.Position(t), pose_formulas.Position(t)),
    ]


def test_the_pure_pose_formulas_give_the_libraries_results():
    rng = random.Random(8)
    for _ in range(40):
        for ours, theirs in random_poses(rng):
            for method in ("euler", "quat", "homo", "axis_angle", "position"):
                a, b = getattr(ours, method)(), getattr(theirs, method)()
                assert type(a) is type(b) and len(flat(a)) == len(flat(b)), (ours, method)
                if method in ("euler", "axis_angle") and isinstance(ours, liborvek.Pose.Homo):
                    # Angles from an orthonormalised block: equal to rounding of the search.
                    assert close([round(x, 7) for x in flat(a)], [round(x, 7) for x in flat(b)]), (ours, method)
                else:
                    assert close(flat(a), flat(b)), (ours, method, a, b)
