"""make test-wheels: proves each wheel of dist/ where its interpreter lives, and the sdist alone.

Each cell's wheel is installed with `pip install --no-index` from its file in a fresh Debian
root of the suite that ships that interpreter (build/roots/SUITE-ARCH-proof; arm64 ones run
through qemu-user), or, for pyenv's 3.10 and 3.12, in the Debian 12 root with the interpreter
bound in read-only (the root has the shared libraries it needs but no simdjson, so a library
missing from the wheel cannot hide behind this machine's). tools/check-wheel.sh runs there.
The roots reach no network: the tests' own dependencies are wheels downloaded here for that
interpreter and CPU; what has none is left out and the table says so.

The sdist is built with pip alone in a fresh Debian 13 root that has only the build packages
(its scikit-build-core from the distribution), and the wheel pip makes there holds the same
files as each wheel of the matrix, names of binaries aside.

    prove.py [CELL...] [--no-sdist]     (default: every cell, and the sdist)

Prints one table (also left in build/wheels/proof.md): cell, where it was proven, what ran,
result, time. Exits non-zero if any cell failed.
"""

from __future__ import annotations

import argparse
import re
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

from cells import CELLS, DIST, NOT_BUILT, REPO, ROOTS, SUITE_NAME, WORK, Cell, find_cells, pyenv_prefix
from roots import download_wheels, glibc_of, in_root, make_root, minutes, require_root

TEST_REQUIREMENTS = ["pytest", "numpy", "aiohttp>=3.9", "matplotlib>=3.8", "mypy>=1.11"]
EMULATED_TEST_REQUIREMENTS = ["pytest"]  # what the emulated cells' tests import
SDIST_ROOT = ROOTS / "trixie-amd64-sdist"
SDIST_PACKAGES = ["g++", "cmake", "ninja-build", "libsimdjson-dev", "libfmt-dev", "python3.13-dev",
                  "python3.13-venv", "python3-pip", "python3-scikit-build-core"]


def suite_packages(suite: str) -> list[str]:
    versions = sorted({cell.python for cell in CELLS if cell.suite == suite and not cell.pyenv})
    return [package for v in versions for package in (f"python{v}", f"python{v}-venv")]


def proof_root(cell: Cell) -> Path:
    make_root(cell.proof_root, cell.suite, suite_packages(cell.suite), arch=cell.arch)
    return cell.proof_root


def stage(cell: Cell, root: Path, wheel: Path) -> tuple[str, list[str]]:
    """The folder check-wheel.sh runs in, inside the root; returns its path there and the test
    dependencies this interpreter has no wheel of."""
    deps = WORK / "test-deps" / cell.name
    missing_file = deps / "missing.txt"
    wanted = EMULATED_TEST_REQUIREMENTS if cell.emulated else TEST_REQUIREMENTS
    asked = deps / "asked.txt"  # what the folder was downloaded for
    if not asked.is_file() or asked.read_text(encoding="utf-8").split() != wanted:
        shutil.rmtree(deps, ignore_errors=True)
        missing = download_wheels(deps, cell.python, cell.cpu, glibc_of(root), wanted)
        available = [r for r in wanted if r not in missing]
        (deps / "requirements.txt").write_text("".join(f"{r}\n" for r in available), encoding="utf-8")
        missing_file.write_text("".join(f"{r}\n" for r in missing), encoding="utf-8")
        asked.write_text("".join(f"{r}\n" for r in wanted), encoding="utf-8")
    missing = missing_file.read_text(encoding="utf-8").split()

    check = root / "srv" / "liborvek-check" / cell.name
    shutil.rmtree(check, ignore_errors=True)
    (check / "wheel").mkdir(parents=True)
    shutil.copy2(wheel, check / "wheel")
    shutil.copytree(deps, check / "test-deps")
    shutil.copytree(REPO / "examples", check / "examples")
    shutil.copytree(REPO / "tests" / "python", check / "tests" / "python",
                    ignore=shutil.ignore_patterns("__pycache__"))
    shutil.copy2(REPO / "pyproject.toml", check)
    shutil.copy2(REPO / "src" / "ffi" / "stubtest-allowlist.txt", check)
    shutil.copy2(REPO / "tools" / "check-wheel.sh", check)
    return f"/srv/liborvek-check/{cell.name}", missing


def ran(log: str, cell: Cell, missing: list[str]) -> str:
    summary = re.findall(r"^=*\s*(\d+ passed.*?) in [\d.]+s", log, re.MULTILINE)
    tests = summary[-1] if summary else "no test summary"
    if cell.emulated:
        what = f"import, orvek-sim, quickstart, realtime; golden numbers + value tests: {tests}"
    else:
        what = f"import, orvek-sim, quickstart, realtime; suite: {tests}"
        if "stubtest: Success" in log:
            what += "; stubtest"
    if missing:
        what += f"; no wheel of {', '.join(missing)} for it: those tests skipped"
    return what


def prove_cell(cell: Cell) -> list[str]:
    where = f"{SUITE_NAME[cell.suite]} root, {cell.arch}" + (" (qemu)" if cell.emulated else "")
    wheels = sorted(DIST.glob(f"liborvek-*-{cell.abi}-{cell.abi}-*_{cell.cpu}.whl"))
    if not wheels:
        return [cell.name, where, "-", "no wheel in dist/: run make wheels", "-"]
    binds, python = [], f"python{cell.python}"
    if cell.pyenv:
        prefix = pyenv_prefix(cell.python)
        if prefix is None:
            return [cell.name, where, "-", "skipped: no interpreter (pyenv has no CPython " + cell.python + ")", "-"]
        binds, python = [f"{prefix}:{prefix}:ro"], str(prefix / "bin" / f"python{cell.python}")
        where += f", pyenv {prefix.name} bound in"
    start = time.monotonic()
    made = not (cell.proof_root / ".made-by-make-root").is_file()
    root = proof_root(cell)
    if made:
        where += f" (root made in {minutes(time.monotonic() - start)})"
    folder, missing = stage(cell, root, wheels[-1])
    log_path = WORK / f"proof-{cell.name}.log"
    print(f"--- {cell.name}: {where} (log: {log_path.relative_to(REPO)})", flush=True)
    with open(log_path, "w", encoding="utf-8") as log:
        done = subprocess.run([str(REPO / "tools" / "in-root.sh"), *sum((["--bind", b] for b in binds), []), str(root),
                               f"{folder}/check-wheel.sh", python, "emulated" if cell.emulated else "full"],
                              stdout=log, stderr=subprocess.STDOUT)
    text = log_path.read_text(encoding="utf-8", errors="replace")
    result = "passed" if done.returncode == 0 else f"FAILED (exit {done.returncode}; see {log_path.relative_to(REPO)})"
    if done.returncode != 0:
        print(text[-3000:], flush=True)
    return [cell.name, where, ran(text, cell, missing), result, minutes(time.monotonic() - start)]


# --- the sdist -----------------------------------------------------------------------------

def normalised_names(wheel: Path) -> set[str]:
    """The wheel's file names with what differs between interpreters replaced: the module's
    extension suffix."""
    with zipfile.ZipFile(wheel) as archive:
        return {re.sub(r"^liborvek\.cpython-\d+-[a-z0-9_]+-linux-gnu\.so$", "liborvek.EXT", name)
                for name in archive.namelist()}


def same_files(reference: Path, wheel: Path) -> list[str]:
    """What differs between a wheel of the matrix and the reference: names (binaries' aside),
    and the bytes of every file that is not a binary, RECORD or WHEEL."""
    faults = []
    ours, theirs = normalised_names(wheel), normalised_names(reference)
    faults += [f"{wheel.name} lacks {name}" for name in sorted(theirs - ours)]
    faults += [f"{wheel.name} has {name} beyond the reference" for name in sorted(ours - theirs)]
    with zipfile.ZipFile(wheel) as a, zipfile.ZipFile(reference) as b:
        for name in sorted(set(a.namelist()) & set(b.namelist())):
            if name.endswith(("/RECORD", "/WHEEL")) or name.endswith(".so") or name.endswith("/orvek-sim"):
                continue
            if a.read(name) != b.read(name):
                faults.append(f"{wheel.name}: {name} differs from the reference")
    return faults


def prove_sdist() -> list[str]:
    where = "Debian 13 root, amd64, only the build packages"
    sdists = sorted(DIST.glob("liborvek-*.tar.gz"))
    if not sdists:
        return ["sdist", where, "-", "no sdist in dist/: run make wheels", "-"]
    start = time.monotonic()
    if not (SDIST_ROOT / ".made-by-make-root").is_file():
        make_root(SDIST_ROOT, "trixie", SDIST_PACKAGES)
        where += f" (root made in {minutes(time.monotonic() - start)})"
    make_root(SDIST_ROOT, "trixie", SDIST_PACKAGES)
    check = SDIST_ROOT / "srv" / "liborvek-sdist"
    shutil.rmtree(check, ignore_errors=True)
    (check / "out").mkdir(parents=True)
    shutil.copy2(sdists[-1], check)
    shutil.copytree(REPO / "examples", check / "examples")
    script = f"""set -eu
cd /srv/liborvek-sdist
rm -rf /opt/sdist-venv
python3.13 -m venv --system-site-packages /opt/sdist-venv
pip="/opt/sdist-venv/bin/python -m pip --disable-pip-version-check"
$pip wheel -q --no-build-isolation --no-index --no-deps -w out {sdists[-1].name}
$pip install -q --no-index out/*.whl
cd / && /opt/sdist-venv/bin/python -c 'import liborvek; print(liborvek.__file__)'
/opt/sdist-venv/bin/orvek-sim --host 127.0.0.1 > /tmp/sim-ready & sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q listening /tmp/sim-ready && break; sleep 0.1; done
/opt/sdist-venv/bin/python /srv/liborvek-sdist/examples/quickstart.py 127.0.0.1
"""
    log_path = WORK / "proof-sdist.log"
    with open(log_path, "w", encoding="utf-8") as log:
        done = subprocess.run([str(REPO / "tools" / "in-root.sh"), str(SDIST_ROOT), "bash", "-c", script],
                              stdout=log, stderr=subprocess.STDOUT)
    what = "pip wheel --no-build-isolation, pip install, import, orvek-sim, quickstart"
    if done.returncode != 0:
        print(log_path.read_text(encoding="utf-8", errors="replace")[-3000:], flush=True)
        return ["sdist", where, what, f"FAILED (see {log_path.relative_to(REPO)})", minutes(time.monotonic() - start)]
    (reference,) = (check / "out").glob("*.whl")
    faults = [fault for wheel in sorted((WORK / "raw").glob("*.whl")) for fault in same_files(reference, wheel)]
    compared = len(list((WORK / "raw").glob("*.whl")))
    what += f"; its wheel and the {compared} wheels of the matrix hold the same files"
    result = "passed" if not faults and compared else "FAILED: " + ("; ".join(faults[:5]) or "no wheels to compare")
    return ["sdist", where, what, result, minutes(time.monotonic() - start)]


def table(rows: list[list[str]]) -> str:
    head = ["cell", "proven in", "what ran", "result", "time"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines) + "\n"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("cells", nargs="*")
    parser.add_argument("--no-sdist", action="store_true")
    args = parser.parse_args()
    require_root("test-wheels")
    start = time.monotonic()
    rows = [prove_cell(cell) for cell in find_cells(args.cells)]
    if not args.cells:
        rows += [[name, "-", "-", why, "-"] for name, why in NOT_BUILT]
    if not args.no_sdist:
        rows.append(prove_sdist())
    text = table(rows) + f"\nall: {minutes(time.monotonic() - start)}\n"
    (WORK / "proof.md").write_text(text, encoding="utf-8")
    print(text)
    if any(row[3].startswith(("FAILED", "no wheel", "no sdist")) for row in rows):
        sys.exit(1)


if __name__ == "__main__":
    main()
