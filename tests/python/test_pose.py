"""Pose, MotionType and ControlType: construction, payload access, matching, conversions."""

import math
import traceback

import pytest

from liborvek import ControlType, MotionType, Pose

POSE_VARIANTS = [
    # attribute, class name, arguments, payload read back, text signature
    ("Euler", "PyPose_Euler", ([1, 2, 3], [0, 0, 1.5]), [[1.0, 2.0, 3.0], [0.0, 0.0, 1.5]], "(_0, _1)"),
    ("Quat", "PyPose_Quat", ([1, 2, 3], [0, 0, 0, 2]), [[1.0, 2.0, 3.0], [0.0, 0.0, 0.0, 2.0]], "(_0, _1)"),
    ("Homo", "PyPose_Homo", (range(16),), [[float(v) for v in range(16)]], "(_0)"),
    ("AxisAngle", "PyPose_AxisAngle", ([1, 2, 3], (0, 0, 2), 1), [[1.0, 2.0, 3.0], [0.0, 0.0, 2.0], 1.0],
     "(_0, _1, _2)"),
    ("Position", "PyPose_Position", ((1, 2, 3),), [[1.0, 2.0, 3.0]], "(_0)"),
]

MOTION_VARIANTS = ["Joint", "JointVel", "CartesianVel", "Position", "PositionVel"]


@pytest.mark.parametrize("attr,name,args,payload,signature", POSE_VARIANTS)
def test_pose_variant_payload_and_protocol(attr, name, args, payload, signature):
    cls = getattr(Pose, attr)
    assert cls is getattr(Pose, attr)
    assert cls.__name__ == name and cls.__module__ == "builtins"
    assert cls.__text_signature__ == signature
    assert issubclass(cls, Pose)
    pose = cls(*args)
    assert isinstance(pose, Pose)
    assert len(pose) == len(payload)
    names = tuple(f"_{k}" for k in range(len(payload)))
    assert cls.__match_args__ == names
    assert [getattr(pose, n) for n in names] == payload
    assert [pose[k] for k in range(len(payload))] == payload
    with pytest.raises(IndexError, match="^tuple index out of range$"):
        pose[len(payload)]
    # keywords work as well as positions
    assert [getattr(cls(**dict(zip(names, args))), n) for n in names] == payload


def test_payload_lists_are_fresh_and_instances_immutable():
    pose = Pose.Euler([1, 2, 3], [4, 5, 6])
    first = pose._0
    first.append(9)
    first[0] = 100
    assert pose._0 == [1.0, 2.0, 3.0]
    assert pose._0 is not pose._0
    with pytest.raises(AttributeError):
        pose._0 = [0, 0, 0]
    with pytest.raises(AttributeError):
        pose.extra = 1
    with pytest.raises(AttributeError):
        del pose._1


def test_no_equality_hash_or_repr_of_their_own():
    a, b = Pose.Position([1, 2, 3]), Pose.Position([1, 2, 3])
    assert a != b and a == a
    assert repr(a).startswith("<PyPose_Position object at 0x")
    assert repr(MotionType.Stop()).startswith("<PyMotionType_Stop object at 0x")


def test_match_statement_binds_payloads():
    def describe(value):
        match value:
            case Pose.Euler(t, (roll, _, _)):
                return f"euler {t} roll={roll}"
            case Pose.AxisAngle(_, axis, angle):
                return f"axis {axis} {angle}"
            case MotionType.Cartesian(Pose.Position(t)):
                return f"cartesian at {t}"
            case MotionType.Joint(q):
                return f"joint {q}"
            case MotionType.Stop():
                return "stop"
            case ControlType.Torque(tau):
                return f"torque {tau}"
            case _:
                return "other"

    assert describe(Pose.Euler([1, 2, 3], [0.5, 0, 0])) == "euler [1.0, 2.0, 3.0] roll=0.5"
    assert describe(Pose.AxisAngle([0, 0, 0], [0, 1, 0], 2)) == "axis [0.0, 1.0, 0.0] 2.0"
    assert describe(MotionType.Cartesian(Pose.Position([1, 2, 3]))) == "cartesian at [1.0, 2.0, 3.0]"
    assert describe(MotionType.Joint([1, 2])) == "joint [1.0, 2.0]"
    assert describe(MotionType.Stop()) == "stop"
    assert describe(ControlType.Torque([3])) == "torque [3.0]"
    assert describe(ControlType.Zero()) == "other"


# --- conversions -------------------------------------------------------------------------------

def test_quat_is_stored_as_passed_and_normalised_on_conversion():
    pose = Pose.Quat([1, 2, 3], [0, 0, 0, 2])
    assert pose._1 == [0.0, 0.0, 0.0, 2.0]
    assert pose.quat() == ([1.0, 2.0, 3.0], [0.0, 0.0, 0.0, 1.0])
    assert pose.euler() == ([1.0, 2.0, 3.0], [0.0, 0.0, 0.0])


def test_position_pose_conversions():
    pose = Pose.Position([1, 2, 3])
    assert pose.euler() == ([1.0, 2.0, 3.0], [0.0, 0.0, 0.0])
    assert pose.axis_angle() == ([1.0, 2.0, 3.0], [1.0, 0.0, 0.0], 0.0)
    assert pose.quat() == ([1.0, 2.0, 3.0], [0.0, 0.0, 0.0, 1.0])
    assert pose.homo() == [1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 1.0, 2.0, 3.0, 1.0]
    assert pose.position() == [1.0, 2.0, 3.0]


def test_homo_pose_keeps_its_matrix_and_reads_translation_from_the_last_column():
    pose = Pose.Homo(list(range(16)))
    assert pose.position() == [12.0, 13.0, 14.0]
    assert pose.homo() == [float(v) for v in range(16)]


def test_euler_pose_conversions():
    pose = Pose.Euler([0, 0, 0], [0, math.pi / 2, 0])
    assert pose.homo()[2] == -1.0
    assert Pose.Euler([0, 0, 0], [4.0, 0, 0]).euler() == ([0.0, 0.0, 0.0], [4.0, 0.0, 0.0])
    q = Pose.Euler([0, 0, 0], [4.0, 0, 0]).quat()[1]
    roll = Pose.Quat([0, 0, 0], q).euler()[1][0]
    assert roll == pytest.approx(4.0 - 2 * math.pi)


def test_axis_angle_pose_conversions_keep_the_axis_as_stored():
    pose = Pose.AxisAngle([0, 0, 0], [0, 0, 2], 1.0)
    assert pose.axis_angle() == ([0.0, 0.0, 0.0], [0.0, 0.0, 2.0], 1.0)
    assert pose.quat()[1] == pytest.approx([0.0, 0.0, math.sin(0.5), math.cos(0.5)])


def test_conversion_results_are_plain_fresh_values():
    pose = Pose.Euler([1, 2, 3], [0, 0, 0])
    t, a = pose.euler()
    assert type(t) is list and type(a) is list
    t.append(0)
    assert pose.euler()[0] == [1.0, 2.0, 3.0]
    assert type(pose.axis_angle()[2]) is float


def test_all_zero_quaternion_has_no_direction():
    # There is no rotation to normalise to: the numbers come out as NaN, never as a made-up rotation.
    assert all(math.isnan(v) for v in Pose.Quat([0, 0, 0], [0, 0, 0, 0]).quat()[1])


# --- construction errors -----------------------------------------------------------------------

@pytest.mark.parametrize(
    "make,error,message",
    [
        (lambda: Pose.Euler([0, 0, 0], [0, 0]), ValueError, "expected a sequence of length 3 (got 2)"),
        (lambda: Pose.Quat([0, 0, 0], [0, 0, 1]), ValueError, "expected a sequence of length 4 (got 3)"),
        (lambda: Pose.Homo([0] * 15), ValueError, "expected a sequence of length 16 (got 15)"),
        (lambda: Pose.Euler(5, [0, 0, 0]), TypeError, "argument '_0': 'int' object cannot be converted to 'Sequence'"),
        (lambda: Pose.Euler([0, 0, 0], {"a": 1}), TypeError,
         "argument '_1': 'dict' object cannot be converted to 'Sequence'"),
        (lambda: Pose.Euler([0, "x", 0], [0, 0, 0]), TypeError, "argument '_0': must be real number, not str"),
        (lambda: Pose.Position("abc"), TypeError, "argument '_0': must be real number, not str"),
        (lambda: Pose.AxisAngle([0, 0, 0], [1, 0, 0], "1"), TypeError, "argument '_2': must be real number, not str"),
        (lambda: Pose.AxisAngle([0, 0, 0], [1, 0, 0], None), TypeError,
         "argument '_2': must be real number, not NoneType"),
        (lambda: MotionType.Joint("123456"), TypeError, "argument '_0': Can't extract `str` to `Vec`"),
        (lambda: MotionType.JointVel(3), TypeError, "argument '_0': 'int' object cannot be converted to 'Sequence'"),
        (lambda: MotionType.Cartesian(42), TypeError, "argument '_0': 'int' object cannot be converted to 'Pose'"),
        (lambda: MotionType.Cartesian(MotionType.Stop()), TypeError,
         "argument '_0': 'PyMotionType_Stop' object cannot be converted to 'Pose'"),
        (lambda: ControlType.Torque("ab"), TypeError, "argument '_0': Can't extract `str` to `Vec`"),
        (lambda: Pose(), TypeError, "No constructor defined for Pose"),
        (lambda: MotionType(), TypeError, "No constructor defined for MotionType"),
        (lambda: ControlType(), TypeError, "No constructor defined for ControlType"),
        (lambda: Pose.Euler([0, 0, 0]), TypeError,
         "PyPose_Euler.__new__() missing 1 required positional argument: '_1'"),
        (lambda: Pose.AxisAngle(), TypeError,
         "PyPose_AxisAngle.__new__() missing 3 required positional arguments: '_0', '_1', and '_2'"),
        (lambda: Pose.Quat(), TypeError, "PyPose_Quat.__new__() missing 2 required positional arguments: '_0' and '_1'"),
        (lambda: Pose.Position([0, 0, 0], [0]), TypeError,
         "PyPose_Position.__new__() takes 2 positional arguments but 3 were given"),
        (lambda: MotionType.Stop(1), TypeError, "PyMotionType_Stop.__new__() takes 1 positional argument but 2 were given"),
        (lambda: Pose.Position(_1=[0, 0, 0]), TypeError,
         "PyPose_Position.__new__() got an unexpected keyword argument '_1'"),
        (lambda: Pose.Position([0, 0, 0], _0=[0, 0, 0]), TypeError,
         "PyPose_Position.__new__() got multiple values for argument '_0'"),
    ],
)
def test_constructor_errors(make, error, message):
    with pytest.raises(error) as caught:
        make()
    assert type(caught.value) is error
    assert str(caught.value) == message


def test_type_error_of_an_argument_is_chained_to_the_original():
    with pytest.raises(TypeError) as caught:
        Pose.Position([0, "x", 0])
    assert type(caught.value.__cause__) is TypeError
    assert str(caught.value.__cause__) == "must be real number, not str"

    # Raised by Python code: the cause is that exception itself, with its traceback.
    class Refusing:
        def __float__(self):
            self.raised = TypeError("no number here")
            raise self.raised

    refusing = Refusing()
    with pytest.raises(TypeError) as caught:
        Pose.Position([0, refusing, 0])
    assert str(caught.value) == "argument '_0': no number here"
    assert caught.value.__cause__ is refusing.raised
    assert [frame.name for frame in traceback.extract_tb(refusing.raised.__traceback__)] == ["__float__"]


def test_first_bad_argument_is_reported():
    with pytest.raises(ValueError, match=r"^expected a sequence of length 3 \(got 1\)$"):
        Pose.Euler([0], "not numbers")


def test_numbers_accepted_where_floats_are_expected():
    class Meters:
        def __float__(self):
            return 2.5

    pose = Pose.AxisAngle((True, 2, 3.5), range(3), Meters())
    assert pose._0 == [1.0, 2.0, 3.5]
    assert pose._1 == [0.0, 1.0, 2.0]
    assert pose._2 == 2.5
    assert Pose.Position([10**20, -0.0, 1e-300])._0 == [1e20, -0.0, 1e-300]


def test_a_failing_float_conversion_passes_its_own_error():
    class Broken:
        def __float__(self):
            raise ValueError("no number here")

    with pytest.raises(ValueError, match="^no number here$"):
        Pose.Position([0, Broken(), 0])


def test_an_item_that_changes_the_list_is_read_safely():
    values = [0.0, 0.0, 0.0]

    class Shrinks:
        def __float__(self):
            values.clear()
            return 1.0

    values[0] = Shrinks()
    with pytest.raises(IndexError):
        Pose.Position(values)


# --- indexing ----------------------------------------------------------------------------------

def test_getitem_index_rules():
    pose = Pose.AxisAngle([1, 2, 3], [0, 0, 1], 0.5)
    assert pose[2] == 0.5
    assert pose[True] == [0.0, 0.0, 1.0]
    with pytest.raises(OverflowError):
        pose[-1]
    with pytest.raises(TypeError, match="^argument 'idx': 'float' object cannot be interpreted as an integer$"):
        pose[1.0]
    with pytest.raises(IndexError, match="^tuple index out of range$"):
        pose[3]
    with pytest.raises(OverflowError):
        pose[10**30]


# --- motion and control targets ----------------------------------------------------------------

@pytest.mark.parametrize("attr", MOTION_VARIANTS)
def test_list_motion_variants_take_any_length(attr):
    cls = getattr(MotionType, attr)
    assert cls.__name__ == f"PyMotionType_{attr}"
    assert cls.__text_signature__ == "(_0)"
    assert cls.__match_args__ == ("_0",)
    for values in ([], [1], [1, 2, 3], list(range(7))):
        target = cls(values)
        assert isinstance(target, MotionType)
        assert len(target) == 1
        assert target._0 == target[0] == [float(v) for v in values]
    with pytest.raises(IndexError, match="^tuple index out of range$"):
        cls([1])[1]


def test_cartesian_target_holds_a_copy_of_the_pose():
    pose = Pose.Quat([1, 2, 3], [0, 0, 0, 2])
    target = MotionType.Cartesian(_0=pose)
    inner = target._0
    assert type(inner) is Pose.Quat
    assert inner is not pose and inner is not target._0
    assert inner._1 == [0.0, 0.0, 0.0, 2.0]  # copied as stored, not normalised
    assert target[0]._0 == [1.0, 2.0, 3.0]


def test_payloadless_variants():
    for target in (MotionType.Stop(), ControlType.Zero()):
        assert len(target) == 0
        assert type(target).__match_args__ == ()
        assert type(target).__text_signature__ == "()"
        with pytest.raises(IndexError, match="^tuple index out of range$"):
            target[0]
    assert type(ControlType.Zero()).__name__ == "PyControlType_Zero"


def test_torque_variant():
    cls = ControlType.Torque
    assert cls.__name__ == "PyControlType_Torque"
    assert cls is ControlType.Torque
    torque = cls((1, 2))
    assert isinstance(torque, ControlType)
    assert torque._0 == torque[0] == [1.0, 2.0]


def test_variant_classes_are_distinct_per_family():
    assert MotionType.Position is not Pose.Position
    assert not isinstance(MotionType.Position([1, 2, 3]), Pose)
    assert not isinstance(Pose.Position([1, 2, 3]), MotionType)
