"""OrvekRobot against orvek-sim: what the controller receives for each call and setting, which
replies are checked, the motion guard, argument errors, and the operations that always fail."""

import gc
import json
import math
import sys
import time

import pytest

from liborvek import LoadState, MotionType, OrvekRobot, Pose
from outcomes import panic_text, robot_error, traced_growth

OK = {"reply": {"errorCode": "0", "errorMsg": ""}}
Q0 = [0, 0, 0, 0, 0, 0]
Q0_WIRE = "[0.0,0.0,0.0,0.0,0.0,0.0]"
POSE = Pose.Euler([400, 0, 300.5], [3.0, 0, -0.25])
POSE_WIRE = "[400.0,0.0,300.5,3.0,0.0,-0.25]"
USER_FRAME = '{"Euler": [[0, 0, 100], [0, 0, 0]]}'


def joint_move(speed="9.0", accel="20.0", rel=0, q=Q0_WIRE):
    return f'{{"accel":{accel},"cmdName":"joint_move","jointPosition":{q},"relFlag":{rel},"speed":{speed}}}'


def move_l(speed="50.0", accel="200.0", rel=0, pose=POSE_WIRE):
    return f'{{"accel":{accel},"cartPosition":{pose},"cmdName":"moveL","relFlag":{rel},"speed":{speed}}}'


def expect_panic(call, message):
    assert panic_text(call) == message


def expect_error(call, message):
    assert robot_error(call) == message


class Quiet:
    """A controller that accepts every motion without carrying it out, so the arm stays at rest
    and one is_moving() clears the guard of an accepted joint move."""

    def __init__(self, sim, **extra):
        self.controller = sim(script={"joint_move": {"default": OK}, "moveL": {"default": OK}, **extra})
        self.robot = OrvekRobot(self.controller.host)
        self.seen = 0

    def sent(self):
        """The requests since the last call, status queries left out."""
        requests = self.controller.requests()
        new, self.seen = requests[self.seen:], len(requests)
        return [r for r in new if r != '{"cmdName":"get_data"}']

    def settle(self):
        assert self.robot.is_moving() is False


@pytest.fixture
def quiet(sim):
    return Quiet(sim)


# --- the object ---------------------------------------------------------------------------------

METHODS = {
    "version": None, "init": None, "shutdown": None, "enable": None, "disable": None, "reset": None,
    "is_moving": None, "stop": None, "pause": None, "resume": None, "emergency_stop": None,
    "clear_emergency_stop": None, "state": None, "set_load": "load", "set_coord": "coord",
    "with_coord": "coord", "set_speed": "speed", "with_speed": "speed", "with_velocity": "joint_vel",
    "with_acceleration": "joint_acc", "with_jerk": "joint_jerk", "with_cartesian_velocity": "cartesian_vel",
    "with_cartesian_acceleration": "cartesian_acc", "with_cartesian_jerk": "cartesian_jerk",
    "forward_kinematics": "q", "inverse_kinematics": "pose", "move_to": "target", "move_to_async": "target",
    "move_rel": "target", "move_rel_async": "target", "move_int": "target", "move_int_async": "target",
    "move_path": "path", "move_path_async": "path", "move_path_prepare": "path", "move_path_start": "start",
    "move_joint": "target", "move_joint_async": "target", "move_cartesian": "target",
    "move_cartesian_async": "target", "move_joint_rel": "target", "move_joint_rel_async": "target",
    "move_joint_path": "target", "move_cartesian_rel": "target", "move_cartesian_rel_async": "target",
    "move_cartesian_int": "target", "move_cartesian_int_async": "target", "move_cartesian_path": "target",
    "move_linear_with_euler": "target", "move_linear_with_euler_async": "target",
    "move_linear_with_euler_rel": "target", "move_linear_with_euler_rel_async": "target",
    "move_linear_with_euler_int": "target", "move_linear_with_euler_int_async": "target",
    "move_path_from_file": "path", "move_path_prepare_from_file": "path", "move_with_closure": "closure",
    "control_with_closure": "closure", "move_joint_with_closure": "closure",
    "move_joint_vel_with_closure": "closure", "move_cartesian_with_closure": "closure",
    "move_cartesian_vel_with_closure": "closure",
}


def test_the_62_methods_and_their_signatures():
    assert len(METHODS) == 62
    assert {n for n in dir(OrvekRobot) if not n.startswith("__")} == set(METHODS)
    for name, arg in METHODS.items():
        method = getattr(OrvekRobot, name)
        assert method.__text_signature__ == (f"($self, {arg})" if arg else "($self)"), name
        assert method.__doc__ is None, name


def test_construction_connects_and_sends_nothing_and_dropping_closes(sim):
    controller = sim()
    robot = OrvekRobot(ip=controller.host)
    assert robot.version() == "0.1.0"
    assert robot.is_moving() is False
    del robot
    gc.collect()
    deadline = time.monotonic() + 2
    while "close" not in [e.get("event") for e in controller.events()] and time.monotonic() < deadline:
        time.sleep(0.01)
    assert [e.get("event") for e in controller.events()] == ["open", "close"]


def test_connection_refused_at_construction():
    expect_panic(lambda: OrvekRobot("127.0.251.251"), "Connection refused (os error 111)")


def test_with_methods_return_the_robot_itself_and_send_nothing(quiet):
    robot = quiet.robot
    assert robot.with_coord("Shot") is robot
    assert robot.with_speed(0.2) is robot
    assert robot.with_velocity([1] * 6) is robot
    assert robot.with_acceleration([2] * 6) is robot
    assert robot.with_jerk([3] * 6) is robot
    assert robot.with_cartesian_velocity(4) is robot
    assert robot.with_cartesian_acceleration(5) is robot
    assert robot.with_cartesian_jerk(6) is robot
    assert robot.with_speed(0.2).with_coord("Shot").with_jerk(Q0) is robot
    assert quiet.sent() == []


# --- what motions send ----------------------------------------------------------------------------

def test_defaults_and_set_speed_factors(quiet):
    robot = quiet.robot
    robot.move_joint(Q0)
    assert quiet.sent() == [
        '{"accel":20.0,"cmdName":"joint_move","jointPosition":[0.0,0.0,0.0,0.0,0.0,0.0],"relFlag":0,"speed":9.0}'
    ]
    robot.move_cartesian(POSE)
    assert quiet.sent() == [move_l()]
    robot.set_speed(0.5)
    robot.move_joint([10, 20.5, -30, 40, 50, 60])
    robot.move_cartesian(POSE)
    assert quiet.sent() == [
        joint_move("90.0", "200.0", q="[10.0,20.5,-30.0,40.0,50.0,60.0]"),
        move_l("500.0", "2000.0"),
    ]


def test_one_shot_overrides_are_used_by_their_own_kind_of_motion_only(quiet):
    robot = quiet.robot
    robot.with_velocity([10, 20, 30, 40, 50, 60]).with_acceleration([30, 1, 1, 1, 1, 1])
    robot.with_cartesian_velocity(7.5).with_cartesian_acceleration(8.5)
    robot.move_cartesian(POSE)  # takes the Cartesian overrides, leaves the joint ones
    robot.move_joint(Q0)
    robot.move_joint(Q0)
    robot.move_cartesian(POSE)
    assert quiet.sent() == [move_l("7.5", "8.5"), joint_move("10.0", "30.0"), joint_move(), move_l()]

    robot.with_speed(1.0)
    robot.move_joint(Q0)
    robot.move_joint(Q0)
    robot.move_cartesian(POSE)
    robot.move_cartesian(POSE)
    assert quiet.sent() == [joint_move("180.0", "400.0"), joint_move(), move_l("1000.0", "4000.0"), move_l()]

    robot.with_jerk([1] * 6).with_cartesian_jerk(3)
    robot.move_joint(Q0)
    robot.move_cartesian(POSE)
    assert quiet.sent() == [joint_move(), move_l()]


def test_frames_and_rel_flag(quiet):
    robot = quiet.robot
    calls = [
        (lambda: robot.move_joint_rel(Q0), "joint_move", 1),
        (lambda: robot.move_joint(Q0), "joint_move", 0),
        (lambda: robot.move_rel(MotionType.Joint(Q0)), "joint_move", 1),
        (lambda: robot.move_int(MotionType.Cartesian(POSE)), "moveL", 1),
        (lambda: robot.move_to(MotionType.Cartesian(POSE)), "moveL", 0),
        (lambda: robot.move_cartesian_rel(POSE), "moveL", 1),
        (lambda: robot.move_cartesian_int(POSE), "moveL", 1),
        (lambda: robot.move_linear_with_euler_rel([1, 2, 3, 0, 0, 0]), "moveL", 1),
        (lambda: robot.move_linear_with_euler_int([1, 2, 3, 0, 0, 0]), "moveL", 1),
        (lambda: robot.move_linear_with_euler([1, 2, 3, 0, 0, 0]), "moveL", 0),
        (lambda: robot.with_coord("Interial").move_joint(Q0), "joint_move", 1),
        (lambda: robot.move_joint(Q0), "joint_move", 0),
        (lambda: robot.set_coord("Shot"), None, None),
        (lambda: robot.move_joint(Q0), "joint_move", 1),
        (lambda: robot.move_cartesian(POSE), "moveL", 1),
        (lambda: robot.with_coord("OCS").move_cartesian(POSE), "moveL", 0),
        (lambda: robot.move_cartesian(POSE), "moveL", 1),
        (lambda: robot.set_coord("OCS"), None, None),
        (lambda: robot.move_cartesian(POSE), "moveL", 0),
    ]
    # The asynchronous forms take the same frames; here each is followed by is_moving().
    async_calls = [
        (lambda: robot.move_joint_rel_async(Q0), "joint_move", 1),
        (lambda: robot.move_rel_async(MotionType.Cartesian(POSE)), "moveL", 1),
        (lambda: robot.move_int_async(MotionType.Joint(Q0)), "joint_move", 1),
        (lambda: robot.move_to_async(MotionType.Joint(Q0)), "joint_move", 0),
        (lambda: robot.move_cartesian_rel_async(POSE), "moveL", 1),
        (lambda: robot.move_cartesian_int_async(POSE), "moveL", 1),
        (lambda: robot.move_linear_with_euler_rel_async([1, 2, 3, 0, 0, 0]), "moveL", 1),
        (lambda: robot.move_linear_with_euler_int_async([1, 2, 3, 0, 0, 0]), "moveL", 1),
        (lambda: robot.move_linear_with_euler_async([1, 2, 3, 0, 0, 0]), "moveL", 0),
    ]
    for call, _, _ in calls:
        call()
    for call, _, _ in async_calls:
        call()
        quiet.settle()
    sent = [(r["cmdName"], r["relFlag"]) for r in map(json.loads, quiet.sent())]
    assert sent == [(name, rel) for _, name, rel in calls + async_calls if name]


def test_euler_and_quat_targets_go_out_as_six_numbers(quiet):
    robot = quiet.robot
    robot.move_linear_with_euler([1, -2, 3.5, 0.1, 0.2, 0.3])
    robot.move_to(MotionType.Cartesian(Pose.Quat([1, 2, 3], [0, 0, math.sin(0.5), math.cos(0.5)])))
    # The conversion's negative zero goes out as written.
    assert quiet.sent() == [move_l(pose="[1.0,-2.0,3.5,0.1,0.2,0.3]"), move_l(pose="[1.0,2.0,3.0,0.0,-0.0,1.0]")]


def test_a_refused_motion_leaves_its_frame_pending(quiet):
    robot = quiet.robot
    robot.move_joint_async(Q0)
    assert quiet.sent() == [joint_move()]
    # The guard refuses before anything is taken: the Shot frame stays for the next motion.
    expect_error(lambda: robot.move_joint_rel_async(Q0), "Command exception: Robot is moving")
    expect_error(lambda: robot.move_cartesian(POSE), "Command exception: Robot is moving")
    assert quiet.controller.names() == ["joint_move"]
    quiet.settle()
    robot.move_cartesian(POSE)
    robot.move_cartesian(POSE)
    assert quiet.sent() == [move_l(rel=1), move_l()]

    expect_error(lambda: robot.move_rel(MotionType.JointVel(Q0)),
                 "Conflicting instruction error: ArmPreplannedMotion does not support this motion type")
    robot.move_cartesian(POSE)
    expect_panic(lambda: robot.move_joint_path([Q0]), "not implemented")
    robot.move_joint(Q0)
    assert quiet.sent() == [move_l(rel=1), joint_move(rel=1)]


def test_set_load_sends_mass_and_centroid_only(quiet):
    quiet.robot.set_load(LoadState(1.5, [0, 0, 50], [1, 2, 3, 4, 5, 6, 7, 8, 9]))
    assert quiet.sent() == ['{"centroid":[0.0,0.0,50.0],"cmdName":"set_payload","mass":1.5}']


# --- replies and the motion guard -----------------------------------------------------------------

REFUSED = {"reply": {"errorCode": "7", "errorMsg": "x"}}


@pytest.mark.parametrize("call, sent", [
    (lambda r: r.init(), ["power_on"]),
    (lambda r: r.shutdown(), ["power_off"]),
    (lambda r: r.enable(), ["power_on", "enable_robot"]),
    (lambda r: r.disable(), ["disable_robot"]),
    (lambda r: r.stop(), ["stop_program"]),
    (lambda r: r.clear_emergency_stop(), ["clear_error"]),
    (lambda r: r.set_load(LoadState(1, [0, 0, 0], [0] * 9)), ["set_payload"]),
])
def test_checked_replies_raise_the_controller_error(sim, call, sent):
    controller = sim(script={sent[-1]: [REFUSED]})
    robot = OrvekRobot(controller.host)
    expect_error(lambda: call(robot), "Command exception: [7: x]")
    assert controller.names() == sent


def test_enable_ignores_the_power_on_reply(sim):
    controller = sim(script={"power_on": [{"reply": {"errorCode": "3", "errorMsg": "cold"}, "execute": True}]})
    OrvekRobot(controller.host).enable()
    assert controller.names() == ["power_on", "enable_robot"]


@pytest.mark.parametrize("command, start", [
    ("joint_move", lambda r: r.move_joint(Q0)),
    ("moveL", lambda r: r.move_cartesian(POSE)),
])
def test_refused_motion_raises_and_clears_the_guard(sim, command, start):
    refused = {"reply": {"errorCode": "12", "errorMsg": "joint limit"}}
    quiet = Quiet(sim, **{command: {"steps": [refused], "default": OK}})
    expect_error(lambda: start(quiet.robot), "Command exception: [12: joint limit]")
    assert quiet.robot.is_moving() is False
    assert quiet.controller.names() == [command]  # no wait, and is_moving asked nothing
    start(quiet.robot)


def test_motion_refused_by_the_simulated_controller(sim):
    robot = OrvekRobot(sim().host)
    expect_error(lambda: robot.move_joint_async(Q0), "Command exception: [3: robot is not powered on]")
    robot.init()
    expect_error(lambda: robot.move_linear_with_euler([0, 0, 0, 0, 0, 0]),
                 "Command exception: [4: robot is not enabled]")
    assert robot.is_moving() is False


def test_is_moving_asks_only_while_guarded_and_rest_is_at_most_0_1(sim):
    quiet = Quiet(sim, get_data=[{"patch": {"curr_tcp_trans_vel": 0.1000001}},
                                 {"patch": {"curr_tcp_trans_vel": 0.1}}])
    robot = quiet.robot
    assert robot.is_moving() is False
    assert quiet.controller.names() == []
    robot.move_joint_async(Q0)
    assert robot.is_moving() is True
    expect_error(lambda: robot.move_joint_async(Q0), "Command exception: Robot is moving")
    assert robot.is_moving() is False
    assert robot.is_moving() is False
    assert quiet.controller.names() == ["joint_move", "get_data", "get_data"]


def test_accepted_linear_move_stays_guarded_until_at_rest(sim):
    controller = sim()
    robot = OrvekRobot(controller.host)
    robot.enable()
    robot.move_linear_with_euler_rel_async([0, 0, -20, 0, 0, 0])
    assert robot.is_moving() is True
    expect_error(lambda: robot.move_linear_with_euler_rel_async([0, 0, -20, 0, 0, 0]),
                 "Command exception: Robot is moving")
    assert controller.names() == ["power_on", "enable_robot", "moveL", "get_data"]


# --- refused before anything is sent ---------------------------------------------------------------

@pytest.mark.parametrize("setup, call, kind, message", [
    (lambda r: r.with_speed(1.0), lambda r: r.move_joint_async([math.nan, 0, 0, 0, 0, 0]), "joint",
     "jointPosition[0] is not a finite number: NaN"),
    (lambda r: r.with_speed(1.0), lambda r: r.move_joint_rel([0, 0, 0, 0, 0, math.inf]), "joint",
     "jointPosition[5] is not a finite number: inf"),
    (lambda r: r.with_speed(1.0), lambda r: r.move_linear_with_euler_async([0, 0, math.nan, 0, 0, 0]), "linear",
     "cartPosition[2] (z) is not a finite number: NaN"),
    (lambda r: r.with_speed(1.0), lambda r: r.move_cartesian(Pose.Euler([0, 0, 0], [0, -math.inf, 0])), "linear",
     "cartPosition[4] (pitch) is not a finite number: -inf"),
    (lambda r: r.set_speed(math.inf), lambda r: r.move_joint(Q0), "joint", "speed is not a finite number: inf"),
    (lambda r: r.with_acceleration([math.nan] * 6), lambda r: r.move_joint(Q0), "joint",
     "accel is not a finite number: NaN"),
    (lambda r: r.with_cartesian_velocity(math.nan), lambda r: r.move_cartesian_async(POSE), "linear",
     "speed is not a finite number: NaN"),
])
def test_non_finite_numbers_are_refused_before_sending(quiet, setup, call, kind, message):
    robot = quiet.robot
    robot.with_coord("Shot")
    setup(robot)
    expect_error(lambda: call(robot), "Invalid instruction error: " + message)
    assert robot.is_moving() is False
    assert quiet.controller.requests() == []
    # The refused motion used up the frame and the one-shot settings of its kind.
    robot.set_speed(0.05)
    if kind == "joint":
        robot.move_joint_async(Q0)
    else:
        robot.move_cartesian_async(POSE)
    assert quiet.sent() == [joint_move() if kind == "joint" else move_l()]


def test_user_frames_are_refused(quiet):
    robot = quiet.robot
    unsupported = "Unprocessable instruction error: user frames are not supported by this controller"
    expect_error(lambda: robot.with_coord(USER_FRAME).move_joint_async(Q0), unsupported)
    robot.move_joint(Q0)  # the one-shot frame was used up by the refused motion
    assert quiet.sent() == [joint_move()]
    robot.set_coord(USER_FRAME)
    expect_error(lambda: robot.move_cartesian(POSE), unsupported)
    expect_error(lambda: robot.move_joint_async(Q0), unsupported)
    assert robot.is_moving() is False
    robot.set_coord("OCS")
    robot.move_cartesian(POSE)
    assert quiet.sent() == [move_l()]


@pytest.mark.parametrize("call, error, message", [
    (lambda r: r.set_speed("fast"), TypeError, "argument 'speed': must be real number, not str"),
    (lambda r: r.with_speed(None), TypeError, "argument 'speed': must be real number, not NoneType"),
    (lambda r: r.with_velocity([1] * 5), ValueError, "expected a sequence of length 6 (got 5)"),
    (lambda r: r.with_jerk([0] * 5), ValueError, "expected a sequence of length 6 (got 5)"),
    (lambda r: r.with_cartesian_jerk("x"), TypeError, "argument 'cartesian_jerk': must be real number, not str"),
    (lambda r: r.move_rel(42), TypeError, "argument 'target': 'int' object cannot be converted to 'MotionType'"),
    (lambda r: r.move_joint_rel([0] * 7), ValueError, "expected a sequence of length 6 (got 7)"),
    (lambda r: r.move_cartesian_int("x"), TypeError, "argument 'target': 'str' object cannot be converted to 'Pose'"),
    (lambda r: r.move_linear_with_euler_rel_async([0, 0, 0, 0, 0, "z"]), TypeError,
     "argument 'target': must be real number, not str"),
    (lambda r: r.move_joint_path("abc"), TypeError, "argument 'target': Can't extract `str` to `Vec`"),
    (lambda r: r.move_path([MotionType.Joint(Q0), 1]), TypeError,
     "argument 'path': 'int' object cannot be converted to 'MotionType'"),
    (lambda r: r.set_load([1, 2, 3]), TypeError, "argument 'load': 'list' object cannot be converted to 'LoadState'"),
    (lambda r: r.move_path_from_file(b"p.json"), TypeError,
     "argument 'path': 'bytes' object cannot be converted to 'PyString'"),
    (lambda r: r.move_joint(), TypeError, "OrvekRobot.move_joint() missing 1 required positional argument: 'target'"),
    (lambda r: r.move_joint(Q0, Q0), TypeError, "OrvekRobot.move_joint() takes 2 positional arguments but 3 were given"),
    (lambda r: r.move_joint(q=Q0), TypeError, "OrvekRobot.move_joint() got an unexpected keyword argument 'q'"),
    (lambda r: r.init(1), TypeError, "OrvekRobot.init() takes no arguments (1 given)"),
])
def test_argument_errors_send_and_change_nothing(quiet, call, error, message):
    robot = quiet.robot
    with pytest.raises(error) as caught:
        call(robot)
    assert str(caught.value) == message
    robot.move_joint(Q0)
    robot.move_cartesian(POSE)
    assert quiet.sent() == [joint_move(), move_l()]


@pytest.mark.parametrize("call, message", [
    (lambda r: r.set_coord("interial"),
     """called `Result::unwrap()` on an `Err` value: Error("expected a JSON value, found 'i'", line: 1, column: 1)"""),
    (lambda r: r.with_coord('{"Euler": [[0, 0], [0, 0, 0]]}'),
     "called `Result::unwrap()` on an `Err` value: "
     """Error("expected an array of 3 numbers, found 2 items (\\"Euler\\" > element 0)", line: 1, column: 12)"""),
    (lambda r: r.move_rel(MotionType.Joint([0] * 5)), "called `Result::unwrap()` on an `Err` value: [0.0, 0.0, 0.0, 0.0, 0.0]"),
])
def test_unreadable_frames_and_motions_are_panics_that_change_nothing(quiet, call, message):
    robot = quiet.robot
    robot.set_coord("Interial")
    expect_panic(lambda: call(robot), message)
    robot.move_joint(Q0)
    robot.move_cartesian(POSE)
    assert quiet.sent() == [joint_move(rel=1), move_l(rel=1)]


def test_keyword_arguments_are_accepted(quiet):
    robot = quiet.robot
    robot.with_speed(speed=1.0).move_joint_async(target=[1, 2, 3, 4, 5, 6])
    assert quiet.sent() == [joint_move("180.0", "400.0", q="[1.0,2.0,3.0,4.0,5.0,6.0]")]


# --- state ----------------------------------------------------------------------------------------

def test_state_is_straight_from_the_reply(sim):
    joints = [1.5, -2.25, 1e-9, 359.5, 0.0, -720.0]
    pose = [400.125, -0.5, 1e6, 3.0, -0.25, 1e-300]
    controller = sim(script={"get_data": [
        {"patch": {"joint_actual_position": joints, "actual_position": pose, "errorCode": "9", "errorMsg": "x"}}]})
    robot = OrvekRobot(controller.host)
    state = robot.state()
    assert state.joint == joints
    assert isinstance(state.pose_o_to_ee, Pose.Euler)
    assert [state.pose_o_to_ee._0, state.pose_o_to_ee._1] == [pose[:3], pose[3:]]
    assert [state.joint_vel, state.joint_acc, state.tau, state.pose_ee_to_k, state.cartesian_vel, state.load] == [None] * 6
    later = robot.state()  # the simulator's own reply: the arm at home
    assert later.joint == [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]
    assert state.joint == joints
    assert controller.names() == ["get_data", "get_data"]


@pytest.mark.parametrize("step, message", [
    ({"patch": {"joint_actual_position": [1, 2, 3, 4, 5]}},
     'Deserialize error: invalid length 5 at key "joint_actual_position": expected an array of 6 numbers'),
    ({"remove": ["curr_tcp_trans_vel"]}, 'Deserialize error: missing key "curr_tcp_trans_vel"'),
    ({"patch": {"curr_tcp_trans_vel": "fast"}}, None),
    ({"raw": "hello"}, None),
])
def test_malformed_status_reply_is_a_panic_and_the_robot_stays_usable(sim, step, message):
    quiet = Quiet(sim, get_data=[step, {}, step])
    robot = quiet.robot
    with pytest.raises(BaseException) as caught:
        robot.state()
    assert type(caught.value).__name__ == "PanicException"
    if message:
        assert str(caught.value) == message
    assert robot.state().joint == [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]
    # In is_moving too; the guard stays until a good reply shows the arm at rest.
    robot.move_joint_async(Q0)
    with pytest.raises(BaseException) as again:
        robot.is_moving()
    assert str(again.value) == str(caught.value)
    expect_error(lambda: robot.move_joint_async(Q0), "Command exception: Robot is moving")
    assert robot.is_moving() is False


# --- operations that always fail ------------------------------------------------------------------

IK_MISSING = ("not implemented: inverse kinematics is not implemented because the representation method of the "
              "robotic arm configuration has not been determined")


@pytest.mark.parametrize("call, message", [
    (lambda r: r.reset(), "not implemented"),
    (lambda r: r.pause(), "not implemented"),
    (lambda r: r.resume(), "not implemented"),
    (lambda r: r.emergency_stop(), "not implemented"),
    (lambda r: r.move_path([]), "not implemented"),
    (lambda r: r.move_path_async([MotionType.Joint(Q0)]), "not implemented"),
    (lambda r: r.move_path_prepare([MotionType.Stop()]), "not implemented"),
    (lambda r: r.move_path_start(MotionType.Cartesian(POSE)), "not implemented"),
    (lambda r: r.move_joint_path([Q0, Q0]), "not implemented"),
    (lambda r: r.move_cartesian_path([POSE]), "not implemented"),
    (lambda r: r.inverse_kinematics(POSE), IK_MISSING),
])
def test_not_implemented_operations_send_nothing(quiet, call, message):
    expect_panic(lambda: call(quiet.robot), message)
    expect_panic(lambda: call(quiet.robot), message)
    assert quiet.controller.requests() == []


@pytest.mark.parametrize("method", ["move_path_from_file", "move_path_prepare_from_file"])
def test_path_files(quiet, tmp_path, method):
    run = getattr(quiet.robot, method)
    expect_error(lambda: run(str(tmp_path / "missing.json")),
                 "Network exception: No such file or directory (os error 2)")
    bad = tmp_path / "bad.json"
    bad.write_text('[\n  {"Joint": [0, 0, 0, 0, 0, 0]},\n  {"Joint": [1, 2, 3, 4, 5]}\n]\n')
    expect_panic(lambda: run(str(bad)),
                 'expected an array of 6 numbers, found 5 items (item 1 > "Joint") at line 3 column 13')
    good = tmp_path / "good.json"
    good.write_text('[{"Joint": [0, 0.5, 1, 0, 1.5, 0]}, {"Cartesian": {"Euler": [[400, 0, 300], [3, 0, 0]]}}, "Stop"]')
    expect_panic(lambda: run(str(good)), "not implemented")
    assert quiet.controller.requests() == []


def test_kinematics_need_no_controller(quiet):
    robot = quiet.robot
    pose = robot.forward_kinematics([0.25, 0, 0, 0, 0, 0.75])
    assert isinstance(pose, Pose.Quat)
    assert pose._0 == [0.0, 0.0, 0.0]
    assert pose._1 == pytest.approx([math.sin(0.5), 0, 0, math.cos(0.5)], abs=1e-15)
    with pytest.raises(ValueError, match=r"^expected a sequence of length 6 \(got 7\)$"):
        robot.forward_kinematics([0] * 7)
    with pytest.raises(TypeError, match="^argument 'pose': 'int' object cannot be converted to 'Pose'$"):
        robot.inverse_kinematics(42)
    assert quiet.controller.requests() == []


# --- references ---------------------------------------------------------------------------------

def test_methods_leak_no_references_on_success_or_failure(quiet, tmp_path):
    robot = quiet.robot
    pose, target, load, path = POSE, MotionType.Joint(Q0), LoadState(1, [0, 0, 0], [0] * 9), str(tmp_path / "none")
    failing = [
        lambda: robot.reset(), lambda: robot.move_rel(42), lambda: robot.set_speed("x"),
        lambda: robot.move_path([target]), lambda: robot.inverse_kinematics(pose), lambda: robot.set_coord("bad"),
        lambda: robot.move_joint_async([math.nan] * 6), lambda: robot.move_path_from_file(path),
        lambda: robot.move_rel(MotionType.JointVel(Q0)), lambda: robot.with_velocity([1]),
    ]

    def workload():
        robot.with_speed(0.1).with_velocity(Q0).with_coord("Shot")
        robot.set_coord("OCS")
        robot.move_to(target)
        robot.move_cartesian(pose)
        robot.forward_kinematics(Q0)
        robot.state()
        robot.set_load(load)
        for call in failing:
            try:
                call()
            except BaseException:  # noqa: BLE001 - PanicException included
                pass

    counts = [sys.getrefcount(o) for o in (robot, pose, target, load, path)]
    for _ in range(50):
        workload()
    growth = traced_growth(workload, 200)
    assert growth < 16 * 1024, growth
    assert [sys.getrefcount(o) for o in (robot, pose, target, load, path)] == counts
