"""The viewer's kinematic model: the simulator's arm from the one model file both use, and
other arms from files of the same kind."""

import json
import math
import random
import socket

import pytest

import liborvek
from orvek_tools.model import ArmModel, ModelError


def exchange(sock, decoder, request):
    sock.sendall(json.dumps(request).encode())
    data = b""
    while True:
        data += sock.recv(65536)
        try:
            return decoder.raw_decode(data.decode())[0]
        except ValueError:
            continue


def test_the_model_puts_the_tool_where_the_simulator_reports_it(sim):
    controller = sim()
    model = ArmModel.load()
    rng = random.Random(13)
    with socket.create_connection((controller.host, 10001), timeout=5) as sock:
        decoder = json.JSONDecoder()
        for name in ("power_on", "enable_robot"):
            assert exchange(sock, decoder, {"cmdName": name})["errorCode"] == "0"
        assert exchange(sock, decoder, {"cmdName": "servo_move", "relFlag": 1})["errorCode"] == "0"
        poses = [[0.0] * 6, [0, 90, -90, -90, -90, 0]] + [[rng.uniform(-350, 350) for _ in range(6)] for _ in range(300)]
        worst_position = worst_rotation = 0.0
        for joints in poses:
            reply = exchange(sock, decoder, {"cmdName": "servo_j", "jointPosition": joints, "relFlag": 0})
            assert reply["errorCode"] == "0", reply
            data = exchange(sock, decoder, {"cmdName": "get_data"})
            tool = model.tool(data["joint_actual_position"])
            reported = data["actual_position"]
            worst_position = max(worst_position, max(abs(a - b) for a, b in zip(tool.position, reported[:3])))
            homo = liborvek.Pose.Euler(reported[:3], reported[3:]).homo()  # column by column
            rotation = [homo[4 * c + r] for r in range(3) for c in range(3)]  # row by row, as the model's
            worst_rotation = max(worst_rotation, max(abs(a - b) for a, b in zip(tool.rotation, rotation)))
    assert worst_position <= 1e-6  # mm
    assert worst_rotation <= 1e-9


def test_a_model_file_for_another_arm(tmp_path):
    # A planar arm of six 100 mm links about parallel axes, joints in radians, one offset.
    links = [{"d": 0, "a": 100, "alpha": 0} for _ in range(6)]
    links[0]["offset"] = 90
    path = tmp_path / "planar.json"
    path.write_text(json.dumps({"name": "planar", "joint_unit": "rad", "links": links}))
    model = ArmModel.load(path)
    assert model.name == "planar"
    stretched = model.tool([0.0] * 6).position
    assert stretched == pytest.approx((0.0, 600.0, 0.0), abs=1e-9)
    folded = model.frames([0.0, math.pi / 2, 0.0, 0.0, 0.0, 0.0])
    assert [round(c, 9) for c in folded[2].position] == [-100.0, 100.0, 0.0]
    assert folded[-1].position == pytest.approx((-500.0, 100.0, 0.0), abs=1e-9)


@pytest.mark.parametrize("content, message", [
    ("{", "not JSON"),
    ('{"links": []}', '"links" must be a list of 6 links'),
    ('{"joint_unit": "grad", "links": []}', '"joint_unit" must be "deg" or "rad"'),
    ('{"links": [{"d": 0, "a": 0, "alpha": 0}, {"d": 0, "a": 0}, 1, 2, 3, 4]}', 'links[1]: "alpha" must be a finite number'),
    ('{"links": [{"d": true, "a": 0, "alpha": 0}, 0, 1, 2, 3, 4]}', 'links[0]: "d" must be a finite number'),
])
def test_a_model_file_that_cannot_be_used_says_where(tmp_path, content, message):
    path = tmp_path / "bad.json"
    path.write_text(content)
    with pytest.raises(ModelError) as error:
        ArmModel.load(path)
    assert str(error.value).startswith(f"{path}: ")
    assert message in str(error.value)
    with pytest.raises(ModelError, match="No such file"):
        ArmModel.load(tmp_path / "missing.json")
