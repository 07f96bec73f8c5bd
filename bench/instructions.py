"""Instructions per call in the client process, counted by callgrind, split by where they go.

Used by bench/run.py. Each client runs twice under `valgrind --tool=callgrind`, with a short
and a long count of calls after the same warm-up; the difference divided by the difference
of the counts is the steady-state cost of one call, free of start-up and shut-down. The
instructions of each function (its own, not those of the functions it calls) are put in one
of these groups by the function's name and the object it lives in:

    reading    simdjson, the transport's reply scanner and the reply records' readers (one-pass
               and strict)
    writing    the request writers and the number formatting under them
    syscalls   the C library's system call wrappers (send, recv, poll, ...); the kernel's
               own work is not counted by callgrind, so the count of calls is given too
               (without clock reads, which natively never enter the kernel)
    python     the interpreter and the binding (building and reading Python objects)
    rest       everything else: the driver, the transport's loop, the benchmark's loop

Under valgrind the CPU offers no AVX-512, so simdjson picks its haswell kernel, not the one
it picks natively; the counts compare clients with each other, not with the native times.
"""

from __future__ import annotations

import os
import re
import subprocess
import tempfile
from pathlib import Path

GROUPS = ("reading", "writing", "syscalls", "python", "rest")

READING = re.compile(r"simdjson|JsonScanner|orvek::one_pass::|orvek::(\(anonymous namespace\)::)?(read_|deserialize_|try_read|mismatch)"
                     r"|orvek::.*::(read_fields|read_record|read_value|read_member|field_index)")
WRITING = re.compile(r"serialize_into|append_json_number|append_json_list|append_number|put_number|shortest_digits"
                     r"|put_positional|put_exponent|orvek::json::|to_chars|__to_chars|ryu|d2s|f2s|fmt::")
SYSCALLS = re.compile(r"^(__GI_|__libc_|__)?(send|sendto|recv|recvfrom|poll|ppoll|read|write|syscall|clock_gettime"
                      r"|__clock_gettime)(64)?$")
PYTHON = re.compile(r"orvek::ffi::|^Py|^_Py|^py")


def group_of(function: str, obj: str) -> str:
    base = os.path.basename(obj)
    if "libsimdjson" in base or READING.search(function):
        return "reading"
    if WRITING.search(function):
        return "writing"
    if SYSCALLS.match(function.split("(")[0].split("@")[0]):
        return "syscalls"
    if base.startswith(("libpython", "python")) or PYTHON.search(function):
        return "python"
    return "rest"


def parse(path: Path) -> dict[str, float]:
    """Exclusive instructions per group and the number of system calls, from one output file."""
    names: dict[str, dict[str, str]] = {"ob": {}, "fn": {}, "fl": {}}
    totals = dict.fromkeys(GROUPS, 0)
    syscalls = 0
    events: list[str] = []
    obj = fn = ""
    after_calls = False

    def name(kind: str, value: str) -> str:
        match = re.match(r"\((\d+)\)(?: (.*))?$", value)
        if not match:
            return value
        if match.group(2) is not None:
            names[kind][match.group(1)] = match.group(2)
        return names[kind].get(match.group(1), "?")

    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            head = line[0]
            if head.isdigit() or head in "+-*":
                if after_calls:  # the inclusive cost of a call: counted in the callee
                    after_calls = False
                    continue
                parts = line.split()
                costs = dict(zip(events, (int(v) for v in parts[1:])))
                totals[group_of(fn, obj)] += costs.get("Ir", 0)
                # Reading the clock enters the kernel only under valgrind (natively the vDSO
                # answers), so those calls are not counted.
                if "clock_gettime" not in fn:
                    syscalls += costs.get("sysCount", 0)
                continue
            key, _, value = line.partition("=")
            if key == "events" or line.startswith("events:"):
                events = line.split(":", 1)[1].split()
            elif key == "ob":
                obj = name("ob", value)
            elif key in ("fl", "fi", "fe"):
                name("fl", value)
            elif key == "fn":
                fn = name("fn", value)
            elif key in ("cob",):
                name("ob", value)
            elif key in ("cfi", "cfl"):
                name("fl", value)
            elif key == "cfn":
                name("fn", value)
            elif key == "calls":
                after_calls = True
    result = {group: float(totals[group]) for group in GROUPS}
    result["system_calls"] = float(syscalls)
    return result


def count(command: list[str], env: dict | None = None, timeout: float = 600) -> dict[str, float]:
    with tempfile.TemporaryDirectory() as tmp:
        out = Path(tmp) / "callgrind.out"
        done = subprocess.run(["valgrind", "--tool=callgrind", "--collect-systime=yes", f"--callgrind-out-file={out}",
                               *command], capture_output=True, text=True, timeout=timeout, env=env)
        if done.returncode != 0:
            raise RuntimeError(f"callgrind of {' '.join(command)} failed ({done.returncode}):\n{done.stderr[-2000:]}")
        return parse(out)


def per_call(make_command, short: int, long: int, warmup: int, env: dict | None = None) -> dict[str, float]:
    """Instructions per call (per group, and their total) and system calls per call."""
    a = count(make_command(short, warmup), env)
    b = count(make_command(long, warmup), env)
    calls = long - short
    result = {key: (b[key] - a[key]) / calls for key in b}
    result["total"] = sum(result[group] for group in GROUPS)
    return result


def available() -> bool:
    try:
        return subprocess.run(["valgrind", "--version"], capture_output=True).returncode == 0
    except OSError:
        return False
