"""orvek-plot and what it reads: orvek-sim's log with the arm's samples (--log-joints),
and viewer recordings."""

import os
import struct
import subprocess
import sys
import time
from pathlib import Path

import liborvek
import pytest

from orvek_tools.recording import RecordingWriter
from orvek_tools.runs import cycle_intervals, read_run

PLOT = Path(sys.executable).parent / "orvek-plot"


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", data[16:24])


def test_a_simulator_log_gives_samples_commands_and_the_servo_run(sim, tmp_path):
    controller = sim(args=["--log-joints", "200"])
    robot = liborvek.OrvekRobot(controller.host)
    robot.enable()
    robot.set_speed(0.5)
    robot.move_joint([10, 90, -90, -90, -90, 0])
    start = robot.state().joint
    sent = []

    def step(_state, _period):
        if len(sent) == 40:
            return sent[-1], True
        sent.append([start[0] + 0.25 * len(sent)] + start[1:])
        return sent[-1], False

    robot.move_joint_with_closure(step)
    time.sleep(0.05)
    final = robot.state().joint
    controller.stop()

    run = read_run(controller.log_path)
    assert [name for _, name in run.commands] == ["power_on", "enable_robot", "joint_move", "servo on", "servo off"]
    assert len(run.servo_runs) == 1
    servo = run.servo_runs[0]
    assert servo.targets == sent  # a finished step sends nothing
    assert len(cycle_intervals(servo)) == 39 and min(cycle_intervals(servo)) > 0
    # Samples: about 200 a second, following the move, ending where state() said.
    span = run.times[-1] - run.times[0]
    assert 0.5 * 200 * span < len(run.times) <= 200 * span + 2
    assert run.joints[0] == [0.0, 90.0, -90.0, -90.0, -90.0, 0.0] and run.joints[-1] == final
    assert any(0.0 < q[0] < 10.0 for q in run.joints)  # caught during the joint move
    times, speeds = run.tool_speeds()
    assert max(speeds) > 10 and speeds[-1] == 0.0  # at rest at the end

    out = tmp_path / "run.png"
    result = subprocess.run([str(PLOT), str(controller.log_path), "-o", str(out)], capture_output=True, text=True,
                            timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout == f"orvek-plot: wrote {out}\n"
    width, height = png_size(out)
    assert (width, height) == (800, 570)  # the motion rows and one servo row


def test_recordings_plot_and_bad_inputs_say_what_is_wrong(tmp_path):
    recording = tmp_path / "rec.csv"
    writer = RecordingWriter(recording)
    for k in range(50):
        writer.write(k * 0.02, [k * 0.5, 90, -90, -90, -90, 0], [250 + k, -120, 460, 3.14, 0, 1.57])
    writer.close()
    with open(recording, "a") as f:
        f.write("1.0,2.0")  # the row being written when the viewer stopped
    run = read_run(recording)
    assert len(run.times) == 50 and run.commands == [] and run.servo_runs == []
    assert run.tool_speeds()[1] == pytest.approx([50.0] * 49)  # 1 mm every 20 ms

    out = tmp_path / "rec.png"
    assert subprocess.run([str(PLOT), str(recording), "-o", str(out)], capture_output=True, timeout=120).returncode == 0
    assert png_size(out)[0] == 800

    garbage = tmp_path / "garbage.txt"
    garbage.write_text("hello\nworld\n")
    result = subprocess.run([str(PLOT), str(garbage), "-o", str(out)], capture_output=True, text=True, timeout=120)
    assert result.returncode == 1
    assert result.stderr == f"orvek-plot: {garbage}:1: neither a recording nor an orvek-sim log line\n"


def test_without_matplotlib_it_says_which_extra_to_install(tmp_path):
    (tmp_path / "matplotlib.py").write_text('raise ImportError("hidden by the test")\n')
    recording = tmp_path / "rec.csv"
    writer = RecordingWriter(recording)
    writer.write(0.0, [0, 90, -90, -90, -90, 0], [250, -120, 460, 3.14, 0, 1.57])
    writer.close()
    out = tmp_path / "rec.png"
    path = os.pathsep.join(filter(None, [str(tmp_path), os.environ.get("PYTHONPATH")]))
    result = subprocess.run([str(PLOT), str(recording), "-o", str(out)], capture_output=True, text=True, timeout=60,
                            env={**os.environ, "PYTHONPATH": path})
    assert (result.returncode, result.stdout) == (2, "")
    assert result.stderr == 'orvek-plot: needs matplotlib: pip install "liborvek[plot]"\n'
    assert not out.exists()


def test_log_joints_needs_a_log_and_a_rate():
    binary = str(Path(sys.executable).parent / "orvek-sim")
    for args, message in ((["--log-joints", "50"], "orvek-sim: --log-joints needs --log\n"),
                          (["--log", "/dev/null", "--log-joints", "0"],
                           "orvek-sim: --log-joints must be a number from 1 to 1000, not 0\n")):
        result = subprocess.run([binary, *args], capture_output=True, text=True, timeout=10)
        assert result.returncode == 2 and result.stderr.startswith(message)
