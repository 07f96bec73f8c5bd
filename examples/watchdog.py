"""A watchdog (or GUI) thread beside a program that moves the arm.

    python examples/watchdog.py [ADDRESS]      # default 127.0.0.1, e.g. an orvek-sim

Every call of the library holds the interpreter lock while it waits for the controller:
during a blocking move, a realtime run or a slow reply, no other Python thread runs. A
thread of yours gets its turns while the main thread is in Python code or in anything that
releases the lock, such as `time.sleep`. So a program with a watchdog or a GUI thread moves
the arm with the `_async` forms and polls `is_moving()` with sleeps in between (see
examples/deadline.py); the watchdog then ticks on time. This example measures the longest
gap between the watchdog's ticks during a blocking move and during the same move polled.

Ctrl-C: Python delivers signals to the main thread only. A blocking wait for rest ends
with KeyboardInterrupt within one poll period and stops the arm; in your own polling loop,
catch KeyboardInterrupt and call `stop()`, as move_within() in examples/deadline.py does.
A watchdog thread that wants the program to stop can call `_thread.interrupt_main()`; it
takes effect when the main thread next runs Python code.
"""

import sys
import threading
import time

import liborvek

TICK = 0.01  # the watchdog's period


class Watchdog(threading.Thread):
    """Ticks every TICK seconds and records the longest gap between two ticks."""

    def __init__(self):
        super().__init__(daemon=True)
        self.longest = 0.0
        self.running = threading.Event()

    def run(self):
        last = time.monotonic()
        while not self.running.is_set():
            time.sleep(TICK)
            now = time.monotonic()
            self.longest = max(self.longest, now - last)
            last = now

    def measure(self, work):
        self.longest = 0.0
        work()
        time.sleep(2 * TICK)  # one more tick, to close the last gap
        return self.longest


def main():
    address = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"
    robot = liborvek.OrvekRobot(address)
    robot.enable()
    robot.set_speed(0.2)
    home = robot.state().joint
    away = list(home)
    away[0] += 20.0

    def polled():
        robot.move_joint_async(home)
        while robot.is_moving():
            time.sleep(0.05)

    watchdog = Watchdog()
    watchdog.start()
    blocked = watchdog.measure(lambda: robot.move_joint(away))
    free = watchdog.measure(polled)
    watchdog.running.set()
    print(f"watchdog every {TICK * 1000:g} ms; longest gap during a blocking move: {blocked:.2f} s, "
          f"during the same move polled with sleeps: {free:.2f} s")


if __name__ == "__main__":
    main()
