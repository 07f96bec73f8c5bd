"""OrvekRobot against a controller that misbehaves: bytes that are no reply, replies at and past
the size bound, replies dripped byte by byte, a reply that never comes, a connection closed
mid-reply, invalid UTF-8, and every "get_data" field with a wrong type or length.

Each call ends as the library promises: a PanicException (or success where reassembly makes
the reply whole), never a crash; the robot serves the next call, or, after a dropped stream,
reports it without touching the socket; memory stays bounded."""

import gc
import json
import os
import time

import pytest

from liborvek import OrvekRobot
from outcomes import panic_text, robot_error, rss_bytes, traced_growth, under_address_sanitizer

HOME = [0.0, 90.0, -90.0, -90.0, -90.0, 0.0]  # where the simulated arm starts
MAX_REPLY = 1 << 20
STRUCTURE = "The JSON document has an improper structure: missing or superfluous commas, braces, missing keys, etc."
NOT_UTF8 = "The input is not valid UTF-8"
NOT_INITIALIZED = "Network exception: TCP command stream is not initialized"


def default_reply(code, message):
    return json.dumps({"errorCode": code, "errorMsg": message}, separators=(",", ":"))


def still_serves(robot):
    """The connection still carries exchanges: the simulated arm's state comes back."""
    assert robot.state().joint == HOME
    robot.stop()


# The 43 keys of "get_data": the kind of value and, for arrays, the exact length.
GET_DATA = {
    "len": ("u16", None), "joint_actual_position": ("double", 6), "drag_status": ("bool", None),
    "actual_position": ("double", 6), "din": ("u8", 199), "dout": ("u8", 199), "ain": ("double", 128),
    "aout": ("double", 128), "tio_din": ("u8", 8), "tio_dout": ("u8", 8), "tio_ain": ("double", 2),
    "relay_io": ("u8", 2), "mb_slave_din": ("u8", 128), "mb_slave_dout": ("u8", 128),
    "mb_slave_ain": ("double", 64), "mb_slave_aout": ("double", 64), "pn_dev_din": ("u8", 64),
    "pn_dev_dout": ("u8", 64), "pn_dev_ain": ("double", 64), "pn_dev_aout": ("double", 64),
    "eip_adpt_din": ("u8", 64), "eip_adpt_dout": ("u8", 64), "eip_adpt_ain": ("double", 48),
    "eip_adpt_aout": ("double", 48), "task_state": ("u8", None), "homed": ("u8", 9), "task_mode": ("u8", None),
    "interp_state": ("u8", None), "enabled": ("bool", None), "paused": ("bool", None),
    "rapidrate": ("double", None), "current_tool_id": ("u8", None), "current_user_id": ("u8", None),
    "protective_stop": ("u8", None), "on_soft_limit": ("u8", None), "emergency_stop": ("u8", None),
    "drag_near_limit": ("u8", 6), "powered_on": ("u8", None), "inpos": ("bool", None),
    "executing_line": ("u8", None), "curr_tcp_trans_vel": ("double", None), "errorCode": ("string", None),
    "errorMsg": ("string", None),
}

GOOD = {"u16": 7, "u8": 255, "bool": True, "double": -1.5, "string": "0"}
BAD = {
    "u16": [70000, 65536, -1, 1.5, True, "7", None],
    "u8": [256, -1, 1.5, True, "1", None, [1]],
    "bool": [1, 0, "true", None, [True]],
    "double": ["1.0", None, True, [1.0], {}],
    "string": [0, None, True, ["0"], {"code": "0"}],
}


def bad_values(kind, length):
    if length is None:
        return BAD[kind]
    good = GOOD[kind]
    return [
        [good] * (length - 1),
        [good] * (length + 1),
        [],
        [[good]] * length,  # nested one level too deep
        [BAD[kind][0]] + [good] * (length - 1),
        [good] * (length - 1) + [BAD[kind][1]],
        good,  # a single value where an array belongs
        None,
    ]


def good_get_data():
    """A complete, valid "get_data" reply built from the table (not the simulator's)."""
    reply = {}
    for index, (key, (kind, length)) in enumerate(GET_DATA.items()):
        value = GOOD[kind]
        if kind == "double":
            value = index + 0.25
        reply[key] = value if length is None else [value] * length
    reply["joint_actual_position"] = [1.5, -2.0, 3.25, 0.0, 1e-3, 180.0]
    return reply


def test_the_table_describes_a_reply_that_reads(sim):
    assert len(GET_DATA) == 43
    controller = sim(script={"get_data": [{"reply": good_get_data()}]})
    robot = OrvekRobot(controller.host)
    assert robot.state().joint == [1.5, -2.0, 3.25, 0.0, 1e-3, 180.0]


# --- bytes that are no reply ------------------------------------------------------------------

CALLS = {
    "stop_program": lambda robot: robot.stop(),   # a DefaultState reply
    "get_data": lambda robot: robot.state(),      # a GetDataState reply
}

NO_REPLY = [
    ({"raw": "hello"}, STRUCTURE),
    ({"hex": "00 01 02 ff fe 80"}, STRUCTURE),
    ({"raw": '{"errorCode":"0","errorMsg":"x"} junk'}, STRUCTURE),
    ({"raw": '{"errorCode":"0","errorMsg":"x"}{"errorCode":"0","errorMsg":"x"}'}, STRUCTURE),
    ({"raw": '{"errorCode":"0",,"errorMsg":"x"}'}, STRUCTURE),
    ({"raw": '{"errorCode":"0","errorMsg":"x"]'}, STRUCTURE),
    ({"raw": '{"errorCode":"0","errorMsg":"tab\there"}'}, None),
    ({"raw": '{"errorCode":"0","errorMsg":"\\q"}'}, None),
    ({"raw": '{"errorCode":tru}'}, None),
    ({"raw": '{"errorCode":-}'}, None),
    ({"hex": '7b 22 65 72 72 6f 72 43 6f 64 65 22 3a 22 ff 22 7d'}, NOT_UTF8),       # {"errorCode":"\xff"}
    ({"hex": '7b 22 65 72 72 6f 72 43 6f 64 65 22 3a 22 c0 af 22 7d'}, NOT_UTF8),    # an overlong "/"
    ({"hex": '7b 22 65 72 72 6f 72 43 6f 64 65 22 3a 22 ed a0 80 22 7d'}, NOT_UTF8),  # a surrogate
    ({"hex": '7b 22 65 72 72 6f 72 43 6f 64 65 22 3a 22 f4 90 80 80 22 7d'}, NOT_UTF8),  # above U+10FFFF
    ({"hex": '7b 22 65 72 72 6f 72 43 6f 64 65 22 3a 22 e2 82 22 7d'}, NOT_UTF8),     # a cut character
    ({"hex": '7b 22 65 72 72 ff 72 43 6f 64 65 22 3a 22 30 22 7d'}, NOT_UTF8),        # inside a key
    ({"reply": [1, 2, 3]}, "Deserialize error:"),
    ({"reply": "errorCode"}, "Deserialize error:"),
    ({"raw": "0"}, "Deserialize error:"),
    ({"reply": {"errorCode": 0, "errorMsg": ""}}, "Deserialize error:"),
]


@pytest.mark.parametrize("command", CALLS)
@pytest.mark.parametrize("step, message", NO_REPLY, ids=[json.dumps(s)[:40] for s, _ in NO_REPLY])
def test_bytes_that_are_no_reply_end_the_call_and_the_connection_serves_on(sim, command, step, message):
    controller = sim(script={command: [step]})
    robot = OrvekRobot(controller.host)
    text = panic_text(lambda: CALLS[command](robot))
    assert text
    if message:
        assert text.startswith(message), text
    still_serves(robot)
    assert controller.names()[0] == command


# --- size -------------------------------------------------------------------------------------

def padded_reply(code, size):
    """A DefaultState reply of exactly `size` bytes, its message all "x"."""
    frame = default_reply(code, "")
    return default_reply(code, "x" * (size - len(frame)))


def test_a_reply_of_1_mib_is_reassembled_whole(sim):
    text = padded_reply("7", MAX_REPLY)
    assert len(text.encode()) == MAX_REPLY
    controller = sim(script={"stop_program": [{"raw": text}], "get_data": [{"patch": {"pad": "y" * (MAX_REPLY - 65536)}}]})
    robot = OrvekRobot(controller.host)
    error = robot_error(robot.stop)
    assert error == "Command exception: [7: " + "x" * (MAX_REPLY - len(default_reply("7", ""))) + "]"
    # A status reply of almost 1 MiB (an unknown key takes the room) reads as usual.
    assert robot.state().joint == HOME
    still_serves(robot)


@pytest.mark.parametrize("size", [MAX_REPLY + 1, 4 * MAX_REPLY])
def test_a_reply_longer_than_1_mib_drops_the_stream(sim, size):
    controller = sim(script={"stop_program": [{"raw": padded_reply("0", size)}]})
    robot = OrvekRobot(controller.host)
    assert panic_text(robot.stop) == f"the controller's reply is longer than {MAX_REPLY} bytes"
    # The rest of that reply must never be read as the answer to a later command.
    for call in (robot.stop, robot.state, robot.enable, lambda: robot.move_joint_async(HOME)):
        assert robot_error(call) == NOT_INITIALIZED
    assert controller.names() == ["stop_program"]
    assert robot.forward_kinematics([0] * 6) is not None  # what needs no controller still works


def test_memory_stays_bounded_under_large_and_faulty_replies(sim):
    big = padded_reply("0", MAX_REPLY)
    controller = sim(script={
        "stop_program": {"steps": [{"raw": big, "times": 40}], "default": {"raw": "hello"}},
        "get_data": {"default": {"patch": {"din": [0] * 198}}},
    })
    robot = OrvekRobot(controller.host)
    robot.stop()  # the reply buffer grows to its bound once
    gc.collect()
    rss_before = rss_bytes()
    for _ in range(39):
        robot.stop()
    if not under_address_sanitizer():
        assert rss_bytes() - rss_before < 8 * MAX_REPLY

    def faults():
        panic_text(robot.stop)
        panic_text(robot.state)

    for _ in range(200):
        faults()
    rss_before = rss_bytes()
    growth = traced_growth(faults, 3000)
    assert growth < 32 * 1024, growth
    if not under_address_sanitizer():
        assert rss_bytes() - rss_before < 1024 * 1024


# --- timing -----------------------------------------------------------------------------------

def test_a_reply_dripped_one_byte_at_a_time_is_reassembled(sim):
    text = default_reply("5", "dripped, \u00e9 \U0001d11e")
    data = good_get_data()
    status = json.dumps(data, separators=(",", ":"))
    controller = sim(script={
        # Multi-byte characters are cut between their bytes too.
        "stop_program": [{"segments": [{"hex": f"{b:02x}"} for b in text.encode()], "pause_ms": 1}],
        "get_data": [{"segments": list(status), "pause_ms": 0}],
    })
    robot = OrvekRobot(controller.host)
    assert robot_error(robot.stop) == "Command exception: [5: dripped, \u00e9 \U0001d11e]"
    assert robot.state().joint == data["joint_actual_position"]
    still_serves(robot)


def test_a_reply_cut_inside_its_tokens_is_reassembled(sim):
    text = ' {"errorCode" : "-1.5e+3", "errorMsg":"a\\"b\\\\c\\u00e9","extra":[true,false,null,-0.5E-2,{}]} '
    # Inside whitespace, a key, an escape, a \u escape, a literal, a number after its "E".
    cuts = sorted([1, text.index("Code") + 2, text.index('\\"b') + 1, text.index("u00e9") + 2,
                   text.index("false") + 3, text.index("E-2") + 1, len(text) - 2])
    segments = [text[a:b] for a, b in zip([0] + cuts, cuts + [len(text)])]
    controller = sim(script={"stop_program": [{"segments": segments, "pause_ms": 2}]})
    robot = OrvekRobot(controller.host)
    assert robot_error(robot.stop) == 'Command exception: [-1.5e+3: a"b\\c\u00e9]'
    still_serves(robot)


def test_bytes_that_can_never_become_a_reply_end_the_wait_at_once(sim):
    # The second segment would come 20 s later; the first already shows the fault.
    controller = sim(script={"stop_program": [{"segments": ['{"errorCode":"0"]', "}"], "pause_ms": 20000}]})
    robot = OrvekRobot(controller.host)
    start = time.monotonic()
    assert panic_text(robot.stop) == STRUCTURE
    assert time.monotonic() - start < 5


@pytest.mark.slow
def test_a_reply_that_never_comes_times_out_and_drops_the_stream(sim):
    controller = sim(script={"stop_program": [{"no_reply": True}]})
    robot = OrvekRobot(controller.host)
    start = time.monotonic()
    assert panic_text(robot.stop) == "Connection timed out (os error 110)"
    assert 29.5 < time.monotonic() - start < 45
    start = time.monotonic()
    assert robot_error(robot.state) == NOT_INITIALIZED
    assert time.monotonic() - start < 1
    assert controller.names() == ["stop_program"]


# --- the peer goes away -----------------------------------------------------------------------

@pytest.mark.parametrize("step, message", [
    ({"segments": ['{"errorCode":"0","err'], "then_close": True}, "A string is opened, but never closed."),
    ({"segments": ['{"errorCode":"0","errorMsg":"x"'], "then_close": True}, None),
    ({"segments": ['{"errorCode":'], "then_close": True}, None),
    ({"close": True}, "Empty: no JSON found"),
])
@pytest.mark.parametrize("command", CALLS)
def test_a_connection_closed_mid_reply_fails_each_later_call_with_a_panic(sim, command, step, message):
    controller = sim(script={command: [step]})
    robot = OrvekRobot(controller.host)
    text = panic_text(lambda: CALLS[command](robot))
    if message:
        assert text == message
    # No RobotException, no crash: each later exchange meets the closed peer.
    for call in (robot.stop, robot.state, robot.stop):
        assert panic_text(call)
    del robot
    gc.collect()


# --- every field of "get_data" ----------------------------------------------------------------

@pytest.mark.parametrize("key", GET_DATA)
def test_each_get_data_field_with_a_wrong_type_or_length_fails_the_whole_reply(sim, key):
    kind, length = GET_DATA[key]
    bad = bad_values(kind, length)
    controller = sim(script={"get_data": [{"patch": {key: value}} for value in bad] + [{"remove": [key]}]})
    robot = OrvekRobot(controller.host)
    for value in bad:
        text = panic_text(robot.state)
        assert text.startswith("Deserialize error: ") and f'key "{key}"' in text, (value, text)
    assert panic_text(robot.state) == f'Deserialize error: missing key "{key}"'
    assert robot.state().joint == HOME
    assert controller.names() == ["get_data"] * (len(bad) + 2)
