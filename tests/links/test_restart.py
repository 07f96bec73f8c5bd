"""The controller restarts (the simulator killed and started again on the same address): the
old connection is gone for good and says so at the first call; a new robot object works."""

import time

import netns
from liborvek import OrvekRobot

from links import HOME, panic_text


def test_after_a_controller_restart_the_first_call_fails_and_a_new_robot_works(sim):
    robot = OrvekRobot(sim.host)
    robot.enable()
    sim.restart()
    started = time.monotonic()
    # The old controller closed the connection: its reply is empty; then the socket is shut.
    assert panic_text(robot.state) == "Empty: no JSON found"
    assert panic_text(robot.state) == "Broken pipe (os error 32)"
    assert time.monotonic() - started < 1
    fresh = OrvekRobot(sim.host)
    assert fresh.state().joint == HOME  # the restarted controller's arm, back at home
    fresh.enable()
    assert sim.names() == ["get_data", "power_on", "enable_robot"]


def test_a_controller_that_restarted_while_the_link_was_down_resets_the_old_connection(sim):
    robot = OrvekRobot(sim.host)
    robot.enable()
    netns.nft(netns.OUTAGE)  # its goodbye never arrives
    sim.restart()
    netns.clear()
    started = time.monotonic()
    # The old connection's socket answers the request with a reset, unless its goodbye, sent
    # again by the kernel once the link is back, happens to arrive first: then the reply is
    # empty. Either way the first call says at once that the connection is gone.
    assert panic_text(robot.state) in {"Connection reset by peer (os error 104)", "Empty: no JSON found"}
    assert time.monotonic() - started < 1
    assert OrvekRobot(sim.host).state().joint == HOME
    assert sim.names() == ["get_data"]
