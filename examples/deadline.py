"""A move with a deadline of your own, while the rest of the program keeps running.

    python examples/deadline.py [ADDRESS]      # default 127.0.0.1, e.g. an orvek-sim

A blocking move (`move_joint`) holds the interpreter lock until the arm is at rest, so no
other Python thread runs meanwhile and the call has no time limit. Instead: start the move
with `move_joint_async` (it returns once the controller has accepted it), poll `is_moving()`
from your own loop, sleep between polls (`time.sleep` lets other threads run), and `stop()`
the arm when your deadline passes. Ctrl-C in the loop stops the arm too.
"""

import sys
import time

import liborvek

POLL = 0.05  # seconds between status requests


def move_within(robot, target, deadline_s):
    """Moves to `target`; stops the arm if it is still moving after `deadline_s` seconds.
    Returns True when the move finished in time."""
    robot.move_joint_async(target)
    deadline = time.monotonic() + deadline_s
    try:
        while robot.is_moving():
            if time.monotonic() >= deadline:
                robot.stop()
                while robot.is_moving():  # the arm brakes; is_moving() lifts the robot's own flag
                    time.sleep(POLL)
                return False
            time.sleep(POLL)  # other threads run here
        return True
    except BaseException:
        robot.stop()  # Ctrl-C (KeyboardInterrupt) or a failure: never leave the arm moving
        raise


def main():
    address = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"
    robot = liborvek.OrvekRobot(address)
    robot.enable()
    robot.set_speed(0.2)  # joint moves at 36 deg/s
    home = robot.state().joint
    near = list(home)
    near[0] += 10.0
    far = list(home)
    far[0] += 120.0
    for name, target, seconds in (("10 degrees", near, 2.0), ("120 degrees", far, 1.0)):
        started = time.monotonic()
        done = move_within(robot, target, seconds)
        outcome = "reached" if done else "deadline passed, stopped"
        print(f"{name} within {seconds:g} s: {outcome} after {time.monotonic() - started:.1f} s, "
              f"joint 1 at {robot.state().joint[0]:.1f}")


if __name__ == "__main__":
    main()
