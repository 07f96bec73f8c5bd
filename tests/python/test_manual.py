"""The manual's pages against the library: every Python block of the pages (docs/*.md) and of the
README runs against orvek-sim, and every message the library's sources can produce is explained
in Troubleshooting. (The programs of examples/ that the pages include are run by
test_examples.py; the C++ blocks are compiled by make test-cpp-package; the built site is read in
a browser by make test-docs.)"""

from __future__ import annotations

import re
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
DOCS = REPO / "docs"
pytestmark = pytest.mark.source_tree
if not DOCS.is_dir():  # the installed module tested without its source tree (make test-wheels)
    pytest.skip("the pages are files of docs/ in the source tree", allow_module_level=True)

# --- the Python blocks of the pages ------------------------------------------------------------

FENCE = re.compile(r"^```python\n(.*?)^```$", re.M | re.S)


def python_blocks():
    for page in [REPO / "README.md", *sorted(DOCS.rglob("*.md"))]:
        text = page.read_text(encoding="utf-8")
        for match in FENCE.finditer(text):
            line = text.count("\n", 0, match.start()) + 1
            yield pytest.param(match[1], id=f"{page.relative_to(REPO)}:{line}")


BLOCKS = list(python_blocks())


def test_the_pages_have_python_blocks():
    pages = {block.id.split(":")[0] for block in BLOCKS}
    assert {"README.md", "docs/concepts.md", "docs/realtime.md", "docs/simulator.md"} <= pages


@pytest.mark.parametrize("code", BLOCKS)
def test_a_python_block_of_the_pages_runs_against_orvek_sim(sim, code):
    """Each block is a program a reader may paste: it runs on its own, in a process of its own,
    against a fresh simulator. The pages address the simulator as 127.0.0.1; here it listens on
    an address of the test's own, which replaces that one."""
    assert "127.0.0.1" in code or "OrvekRobot(" not in code, "a block that connects must name its address"
    controller = sim()
    done = subprocess.run([sys.executable, "-c", code.replace("127.0.0.1", controller.host)],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr


# --- every message in Troubleshooting ---------------------------------------------------------

LITERAL = r'"((?:[^"\\]|\\.)*)"'
LITERALS = r'((?:"(?:[^"\\]|\\.)*"\s*)+)'


def joined(literals: str) -> str:
    """Adjacent C++ string literals as the one text they make."""
    return "".join(bytes(part, "utf-8").decode("unicode_escape") for part in re.findall(LITERAL, literals))


def sources(*patterns: str) -> list[Path]:
    return sorted(path for pattern in patterns for path in REPO.glob(pattern))


def library_messages() -> dict[str, set[str]]:
    """The texts the library's sources can produce, by where they come from. A text made with
    printf conversions (%s, %zd, ...) or completed at run time (a message + a name) is kept as
    its fixed parts, matched with anything in between."""
    found: dict[str, set[str]] = {}

    def add(kind: str, text: str) -> None:
        found.setdefault(kind, set()).add(text.strip())

    # The kinds of RobotException, as their display texts begin.
    kinds = (REPO / "robot_behavior/src/exception.cpp").read_text()
    for name, prefix in re.findall(r'\{"(\w+)", "([^"]*)"\}', kinds):
        if name != "NoException":
            add("kind", prefix)
    # Refusals and internal failures of the behaviour layer, the transport, the driver and the
    # binding: the texts given to the error's factories and to panic.
    for path in sources("src/**/*.[ch]pp", "robot_behavior/**/*.[ch]pp"):
        text = path.read_text()
        for match in re.finditer(r"(?:RobotException::\w+|\bpanic|raise_panic)\(\s*(?:std::string\()?" + LITERALS, text):
            add("failure", joined(match[1]))
        for match in re.finditer(r"constexpr std::string_view k\w+Missing =\s*" + LITERALS, text):
            add("failure", joined(match[1]))
    # The binding's Python errors: every text it sets, each branch of a choice on its own.
    for path in sources("src/ffi/*.[ch]pp"):
        for match in re.finditer(r"PyErr_(?:SetString|Format)\(\s*PyExc_\w+,\s*(.*?)\);", path.read_text(), re.S):
            argument = match[1]
            if text := re.match(r"\s*" + LITERALS, argument):
                add("python", joined(text[1]))  # the format; what follows are its values
            else:  # a choice between texts
                for literal in re.findall(LITERAL, argument):
                    add("python", joined(f'"{literal}"'))
    # The texts of replies that are not JSON, one per parser error code.
    for literal in re.findall(r"return " + LITERAL, (REPO / "robot_behavior/src/parser_error_text.cpp").read_text()):
        add("reply", joined(f'"{literal}"'))
    # Path files and pose texts: the messages of a malformed text and of a misshapen one.
    for path in sources("robot_behavior/src/json_syntax.cpp", "robot_behavior/src/path_file.cpp"):
        text = path.read_text()
        for match in re.finditer(r'(?:\bfail\(|\bshape\(|Fault\{)\s*[\w.]+,\s*(?:std::string\()?(?:R"\((.*?)\)"|' + LITERAL + ")",
                                 text):
            add("text", match[1] if match[1] is not None else joined(f'"{match[2]}"'))
    # The simulator's refusals: every message it replies with, under its code.
    controller = (REPO / "sim/controller.cpp").read_text()
    for literal in re.findall(r"reply_error\(code::\w+,\s*" + LITERAL, controller):
        add("sim", joined(f'"{literal}"'))
    for literal in re.findall(r"constexpr std::string_view k\w+ = " + LITERAL, controller):
        add("sim", joined(f'"{literal}"'))
    for literal in re.findall(r"return " + LITERAL, (REPO / "sim/motion.cpp").read_text()):
        add("sim", joined(f'"{literal}"'))
    for code in re.findall(r'constexpr std::string_view k\w+ = "(\d+)";', (REPO / "sim/controller.hpp").read_text()):
        add("sim code", f'"{code}"')
    return found


def as_pattern(message: str) -> re.Pattern:
    """The message's fixed parts in order, with anything between them where a printf
    conversion stands."""
    parts = re.split(r"%(?:zu|zd|s|U|d)", message)
    return re.compile(".*?".join(re.escape(part) for part in parts))


def test_every_message_the_library_can_produce_is_explained_in_troubleshooting():
    page = (DOCS / "troubleshooting.md").read_text(encoding="utf-8")
    messages = library_messages()
    # Each source gave what it must: a change that hides the messages from this test fails it.
    expected = {"kind": 10, "failure": 10, "python": 15, "reply": 30, "text": 20, "sim": 10, "sim code": 8}
    counts = {kind: len(found) for kind, found in messages.items()}
    assert all(counts.get(kind, 0) >= least for kind, least in expected.items()), counts
    assert "Robot is moving" in messages["failure"] and "TCP command stream is not initialized" in messages["failure"]
    missing = sorted(f"{kind}: {message!r}" for kind, found in messages.items() for message in found
                     if message and not as_pattern(message).search(page))
    assert missing == []
