"""One measurement in a process of its own, for bench/run.py. Prints one line of JSON.

    worker.py realtime lib|pure HOST CYCLES WARMUP [quiet]  per-cycle times of the servo loop
    worker.py state lib|pure HOST COUNT WARMUP [quiet]      per-call times of state()
    worker.py alloc HOST CYCLES                      C++ allocations per cycle / per state()
                                                     (needs the counting library preloaded)
    worker.py pose SECONDS FLOOR_DIR                 Pose conversions: liborvek vs the C floor
                                                     (pose_floor in FLOOR_DIR) and pose_formulas
    worker.py memory HOST ROBOTS                     resident memory per connected OrvekRobot
    worker.py import                                 time of `import liborvek` in this process

The realtime user function is the same for both clients: it notes the time of each call and
returns six zeros, then finished after CYCLES targets. A sample is the time from one call to
the next: building the state, the call, reading the result and one round trip. With "quiet"
the samples are not printed ({} instead), so that counting instructions counts only the calls.
"""

from __future__ import annotations

import gc
import json
import os
import statistics
import sys
import time
import timeit

HERE = os.path.dirname(os.path.abspath(__file__))


def emit(value) -> None:
    sys.stdout.write(json.dumps(value) + "\n")


def connect(kind: str, host: str):
    if kind == "lib":
        import liborvek

        robot = liborvek.OrvekRobot(host)
    else:
        sys.path.insert(0, HERE)
        import pure_client

        robot = pure_client.PureRobot(host)
    robot.enable()
    return robot


def step_function(cycles: int):
    calls: list[int] = []
    clock = time.perf_counter_ns
    target = [0.0, 0.0, 0.0, 0.0, 0.0, 0.0]
    going = (target, False)
    done = (target, True)

    def step(state, period):
        calls.append(clock())
        return done if len(calls) > cycles else going

    return step, calls


def realtime(kind: str, host: str, cycles: int, warmup: int, quiet: bool) -> None:
    robot = connect(kind, host)
    step, _ = step_function(warmup)
    robot.move_joint_with_closure(step)
    step, calls = step_function(cycles)
    robot.move_joint_with_closure(step)
    emit({} if quiet else {"samples_ns": [b - a for a, b in zip(calls, calls[1:])]})


def state(kind: str, host: str, count: int, warmup: int, quiet: bool) -> None:
    robot = connect(kind, host)
    clock = time.perf_counter_ns
    call = robot.state
    for _ in range(warmup):
        call()
    samples = []
    for _ in range(count):
        start = clock()
        call()
        samples.append(clock() - start)
    emit({} if quiet else {"samples_ns": samples})


def alloc(host: str, cycles: int) -> None:
    """Counts operator new calls in this process (all of them come from liborvek's C++)."""
    import ctypes

    counter = ctypes.CDLL(os.environ["ORVEK_COUNT_NEW"]).orvek_bench_new_count
    counter.restype = ctypes.c_ulonglong
    # The counter works in this process: the library's own constructor allocates its buffers.
    before = counter()
    robot = connect("lib", host)
    constructed = counter() - before

    def counted_run(n):
        marks = []
        target = [0.0] * 6

        def step(_state, _period):
            marks.append(counter())
            return target, len(marks) > n

        robot.move_joint_with_closure(step)
        per_cycle = [b - a for a, b in zip(marks, marks[1:])]
        return per_cycle[10:]  # the steady state

    counted_run(100)
    per_cycle = counted_run(cycles)
    states = []
    for _ in range(1000):
        start = counter()
        robot.state()
        states.append(counter() - start)
    emit({
        "construction": constructed,
        "cycles": len(per_cycle),
        "allocations": sum(per_cycle),
        "max_per_cycle": max(per_cycle),
        "state_calls": len(states) - 10,
        "state_allocations": sum(states[10:]),
    })


def rss_bytes() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def memory(host: str, count: int) -> None:
    import liborvek

    gc.disable()
    first = liborvek.OrvekRobot(host)  # classes created, first-use costs paid
    first.state()
    robots = []
    base = rss_bytes()
    for _ in range(count):
        robots.append(liborvek.OrvekRobot(host))
    connected = rss_bytes()
    for robot in robots:
        robot.state()
    used = rss_bytes()
    emit({
        "robots": count,
        "connected_bytes": (connected - base) / count,
        "after_state_bytes": (used - base) / count,
    })


def import_time() -> None:
    start = time.perf_counter_ns()
    import liborvek  # noqa: F401

    emit({"import_ns": time.perf_counter_ns() - start, "module": liborvek.__file__})


# --- Pose conversions ---------------------------------------------------------------------------

# Source poses: a general orientation in each representation.
EULER = ([400.0, -20.0, 300.0], [0.3, -0.7, 2.1])
QUAT = ([400.0, -20.0, 300.0], [0.1825742, 0.3651484, 0.5477226, 0.7302967])
AXIS = ([400.0, -20.0, 300.0], [1.0, 2.0, 3.0], 1.2)
POSITION = ([400.0, -20.0, 300.0],)
METHODS = ("euler", "quat", "homo", "axis_angle", "position")


def pose_pairs():
    import liborvek

    sys.path.insert(0, HERE)
    import pose_formulas as pf

    homo = liborvek.Pose.Euler(*EULER).homo()
    return [
        ("Euler", liborvek.Pose.Euler(*EULER), pf.Euler(*EULER)),
        ("Quat", liborvek.Pose.Quat(*QUAT), pf.Quat(*QUAT)),
        ("Homo", liborvek.Pose.Homo(homo), pf.Homo(homo)),
        ("AxisAngle", liborvek.Pose.AxisAngle(*AXIS), pf.AxisAngle(*AXIS)),
        ("Position", liborvek.Pose.Position(*POSITION), pf.Position(*POSITION)),
    ]


def flat(value):
    if isinstance(value, (tuple, list)):
        return [x for item in value for x in flat(item)]
    return [value]


def per_call_ns(call, seconds: float) -> float:
    """Median over 7 repeats of the time per call, each repeat about seconds / 7 long."""
    timer = timeit.Timer(call)
    number, elapsed = timer.autorange()
    number = max(1, int(number * (seconds / 7) / max(elapsed, 1e-9)))
    runs = sorted(timer.repeat(repeat=7, number=number))
    return runs[3] / number * 1e9


def paired_ns(ours, floor, seconds: float, repeats: int = 15) -> tuple[float, float, float]:
    """Two callables timed in turns, `repeats` times each, about seconds / repeats per pair:
    the fastest repeat of each (the call without the machine's interruptions) and the median
    of the per-repeat ratios ours / floor (a pair runs within milliseconds, in one spell of
    the machine, so a slow spell falls on both)."""
    timers = [timeit.Timer(ours), timeit.Timer(floor)]
    numbers = []
    for timer in timers:
        number, elapsed = timer.autorange()
        numbers.append(max(1, int(number * (seconds / (2 * repeats)) / max(elapsed, 1e-9))))
    runs: list[list[float]] = [[], []]
    for _ in range(repeats):
        for k in (0, 1):
            runs[k].append(timers[k].timeit(numbers[k]) / numbers[k] * 1e9)
    return min(runs[0]), min(runs[1]), statistics.median(a / b for a, b in zip(*runs))


def shape(value):
    if isinstance(value, (tuple, list)):
        return (type(value).__name__, [shape(item) for item in value])
    return type(value).__name__


def pose(seconds: float, floor_dir: str) -> None:
    """Each method from each source: liborvek, the C floor of its result, pure Python."""
    sys.path.insert(0, floor_dir)
    import pose_floor

    results = []
    for source, lib, pure in pose_pairs():
        for method in METHODS:
            ours = getattr(lib, method)
            theirs = getattr(pure, method)
            a, b = flat(ours()), flat(theirs())
            agree = len(a) == len(b) and all(abs(x - y) <= 1e-9 * max(1.0, abs(x)) for x, y in zip(a, b))
            build = getattr(pose_floor, method)
            lib_ns, floor_ns, to_floor = paired_ns(ours, build, seconds)
            results.append({
                "source": source,
                "method": method,
                "agree": agree,
                "same_shape": shape(ours()) == shape(build()),
                "lib_ns": lib_ns,
                "floor_ns": floor_ns,
                "to_floor": to_floor,
                "pure_ns": per_call_ns(theirs, seconds / 4),
            })
    emit({"pose": results})


def main(argv: list[str]) -> None:
    mode = argv[1]
    quiet = argv[-1] == "quiet"
    if mode == "realtime":
        realtime(argv[2], argv[3], int(argv[4]), int(argv[5]), quiet)
    elif mode == "state":
        state(argv[2], argv[3], int(argv[4]), int(argv[5]), quiet)
    elif mode == "alloc":
        alloc(argv[2], int(argv[3]))
    elif mode == "memory":
        memory(argv[2], int(argv[3]))
    elif mode == "pose":
        pose(float(argv[2]), argv[3])
    elif mode == "import":
        import_time()
    else:
        raise SystemExit(f"unknown mode {mode}")


if __name__ == "__main__":
    main(sys.argv)
