"""The wheel matrix: one cell per CPU and CPython, the headers it is built against and the root
that proves it. `make wheels` (build.py) and `make test-wheels` (prove.py) both read this table.
"""

from __future__ import annotations

import glob
import os
from dataclasses import dataclass
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
BUILD = REPO / "build"
WORK = BUILD / "wheels"
ROOTS = BUILD / "roots"
DIST = REPO / "dist"

DEBIAN_ARCH = {"x86_64": "amd64", "aarch64": "arm64"}
TRIPLET = {"x86_64": "x86_64-linux-gnu", "aarch64": "aarch64-linux-gnu"}
SUITE_NAME = {"bookworm": "Debian 12", "trixie": "Debian 13", "forky": "Debian forky"}
PYENV_ROOTS = [os.environ.get("PYENV_ROOT", ""), "/root/.pyenv", "/opt/pyenv"]


@dataclass(frozen=True)
class Cell:
    cpu: str  # x86_64 or aarch64
    python: str  # "3.10"
    suite: str  # the Debian suite whose root proves the wheel
    pyenv: bool = False  # headers and interpreter from pyenv, not from the suite's packages

    @property
    def name(self) -> str:
        return f"{self.cpu}-{self.abi}"

    @property
    def abi(self) -> str:
        return "cp" + self.python.replace(".", "")

    @property
    def arch(self) -> str:
        return DEBIAN_ARCH[self.cpu]

    @property
    def emulated(self) -> bool:
        return self.cpu != "x86_64"

    @property
    def ext_suffix(self) -> str:
        return f".cpython-{self.abi[2:]}-{TRIPLET[self.cpu]}.so"

    @property
    def headers(self) -> Path:
        return WORK / "headers" / self.name

    def include_dirs(self) -> list[Path]:
        if self.pyenv:
            return [self.headers / "include" / f"python{self.python}"]
        # Debian's pyconfig.h includes <TRIPLET/pythonX.Y/pyconfig.h> from the include root.
        return [self.headers / "usr" / "include" / f"python{self.python}", self.headers / "usr" / "include"]

    @property
    def proof_root(self) -> Path:
        return ROOTS / f"{self.suite}-{self.arch}-proof"


CELLS = [
    Cell("x86_64", "3.10", "bookworm", pyenv=True),
    Cell("x86_64", "3.11", "bookworm"),
    Cell("x86_64", "3.12", "bookworm", pyenv=True),
    Cell("x86_64", "3.13", "trixie"),
    Cell("x86_64", "3.14", "forky"),
    Cell("x86_64", "3.15", "forky"),
    Cell("aarch64", "3.11", "bookworm"),
    Cell("aarch64", "3.13", "trixie"),
    Cell("aarch64", "3.14", "forky"),
    Cell("aarch64", "3.15", "forky"),
]

# Rows of the table that no wheel fills, and why.
NOT_BUILT = [
    ("aarch64-cp310", "not built: no aarch64 CPython 3.10 (interpreter or pyconfig.h) is reachable here"),
    ("aarch64-cp312", "not built: no aarch64 CPython 3.12 (interpreter or pyconfig.h) is reachable here"),
]


def find_cells(names: list[str]) -> list[Cell]:
    by_name = {cell.name: cell for cell in CELLS}
    unknown = [name for name in names if name not in by_name]
    if unknown:
        raise SystemExit(f"unknown cells {unknown}; the cells are {list(by_name)}")
    return [by_name[name] for name in names] if names else list(CELLS)


def pyenv_prefix(python: str) -> Path | None:
    """The newest pyenv installation of this CPython version whose interpreter runs."""
    found = []
    for root in PYENV_ROOTS:
        if root:
            found += glob.glob(f"{root}/versions/{python}.*/bin/python{python}")
    found = [p for p in found if os.access(p, os.X_OK)]
    if not found:
        return None
    newest = max(found, key=lambda p: [int(x) for x in Path(p).parents[1].name.split(".") if x.isdigit()])
    return Path(newest).parents[1]
