"""A link with latency and jitter: every call still right, and what the delay does to a
paced realtime run."""

import time

from liborvek import OrvekRobot

from links import HOME, distribution_ms, expected_targets, intervals, paced_run, servo_targets

CYCLES = 1000  # 8 s at 125 Hz


def test_blocking_moves_and_state_are_right_through_a_jittery_link(sim, relay, figure):
    robot = OrvekRobot(relay(0.2, 2.0))
    robot.enable()
    robot.set_speed(0.5)
    times = []
    for _ in range(200):
        started = time.perf_counter()
        state = robot.state()
        times.append(time.perf_counter() - started)
        assert state.joint == HOME
    started = time.monotonic()
    robot.move_joint([30.0, 90.0, -90.0, -90.0, -90.0, 0.0])
    robot.move_joint_rel([-30.0, 0.0, 0.0, 0.0, 0.0, 0.0])
    moved = time.monotonic() - started
    assert robot.state().joint == HOME
    assert not robot.is_moving()
    # Each blocking move: 30 degrees at 90 deg/s, 200 deg/s^2 takes 0.78 s; then polls.
    assert 1.5 < moved < 3.0
    names = sim.names()
    assert names[:2] == ["power_on", "enable_robot"] and names[2:202] == ["get_data"] * 200
    assert names.count("joint_move") == 2
    figure(f"- jitter 0.2-2 ms, state(): {distribution_ms(times)}")
    figure(f"- jitter 0.2-2 ms, two blocking 30-degree joint moves: {moved:.2f} s")


def test_a_paced_realtime_run_keeps_its_rate_through_a_jittery_link(sim, relay, figure):
    clean = OrvekRobot(sim.host)
    clean.enable()
    clean_start, clean_times = paced_run(clean, CYCLES)
    delayed = OrvekRobot(relay(0.2, 2.0))
    delayed_start, delayed_times = paced_run(delayed, CYCLES)
    clean_cycles, delayed_cycles = intervals(clean_times), intervals(delayed_times)
    for cycles in (clean_cycles, delayed_cycles):
        assert len(cycles) == CYCLES
    # Every target of both runs, once, in order.
    assert servo_targets(sim) == expected_targets(CYCLES, clean_start) + expected_targets(CYCLES, delayed_start)
    figure(f"- paced 125 Hz run, clean link: cycle {distribution_ms(clean_cycles)}")
    figure(f"- paced 125 Hz run, jitter 0.2-2 ms each way: cycle {distribution_ms(delayed_cycles)}")
