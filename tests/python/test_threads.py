"""Re-entrancy and threads: the robot used from inside its own realtime function or from an
argument's conversion, one robot shared by several Python threads, and several robots used at
once. Use of an object that is taken is refused with RuntimeError, never run; exchanges never
interleave (each connection carries whole requests, each answered before the next, every call
gets the reply to its own request); nothing crashes and the robot serves on."""

import json
import sys
import threading
import time

import pytest

from liborvek import LoadState, MotionType, OrvekRobot, Pose

OK = {"reply": {"errorCode": "0", "errorMsg": ""}}
HOME = [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]
ENTER = '{"cmdName":"servo_move","relFlag":1}'
LEAVE = '{"cmdName":"servo_move","relFlag":0}'
SHARED = {"version", "forward_kinematics", "inverse_kinematics"}  # taken shared, not exclusively


def quiet_robot(sim):
    """An enabled robot whose motions the controller accepts without carrying them out."""
    controller = sim(script={"joint_move": {"default": OK}, "moveL": {"default": OK}})
    robot = OrvekRobot(controller.host)
    robot.enable()
    return controller, robot


def every_call(robot, tmp_path):
    """One call of each of the 62 methods, with an argument it would accept."""
    q, pose, target = list(HOME), Pose.Position([250, -120, 460]), MotionType.Joint(HOME)
    path = tmp_path / "path.json"
    path.write_text('["Stop"]')
    done = lambda state, period: (q, True)  # noqa: E731
    one = {
        "set_load": LoadState(1, [0, 0, 0], [0] * 9), "set_coord": "OCS", "with_coord": "OCS", "set_speed": 0.5,
        "with_speed": 0.5, "with_velocity": q, "with_acceleration": q, "with_jerk": q, "with_cartesian_velocity": 1.0,
        "with_cartesian_acceleration": 1.0, "with_cartesian_jerk": 1.0, "forward_kinematics": q,
        "inverse_kinematics": pose, "move_path": [target], "move_path_async": [target], "move_path_prepare": [target],
        "move_path_start": target, "move_joint_path": [q], "move_cartesian_path": [pose],
        "move_path_from_file": str(path), "move_path_prepare_from_file": str(path),
        "move_with_closure": lambda state, period: (target, True), "control_with_closure": lambda s, p: None,
    }
    calls = {}
    for name in (n for n in dir(OrvekRobot) if not n.startswith("_")):
        method = getattr(robot, name)
        if getattr(OrvekRobot, name).__text_signature__ == "($self)":
            calls[name] = method
        else:
            argument = one.get(name)
            if argument is None:
                argument = (done if name.endswith("_closure") else pose if name.startswith("move_cartesian")
                            else target if name.startswith(("move_to", "move_rel", "move_int")) else q)
            calls[name] = lambda method=method, argument=argument: method(argument)
    assert len(calls) == 62
    return calls


# --- re-entrancy --------------------------------------------------------------------------------

def test_every_method_called_from_the_realtime_function_is_refused(sim, tmp_path):
    controller, robot = quiet_robot(sim)
    calls = every_call(robot, tmp_path)
    refusals = {}

    def function(state, period):
        for name, call in calls.items():
            try:
                call()
            except RuntimeError as error:
                refusals[name] = str(error)
        return HOME, True

    before = len(controller.requests())
    robot.move_joint_with_closure(function)
    assert refusals == {name: "Already mutably borrowed" if name in SHARED else "Already borrowed" for name in calls}
    assert controller.requests()[before:] == [ENTER, LEAVE]  # nothing else reached the controller
    assert robot.state().joint == HOME and robot.is_moving() is False


def test_an_argument_whose_conversion_uses_the_robot_is_refused(sim):
    controller, robot = quiet_robot(sim)

    class Sneaky:
        def __float__(self):
            robot.state()
            return 0.0

    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        robot.move_joint_async([Sneaky()] * 6)
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        robot.set_speed(Sneaky())
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        robot.forward_kinematics([Sneaky()] * 6)  # shared use, but state() wants it exclusively
    # A target whose conversion inside a realtime run uses the robot ends that run.
    with pytest.raises(BaseException) as info:
        robot.move_joint_with_closure(lambda state, period: ([Sneaky()] * 6, True))
    assert type(info.value).__name__ == "PanicException" and "Already borrowed" in str(info.value)
    assert robot.is_moving() is False and robot.state().joint == HOME
    assert controller.names().count("joint_move") == 0


# --- threads ------------------------------------------------------------------------------------

def run_threads(count, body):
    """Runs body(index) on `count` threads at once; returns what each raised, if anything."""
    failures = [None] * count
    start = threading.Barrier(count)

    def main(index):
        try:
            start.wait()
            body(index)
        except BaseException as error:  # noqa: BLE001
            failures[index] = error

    threads = [threading.Thread(target=main, args=(i,)) for i in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(120)
        assert not thread.is_alive()
    return failures


def test_threads_sharing_one_robot_never_interleave_exchanges(sim):
    controller, robot = quiet_robot(sim)
    before = len(controller.requests())
    exchanges = {"get_data": 0, "stop_program": 0, "set_payload": 0, "clear_error": 0, "runs": 0}
    refused = [0]
    lock = threading.Lock()

    def note(key):
        with lock:
            exchanges[key] += 1

    def body(index):
        load = LoadState(index, [index, 0, 0], [0] * 9)
        for round_ in range(150):
            try:
                if index == 0 and round_ % 10 == 0:
                    cycles = iter(range(5))

                    def cycle(state, period):
                        time.sleep(0.0002)  # lets the other threads run while the robot is taken
                        return HOME, next(cycles) == 4

                    robot.move_joint_with_closure(cycle)
                    note("runs")
                    continue
                step = round_ % 4
                if step == 0:
                    assert robot.state().joint == HOME  # the reply to this call's own request
                    note("get_data")
                elif step == 1:
                    robot.stop()
                    note("stop_program")
                elif step == 2:
                    robot.set_load(load)
                    note("set_payload")
                else:
                    robot.clear_emergency_stop()
                    note("clear_error")
            except RuntimeError as error:  # another thread's realtime run has the robot
                assert str(error) == "Already borrowed"
                with lock:
                    refused[0] += 1

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # switch threads as often as the interpreter allows
    try:
        failures = run_threads(4, body)
    finally:
        sys.setswitchinterval(interval)
    assert failures == [None] * 4
    events = controller.events()
    assert not [e for e in events if e.get("event") in ("drop", "hangup")]
    assert len({e["conn"] for e in events if "raw" in e}) == 1
    sent = controller.parsed()[before:]
    names = [r["cmdName"] for r in sent]
    for key in ("get_data", "stop_program", "set_payload", "clear_error"):
        assert names.count(key) == exchanges[key], key
    assert names.count("servo_move") == 2 * exchanges["runs"] and exchanges["runs"] == 15
    assert names.count("servo_j") == 4 * exchanges["runs"]
    assert len(names) == sum(exchanges[k] for k in ("get_data", "stop_program", "set_payload", "clear_error")) + \
        6 * exchanges["runs"]
    assert refused[0] > 0  # the other threads did meet the robot taken by a run
    masses = {r["mass"] for r in sent if r["cmdName"] == "set_payload"}
    assert masses <= {0.0, 1.0, 2.0, 3.0}
    assert robot.state().joint == HOME


def test_threads_with_a_robot_each_keep_each_connection_to_its_own_requests(sim):
    controller = sim()
    robots = [OrvekRobot(controller.host) for _ in range(4)]

    def body(index):
        robot, load = robots[index], LoadState(float(index), [float(index), 0, 0], [0] * 9)
        for _ in range(200):
            robot.set_load(load)
            assert robot.state().joint == HOME
            robot.stop()

    assert run_threads(4, body) == [None] * 4
    per_connection = {}
    for event in controller.events():
        if "raw" in event:
            per_connection.setdefault(event["conn"], []).append(json.loads(event["raw"]))
    assert len(per_connection) == 4
    for requests in per_connection.values():
        masses = {r["mass"] for r in requests if r["cmdName"] == "set_payload"}
        assert len(masses) == 1  # only its own robot's requests
        assert [r["cmdName"] for r in requests] == ["set_payload", "get_data", "stop_program"] * 200
    assert sorted(m for requests in per_connection.values() for m in
                  {r["mass"] for r in requests if r["cmdName"] == "set_payload"}) == [0.0, 1.0, 2.0, 3.0]


def test_robots_made_used_and_dropped_on_many_threads(sim):
    controller = sim()

    def body(index):
        for _ in range(50):
            robot = OrvekRobot(controller.host)
            robot.with_speed(0.5).set_coord("OCS")
            assert robot.state().joint == HOME
            del robot

    assert run_threads(6, body) == [None] * 6
    assert controller.names() == ["get_data"] * 300
