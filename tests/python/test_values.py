"""LoadState and ArmState: attributes, write rules, representations; and a leak check of every
constructor, property and method of the value classes, on success and on failure."""

import gc
import sys

import pytest

import liborvek
from liborvek import ArmState, ControlType, LoadState, MotionType, Pose
from outcomes import rss_bytes, traced_growth, under_address_sanitizer

ZEROS9 = [0.0] * 9


@pytest.fixture
def state(capsys):
    """The arm state that test_closure hands to a function: the sample state of one realtime cycle."""
    seen = []

    def closure(arm_state, period):
        seen.append((arm_state, period))
        return MotionType.Joint([0] * 6), True

    try:
        liborvek.test_closure(closure)
    except BaseException as error:  # noqa: BLE001
        if type(error).__name__ == "PanicException" and not seen:
            pytest.skip("test_closure does not call its function yet")
        raise
    capsys.readouterr()
    arm_state, period = seen[0]
    assert period == 0.125
    return arm_state


# --- LoadState ---------------------------------------------------------------------------------

def test_load_state_repr_uses_the_display_form():
    assert repr(LoadState(1, [0, 0, 0.1], [0] * 9)) == "LoadState(m=1, x=[0, 0, 0.1], i=[0, 0, 0, 0, 0, 0, 0, 0, 0])"
    assert repr(LoadState(0, [0, 0, 0], [0] * 9)) == "LoadState(m=0, x=[0, 0, 0], i=[0, 0, 0, 0, 0, 0, 0, 0, 0])"
    odd = LoadState(1e21, [-0.0, float("nan"), float("-inf")], [0.5, 2.0, 1e-7, 0, 0, 0, 0, 0, 123.25])
    assert repr(odd) == (
        "LoadState(m=1000000000000000000000, x=[-0, NaN, -inf], i=[0.5, 2, 0.0000001, 0, 0, 0, 0, 0, 123.25])"
    )
    assert str(odd) == repr(odd)


def test_load_state_class_and_attributes():
    assert LoadState.__text_signature__ == "(m, x, i)"
    assert LoadState.__doc__ is None
    load = LoadState(m=2, i=range(9), x=(1, 2, 3))
    assert (load.m, load.x, load.i) == (2.0, [1.0, 2.0, 3.0], [float(v) for v in range(9)])
    assert type(load.m) is float
    load.x.append(4)
    assert load.x == [1.0, 2.0, 3.0] and load.x is not load.x
    load.m, load.x, load.i = 3, [4, 5, 6], [1] * 9
    assert repr(load) == "LoadState(m=3, x=[4, 5, 6], i=[1, 1, 1, 1, 1, 1, 1, 1, 1])"
    with pytest.raises(AttributeError):
        load.extra = 1


@pytest.mark.parametrize(
    "args,error,message",
    [
        ((1, [0, 0], ZEROS9), ValueError, "expected a sequence of length 3 (got 2)"),
        ((1, [0, 0, 0], [0] * 10), ValueError, "expected a sequence of length 9 (got 10)"),
        (("a", [0] * 3, ZEROS9), TypeError, "argument 'm': must be real number, not str"),
        ((1, 0, ZEROS9), TypeError, "argument 'x': 'int' object cannot be converted to 'Sequence'"),
        ((1, [0] * 3, [None] * 9), TypeError, "argument 'i': must be real number, not NoneType"),
        (("a", [0], ZEROS9), TypeError, "argument 'm': must be real number, not str"),  # checked in order
        ((1, [0] * 3), TypeError, "LoadState.__new__() missing 1 required positional argument: 'i'"),
    ],
)
def test_load_state_constructor_errors(args, error, message):
    with pytest.raises(error) as caught:
        LoadState(*args)
    assert type(caught.value) is error and str(caught.value) == message


def test_load_state_refused_writes_leave_it_unchanged():
    load = LoadState(1, [1, 2, 3], ZEROS9)
    with pytest.raises(TypeError, match="^argument 'm': must be real number, not str$"):
        load.m = "heavy"
    with pytest.raises(ValueError, match=r"^expected a sequence of length 3 \(got 2\)$"):
        load.x = [9, 9]
    with pytest.raises(TypeError, match="^argument 'i': must be real number, not str$"):
        load.i = ["a"] * 9
    for name in ("m", "x", "i"):
        with pytest.raises(AttributeError, match="^can't delete attribute$"):
            delattr(load, name)
    assert repr(load) == "LoadState(m=1, x=[1, 2, 3], i=[0, 0, 0, 0, 0, 0, 0, 0, 0])"


# --- ArmState ----------------------------------------------------------------------------------

SAMPLE_REPR = (
    "ArmState:\n"
    "    |> joint: Some([0.0, 0.0, 0.0, 0.0, 0.0, 0.0]),\n"
    "    |> joint_vel: Some([0.0, 0.0, 0.0, 0.0, 0.0, 0.0]),\n"
    "    |> joint_acc: Some([0.0, 0.0, 0.0, 0.0, 0.0, 0.0]),\n"
    "    |> tau: Some([0.0, 0.0, 0.0, 0.0, 0.0, 0.0]),\n"
    "    |> pose_o_to_ee: Some(Quat([0.0, 0.0, 0.0], [0.0, 0.0, 0.0, 1.0])),\n"
    "    |> pose_ee_to_k: Some(Quat([0.0, 0.0, 0.0], [0.0, 0.0, 0.0, 1.0])),\n"
    "    |> cartesian_vel: Some([0.0, 0.0, 0.0, 0.0, 0.0, 0.0]),\n"
    "    |> load: Some(LoadState { m: 0.0, x: [0.0, 0.0, 0.0], i: [0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0] })"
)


def test_arm_state_has_no_constructor():
    with pytest.raises(TypeError, match="^No constructor defined for ArmState$"):
        ArmState()
    assert ArmState.__doc__ is None
    assert ArmState.__text_signature__ is None


def test_sample_state_reads_and_prints(state):
    assert repr(state) == SAMPLE_REPR
    for name in ("joint", "joint_vel", "joint_acc", "tau", "cartesian_vel"):
        assert getattr(state, name) == [0.0] * 6
    assert type(state.pose_o_to_ee) is Pose.Quat
    assert state.pose_ee_to_k.quat() == ([0.0, 0.0, 0.0], [0.0, 0.0, 0.0, 1.0])
    assert repr(state.load) == "LoadState(m=0, x=[0, 0, 0], i=[0, 0, 0, 0, 0, 0, 0, 0, 0])"


def test_reads_return_fresh_copies(state):
    state.joint.append(1.0)
    assert state.joint == [0.0] * 6 and state.joint is not state.joint
    assert state.pose_o_to_ee is not state.pose_o_to_ee
    load = state.load
    load.m = 5
    assert state.load.m == 0.0
    assert state.load is not state.load


def test_joint_lists_take_any_length(state):
    state.joint = [1, 2, 3]
    assert state.joint == [1.0, 2.0, 3.0]
    assert "    |> joint: Some([1.0, 2.0, 3.0]),\n" in repr(state)
    state.tau = range(8)
    assert state.tau == [float(v) for v in range(8)]
    state.tau = (1, 2, 3, 4, 5, 6)
    assert state.tau == [1.0, 2.0, 3.0, 4.0, 5.0, 6.0]
    state.joint_vel = []
    assert state.joint_vel == []
    assert "    |> joint_vel: Some([]),\n" in repr(state)


def test_none_makes_a_field_absent(state):
    for name in ("joint", "joint_vel", "joint_acc", "tau", "pose_o_to_ee", "pose_ee_to_k", "cartesian_vel", "load"):
        setattr(state, name, None)
        assert getattr(state, name) is None
    assert repr(state) == (
        "ArmState:\n    |> joint: None,\n    |> joint_vel: None,\n    |> joint_acc: None,\n    |> tau: None,\n"
        "    |> pose_o_to_ee: None,\n    |> pose_ee_to_k: None,\n    |> cartesian_vel: None,\n    |> load: None"
    )


def test_poses_and_load_are_copied_in(state):
    pose = Pose.Euler([1, 2, 3], [0, 0, 1.5])
    state.pose_o_to_ee = pose
    read = state.pose_o_to_ee
    assert type(read) is Pose.Euler and read is not pose and read._1 == [0.0, 0.0, 1.5]
    state.pose_ee_to_k = Pose.Quat([0, 0, 0], [0, 0, 0, 2])
    assert state.pose_ee_to_k._1 == [0.0, 0.0, 0.0, 2.0]  # stored as given
    load = LoadState(1.5, [0, 0, 0.1], ZEROS9)
    state.load = load
    load.m = 9
    assert state.load.m == 1.5
    state.cartesian_vel = (1, 2, 3, 4, 5, 6.5)
    text = repr(state)
    assert "    |> pose_o_to_ee: Some(Euler([1.0, 2.0, 3.0], [0.0, 0.0, 1.5])),\n" in text
    assert "    |> pose_ee_to_k: Some(Quat([0.0, 0.0, 0.0], [0.0, 0.0, 0.0, 2.0])),\n" in text
    assert "    |> cartesian_vel: Some([1.0, 2.0, 3.0, 4.0, 5.0, 6.5]),\n" in text
    assert text.endswith("    |> load: Some(LoadState { m: 1.5, x: [0.0, 0.0, 0.1], i: " + str(ZEROS9) + " })")


def test_other_pose_variants_print_their_payloads(state):
    state.pose_o_to_ee = Pose.AxisAngle([0, 0, 0], [0, 0, 1], 0.5)
    state.pose_ee_to_k = Pose.Homo([1e-5] + [0] * 14 + [1e16])
    text = repr(state)
    assert "|> pose_o_to_ee: Some(AxisAngle([0.0, 0.0, 0.0], [0.0, 0.0, 1.0], 0.5)),\n" in text
    assert "|> pose_ee_to_k: Some(Homo([1e-5, " + "0.0, " * 14 + "1e16])),\n" in text
    state.pose_o_to_ee = Pose.Position([1, 2, 3])
    assert "|> pose_o_to_ee: Some(Position([1.0, 2.0, 3.0])),\n" in repr(state)


@pytest.mark.parametrize(
    "name,value,error,message",
    [
        ("joint", "abc", TypeError, "argument 'joint': Can't extract `str` to `Vec`"),
        ("tau", 5, TypeError, "argument 'tau': 'int' object cannot be converted to 'Sequence'"),
        ("joint_acc", [1, "x"], TypeError, "argument 'joint_acc': must be real number, not str"),
        ("cartesian_vel", [1, 2, 3], ValueError, "expected a sequence of length 6 (got 3)"),
        ("cartesian_vel", "abcdef", TypeError, "argument 'cartesian_vel': must be real number, not str"),
        ("pose_o_to_ee", 42, TypeError, "argument 'pose_o_to_ee': 'int' object cannot be converted to 'Pose'"),
        ("pose_ee_to_k", MotionType.Stop(), TypeError,
         "argument 'pose_ee_to_k': 'PyMotionType_Stop' object cannot be converted to 'Pose'"),
        ("load", 1, TypeError, "argument 'load': 'int' object cannot be converted to 'LoadState'"),
    ],
)
def test_refused_writes_leave_the_state_unchanged(state, name, value, error, message):
    with pytest.raises(error) as caught:
        setattr(state, name, value)
    assert type(caught.value) is error and str(caught.value) == message
    assert repr(state) == SAMPLE_REPR


def test_attributes_cannot_be_deleted(state):
    for name in ("joint", "pose_o_to_ee", "cartesian_vel", "load"):
        with pytest.raises(AttributeError, match="^can't delete attribute$"):
            delattr(state, name)
    with pytest.raises(AttributeError):
        state.extra = 1
    assert repr(state) == SAMPLE_REPR


# --- leaks -------------------------------------------------------------------------------------

def _expect(error, call):
    try:
        call()
    except error:
        pass
    else:
        raise AssertionError(f"{call} did not raise {error.__name__}")


def _workload(state):
    """One round of every constructor, property and method, with good and bad arguments."""
    t, r, q = [1.0, 2.0, 3.0], (0.1, 0.2, 0.3), [0, 0, 0.6, 0.8]
    poses = [Pose.Euler(t, r), Pose.Quat(_0=t, _1=q), Pose.Homo(range(16)), Pose.AxisAngle(t, r, 0.5),
             Pose.Position(t)]
    for pose in poses:
        pose.euler(), pose.quat(), pose.homo(), pose.axis_angle(), pose.position()
        for k in range(len(pose)):
            pose[k]
        pose._0
        _expect(IndexError, lambda: pose[5])
    motions = [MotionType.Joint(t), MotionType.JointVel(r), MotionType.Cartesian(poses[1]),
               MotionType.CartesianVel(t), MotionType.Position(t), MotionType.PositionVel(t), MotionType.Stop(),
               ControlType.Zero(), ControlType.Torque(t)]
    for motion in motions:
        for k in range(len(motion)):
            motion[k]
    load = LoadState(1, t, [0] * 9)
    load.m, load.x, load.i = 2, r, range(9)
    load.m, load.x, load.i
    repr(load)
    _expect(TypeError, lambda: Pose.Euler(t, "abc"))
    _expect(ValueError, lambda: Pose.Euler(t, [1]))
    _expect(TypeError, lambda: MotionType.Joint("abc"))
    _expect(TypeError, lambda: MotionType.Cartesian(1))
    _expect(TypeError, lambda: LoadState("a", t, []))
    _expect(TypeError, lambda: Pose.Position())
    _expect(TypeError, lambda: Pose.Position(t, x=1))
    _expect(TypeError, lambda: setattr(load, "m", "a"))
    _expect(TypeError, lambda: poses[0]["a"])
    _expect(TypeError, lambda: Pose())
    _expect(TypeError, lambda: ArmState())
    _expect(BaseException, lambda: liborvek.OrvekRobot("127.0.251.251"))
    if state is not None:
        state.joint = t
        state.joint = list(range(7))
        state.joint_vel, state.joint_acc, state.tau = None, [1, 2, 3, 4, 5, 6], t
        state.pose_o_to_ee = poses[0]
        state.cartesian_vel = [0] * 6
        state.load = load
        state.joint, state.joint_vel, state.pose_o_to_ee, state.pose_ee_to_k, state.cartesian_vel, state.load
        repr(state)
        _expect(TypeError, lambda: setattr(state, "joint", "abc"))
        _expect(ValueError, lambda: setattr(state, "cartesian_vel", [1]))
        _expect(TypeError, lambda: setattr(state, "pose_ee_to_k", 1))
        state.pose_o_to_ee = None


@pytest.fixture
def maybe_state(request):
    try:
        return request.getfixturevalue("state")
    except pytest.skip.Exception:
        return None


def test_no_leaks(maybe_state):
    state = maybe_state
    args = [[1.0, 2.0, 3.0], "abc"]
    counts = [sys.getrefcount(a) for a in args]
    for _ in range(300):
        _workload(state)
    # Python objects kept alive: each round creates and drops a few hundred of them.
    growth = traced_growth(lambda: _workload(state), 2000)
    assert growth < 32 * 1024, growth
    # Memory of the C++ side (records, lists of any length), seen in the resident size:
    # 30000 rounds turn a leak of a few dozen bytes per round into more than a megabyte.
    gc.collect()
    rss_before = rss_bytes()
    for _ in range(30000):
        _workload(state)
    gc.collect()
    rss_growth = rss_bytes() - rss_before
    if not under_address_sanitizer():
        assert rss_growth < 1024 * 1024, rss_growth
    assert [sys.getrefcount(a) for a in args] == counts


def test_arguments_keep_their_reference_counts():
    t, bad = [1.0, 2.0, 3.0], "abc"
    pose = Pose.Euler(t, t)
    before = [sys.getrefcount(v) for v in (t, bad, pose)]
    for _ in range(1000):
        Pose.Euler(t, t)
        MotionType.Cartesian(pose)
        _expect(TypeError, lambda: Pose.Euler(t, bad))
        _expect(TypeError, lambda: MotionType.Joint(bad))
        _expect(TypeError, lambda: LoadState(bad, t, t))
    assert [sys.getrefcount(v) for v in (t, bad, pose)] == before
