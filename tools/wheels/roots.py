"""Running commands in the debootstrap roots under build/roots (tools/make-root.sh makes them,
tools/in-root.sh runs in them), and timing the steps of a run."""

from __future__ import annotations

import subprocess
import sys
import time
from contextlib import contextmanager
from pathlib import Path

from cells import REPO

TOOLS = REPO / "tools"


def run(command: list[str], **kwargs) -> subprocess.CompletedProcess:
    return subprocess.run([str(part) for part in command], check=True, **kwargs)


def make_root(root: Path, suite: str, packages: list[str], arch: str | None = None,
              foreign_arch: str | None = None) -> None:
    options = []
    if arch:
        options += ["--arch", arch]
    if foreign_arch:
        options += ["--foreign-arch", foreign_arch]
    run([TOOLS / "make-root.sh", *options, root, suite, ",".join(packages)])


def in_root(root: Path, command: list[str], network: bool = False, binds: list[str] = (), **kwargs):
    options = ["--network"] if network else []
    for bind in binds:
        options += ["--bind", bind]
    return run([TOOLS / "in-root.sh", *options, root, *command], **kwargs)


def glibc_of(root: Path) -> tuple[int, int]:
    """The version of the C library installed in a root, from its dpkg status (nothing of the
    root runs, so this works for a root of another CPU)."""
    status = (root / "var" / "lib" / "dpkg" / "status").read_text(encoding="utf-8")
    for stanza in status.split("\n\n"):
        fields = dict(line.split(": ", 1) for line in stanza.splitlines() if ": " in line and not line.startswith(" "))
        if fields.get("Package") == "libc6" and fields.get("Status", "").endswith(" installed"):
            major, minor = fields["Version"].split("-")[0].split(".")[:2]
            return int(major), int(minor)
    raise SystemExit(f"no libc6 installed in {root}")


def download_wheels(dest: Path, python: str, cpu: str, glibc: tuple[int, int], requirements: list[str]) -> list[str]:
    """Downloads (on this machine, which reaches the package index) the wheels that an
    interpreter of a root needs for the requirements, each with what it depends on, into
    dest; returns the requirements for which that interpreter and CPU have no wheel."""
    dest.mkdir(parents=True, exist_ok=True)
    platforms = [f"manylinux_2_{minor}_{cpu}" for minor in range(17, glibc[1] + 1)] + [f"manylinux2014_{cpu}"]
    options = ["--only-binary=:all:", "--python-version", python, "--implementation", "cp", "-d", str(dest)]
    for platform in platforms:
        options += ["--platform", platform]
    missing = []
    # pip judges the dependencies' environment markers by the Python running it, not by the
    # target's: the backports that older interpreters need are fetched whether or not this one
    # needs them (pip in the root takes only what its interpreter asks for).
    for backport in ("typing_extensions", "exceptiongroup", "tomli", "async-timeout"):
        subprocess.run([sys.executable, "-m", "pip", "download", "-q", *options, backport],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for requirement in requirements:
        got = subprocess.run([sys.executable, "-m", "pip", "download", "-q", *options, requirement],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if got.returncode != 0:
            if "No matching distribution" not in got.stderr and "Could not find a version" not in got.stderr:
                raise SystemExit(f"pip download {requirement} for CPython {python} on {cpu} failed:\n{got.stderr}")
            missing.append(requirement)
    return missing


def inside(path: Path) -> str:
    """Where a path of the source tree is seen in a root that binds the tree at /src."""
    return "/src/" + str(Path(path).resolve().relative_to(REPO))


def require_root(target: str) -> None:
    import os

    if os.geteuid() != 0:
        sys.exit(f"make {target}: needs root (debootstrap, chroot, mounts)")


@contextmanager
def step(what: str):
    print(f"--- {what}", flush=True)
    start = time.monotonic()
    yield
    print(f"--- {what}: {time.monotonic() - start:.0f} s", flush=True)


def minutes(seconds: float) -> str:
    return f"{int(seconds) // 60}:{int(seconds) % 60:02d}"
