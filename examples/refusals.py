"""Reading the controller's refusals, and clearing its error.

    python examples/refusals.py [ADDRESS]      # default 127.0.0.1, e.g. an orvek-sim

A command the controller refuses raises the built-in Exception with the text
"Command exception: [CODE: MESSAGE]", CODE and MESSAGE as the controller sent them. The
codes are the controller's; orvek-sim's are listed in sim/README.md, for instance
"3" not powered on, "4" not enabled, "5" moving or queue full, "6" a value out of range,
"7" out of reach, "8" servo mode. A refusal by the library itself has no code: "Command
exception: Robot is moving" (a move it started may still be running) and "Invalid
instruction error: ..." (nothing was sent). The controller keeps its last error until
`clear_emergency_stop()` ("clear_error") resets it.
"""

import re
import sys

import liborvek

REFUSAL = re.compile(r"Command exception: \[(.*?): (.*)\]\Z", re.DOTALL)


def refusal(error: Exception) -> tuple[str, str] | None:
    """The controller's (code, message) of a refusal; None for any other failure."""
    found = REFUSAL.match(str(error)) if type(error) is Exception else None
    return (found[1], found[2]) if found else None


def main():
    address = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"
    robot = liborvek.OrvekRobot(address)
    robot.init()  # powered on, not enabled
    home = robot.state().joint
    target = list(home)
    target[0] += 5.0
    for attempt in range(2):
        try:
            robot.move_joint(target)
            print("moved")
            break
        except Exception as error:
            code, message = refusal(error) or ("?", str(error))
            print(f"refused, code {code}: {message}")
            if code != "4":
                raise
            robot.enable()  # "4": not enabled; enable and try once more
    target[0] = 400.0
    try:
        robot.move_joint(target)
    except Exception as error:
        print("refused, code {}: {}".format(*(refusal(error) or ("?", str(error)))))
    robot.clear_emergency_stop()
    print("error cleared")
    robot.move_joint(home)
    print("back home")


if __name__ == "__main__":
    main()
