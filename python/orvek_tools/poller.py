"""Reads the arm's state at a fixed rate and writes one JSON line per sample to standard output.

    python -m orvek_tools.poller ADDRESS RATE

The viewer runs this in a process of its own: every call of the library keeps the Python
interpreter lock while it waits for the controller (up to its 30 s exchange time-out), and the
web server must go on answering meanwhile. Lines:

    {"t": 1.234, "joint": [...6], "pose": [x, y, z, roll, pitch, yaw]}
    {"t": 1.250, "error": "text"}      the connection failed or ended; reconnecting

When the controller goes away, a new OrvekRobot is made every second until one answers.
"""

from __future__ import annotations

import json
import sys
import time

import liborvek

RECONNECT_PERIOD = 1.0


def failure_text(error: BaseException) -> str:
    """The text of a failure of the library; anything else (Ctrl-C, exit) goes on up."""
    if not isinstance(error, Exception) and type(error).__name__ != "PanicException":
        raise error
    return f"{type(error).__name__}: {error}" if str(error) else type(error).__name__


def emit(line: dict) -> None:
    sys.stdout.write(json.dumps(line, separators=(",", ":")) + "\n")
    sys.stdout.flush()


def poll(address: str, rate: float) -> None:
    period = 1.0 / rate
    start = time.monotonic()
    robot = None
    last_attempt = -RECONNECT_PERIOD
    tick = start
    while True:
        now = time.monotonic()
        if robot is None:
            if now - last_attempt < RECONNECT_PERIOD:
                time.sleep(last_attempt + RECONNECT_PERIOD - now)
                continue
            last_attempt = now
            try:
                robot = liborvek.OrvekRobot(address)
            except BaseException as error:  # PanicException (internal failure) is no Exception
                emit({"t": round(time.monotonic() - start, 6), "error": failure_text(error)})
                continue
            tick = time.monotonic()
        try:
            state = robot.state()
            position, angles = state.pose_o_to_ee.euler()
        except BaseException as error:  # PanicException (internal failure) is no Exception
            robot = None
            emit({"t": round(time.monotonic() - start, 6), "error": failure_text(error)})
            continue
        emit({"t": round(time.monotonic() - start, 6), "joint": list(state.joint), "pose": [*position, *angles]})
        # A fixed schedule: the next tick after now, skipping any that were missed.
        tick += period
        late = time.monotonic() - tick
        if late > 0:
            tick += period * (int(late / period) + 1)
        time.sleep(max(0.0, tick - time.monotonic()))


def main() -> None:
    address, rate = sys.argv[1], float(sys.argv[2])
    try:
        poll(address, rate)
    except (KeyboardInterrupt, BrokenPipeError):
        pass


if __name__ == "__main__":
    main()
