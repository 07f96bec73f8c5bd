"""Leak checks of the robot's entry points: every method of OrvekRobot, on success and on failure,
run thousands of times with the process's memory (Python objects, resident size), its
open descriptors and the arguments' reference counts flat; and robots made and dropped by the
thousand, connected or refused, leave no socket behind.

(The value classes are checked in test_values.py, realtime runs in test_realtime.py.)"""

import gc
import os
import sys

import pytest

from liborvek import LoadState, MotionType, OrvekRobot, Pose
from outcomes import rss_bytes, traced_growth, under_address_sanitizer

Q0 = [0.0] * 6
HOME = [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))


def swallow(call):
    try:
        call()
    except BaseException as error:  # noqa: BLE001 - PanicException included
        if isinstance(error, (KeyboardInterrupt, SystemExit, AssertionError)):
            raise


class Flat:
    """Measures a workload after a warm-up: Python memory, resident size, descriptors and the
    reference counts of the objects it is given."""

    def __init__(self, *watched):
        self.watched = watched

    def check(self, workload, warm_up, rounds, traced_limit=64 * 1024, rss_limit=2 * 1024 * 1024):
        counts = [sys.getrefcount(o) for o in self.watched]
        for _ in range(warm_up):
            workload()
        gc.collect()
        descriptors = open_descriptors()
        rss_before = rss_bytes()
        growth = traced_growth(workload, rounds)
        rss_growth = rss_bytes() - rss_before
        assert growth < traced_limit, growth
        if not under_address_sanitizer():
            assert rss_growth < rss_limit, rss_growth
        assert open_descriptors() == descriptors
        assert [sys.getrefcount(o) for o in self.watched] == counts


@pytest.fixture
def robot(accepting_robot):
    return accepting_robot


class Recorder:
    """Stands for the robot and notes which of its methods were taken."""

    def __init__(self, target):
        self.target, self.used = target, set()

    def __getattr__(self, name):
        self.used.add(name)
        return getattr(self.target, name)


def test_every_robot_method_keeps_memory_references_and_descriptors_flat(robot, tmp_path):
    real, robot = robot, Recorder(robot)
    q, pose, target, load = list(Q0), Pose.Euler([250, -120, 460], [3.14, 0, 1.57]), MotionType.Joint(Q0), \
        LoadState(1.5, [0, 0, 50], [0] * 9)
    vel, frame, speed, bad = (1.0,) * 6, '{"Euler": [[0, 0, 0], [0, 0, 0]]}', 0.5, "x"
    path_file = tmp_path / "path.json"
    path_file.write_text('[{"Joint": [0, 0, 0, 0, 0, 0]}, "Stop"]')
    path, missing = str(path_file), str(tmp_path / "missing.json")
    plan = [target, MotionType.Stop()]

    def finish_at_once(state, period):
        return q, True

    def motion_at_once(state, period):
        return target, True

    def control_at_once(state, period):
        return None

    def fails(state, period):
        raise ValueError("no")

    calls = [
        robot.version, robot.init, robot.enable, robot.is_moving, robot.stop, robot.clear_emergency_stop,
        robot.state, lambda: robot.set_load(load), lambda: robot.set_coord("OCS"), lambda: robot.set_speed(speed),
        lambda: robot.with_coord("Shot"), lambda: robot.with_speed(speed), lambda: robot.with_velocity(vel),
        lambda: robot.with_acceleration(vel), lambda: robot.with_jerk(vel), lambda: robot.with_cartesian_velocity(speed),
        lambda: robot.with_cartesian_acceleration(speed), lambda: robot.with_cartesian_jerk(speed),
        lambda: robot.set_coord("OCS"), lambda: robot.forward_kinematics(q),
        lambda: robot.move_to(target), lambda: robot.move_to_async(target), robot.is_moving,
        lambda: robot.move_rel(target), lambda: robot.move_rel_async(target), robot.is_moving,
        lambda: robot.move_int(target), lambda: robot.move_int_async(target), robot.is_moving,
        lambda: robot.move_joint(q), lambda: robot.move_joint_async(q), robot.is_moving,
        lambda: robot.move_joint_rel(q), lambda: robot.move_joint_rel_async(q), robot.is_moving,
        lambda: robot.move_cartesian(pose), lambda: robot.move_cartesian_async(pose), robot.is_moving,
        lambda: robot.move_cartesian_rel(pose), lambda: robot.move_cartesian_rel_async(pose), robot.is_moving,
        lambda: robot.move_cartesian_int(pose), lambda: robot.move_cartesian_int_async(pose), robot.is_moving,
        lambda: robot.move_linear_with_euler(q), lambda: robot.move_linear_with_euler_async(q), robot.is_moving,
        lambda: robot.move_linear_with_euler_rel(q), lambda: robot.move_linear_with_euler_rel_async(q),
        robot.is_moving, lambda: robot.move_linear_with_euler_int(q),
        lambda: robot.move_linear_with_euler_int_async(q), robot.is_moving,
        lambda: robot.move_joint_with_closure(finish_at_once), lambda: robot.move_with_closure(motion_at_once),
        robot.is_moving, lambda: robot.control_with_closure(control_at_once),
        # failures: not carried out, refused arguments, refused or failing runs, missing files
        robot.reset, robot.pause, robot.resume, robot.emergency_stop, lambda: robot.inverse_kinematics(pose),
        lambda: robot.move_path(plan), lambda: robot.move_path_async(plan), lambda: robot.move_path_prepare(plan),
        lambda: robot.move_path_start(target), lambda: robot.move_joint_path([q, q]),
        lambda: robot.move_cartesian_path([pose]), lambda: robot.move_path_from_file(path),
        lambda: robot.move_path_prepare_from_file(path), lambda: robot.move_path_from_file(missing),
        lambda: robot.set_coord(frame), lambda: robot.with_coord(frame), lambda: robot.set_coord(bad),
        lambda: robot.set_speed(bad), lambda: robot.move_joint(bad), lambda: robot.move_cartesian(bad),
        lambda: robot.move_to(bad), lambda: robot.set_load(bad), lambda: robot.with_velocity([1]),
        lambda: robot.move_joint_vel_with_closure(finish_at_once), lambda: robot.move_joint_with_closure(fails),
        lambda: robot.move_cartesian_with_closure(finish_at_once), robot.is_moving,
        lambda: robot.move_cartesian_vel_with_closure(finish_at_once), robot.is_moving,
        lambda: robot.move_joint_async([float("nan")] * 6),
        robot.disable, robot.shutdown, lambda: robot.move_joint(q),
    ]

    def workload():
        for call in calls:
            swallow(call)

    workload()
    assert robot.used == {name for name in dir(OrvekRobot) if not name.startswith("_")}
    flat = Flat(real, q, pose, target, load, vel, frame, speed, bad, path, missing, plan,
                finish_at_once, motion_at_once, control_at_once, fails)
    flat.check(workload, warm_up=50, rounds=2000)
    real.enable()
    assert real.state().joint == HOME


def test_robots_made_and_dropped_by_the_thousand_leave_no_socket(sim):
    controller = sim()
    host = controller.host

    def connected():
        robot = OrvekRobot(host)
        robot.stop()

    def refused():
        swallow(lambda: OrvekRobot("127.0.99.254"))

    Flat(host).check(lambda: (connected(), refused()), warm_up=50, rounds=3000)
    assert controller.names() == ["stop_program"] * 3050
