"""Blocking moves against orvek-sim: how long they take, how often they ask, and how a signal
ends the wait (Ctrl-C stops the arm), or any other wait for the controller."""

import json
import os
import signal
import socket
import subprocess
import sys
import textwrap
import time

import pytest

from conftest import next_loopback_host
from liborvek import OrvekRobot

HOME = [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]


def trapezoid_duration(length, speed, accel):
    """The simulator's profile: accelerate, cruise, decelerate (a triangle on short paths)."""
    if speed * speed / accel >= length:
        return 2 * (length / accel) ** 0.5
    return length / speed + speed / accel


def status_times(controller):
    return [e["t"] for e in controller.events() if e.get("raw") == '{"cmdName":"get_data"}']


def test_blocking_joint_move_lasts_as_long_as_the_motion_and_polls_every_100_ms(sim):
    controller = sim()
    robot = OrvekRobot(controller.host)
    robot.enable()
    robot.set_speed(0.5)  # 90 deg/s, 200 deg/s^2
    target = [45.0] + HOME[1:]
    expected = trapezoid_duration(45.0, 90.0, 200.0)  # 0.95 s

    started = time.monotonic()
    robot.move_joint(target)
    elapsed = time.monotonic() - started

    assert expected <= elapsed < expected + 0.3
    assert robot.is_moving() is False
    assert robot.state().joint == pytest.approx(target, abs=1e-9)
    move_at = [e["t"] for e in controller.events() if '"joint_move"' in e.get("raw", "")][0]
    polls = [t - move_at for t in status_times(controller)][:-1]  # the last is state()
    assert len(polls) == pytest.approx(elapsed / 0.1 + 1, abs=1)
    assert polls[0] < 0.02
    gaps = [b - a for a, b in zip(polls, polls[1:])]
    assert all(0.095 < gap < 0.2 for gap in gaps), gaps
    assert polls[-2] < expected <= polls[-1]  # the first poll after the motion's end returns


def test_blocking_linear_move_waits_for_rest(sim):
    controller = sim()
    robot = OrvekRobot(controller.host)
    robot.enable()
    started = time.monotonic()
    robot.move_linear_with_euler_rel([0, 0, -30, 0, 0, 0])  # 30 mm at 50 mm/s, 200 mm/s^2
    elapsed = time.monotonic() - started
    expected = trapezoid_duration(30.0, 50.0, 200.0)
    assert expected <= elapsed < expected + 0.3
    assert len(status_times(controller)) >= 5
    assert robot.is_moving() is False
    robot.move_linear_with_euler_rel_async([0, 0, 30, 0, 0, 0])  # not refused: the guard is clear


CTRL_C_CHILD = textwrap.dedent("""
    import sys
    from liborvek import OrvekRobot

    robot = OrvekRobot(sys.argv[1])
    robot.enable()
    print("moving", flush=True)
    try:
        robot.move_joint([170.0, 90.0, -90.0, -90.0, -90.0, 0.0])  # about 20 s at the default speed
        print("finished", flush=True)
    except KeyboardInterrupt:
        print("KeyboardInterrupt", flush=True)
    print(robot.is_moving(), flush=True)
""")


def interrupt_child(program: str, args: list[str], ready: str, after: float) -> tuple[str, float, str]:
    """Runs `program` in a child, waits for its line `ready`, sends SIGINT `after` seconds
    later; returns the child's next line, how long after the signal it came, and the rest of
    its output. The child must exit with status 0."""
    # A child started from a shell's background job inherits SIGINT ignored, and Python then
    # installs no handler for it: give it Python's own, as an interactive program has.
    prologue = "import signal\nsignal.signal(signal.SIGINT, signal.default_int_handler)\n"
    child = subprocess.Popen([sys.executable, "-c", prologue + program, *args], stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == ready
        time.sleep(after)
        sent_at = time.monotonic()
        child.send_signal(signal.SIGINT)
        line = child.stdout.readline()
        seen_after = time.monotonic() - sent_at
        rest = child.stdout.read()
        assert child.wait(10) == 0
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    return line, seen_after, rest


def test_ctrl_c_during_a_blocking_move_stops_the_arm(sim):
    controller = sim()
    line, seen_after, rest = interrupt_child(CTRL_C_CHILD, [controller.host], "moving\n", after=0.3)
    assert line == "KeyboardInterrupt\n"
    assert seen_after < 0.1 + 0.15  # one poll period, with room for a loaded machine
    assert rest == "False\n"  # stopped: the next status shows the arm at rest
    names = controller.names()
    assert names[:3] == ["power_on", "enable_robot", "joint_move"]
    assert names[3:] == ["get_data"] * (len(names) - 5) + ["stop_program", "get_data"]


def test_signal_handler_inside_a_wait_meets_the_borrowed_robot(sim):
    controller = sim()
    robot = OrvekRobot(controller.host)
    robot.enable()
    seen = []

    class Enough(Exception):
        pass

    def on_alarm(signum, frame):
        for use in (robot.state, robot.version, lambda: robot.forward_kinematics([0] * 6)):
            try:
                use()
            except RuntimeError as error:
                seen.append(str(error))
        raise Enough("stop now")

    previous = signal.signal(signal.SIGALRM, on_alarm)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.25)
        started = time.monotonic()
        with pytest.raises(Enough, match="^stop now$"):
            robot.move_joint([170.0] + HOME[1:])
        elapsed = time.monotonic() - started
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert seen == ["Already borrowed", "Already mutably borrowed", "Already mutably borrowed"]
    assert elapsed < 0.25 + 0.2
    assert controller.names()[-1] == "stop_program"
    # The object is free again and the arm is at rest where it stopped.
    assert robot.version() == "0.1.0"
    assert robot.is_moving() is False
    assert 0.0 < robot.state().joint[0] < 170.0
    assert json.loads(controller.requests()[-1]) == {"cmdName": "get_data"}


WAITING_CHILD = textwrap.dedent("""
    import sys
    from liborvek import OrvekRobot

    mode, host = sys.argv[1:]
    robot = None
    if mode == "realtime":
        robot = OrvekRobot(host)
        robot.enable()
    elif mode == "state":
        robot = OrvekRobot(host)
    home = [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]
    calls = {
        "connect": lambda: OrvekRobot(host),
        "state": lambda: robot.state(),
        "realtime": lambda: robot.move_joint_with_closure(lambda state, period: (home, False)),
    }
    print("waiting", flush=True)
    try:
        calls[mode]()
        print("returned", flush=True)
    except KeyboardInterrupt:
        print("KeyboardInterrupt", flush=True)
    if robot is not None:
        try:
            robot.state()
        except Exception as error:
            print(error, flush=True)
""")


def silent_listener(host):
    """A listening socket whose backlog is full: it drops every further connection attempt
    unanswered, as a controller that is switched off behind a switch does."""
    listener = socket.socket()
    listener.bind((host, 10001))
    listener.listen(0)
    filler = socket.create_connection((host, 10001))  # takes the one place in the queue
    return listener, filler


@pytest.mark.parametrize("mode", ["state", "realtime", "connect"])
def test_ctrl_c_ends_a_wait_for_the_controller_and_drops_the_stream(sim, mode):
    script = {"get_data": [{"no_reply": True}], "servo_j": [{"delay_ms": 0, "times": 3}, {"no_reply": True}]}
    controller = sim(script=script)
    host = controller.host
    held = silent_listener(next_loopback_host()) if mode == "connect" else ()
    if held:
        host = held[0].getsockname()[0]
    try:
        line, seen_after, rest = interrupt_child(WAITING_CHILD, [mode, host], "waiting\n", after=1.0)
    finally:
        for s in held:
            s.close()
    assert line == "KeyboardInterrupt\n"
    assert seen_after < 0.1
    if mode == "connect":
        assert rest == ""
        return
    # The reply may still come: the stream is gone, so that it is never taken for another's.
    assert rest == "Network exception: TCP command stream is not initialized\n"
    if mode == "realtime":
        # No "servo_move" 0 after the unanswered target: there is no stream to send it on.
        assert controller.names() == ["power_on", "enable_robot", "servo_move"] + ["servo_j"] * 4
    else:
        assert controller.names() == ["get_data"]
