"""The private network the link tests run in, and the faults injected on it.

`enter_private_network()` makes a network namespace with `ip netns add`, moves this process
into it and removes its name at once: from then on the namespace lives exactly as long as
the processes inside it (this one and the children it starts, which are killed with it), so
it is gone on every exit path, a kill included. Only its loopback interface exists; every
address of 127.0.0.0/8 is local there, and nothing inside can reach any other network.

Faults are nftables rules in a table of the namespace, on the input hook of loopback, for
TCP only: random loss (`numgen random`) or an outage (every TCP packet dropped). TCP's
retransmission then does what it does on a real link. The rules are switched by the `nft`
program, so a timeline of faults can run in another process while the library holds the
interpreter lock in this one.
"""

from __future__ import annotations

import ctypes
import os
import signal
import subprocess
import sys

TABLE = "inet orvek_links"
CHAIN = f"{TABLE} input"
_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def die_with_parent() -> None:
    """preexec_fn for children: killed when the test process ends, however it ends, so none
    keeps the namespace alive."""
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


def run(*args: str) -> None:
    subprocess.run(args, check=True, stdin=subprocess.DEVNULL, capture_output=True, text=True)


def enter_private_network(name: str) -> None:
    if os.geteuid() != 0:
        sys.exit("tests/links needs root: it makes a network namespace and nftables rules")
    subprocess.run(["ip", "netns", "delete", name], capture_output=True)  # a stale one of an earlier run
    run("ip", "netns", "add", name)
    try:
        fd = os.open(f"/run/netns/{name}", os.O_RDONLY)
        try:
            os.setns(fd, os.CLONE_NEWNET)
        finally:
            os.close(fd)
    finally:
        run("ip", "netns", "delete", name)
    run("ip", "link", "set", "lo", "up")
    nft(f"add table {TABLE}")
    nft(f"add chain {CHAIN} {{ type filter hook input priority 0; policy accept; }}")


def nft(command: str) -> None:
    run("nft", command)


# nft commands for each state of the link.
LOSS = "add rule " + CHAIN + " meta l4proto tcp numgen random mod 1000 < {per_mille} drop"
OUTAGE = "add rule " + CHAIN + " meta l4proto tcp drop"
CLEAR = "flush chain " + CHAIN


def loss(percent: float) -> None:
    nft(CLEAR)
    nft(LOSS.format(per_mille=round(percent * 10)))


def clear() -> None:
    nft(CLEAR)


class Timeline:
    """Faults switched by another process on a schedule: `steps` is a list of (seconds after
    the start, nft command). Once a step has taken effect its time.monotonic() is printed: the
    clock is the system's, the same in every process."""

    def __init__(self, steps: list[tuple[float, str]]):
        script = "import subprocess, sys, time\nt0 = time.monotonic()\n"
        for at, command in steps:
            script += (f"time.sleep(max(0.0, {at!r} - (time.monotonic() - t0)))\n"
                       f"subprocess.run(['nft', {command!r}], check=True)\n"
                       f"print(time.monotonic(), flush=True)\n")
        self.process = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True,
                                        stdin=subprocess.DEVNULL, preexec_fn=die_with_parent)
        self.times: list[float] = []

    def wait_step(self) -> float:
        """Waits until the next step has taken effect; its time.monotonic()."""
        line = self.process.stdout.readline()
        assert line, "the fault timeline ended early"
        self.times.append(float(line))
        return self.times[-1]

    def finish(self) -> None:
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.process.stdout.close()


def outage(seconds: float, after: float = 0.0) -> Timeline:
    """Every TCP packet dropped from `after` for `seconds`, switched by another process."""
    return Timeline([(after, OUTAGE), (after + seconds, CLEAR)])
