"""The programs of examples/ that the manual includes (Quickstart, Realtime control, Program
patterns), each run against orvek-sim as a user would run it, in a process of its own."""

import re
import subprocess
import sys
import time
from pathlib import Path

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


def run_example(name, *args, timeout=60):
    done = subprocess.run([sys.executable, str(EXAMPLES / name), *args], capture_output=True, text=True,
                          timeout=timeout)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_a_move_past_its_deadline_is_stopped_where_it_is(sim):
    controller = sim()
    out = run_example("deadline.py", controller.host).splitlines()
    assert re.fullmatch(r"10 degrees within 2 s: reached after 0\.\d s, joint 1 at 10\.0", out[0])
    # 120 degrees at 36 deg/s would take 3.8 s; stopped after 1 s, part of the way.
    found = re.fullmatch(r"120 degrees within 1 s: deadline passed, stopped after 1\.\d s, joint 1 at (\d+\.\d)", out[1])
    assert found and 20 < float(found[1]) < 60
    names = controller.names()
    assert names.count("joint_move") == 2 and names.count("stop_program") == 1


def test_a_watchdog_thread_runs_while_the_main_thread_polls_but_not_during_a_blocking_move(sim):
    out = run_example("watchdog.py", sim().host)
    found = re.fullmatch(r"watchdog every 10 ms; longest gap during a blocking move: (\d+\.\d\d) s, "
                         r"during the same move polled with sleeps: (\d+\.\d\d) s\n", out)
    assert found
    assert float(found[1]) > 0.9  # the 20-degree move lasts 1.1 s, all of it with the lock held
    assert float(found[2]) < 0.5


def test_several_arms_move_at_once_as_processes_and_in_turn_as_threads(sim):
    first, second = sim(), sim()
    out = run_example("several_arms.py", first.host, second.host).splitlines()
    assert out[:2] == [f"{first.host}: back at joint 1 = 0.0", f"{second.host}: back at joint 1 = 0.0"]
    found = re.fullmatch(r"2 arms: (\d+\.\d) s as one process each, (\d+\.\d) s as threads of one process", out[2])
    # Each arm's two moves take 2.2 s: side by side as processes; as threads the arms take
    # turns (a waiting call holds the interpreter lock), about twice as long. The figures are
    # rounded to 0.1 s and the polls of the waits can end a move up to 0.1 s early.
    assert found, out[2]
    processes, threads = float(found[1]), float(found[2])
    assert processes < 3.0 and threads > 1.5 * processes, out[2]
    for controller in (first, second):
        assert controller.names().count("joint_move") == 4


def test_a_worker_that_meets_a_panic_reports_it_instead_of_hanging_the_pool(sim):
    gone = sim()
    gone.stop()  # nothing listens there any more
    done = subprocess.run([sys.executable, str(EXAMPLES / "several_arms.py"), gone.host], capture_output=True,
                          text=True, timeout=60)
    assert done.returncode == 1
    assert done.stdout == f"{gone.host}: failed: PanicException: Connection refused (os error 111)\n"


def test_reconnecting_after_the_controller_restarted(sim):
    controller = sim()
    child = subprocess.Popen([sys.executable, str(EXAMPLES / "reconnect.py"), controller.host, "4"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "connected\n"
        time.sleep(0.5)
        controller.stop()
        time.sleep(1.2)
        restarted = sim(host=controller.host)
        out, err = child.communicate(timeout=30)
    finally:
        if child.poll() is None:
            child.kill()
            child.communicate()
    assert child.returncode == 0, err
    lines = out.splitlines()
    assert lines[0] == "connection lost: PanicException: Empty: no JSON found"
    assert set(lines[1:-2]) <= {"  not there yet: Connection refused (os error 111)"} and len(lines) >= 4
    assert lines[-2:] == ["reconnected", "done"]
    assert restarted.names()[:2] == ["power_on", "enable_robot"]


def test_refusal_codes_are_read_and_the_error_cleared(sim):
    controller = sim()
    assert run_example("refusals.py", controller.host) == (
        "refused, code 4: robot is not enabled\n"
        "moved\n"
        "refused, code 6: joint target outside the limits of -360 to 360 degrees\n"
        "error cleared\n"
        "back home\n")
    assert controller.names().count("clear_error") == 1


def test_the_quickstart_prints_what_the_manual_shows(sim):
    controller = sim()
    shown = (EXAMPLES / "quickstart.out").read_text().replace("127.0.0.1", controller.host)
    assert run_example("quickstart.py", controller.host) == shown
    assert controller.names().count("joint_move") == 2 and controller.names()[-2:] == ["disable_robot", "power_off"]


def test_the_realtime_example_streams_its_trajectory_paced_and_unpaced(sim):
    controller = sim()
    lines = run_example("realtime.py", controller.host).splitlines()
    assert lines[0] == "realtime: 10 degree raised-cosine on joint 1 over 2 s, 250 targets at a nominal 8 ms"
    paced, unpaced = (re.fullmatch(rf" *{name}: 250 cycles in (\d+\.\d+) s, [\d,]+ Hz, .*", line)
                      for name, line in zip(("paced", "unpaced"), lines[1:]))
    assert paced and unpaced, lines
    assert 1.9 < float(paced[1]) < 4.0  # one target every 8 ms, give or take a busy machine
    assert controller.names().count("servo_j") == 2 * 250
