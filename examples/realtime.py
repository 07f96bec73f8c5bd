"""Realtime control: stream a smooth joint trajectory to the controller in servo mode.

    python examples/realtime.py [ADDRESS]      # default 127.0.0.1, e.g. an orvek-sim

The library calls `step(state, period)` once per cycle and sends the joint target it returns
("servo_j"), one command and one reply per cycle, until the function says it is finished.
The loop itself never sleeps: a cycle takes as long as the function plus one round trip.
This example runs the trajectory twice:

  paced     the function waits for the next 8 ms tick (time.perf_counter) before it answers,
            so the arm gets a target every 8 ms, as a real controller expects;
  unpaced   the function answers at once, which shows how fast the loop itself can go.

The `state` the library passes to the function is a placeholder (zeros and the default pose),
not a reading from the controller, so the trajectory starts from `robot.state()`, read once
before the loop.
"""

import math
import sys
import time

import liborvek

AMPLITUDE = 10.0  # degrees, on the first joint
DURATION = 2.0  # seconds of trajectory
PERIOD = 0.008  # the nominal cycle the library reports to the function
CYCLES = round(DURATION / PERIOD)


def run(robot, start, paced):
    """Streams one trajectory; returns the times at which the function was called."""
    calls = []

    def step(_state, period):
        k = len(calls)
        if paced and calls:
            deadline = calls[0] + k * period
            # Sleep most of the way, spin the last millisecond (sleep can overshoot).
            while (left := deadline - time.perf_counter()) > 0:
                if left > 0.001:
                    time.sleep(left - 0.001)
        calls.append(time.perf_counter())
        if k >= CYCLES:
            return start, True
        # Raised cosine: starts and ends at rest, no jump in position or speed.
        phase = 2.0 * math.pi * k / CYCLES
        target = list(start)
        target[0] += AMPLITUDE * (1.0 - math.cos(phase)) / 2.0
        return target, False

    robot.move_joint_with_closure(step)
    return calls


def report(name, calls):
    # The last call only says "finished"; the cycles are the intervals between calls.
    intervals = [b - a for a, b in zip(calls, calls[1:])]
    total = calls[-1] - calls[0]
    print(
        f"{name:>8}: {len(intervals)} cycles in {total:.3f} s, {len(intervals) / total:,.0f} Hz, "
        f"mean cycle {1e6 * total / len(intervals):,.1f} us, worst cycle {1e6 * max(intervals):,.1f} us"
    )


def main():
    address = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"
    robot = liborvek.OrvekRobot(address)
    robot.enable()
    start = robot.state().joint
    print(f"realtime: {AMPLITUDE:g} degree raised-cosine on joint 1 over {DURATION:g} s, "
          f"{CYCLES} targets at a nominal {PERIOD * 1000:g} ms")
    for name, paced in (("paced", True), ("unpaced", False)):
        report(name, run(robot, start, paced))


if __name__ == "__main__":
    main()
