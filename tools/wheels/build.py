"""make wheels: the sdist and one wheel per cell of the matrix (cells.py) in dist/, with
dist/SHA256SUMS.

Everything is compiled in Debian 12 roots (GCC 12, glibc 2.36), so the wheels' manylinux tags
do not depend on the machine that runs this: build/roots/bookworm-build-x86_64, and
build/roots/bookworm-build-aarch64 with Debian's cross compiler and the arm64 simdjson
(multiarch; its development package cannot sit beside the amd64 one, hence two roots). The C++ libraries and orvek-sim are built
once per CPU, from the files of the sdist alone, unpacked; the module once per interpreter in
the same CMake tree, against that interpreter's headers (pyenv's, or unpacked from Debian's
libpython3.X-dev of the suite that ships it). Each wheel is then packed and repaired by
auditwheel (assemble.py).

    build.py [CELL...]          (default: every cell)
"""

from __future__ import annotations

import hashlib
import os
import shutil
import subprocess
import sys
import tarfile
import time
from pathlib import Path

from cells import CELLS, DIST, REPO, ROOTS, TRIPLET, WORK, Cell, find_cells, pyenv_prefix
from roots import download_wheels, glibc_of, in_root, inside, make_root, require_root, run, step

BUILD_ROOT = {cpu: ROOTS / f"bookworm-build-{cpu}" for cpu in ("x86_64", "aarch64")}
COMMON_PACKAGES = ["cmake", "ninja-build", "python3", "python3-venv"]
BUILD_PACKAGES = {
    "x86_64": ["g++", "libsimdjson-dev", "libfmt-dev", *COMMON_PACKAGES],
    "aarch64": ["g++-aarch64-linux-gnu", "libsimdjson-dev:arm64", "libfmt-dev:arm64", *COMMON_PACKAGES],
}
HOME_ROOT = BUILD_ROOT["x86_64"]  # where the sdist and the metadata are made
TOOLS_VENV = "/opt/wheel-tools"
REQUIREMENTS = REPO / "tools" / "wheels" / "requirements.txt"
SRC_BIND = f"{REPO}:/src"
STRIP = {"x86_64": "strip", "aarch64": "aarch64-linux-gnu-strip"}


def build_root(cpu: str) -> Path:
    root = BUILD_ROOT[cpu]
    make_root(root, "bookworm", BUILD_PACKAGES[cpu], foreign_arch="arm64" if cpu == "aarch64" else None)
    stamp = root / TOOLS_VENV.lstrip("/") / ".requirements"
    wanted = REQUIREMENTS.read_text(encoding="utf-8")
    if stamp.is_file() and stamp.read_text(encoding="utf-8") == wanted:
        return root
    # The roots reach no package index (nor trust this machine's certificates): the tools come
    # as wheels downloaded here.
    wheels = WORK / "tool-wheels" / cpu
    requirements = [line for line in wanted.splitlines() if line and not line.startswith("#")]
    missing = download_wheels(wheels, "3.11", "x86_64", glibc_of(root), requirements)
    if missing:
        sys.exit(f"make wheels: no wheels of {missing} for the build root's Python 3.11")
    in_root(root, ["sh", "-c", f"rm -rf {TOOLS_VENV} && python3 -m venv {TOOLS_VENV} && {TOOLS_VENV}/bin/pip install "
                   f"-q --no-index --find-links {inside(wheels)} -r {inside(REQUIREMENTS)}"], binds=[SRC_BIND])
    stamp.write_text(wanted, encoding="utf-8")
    return root


def headers(cell: Cell) -> None:
    """The interpreter's headers under cell.headers (kept between runs)."""
    if cell.pyenv:
        prefix = pyenv_prefix(cell.python)
        if prefix is None:
            sys.exit(f"make wheels: {cell.name} needs pyenv's CPython {cell.python} for its headers; none is installed")
        suffix = subprocess.run([prefix / "bin" / f"python{cell.python}", "-c",
                                 "import sysconfig; print(sysconfig.get_config_var('EXT_SUFFIX'))"],
                                check=True, capture_output=True, text=True).stdout.strip()
        if suffix != cell.ext_suffix:
            sys.exit(f"make wheels: {prefix} names its modules *{suffix}, not *{cell.ext_suffix}")
        dest = cell.headers / "include" / f"python{cell.python}"
        if not dest.is_dir():
            shutil.copytree(prefix / "include" / f"python{cell.python}", dest)
        return
    run([REPO / "tools" / "wheels" / "fetch-debs.sh", WORK / "apt", cell.suite, cell.arch, cell.headers,
         f"libpython{cell.python}-dev"])
    pyconfig = cell.headers / "usr" / "include" / TRIPLET[cell.cpu] / f"python{cell.python}" / "pyconfig.h"
    if not pyconfig.is_file():
        sys.exit(f"make wheels: {cell.name}: no {pyconfig} in libpython{cell.python}-dev")


def sdist() -> Path:
    for old in DIST.glob("liborvek-*"):
        old.unlink()
    (DIST / "SHA256SUMS").unlink(missing_ok=True)
    in_root(HOME_ROOT, [f"{TOOLS_VENV}/bin/python", "-m", "build", "--no-isolation", "--sdist",
                         "--outdir", "/src/dist", "/src"], binds=[SRC_BIND], stdout=subprocess.DEVNULL)
    (archive,) = DIST.glob("liborvek-*.tar.gz")
    fresh = WORK / "sdist-unpack"
    shutil.rmtree(fresh, ignore_errors=True)
    with tarfile.open(archive) as tar:
        top = tar.getmembers()[0].name.split("/")[0]
        tar.extractall(fresh, filter="data")
    unpacked = WORK / "sdist"
    keep_times_of_unchanged(fresh / top, unpacked)
    shutil.rmtree(unpacked, ignore_errors=True)
    shutil.move(fresh / top, unpacked)
    shutil.rmtree(fresh)
    return archive


def keep_times_of_unchanged(new: Path, old: Path) -> None:
    """The sdist stamps every file with one fixed time (a reproducible archive), so the CMake
    trees, kept between runs, would never see a change: a file whose bytes are those of the last
    unpacked sdist keeps that copy's time, any other gets now."""
    now = time.time()
    for path in new.rglob("*"):
        if not path.is_file():
            continue
        before = old / path.relative_to(new)
        if before.is_file() and before.read_bytes() == path.read_bytes():
            stat = before.stat()
            os.utime(path, ns=(stat.st_atime_ns, stat.st_mtime_ns))
        else:
            os.utime(path, (now, now))


def compile_cpu(cpu: str, cells: list[Cell]) -> Path:
    """The C++ libraries, orvek-sim and one module per cell, in one CMake tree for the CPU."""
    tree = WORK / f"cmake-{cpu}"
    defines = [
        "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG",
        "-DCMAKE_COMPILE_WARNING_AS_ERROR=ON", "-DORVEK_BUILD_TESTS=OFF", "-DORVEK_BUILD_PYTHON=ON",
        "-DORVEK_PYTHON_ABIS=" + ";".join(cell.abi for cell in cells),
    ]
    for cell in cells:
        defines.append(f"-DORVEK_PYTHON_{cell.abi}_INCLUDE_DIRS=" + ";".join(inside(d) for d in cell.include_dirs()))
        defines.append(f"-DORVEK_PYTHON_{cell.abi}_SUFFIX={cell.ext_suffix}")
    if cpu != "x86_64":
        defines.append(f"-DCMAKE_TOOLCHAIN_FILE={inside(WORK / 'sdist')}/cmake/{TRIPLET[cpu]}.cmake")
    targets = ["orvek-sim"] + [f"liborvek_{cell.abi}" for cell in cells]
    in_root(BUILD_ROOT[cpu], ["cmake", "-S", inside(WORK / "sdist"), "-B", inside(tree), "-G", "Ninja", *defines],
            binds=[SRC_BIND], stdout=subprocess.DEVNULL)
    in_root(BUILD_ROOT[cpu], ["cmake", "--build", inside(tree), "--target", *targets], binds=[SRC_BIND])
    return tree


def assemble(cell: Cell, tree: Path) -> Path:
    tool = [f"{TOOLS_VENV}/bin/python", inside(REPO / "tools" / "wheels" / "assemble.py")]
    module = tree / "src" / "ffi" / cell.abi / f"liborvek{cell.ext_suffix}"
    out = in_root(BUILD_ROOT[cell.cpu], [*tool, "wheel", "--sdist", inside(WORK / "sdist"), "--metadata", inside(WORK / "metadata"),
                               "--module", inside(module), "--sim", inside(tree / "sim" / "orvek-sim"),
                               "--tag", f"{cell.abi}-{cell.abi}-linux_{cell.cpu}", "--strip", STRIP[cell.cpu],
                               "--raw", inside(WORK / "raw"), "--dist", "/src/dist"],
                  binds=[SRC_BIND], stdout=subprocess.PIPE, text=True)
    return REPO / out.stdout.strip().splitlines()[-1].removeprefix("/src/")


def checksums() -> None:
    lines = []
    for path in sorted(DIST.glob("liborvek-*")):
        lines.append(f"{hashlib.sha256(path.read_bytes()).hexdigest()}  {path.name}\n")
    (DIST / "SHA256SUMS").write_text("".join(lines), encoding="utf-8")


def main() -> None:
    require_root("wheels")
    cells = find_cells(sys.argv[1:])
    for cpu in dict.fromkeys(["x86_64"] + [cell.cpu for cell in cells]):
        with step(f"the build root for {cpu} (Debian 12, GCC 12)"):
            build_root(cpu)
    with step("the interpreters' headers"):
        for cell in cells:
            headers(cell)
    with step("the sdist, unpacked; the wheel metadata"):
        archive = sdist()
        in_root(HOME_ROOT, [f"{TOOLS_VENV}/bin/python", inside(REPO / "tools" / "wheels" / "assemble.py"),
                            "metadata", inside(WORK / "sdist"), inside(WORK / "metadata")],
                binds=[SRC_BIND], stdout=subprocess.DEVNULL)
    shutil.rmtree(WORK / "raw", ignore_errors=True)
    wheels = []
    for cpu in dict.fromkeys(cell.cpu for cell in cells):
        mine = [cell for cell in cells if cell.cpu == cpu]
        with step(f"compile for {cpu}: libraries, orvek-sim, {len(mine)} modules"):
            tree = compile_cpu(cpu, mine)
        for cell in mine:
            with step(f"wheel {cell.name}"):
                wheels.append(assemble(cell, tree))
    checksums()
    print(f"{archive.name}  {archive.stat().st_size // 1024} KiB")
    for path in wheels:
        print(f"{path.name}  {path.stat().st_size // 1024} KiB")


if __name__ == "__main__":
    main()
