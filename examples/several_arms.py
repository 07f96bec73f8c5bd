"""Several arms from one program: one process per arm.

    python examples/several_arms.py ADDRESS [ADDRESS ...]    # e.g. two orvek-sims

Each call of the library holds the interpreter lock while it waits for its controller, so
threads of one process take turns: while one thread's blocking move waits, the thread of the
second arm cannot even send its command. With one process per arm (multiprocessing), each
process has its own interpreter and its own lock, and the arms move at the same time. Each
process makes its own OrvekRobot: a robot object cannot be sent to another process.
This example makes the same move on every arm both ways and prints how long each took.
"""

import multiprocessing
import sys
import threading
import time

import liborvek


def move_there_and_back(address):
    """One arm's work: runs in its own process (or, for comparison, its own thread)."""
    robot = liborvek.OrvekRobot(address)
    robot.enable()
    robot.set_speed(0.2)
    home = robot.state().joint
    away = list(home)
    away[0] += 20.0
    robot.move_joint(away)
    robot.move_joint(home)
    return address, robot.state().joint[0]


def arm_worker(address):
    """move_there_and_back in a worker process: its outcome as (address, joint 1 or None, error)."""
    try:
        return *move_there_and_back(address), None
    except KeyboardInterrupt:
        raise
    except BaseException as error:  # Exception and PanicException alike
        return address, None, f"{type(error).__name__}: {error}"


def main():
    addresses = sys.argv[1:] or ["127.0.0.1"]
    started = time.monotonic()
    with multiprocessing.get_context("spawn").Pool(len(addresses)) as pool:
        results = pool.map(arm_worker, addresses)
    in_processes = time.monotonic() - started
    for address, joint, error in results:
        print(f"{address}: failed: {error}" if error else f"{address}: back at joint 1 = {joint:.1f}")
    if any(error for _, _, error in results):
        sys.exit(1)

    started = time.monotonic()
    threads = [threading.Thread(target=move_there_and_back, args=(a,)) for a in addresses]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    in_threads = time.monotonic() - started
    print(f"{len(addresses)} arms: {in_processes:.1f} s as one process each, {in_threads:.1f} s as threads of one process")


if __name__ == "__main__":
    main()
