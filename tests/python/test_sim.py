"""orvek-sim driven by a plain socket client: the state machine, motion over time, servo
mode, framing, scripted replies, the request log and the process itself."""

import json
import math
import os
import signal
import socket
import subprocess
import time

import pytest

from conftest import find_sim_binary

HOME = [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]
OK = b'{"errorCode":"0","errorMsg":""}'
GET_DATA = {"cmdName": "get_data"}


class Client:
    """One connection speaking the controller protocol: a request, then its reply."""

    def __init__(self, host, timeout=5.0):
        self.sock = socket.create_connection((host, 10001), timeout=timeout)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.decoder = json.JSONDecoder()

    def send(self, request):
        data = request if isinstance(request, bytes) else json.dumps(request, separators=(",", ":")).encode()
        self.sock.sendall(data)

    def reply_bytes(self):
        data = b""
        while True:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError(f"closed after {data!r}")
            data += chunk
            try:
                text = data.decode()
                _, end = self.decoder.raw_decode(text)
            except ValueError:
                continue
            assert end == len(text), data
            return data

    def raw(self, request):
        self.send(request)
        return self.reply_bytes()

    def call(self, request):
        return json.loads(self.raw(request))

    def data(self):
        return self.call(GET_DATA)

    def enable(self):
        assert self.raw({"cmdName": "power_on"}) == OK
        assert self.raw({"cmdName": "enable_robot"}) == OK

    def wait_rest(self, limit=10.0):
        """Polls get_data every 5 ms; returns (seconds until rest, the state at rest, speeds seen)."""
        start = time.monotonic()
        speeds = []
        while time.monotonic() - start < limit:
            state = self.data()
            speeds.append(state["curr_tcp_trans_vel"])
            if state["curr_tcp_trans_vel"] <= 0.1:
                return time.monotonic() - start, state, speeds
            time.sleep(0.005)
        raise AssertionError("still moving")

    def closed(self, timeout=2.0):
        self.sock.settimeout(timeout)
        try:
            return self.sock.recv(1) == b""
        except ConnectionResetError:
            return True

    def close(self):
        self.sock.close()


def joint_move(target, speed=90.0, accel=400.0, rel=0):
    return {"accel": accel, "cmdName": "joint_move", "jointPosition": target, "relFlag": rel, "speed": speed}


def move_l(target, speed=200.0, accel=1000.0, rel=0):
    return {"accel": accel, "cartPosition": target, "cmdName": "moveL", "relFlag": rel, "speed": speed}


def error(code, message):
    return json.dumps({"errorCode": code, "errorMsg": message}, separators=(",", ":")).encode()


@pytest.fixture
def client(sim):
    c = Client(sim().host)
    yield c
    c.close()


# --- get_data -------------------------------------------------------------------------

U8_ARRAYS = {"din": 199, "dout": 199, "tio_din": 8, "tio_dout": 8, "relay_io": 2, "mb_slave_din": 128,
             "mb_slave_dout": 128, "pn_dev_din": 64, "pn_dev_dout": 64, "eip_adpt_din": 64, "eip_adpt_dout": 64,
             "homed": 9, "drag_near_limit": 6}
DOUBLE_ARRAYS = {"joint_actual_position": 6, "actual_position": 6, "ain": 128, "aout": 128, "tio_ain": 2,
                 "mb_slave_ain": 64, "mb_slave_aout": 64, "pn_dev_ain": 64, "pn_dev_aout": 64, "eip_adpt_ain": 48,
                 "eip_adpt_aout": 48}
U8S = ["task_state", "task_mode", "interp_state", "current_tool_id", "current_user_id", "protective_stop",
       "on_soft_limit", "emergency_stop", "powered_on", "executing_line"]
BOOLS = ["drag_status", "enabled", "paused", "inpos"]


def test_get_data_has_all_43_keys_with_their_types_and_lengths(client):
    raw = client.raw(GET_DATA)
    state = json.loads(raw)
    assert len(state) == 43
    assert set(state) == set(U8_ARRAYS) | set(DOUBLE_ARRAYS) | set(U8S) | set(BOOLS) | {
        "len", "rapidrate", "curr_tcp_trans_vel", "errorCode", "errorMsg"}
    for key, n in U8_ARRAYS.items():
        assert len(state[key]) == n and all(type(v) is int and 0 <= v <= 255 for v in state[key]), key
    for key, n in DOUBLE_ARRAYS.items():
        assert len(state[key]) == n and all(type(v) in (int, float) for v in state[key]), key
    for key in U8S:
        assert type(state[key]) is int and 0 <= state[key] <= 255, key
    for key in BOOLS:
        assert type(state[key]) is bool, key
    assert state["len"] == len(raw)
    assert (state["errorCode"], state["errorMsg"]) == ("0", "")


def test_start_up_state_is_powered_off_at_home_with_the_tool_pointing_down(client):
    state = client.data()
    assert state["joint_actual_position"] == HOME
    x, y, z, roll, pitch, yaw = state["actual_position"]
    assert (x, y, z) == pytest.approx((250.0, -120.0, 460.0), abs=1e-9)
    assert (abs(roll), pitch, yaw) == pytest.approx((math.pi, 0.0, math.pi / 2), abs=1e-9)
    assert (state["powered_on"], state["enabled"], state["task_state"], state["inpos"]) == (0, False, 1, True)
    assert state["curr_tcp_trans_vel"] == 0.0
    assert state["homed"] == [1] * 9


# --- power and enable -----------------------------------------------------------------

def test_enable_needs_power_and_motion_needs_enable(client):
    assert client.raw({"cmdName": "enable_robot"}) == error("3", "robot is not powered on")
    assert client.raw(joint_move(HOME)) == error("3", "robot is not powered on")
    assert client.raw({"cmdName": "disable_robot"}) == error("3", "robot is not powered on")
    assert client.raw({"cmdName": "power_on"}) == OK
    assert client.raw(joint_move(HOME)) == error("4", "robot is not enabled")
    assert client.raw({"cmdName": "servo_move", "relFlag": 1}) == error("4", "robot is not enabled")
    assert client.raw({"cmdName": "enable_robot"}) == OK
    state = client.data()
    assert (state["powered_on"], state["enabled"], state["task_state"]) == (1, True, 3)
    assert client.raw({"cmdName": "disable_robot"}) == OK
    assert client.data()["enabled"] is False
    assert client.raw({"cmdName": "power_off"}) == OK
    assert client.data()["powered_on"] == 0


def test_last_error_shows_in_get_data_until_clear_error(client):
    client.raw({"cmdName": "enable_robot"})
    state = client.data()
    assert (state["errorCode"], state["errorMsg"]) == ("3", "robot is not powered on")
    assert client.raw({"cmdName": "clear_error"}) == OK
    assert client.data()["errorCode"] == "0"


def test_unknown_unsupported_and_malformed_requests_get_error_replies(client):
    assert client.raw({"cmdName": "dance"}) == error("1", 'unknown command "dance"')
    assert client.raw({"cmdName": "kine_forward"}) == error("1", 'command "kine_forward" is not supported')
    assert client.raw({"speed": 1}) == error("2", 'missing "cmdName"')
    assert client.raw({"cmdName": 5}) == error("2", '"cmdName" must be a string')
    client.enable()
    move = joint_move(HOME)
    del move["speed"]
    assert client.raw(move) == error("2", 'missing "speed"')
    assert client.raw(joint_move([0] * 5)) == error("2", '"jointPosition" must be an array of 6 numbers')
    assert client.raw(joint_move(HOME, rel=2)) == error("2", '"relFlag" must be 0 or 1')
    assert client.raw(joint_move(HOME, rel=1.0)) == error("2", '"relFlag" must be an integer from 0 to 255')
    assert client.raw(b'{"accel":1,"cmdName":"joint_move","jointPosition":[0,0,0,0,0,0],"relFlag":0,"speed":null}') \
        == error("2", '"speed" must be a number')
    assert client.raw(joint_move(HOME, speed=0.0)) == error("6", "speed and accel must be greater than 0")
    assert client.raw(joint_move([361, 0, 0, 0, 0, 0])) == \
        error("6", "joint target outside the limits of -360 to 360 degrees")
    assert client.raw({"cmdName": "set_payload", "mass": -1.0, "centroid": [0, 0, 0]}) == \
        error("6", "mass must not be negative")
    assert client.raw({"cmdName": "set_payload", "mass": 1.5, "centroid": [0, 0, 50]}) == OK
    assert client.data()["joint_actual_position"] == HOME  # nothing refused moved the arm


# --- pre-planned motion ---------------------------------------------------------------

def test_joint_move_takes_its_profile_time_and_reports_speed_until_it_ends(client):
    client.enable()
    # 30 degrees at 60 deg/s with 240 deg/s^2: 0.25 s up, 0.25 s cruise, 0.25 s down.
    target = [30.0, 90.0, -90.0, -90.0, -90.0, 0.0]
    assert client.raw(joint_move(target, speed=60.0, accel=240.0)) == OK
    first = client.data()
    assert first["curr_tcp_trans_vel"] > 0.1 and first["inpos"] is False and first["interp_state"] == 1
    elapsed, state, speeds = client.wait_rest()
    assert 0.7 <= elapsed <= 0.95
    assert all(s > 0.1 for s in speeds[:-1])
    assert state["joint_actual_position"] == target  # exactly the degrees sent
    assert state["curr_tcp_trans_vel"] == 0.0 and state["inpos"] is True


def test_relative_joint_move_of_the_wrist_alone_still_reports_motion(client):
    client.enable()
    assert client.raw(joint_move([0, 0, 0, 0, 0, 45.0], speed=90.0, accel=180.0, rel=1)) == OK
    elapsed, state, speeds = client.wait_rest()
    assert 0.95 <= elapsed <= 1.25  # 45 deg at 180 deg/s^2 never reaches 90 deg/s: 0.5 s up, 0.5 s down
    assert speeds[0] >= 1.0
    assert state["joint_actual_position"] == HOME[:5] + [45.0]


def test_pose_is_forward_kinematics_of_the_joints(client):
    client.enable()
    assert client.raw(joint_move([0.0] * 6, speed=180.0, accel=720.0)) == OK
    _, state, _ = client.wait_rest()
    # Stretched out: x = a2 + a3, y = -(d4 + d6), z = d1 - d5; the flange turned a quarter about x.
    assert state["actual_position"] == pytest.approx([750.0, -210.0, 50.0, math.pi / 2, 0.0, 0.0], abs=1e-9)


def test_linear_move_follows_a_straight_line_to_its_target(client):
    client.enable()
    start = client.data()["actual_position"]
    target = [start[0] + 60.0, start[1] + 80.0] + start[2:]  # 100 mm across
    assert client.raw(move_l(target, speed=200.0, accel=1000.0)) == OK
    samples = []
    begin = time.monotonic()
    while True:
        state = client.data()
        if state["curr_tcp_trans_vel"] <= 0.1:
            break
        assert state["curr_tcp_trans_vel"] == pytest.approx(200.0)
        samples.append(state["actual_position"])
        time.sleep(0.01)
    elapsed = time.monotonic() - begin
    assert 0.65 <= elapsed <= 0.9  # 0.2 s up, 0.3 s cruise, 0.2 s down
    assert len(samples) > 10
    for x, y, z, *rpy in samples:
        # On the line through start with direction (0.6, 0.8, 0), orientation unchanged.
        assert (x - start[0]) * 0.8 - (y - start[1]) * 0.6 == pytest.approx(0.0, abs=1e-6)
        assert z == pytest.approx(start[2], abs=1e-6)
        assert [abs(rpy[0])] + rpy[1:] == pytest.approx([abs(start[3])] + start[4:], abs=1e-6)
    assert state["actual_position"] == pytest.approx(target, abs=1e-6)


def test_relative_linear_move_and_unreachable_targets(client):
    client.enable()
    start = client.data()["actual_position"]
    assert client.raw(move_l([0, 0, -50.0, 0, 0, 0], rel=1)) == OK
    _, state, _ = client.wait_rest()
    assert state["actual_position"][:3] == pytest.approx([start[0], start[1], start[2] - 50.0], abs=1e-6)
    assert client.raw(move_l([5000.0, 0, 0, 0, 0, 0])) == error("7", "target is out of reach along the line")
    assert client.data()["curr_tcp_trans_vel"] == 0.0
    assert client.raw(move_l(start, speed=-1.0)) == error("6", "speed and accel must be greater than 0")


def test_motions_sent_back_to_back_run_one_after_the_other(client):
    client.enable()
    assert client.raw(move_l([0, 0, -40.0, 0, 0, 0], rel=1)) == OK
    assert client.raw(move_l([0, 0, 40.0, 0, 0, 0], rel=1)) == OK  # planned from the first one's end
    elapsed, state, _ = client.wait_rest()
    assert 0.75 <= elapsed <= 1.05  # each 40 mm at 1000 mm/s^2: 0.2 s up, 0.2 s down
    assert state["actual_position"][:3] == pytest.approx([250.0, -120.0, 460.0], abs=1e-6)


def test_stop_program_halts_the_arm_where_it_is(client):
    client.enable()
    assert client.raw(joint_move([90.0, 0, 0, 0, 0, 0], speed=30.0, accel=300.0, rel=1)) == OK
    time.sleep(0.3)
    assert client.raw({"cmdName": "stop_program"}) == OK
    first = client.data()
    time.sleep(0.1)
    second = client.data()
    assert first["curr_tcp_trans_vel"] == 0.0
    assert first["joint_actual_position"] == second["joint_actual_position"]
    assert 3.0 < first["joint_actual_position"][0] < 15.0


# --- servo mode -----------------------------------------------------------------------

def test_servo_targets_apply_at_once_and_only_in_servo_mode(client):
    client.enable()
    step = {"cmdName": "servo_j", "jointPosition": [5.0] + HOME[1:], "relFlag": 0}
    assert client.raw(step) == error("8", "robot is not in servo mode")
    assert client.raw({"cmdName": "servo_move", "relFlag": 1}) == OK
    assert client.raw(joint_move(HOME)) == error("8", "robot is in servo mode")
    assert client.data()["task_mode"] == 1
    assert client.raw(step) == OK
    state = client.data()
    assert state["joint_actual_position"] == [5.0] + HOME[1:]
    assert state["curr_tcp_trans_vel"] > 0.1  # the tool moved in this step
    time.sleep(0.15)
    assert client.data()["curr_tcp_trans_vel"] == 0.0  # no step for a while: at rest

    target = [300.0, -100.0, 400.0, math.pi, 0.0, math.pi / 2]
    assert client.raw({"catPosition": target, "cmdName": "servo_p", "relFlag": 0}) == OK
    x, y, z, roll, pitch, yaw = client.data()["actual_position"]
    assert [x, y, z, abs(roll), pitch, yaw] == pytest.approx(target, abs=1e-6)
    assert client.raw({"catPosition": [0, 0, 3000.0, 0, 0, 0], "cmdName": "servo_p", "relFlag": 0}) == \
        error("7", "target is out of reach")

    assert client.raw({"cmdName": "servo_move", "relFlag": 0}) == OK
    assert client.raw(step) == error("8", "robot is not in servo mode")
    assert client.data()["task_mode"] == 0


def test_servo_mode_cannot_start_during_a_motion(client):
    client.enable()
    assert client.raw(joint_move([20.0, 0, 0, 0, 0, 0], rel=1)) == OK
    assert client.raw({"cmdName": "servo_move", "relFlag": 1}) == error("5", "robot is moving")


# --- framing and connections ------------------------------------------------------------

def test_requests_split_across_segments_and_braces_inside_strings(sim):
    s = sim()
    c = Client(s.host)
    for part in (b'{"cmd', b'Name":"get_da', b'ta"}'):
        c.send(part)
        time.sleep(0.05)
    assert len(json.loads(c.reply_bytes())) == 43
    assert c.raw(b' \n{"cmdName":"}{\\"]"}') == error("1", 'unknown command "}{"]"')
    assert s.requests()[-1] == '{"cmdName":"}{\\"]"}'


def test_two_requests_in_one_write_are_answered_in_turn(client):
    client.send(b'{"cmdName":"power_on"}{"cmdName":"enable_robot"}')
    data = b""
    while len(data) < 2 * len(OK):
        data += client.sock.recv(100)
    assert data == OK + OK
    assert client.data()["enabled"] is True


@pytest.mark.parametrize("garbage", [b"hello", b'{"cmdName":get_data}', b'{"cmdName":tru}', b'{"a":[}', b"[1]",
                                     b'{"a":"\x01"}', b'{"cmdName":"\xff"}'])
def test_garbage_drops_the_connection(sim, garbage):
    s = sim()
    c = Client(s.host)
    c.send(garbage)
    assert c.closed()
    assert s.events()[-1]["event"] == "drop"
    assert Client(s.host).call(GET_DATA)["len"] > 0  # the simulator itself carries on


def test_requests_sent_just_before_the_client_stops_sending_are_still_served(sim):
    s = sim()
    c = Client(s.host)
    c.send(b'{"cmdName":"power_on"}{"cmdName":"get_data"}{"cmdName":"get_')
    c.sock.shutdown(socket.SHUT_WR)
    data = b""
    while chunk := c.sock.recv(65536):  # until the simulator closes: the unfinished third is dropped
        data += chunk
    assert data.startswith(OK)
    assert json.loads(data[len(OK):])["powered_on"] == 1
    assert s.names() == ["power_on", "get_data"]
    assert s.events()[-1]["event"] == "close"


def test_oversized_request_drops_the_connection(sim):
    s = sim()
    c = Client(s.host)
    c.send(b'{"cmdName":"' + b"x" * 70000 + b'"}')
    assert c.closed()


def test_connections_share_one_controller(sim):
    s = sim()
    a, b = Client(s.host), Client(s.host)
    assert a.raw({"cmdName": "power_on"}) == OK
    assert b.data()["powered_on"] == 1
    a.close()
    assert b.data()["powered_on"] == 1
    conns = [(e["conn"], e["event"]) for e in s.events() if "event" in e]
    assert conns == [(1, "open"), (2, "open"), (1, "close")]


# --- scripts --------------------------------------------------------------------------

def test_scripted_reply_objects_raw_and_hex_bytes(sim):
    s = sim(script={
        "power_on": [{"reply": {"errorCode": "3", "errorMsg": "busy"}}, {"raw": '{"errorCode":"0" , "x":1}'}],
        "enable_robot": [{"hex": "7b 22 ff 7d"}],
        "dance": [{"reply": {"errorCode": "0", "errorMsg": "ok"}, "times": 2}],
    })
    c = Client(s.host)
    assert c.raw({"cmdName": "power_on"}) == b'{"errorCode":"3","errorMsg":"busy"}'
    assert c.raw({"cmdName": "power_on"}) == b'{"errorCode":"0" , "x":1}'
    assert c.raw({"cmdName": "power_on"}) == OK  # the queue is used up: simulated again
    c.send({"cmdName": "enable_robot"})
    assert c.sock.recv(100) == b'{"\xff}'
    assert c.call({"cmdName": "dance"}) == {"errorCode": "0", "errorMsg": "ok"}
    assert c.call({"cmdName": "dance"}) == {"errorCode": "0", "errorMsg": "ok"}
    assert c.raw({"cmdName": "dance"}) == error("1", 'unknown command "dance"')


def test_scripted_replies_leave_the_arm_alone_unless_executed(sim):
    s = sim(script={
        "power_on": [{"reply": {"errorCode": "9", "errorMsg": "no"}}],
        "enable_robot": [{"reply": {"errorCode": "9", "errorMsg": "no"}, "execute": True}],
    })
    c = Client(s.host)
    c.raw({"cmdName": "power_on"})
    assert c.data()["powered_on"] == 0
    assert c.raw({"cmdName": "power_on"}) == OK
    c.raw({"cmdName": "enable_robot"})
    assert c.data()["enabled"] is True


def test_segments_arrive_apart_after_the_delay(sim):
    s = sim(script={"get_data": [{"segments": ['{"errorCode":', {"hex": "22 30 22"}, ',"errorMsg":""}'],
                                  "pause_ms": 150, "delay_ms": 100}]})
    c = Client(s.host)
    start = time.monotonic()
    c.send(GET_DATA)
    got = [(c.sock.recv(100), time.monotonic() - start) for _ in range(3)]
    assert [g[0] for g in got] == [b'{"errorCode":', b'"0"', b',"errorMsg":""}']
    assert 0.09 <= got[0][1] < 0.2
    assert 0.24 <= got[1][1] < 0.35
    assert 0.39 <= got[2][1] < 0.5


def test_delayed_simulated_reply_and_no_reply(sim):
    s = sim(script={"power_on": [{"delay_ms": 200}], "enable_robot": [{"no_reply": True}]})
    c = Client(s.host)
    start = time.monotonic()
    assert c.raw({"cmdName": "power_on"}) == OK
    assert 0.19 <= time.monotonic() - start < 0.4
    c.send({"cmdName": "enable_robot"})
    c.sock.settimeout(0.3)
    with pytest.raises(socket.timeout):
        c.sock.recv(100)
    c.sock.settimeout(5)
    assert c.data()["enabled"] is False  # the unanswered request was not carried out
    assert s.names() == ["power_on", "enable_robot", "get_data"]


def test_close_instead_of_answering_and_close_after_answering(sim):
    s = sim(script={"power_on": [{"close": True}], "power_off": [{"raw": '{"errorCode":"0"', "then_close": True}]})
    c = Client(s.host)
    c.send({"cmdName": "power_on"})
    assert c.closed()
    c = Client(s.host)
    c.send({"cmdName": "power_off"})
    assert c.sock.recv(100) == b'{"errorCode":"0"'
    assert c.closed()
    assert [e["event"] for e in s.events() if "event" in e] == ["open", "hangup", "open", "hangup"]


def test_default_step_patches_every_get_data(sim):
    s = sim(script={"get_data": {
        "steps": [{}, {"remove": ["executing_line"]}],
        "default": {"patch": {"curr_tcp_trans_vel": 0.1000001, "extra": [1, 2]}},
    }})
    c = Client(s.host)
    assert len(c.data()) == 43
    removed = c.data()
    assert "executing_line" not in removed and len(removed) == 42
    for _ in range(3):
        raw = c.raw(GET_DATA)
        assert b'"curr_tcp_trans_vel":0.1000001,' in raw and raw.endswith(b',"extra":[1,2]}')
        assert json.loads(raw)["joint_actual_position"] == HOME


def test_steps_for_any_request_come_after_the_names_own_steps_and_before_defaults(sim):
    s = sim(script={
        "*": {"steps": [{"raw": '{"n":1}'}, {"raw": '{"n":2}'}], "default": {"reply": {"any": True}}},
        "power_on": [{"reply": {"own": True}}],
        "get_data": {"default": {"remove": ["len"]}},
    })
    c = Client(s.host)
    assert c.call({"cmdName": "power_on"}) == {"own": True}
    assert c.raw({"cmdName": "enable_robot"}) == b'{"n":1}'
    assert c.raw(GET_DATA) == b'{"n":2}'
    assert "len" not in c.data()
    assert c.call({"cmdName": "dance"}) == {"any": True}
    assert c.call({"speed": 1}) == {"any": True}
    assert c.data()["enabled"] is False  # no scripted step carried anything out


def test_bad_script_stops_start_up_with_the_place_of_the_fault(tmp_path):
    script = tmp_path / "bad.json"
    script.write_text('{"get_data": [{"reply": {}, "close": true}]}')
    result = subprocess.run([find_sim_binary(), "--host", "127.0.0.1", "--script", str(script)],
                            capture_output=True, text=True, timeout=10)
    assert result.returncode == 2
    assert result.stderr == (f"orvek-sim: script {script}: $.get_data[0]: "
                             "give at most one of reply, raw, hex, segments, no_reply, close\n")
    assert result.stdout == ""


# --- log and process ------------------------------------------------------------------

def test_log_has_every_request_verbatim_while_running(sim):
    s = sim()
    c = Client(s.host)
    c.raw(b'  {"cmdName" : "power_on"}')
    c.raw(b'{"cmdName":"caf\xc3\xa9"}')
    c.send(b'{"cmdName":"\xff"}')  # not UTF-8: dropped, logged byte by byte
    assert c.closed()
    events = s.events()
    assert [e.get("raw") for e in events] == [
        None, '{"cmdName" : "power_on"}', '{"cmdName":"caf\u00e9"}', '{"cmdName":"\u00ff"}', None]
    assert events[-1]["event"] == "drop"
    assert all(e["conn"] == 1 for e in events)
    times = [e["t"] for e in events]
    assert times == sorted(times)


def test_ready_line_and_clean_stop_on_signals():
    for sig in (signal.SIGINT, signal.SIGTERM):
        process = subprocess.Popen([find_sim_binary(), "--host", "127.0.99.7"], stdout=subprocess.PIPE)
        try:
            assert process.stdout.readline() == b"orvek-sim listening on 127.0.99.7:10001\n"
            Client("127.0.99.7").close()
            process.send_signal(sig)
            assert process.wait(5) == 0
        finally:
            process.kill()
            process.wait()
            process.stdout.close()


def test_help_and_bad_arguments():
    result = subprocess.run([find_sim_binary(), "--help"], capture_output=True, text=True, timeout=10)
    assert result.returncode == 0
    assert result.stdout.startswith("usage: orvek-sim [--host ADDR] [--script FILE] [--log FILE]\n")
    result = subprocess.run([find_sim_binary(), "--port", "1"], capture_output=True, text=True, timeout=10)
    assert result.returncode == 2
    assert result.stderr.startswith("orvek-sim: unknown argument --port\n")


def _has_ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6) as probe:
            probe.bind(("::1", 0))
        return True
    except OSError:
        return False


@pytest.mark.skipif(not _has_ipv6_loopback(), reason="no IPv6 loopback here")
def test_ipv6_loopback():
    process = subprocess.Popen([find_sim_binary(), "--host", "::1"], stdout=subprocess.PIPE)
    try:
        line = process.stdout.readline()
        if b"listening" not in line:
            pytest.skip("[::1]:10001 is taken")
        assert line == b"orvek-sim listening on [::1]:10001\n"
        c = Client("::1")
        assert c.raw({"cmdName": "power_on"}) == OK
        c.close()
    finally:
        process.send_signal(signal.SIGTERM)
        assert process.wait(5) == 0
        process.stdout.close()
