"""orvek-view without a browser: its routes, following the arm, reconnecting, recording."""

import json
import os
import subprocess
import urllib.request

import liborvek
from conftest import next_loopback_host

from orvek_tools.recording import COLUMNS, read_recording
from viewer_support import VIEW, viewer  # noqa: F401  (fixture)


def test_state_follows_the_arm_and_matches_what_state_returns(sim, viewer, tmp_path):
    controller = sim()
    recording = tmp_path / "run.csv"
    view = viewer(controller.host, "--rate", "50", "--record", str(recording))
    at_home = view.wait_for(lambda s: s["connected"])
    assert at_home["joint"] == [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]

    robot = liborvek.OrvekRobot(controller.host)
    robot.enable()
    robot.set_speed(0.5)
    robot.move_joint([30, 60, -60, -90, -90, 20])
    state = robot.state()
    position, angles = state.pose_o_to_ee.euler()
    settled = view.wait_for(lambda s: s["joint"] == state.joint)
    assert settled["pose"] == [*position, *angles]
    assert settled["points"][0] == [0.0, 0.0, 0.0]
    assert all(abs(a - b) < 1e-6 for a, b in zip(settled["points"][-1], position))
    assert len(settled["axes"]) == 3

    status, body = view.get("/")
    assert status == 200 and b'<canvas id="arm"' in body and b"http" not in body.replace(b"http-equiv", b"")
    assert view.get("/viewer.js")[0] == 200 and view.get("/viewer.css")[0] == 200
    assert json.loads(view.get("/model.json")[1])["name"] == "orvek-sim arm"

    # Pushed samples: the first at once, then one per sample, each a newer one.
    with urllib.request.urlopen(view.url + "events", timeout=5) as events:
        assert events.headers["Content-Type"] == "text/event-stream"
        times = []
        while len(times) < 5:
            line = events.readline()
            if line.startswith(b"data: "):
                times.append(json.loads(line[6:])["t"])
    assert times == sorted(times) and len(set(times)) >= 4

    assert view.stop() == 0
    rows = read_recording(recording)
    assert len(rows) >= 10 and len(rows[0]) == len(COLUMNS)
    assert [0.0, 90.0, -90.0, -90.0, -90.0, 0.0] == rows[0][1:7]
    assert rows[-1][1:] == [*state.joint, *position, *angles]
    assert [r[0] for r in rows] == sorted(r[0] for r in rows)


def test_says_the_controller_went_away_and_reconnects_when_it_is_back(sim, viewer):
    controller = sim()
    view = viewer(controller.host)
    view.wait_for(lambda s: s["connected"])
    assert controller.stop() == 0
    gone = view.wait_for(lambda s: not s["connected"])
    assert gone["error"].startswith("PanicException: ")  # the read that found the connection closed
    assert gone["joint"] == [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]  # the last sample stays on show
    view.wait_for(lambda s: s["error"] == "PanicException: Connection refused (os error 111)")  # new robots
    back = sim(host=controller.host)
    view.wait_for(lambda s: s["connected"], timeout=5)
    attempts = [e for e in back.events() if e.get("event") == "open"]
    assert len(attempts) == 1  # one new robot, connected once


def test_before_any_sample_state_json_says_why(viewer):
    address = next_loopback_host()  # where no simulator listens
    view = viewer(address)
    state = view.wait_for(lambda s: s["error"] != f"connecting to {address}")
    assert view.get("state.json")[0] == 503
    assert state == {"t": None, "joint": None, "pose": None, "connected": False,
                     "error": "PanicException: Connection refused (os error 111)"}


def test_without_aiohttp_it_says_which_extra_to_install(tmp_path):
    (tmp_path / "aiohttp.py").write_text('raise ImportError("hidden by the test")\n')
    path = os.pathsep.join(filter(None, [str(tmp_path), os.environ.get("PYTHONPATH")]))
    result = subprocess.run([str(VIEW), "127.0.0.1", "--port", "0"], capture_output=True, text=True, timeout=60,
                            env={**os.environ, "PYTHONPATH": path})
    assert (result.returncode, result.stdout) == (2, "")
    assert result.stderr == 'orvek-view: needs aiohttp: pip install "liborvek[view]"\n'
