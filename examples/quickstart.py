"""Quickstart: connect to an arm's controller, move the arm, read where it is.

    python examples/quickstart.py [ADDRESS]      # default 127.0.0.1, e.g. an orvek-sim

The library converts no unit: every number goes to the controller exactly as given and comes
back exactly as sent. The numbers below are in orvek-sim's units (joints in degrees, positions
in millimetres, pose angles in radians); check your controller's before you copy them.
"""

import sys

from liborvek import LoadState, OrvekRobot


def numbers(values, digits=1):
    return "[" + ", ".join(f"{v:.{digits}f}" for v in values) + "]"


address = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"

# Connecting can fail; the library reports that as its internal-failure exception,
# PanicException, which derives from BaseException (not Exception).
print(f"connecting to {address}:10001")
try:
    robot = OrvekRobot(address)
except BaseException as error:
    if type(error).__name__ != "PanicException":
        raise
    sys.exit(f"cannot reach the controller at {address}: {error}")

print("powering on and enabling the arm")
robot.enable()

# 0.2 of full speed for every later move: joints 36 deg/s and 80 deg/s^2,
# linear moves 200 mm/s and 800 mm/s^2.
print("speed: set_speed(0.2)")
robot.set_speed(0.2)

# Blocking moves return once the arm is at rest (Ctrl-C while waiting stops the arm).
target = [30, 90, -90, -90, -90, 0]
print(f"joint move to {target} ...")
robot.move_joint(target)
print("  at rest")

print("linear move 50 mm straight down, relative to the tool's current position ...")
robot.move_linear_with_euler_rel([0, 0, -50, 0, 0, 0])
print("  at rest")

state = robot.state()
position, angles = state.pose_o_to_ee.euler()
print("state:")
print("  joints          ", numbers(state.joint))
print("  tool position   ", numbers(position))
print("  roll, pitch, yaw", numbers(angles, 3))

payload = LoadState(1.5, [0, 0, 50], [0] * 9)  # mass, centre of mass, inertia (not sent)
print(f"payload: {payload}")
robot.set_load(payload)

# The controller refuses what it cannot do; the library raises Exception with its code and message.
print("joint move to 400 degrees on the first joint ...")
try:
    robot.move_joint([400, 90, -90, -90, -90, 0])
except Exception as error:
    print(f"  refused: {error}")

print("disabling and powering off")
robot.disable()
robot.shutdown()
print("done")
