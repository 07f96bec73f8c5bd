"""Reconnecting after the controller went away (restarted, cable pulled, switched off).

    python examples/reconnect.py [ADDRESS] [SECONDS]   # default 127.0.0.1, 10 s

The library never reconnects by itself. When the connection is lost, a call that needs the
controller raises PanicException (a BaseException, recognised by its class name) with the
system's text: "Empty: no JSON found" when the controller closed the connection, "Broken
pipe (os error 32)" or "Connection reset by peer (os error 104)" after that, "Connection
timed out (os error 110)" after 30 s without a reply. After a time-out the robot drops the
connection itself, and later calls raise Exception "Network exception: TCP command stream is
not initialized". In every case: make a new OrvekRobot (its constructor raises
PanicException while the controller does not accept connections) and set it up again: a
restarted controller is powered off and has forgotten speeds and payload.

Only reads are retried here: whether a command that failed was carried out cannot be known,
so a motion is never repeated blindly. This example reads the state every 0.2 s for SECONDS
and reconnects whenever the connection is lost.
"""

import sys
import time

import liborvek

NOT_INITIALIZED = "Network exception: TCP command stream is not initialized"


def connection_lost(error: BaseException) -> bool:
    """True for the failures after which this robot object cannot talk to the controller."""
    if type(error).__name__ == "PanicException":
        return str(error) != "not implemented"
    return type(error) is Exception and str(error) == NOT_INITIALIZED


def connect(address: str, give_up_after: float = 30.0) -> liborvek.OrvekRobot:
    """A new robot, enabled; retries every second while the controller is not there."""
    deadline = time.monotonic() + give_up_after
    while True:
        try:
            robot = liborvek.OrvekRobot(address)
            robot.enable()
            return robot
        except BaseException as error:
            if not connection_lost(error) or time.monotonic() > deadline:
                raise
            print(f"  not there yet: {error}", flush=True)
            time.sleep(1.0)


def main():
    address = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    robot = connect(address)
    print("connected", flush=True)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            robot.state()
        except BaseException as error:
            if not connection_lost(error):
                raise
            print(f"connection lost: {type(error).__name__}: {error}", flush=True)
            robot = connect(address)
            print("reconnected", flush=True)
        time.sleep(0.2)
    print("done")


if __name__ == "__main__":
    main()
