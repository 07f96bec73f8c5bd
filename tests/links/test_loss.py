"""Random packet loss: TCP retransmits, every call still gets its own reply, and the stalls
are TCP's retransmission time-outs."""

import time

import pytest

import netns
from liborvek import OrvekRobot

from links import (HOME, counter_changes, distribution_ms, expected_targets, intervals, paced_run, servo_targets,
                   tcp_counters)

CALLS = 300
CYCLES = 500  # 4 s at 125 Hz


@pytest.mark.parametrize("percent", [1, 5])
def test_every_call_gets_its_own_reply_through_a_lossy_link(sim, figure, percent):
    robot = OrvekRobot(sim.host)
    robot.enable()
    robot.set_speed(0.5)
    netns.loss(percent)
    before = tcp_counters()
    times = []
    for _ in range(CALLS):
        started = time.perf_counter()
        assert robot.state().joint == HOME
        times.append(time.perf_counter() - started)
    robot.move_joint([30.0, 90.0, -90.0, -90.0, -90.0, 0.0])
    assert robot.state().joint == [30.0, 90.0, -90.0, -90.0, -90.0, 0.0]
    start, calls = paced_run(robot, CYCLES)
    cycles = intervals(calls)
    after = tcp_counters()
    netns.clear()

    # The simulator answers each request before it reads the next, on one connection: its log
    # holds exactly the calls made, in order, none repeated or lost.
    names = sim.names()
    polls = len(names) - (2 + CALLS + 1 + 1 + 1 + CYCLES + 1)
    assert polls >= 1
    assert names == (["power_on", "enable_robot"] + ["get_data"] * CALLS + ["joint_move"] + ["get_data"] * polls
                     + ["get_data", "servo_move"] + ["servo_j"] * CYCLES + ["servo_move"])
    assert servo_targets(sim) == expected_targets(CYCLES, start)
    assert {e["conn"] for e in sim.events()} == {1}
    assert after["RetransSegs"] > before["RetransSegs"]
    stalls = sorted(times + cycles)[-3:]
    figure(f"- {percent} % loss, state(): {distribution_ms(times)}; TCP: {counter_changes(before, after)}")
    figure(f"- {percent} % loss, paced 125 Hz run: cycle {distribution_ms(cycles)}; "
           f"the three longest waits of either: {', '.join(f'{1e3 * s:.0f} ms' for s in stalls)}")
