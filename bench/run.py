#!/usr/bin/env python3
"""`make bench`: measures liborvek against the floor and the alternative, prints one table.

    python bench/run.py [--build build/bench] [--rounds 7] [--cycles 20000] [--quick]

- the floor: bench_floor (floor.cpp), the same exchanges made by the C++ driver, no Python;
- the alternative: pure_client.py, a straightforward pure-Python client (socket + json);
- liborvek: the module importable by this interpreter (`make bench` installs it in .venv).

Every networked figure is measured against orvek-sim instances on loopback started here and
stopped on the way out. The three clients run one after the other in each round, in an order
that rotates from round to round, so that a slow spell of a shared machine falls on all of
them; figures are medians and 99th percentiles of all samples of all rounds, ratios are
ratios of medians, and the range of the per-round ratios shows how stable they are.
The table also goes to BUILD/bench-results.md and the figures to BUILD/bench-results.json.
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import select
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
WORKER = HERE / "worker.py"
TIMEOUT = 600  # seconds for any one measurement process


# --- simulators -------------------------------------------------------------------------------


class Sim:
    """One orvek-sim on a loopback address of its own, for the life of a `with` block."""

    def __init__(self, binary: Path, host: str):
        self.host = host
        self.process = subprocess.Popen([str(binary), "--host", host], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 10.0
        line = b""
        while not line.endswith(b"\n"):
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self.process.stdout], [], [], max(left, 0.0))
            if not ready:
                self.stop()
                raise RuntimeError(f"orvek-sim on {host} was not ready within 10 s")
            chunk = os.read(self.process.stdout.fileno(), 1)
            if not chunk:
                self.stop()
                raise RuntimeError(f"orvek-sim on {host} exited: {self.process.stderr.read().decode(errors='replace')}")
            line += chunk

    def stop(self) -> None:
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for stream in (self.process.stdout, self.process.stderr):
            if stream:
                stream.close()

    def __enter__(self) -> Sim:
        return self

    def __exit__(self, *exc) -> None:
        self.stop()


def free_hosts(count: int) -> list[str]:
    """Loopback addresses for this run: 127.0.240-249.x, chosen by process id."""
    base = os.getpid() % 2000
    return [f"127.0.{240 + (base + i) // 200 % 10}.{1 + (base + i) % 200}" for i in range(count)]


def start_sim(binary: Path, hosts: list[str]) -> Sim:
    last = None
    for host in hosts:
        try:
            return Sim(binary, host)
        except RuntimeError as error:  # address taken by someone else: try the next
            last = error
    raise RuntimeError(f"no orvek-sim could start: {last}")


# --- running the clients ------------------------------------------------------------------------


def run_json(command: list[str], env: dict | None = None) -> dict:
    done = subprocess.run(command, capture_output=True, text=True, timeout=TIMEOUT, env=env)
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed ({done.returncode}):\n{done.stderr}{done.stdout}")
    text = done.stdout.strip()
    return json.loads(text if text.startswith("{\n") else text.splitlines()[-1])


def percentile(sorted_samples: list[float], fraction: float) -> float:
    index = min(len(sorted_samples) - 1, int(round(fraction * (len(sorted_samples) - 1))))
    return sorted_samples[index]


class Series:
    """Samples of one client over all rounds, and the median of each round."""

    def __init__(self) -> None:
        self.samples: list[int] = []
        self.round_medians: list[float] = []

    def add(self, samples: list[int]) -> None:
        self.samples.extend(samples)
        self.round_medians.append(statistics.median(samples))

    def median(self) -> float:
        return statistics.median(self.samples)

    def p99(self) -> float:
        return percentile(sorted(self.samples), 0.99)


def interleaved(commands: dict[str, list[str]], rounds: int) -> dict[str, Series]:
    names = list(commands)
    series = {name: Series() for name in names}
    for r in range(rounds):
        order = names[r % len(names):] + names[:r % len(names)]
        for name in order:
            series[name].add(run_json(commands[name])["samples_ns"])
    return series


def round_ratio_range(a: Series, b: Series) -> tuple[float, float]:
    ratios = [x / y for x, y in zip(a.round_medians, b.round_medians)]
    return min(ratios), max(ratios)


# --- the measurements ---------------------------------------------------------------------------


def machine() -> dict:
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    system = platform.platform()
    try:
        with open("/etc/os-release") as f:
            for line in f:
                if line.startswith("PRETTY_NAME="):
                    system = line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    return {"cores": os.cpu_count(), "cpu": model, "os": system, "kernel": platform.release(),
            "python": platform.python_version(), "load": os.getloadavg()}


def wire(build: Path, quick: bool) -> dict:
    """B3: medians of the benchmark's repetitions, CPU time per call in nanoseconds."""
    out = run_json([str(build / "bench" / "wire_bench"), "--benchmark_format=json",
                    f"--benchmark_repetitions={3 if quick else 9}", "--benchmark_report_aggregates_only=true",
                    f"--benchmark_min_time={0.05 if quick else 0.2}"])
    figures = {}
    for b in out["benchmarks"]:
        if b.get("aggregate_name") == "median":
            figures[b["run_name"]] = {"cpu_ns": b["cpu_time"], "real_ns": b["real_time"], "bytes": b.get("bytes")}
    return {"figures": figures, "simdjson": out["context"].get("simdjson_implementation")}


def pose_results(python: str, quick: bool) -> list[dict]:
    return run_json([python, str(WORKER), "pose", "0.5" if quick else "2.0"])["pose"]


def import_times(python: str, count: int) -> tuple[list[float], str]:
    times, module = [], ""
    for _ in range(count):
        result = run_json([python, str(WORKER), "import"])
        times.append(result["import_ns"] / 1e6)
        module = result["module"]
    return times, module


# --- the table ----------------------------------------------------------------------------------


# Conversions (source, method) that compute nothing: the stored numbers or constants are copied
# into the result. No formula, so nothing for C++ to speed up; shown, not judged.
COPIES = {(source, "position") for source in ("Euler", "Quat", "Homo", "AxisAngle", "Position")} | {
    ("Euler", "euler"), ("Homo", "homo"), ("AxisAngle", "axis_angle"),
    ("Position", "euler"), ("Position", "quat"), ("Position", "homo"), ("Position", "axis_angle")}


def us(ns: float) -> str:
    return f"{ns / 1000:.1f} µs" if ns >= 1000 else f"{ns:.0f} ns"


def verdict(ok: bool) -> str:
    return "**met**" if ok else "**not met**"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=str(REPO / "build" / "bench"), help="the CMake build with the benchmarks")
    parser.add_argument("--python", default=sys.executable, help="the interpreter that imports liborvek")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--cycles", type=int, default=20000, help="realtime cycles per client per round")
    parser.add_argument("--calls", type=int, default=5000, help="state() calls per client per round")
    parser.add_argument("--robots", type=int, default=200, help="robots connected for the memory figure")
    parser.add_argument("--quick", action="store_true", help="fewer rounds and repetitions: a smoke run")
    args = parser.parse_args()
    if args.quick:
        args.rounds, args.cycles, args.calls, args.robots = 2, 2000, 500, 50

    build = Path(args.build).resolve()
    sim_binary = build / "sim" / "orvek-sim"
    floor = build / "bench" / "bench_floor"
    for path in (sim_binary, floor, build / "bench" / "wire_bench", build / "bench" / "alloc_bench"):
        if not path.exists():
            print(f"run.py: {path} is missing: build {build} with -DORVEK_BUILD_BENCH=ON", file=sys.stderr)
            return 2
    py = args.python
    warm_cycles, warm_calls = max(args.cycles // 10, 100), max(args.calls // 10, 50)
    hosts = free_hosts(40)
    info = machine()
    print(f"machine: {info['cores']} cores, {info['cpu']}, {info['os']} (kernel {info['kernel']}), "
          f"Python {info['python']}, load {info['load'][0]:.2f}", flush=True)

    results: dict = {"machine": info, "rounds": args.rounds, "cycles": args.cycles, "calls": args.calls}

    print("B3: wire records ...", flush=True)
    results["wire"] = wire(build, args.quick)

    with start_sim(sim_binary, hosts[:20]) as sim:
        host = sim.host
        print(f"B1: realtime loop, {args.rounds} rounds x {args.cycles} cycles per client, orvek-sim on {host} ...",
              flush=True)
        b1 = interleaved({
            "floor": [str(floor), "realtime", host, str(args.cycles), str(warm_cycles)],
            "lib": [py, str(WORKER), "realtime", "lib", host, str(args.cycles), str(warm_cycles)],
            "pure": [py, str(WORKER), "realtime", "pure", host, str(args.cycles), str(warm_cycles)],
        }, args.rounds)
        print(f"B2: state(), {args.rounds} rounds x {args.calls} calls per client ...", flush=True)
        b2 = interleaved({
            "floor": [str(floor), "get_data", host, str(args.calls), str(warm_calls)],
            "lib": [py, str(WORKER), "state", "lib", host, str(args.calls), str(warm_calls)],
            "pure": [py, str(WORKER), "state", "pure", host, str(args.calls), str(warm_calls)],
        }, args.rounds)
        print("B4: allocations per cycle ...", flush=True)
        b4_cpp = run_json([str(build / "bench" / "alloc_bench"), host, str(args.cycles)])
        counter_lib = build / "bench" / "liborvek_count_new.so"
        env = dict(os.environ, LD_PRELOAD=str(counter_lib), ORVEK_COUNT_NEW=str(counter_lib))
        b4_py = run_json([py, str(WORKER), "alloc", host, str(args.cycles)], env=env)
        print(f"B6: memory per robot ({args.robots} robots) and import time ...", flush=True)
        b6_mem = run_json([py, str(WORKER), "memory", host, str(args.robots)])
    imports, module = import_times(py, 5 if args.quick else 21)
    print("B5: Pose conversions ...", flush=True)
    b5 = pose_results(py, args.quick)

    results.update({
        "module": module,
        "b1": {k: {"median_ns": s.median(), "p99_ns": s.p99(), "round_medians_ns": s.round_medians} for k, s in b1.items()},
        "b2": {k: {"median_ns": s.median(), "p99_ns": s.p99(), "round_medians_ns": s.round_medians} for k, s in b2.items()},
        "b4": {"cpp": b4_cpp, "python_process": b4_py},
        "b5": b5,
        "b6": {"import_ms": imports, "memory": b6_mem},
    })

    # --- the table ---
    rows = []

    def networked(tag: str, what: str, s: dict[str, Series], floor_limit: float, pure_limit: float):
        lib, fl, pu = s["lib"], s["floor"], s["pure"]
        to_floor, to_pure = lib.median() / fl.median(), lib.median() / pu.median()
        lo_f, hi_f = round_ratio_range(lib, fl)
        lo_p, hi_p = round_ratio_range(lib, pu)
        ok = to_floor <= floor_limit and to_pure <= pure_limit
        rows.append([tag, what, f"{us(lib.median())} / {us(lib.p99())}", f"{us(fl.median())} / {us(fl.p99())}",
                     f"{us(pu.median())} / {us(pu.p99())}",
                     f"{to_floor:.2f}× floor ({lo_f:.2f}–{hi_f:.2f}); {to_pure:.2f}× pure ({lo_p:.2f}–{hi_p:.2f})",
                     f"≤ {floor_limit}× floor, ≤ {pure_limit}× pure", verdict(ok)])

    networked("B1", f"realtime cycle, `move_joint_with_closure`, trivial function (median / p99)", b1, 1.3, 0.7)
    networked("B2", "`state()` round trip with the Python `ArmState` (median / p99)", b2, 1.2, 0.5)

    wf = results["wire"]["figures"]
    parse = wf["BM_ParseGetData"]
    writes = {name.split("/", 1)[1]: f["cpu_ns"] for name, f in wf.items() if name.startswith("BM_Write/")}
    slowest = max(writes, key=writes.get)
    rows.append(["B3", f"parse a {parse['bytes'] / 1000:.1f} KB \"get_data\" reply into `GetDataState` (C++)",
                 us(parse["cpu_ns"]), "", "", f"DOM parse {us(wf['BM_ParseGetDataParserOnly']['cpu_ns'])} + "
                 f"record {us(wf['BM_ReadGetDataRecordOnly']['cpu_ns'])}; simdjson kernel {results['wire']['simdjson']}",
                 "≤ 10 µs", verdict(parse["cpu_ns"] <= 10000)])
    rows.append(["B3", f"write each of the {len(writes)} requests (C++)", f"slowest {slowest}: {us(writes[slowest])}",
                 "", "", f"servo_j {us(writes['servo_j'])}, get_data {us(writes['get_data'])}", "≤ 0.3 µs each",
                 verdict(all(v <= 300 for v in writes.values()))])

    steady = b4_cpp["steady"]
    cpp_per_cycle = steady["allocations"] / steady["cycles"]
    py_per_cycle = b4_py["allocations"] / b4_py["cycles"]
    rows.append(["B4", "heap allocations per realtime cycle, C++ driver + transport + wire records",
                 f"{cpp_per_cycle:g} (max {steady['max_per_cycle']} in {steady['cycles']} cycles)", "", "",
                 f"counter check: {b4_cpp['counter_check']['seen']}/{b4_cpp['counter_check']['expected']} known, "
                 f"allocating callable {b4_cpp['allocating_callable']['allocations']}/"
                 f"{b4_cpp['allocating_callable']['cycles']} cycles; "
                 f"from Python: {py_per_cycle:g}/cycle, state() {b4_py['state_allocations']}/{b4_py['state_calls']} calls",
                 "0 in steady state", verdict(b4_cpp["counter_works"] and steady["allocations"] == 0)])

    for method in ("euler", "quat", "homo", "axis_angle", "position"):
        entries = [e for e in b5 if e["method"] == method]
        ratios = {e["source"]: e["pure_ns"] / e["lib_ns"] for e in entries}
        computed = [e["source"] for e in entries if (e["source"], method) not in COPIES]
        agree = all(e["agree"] for e in entries)
        detail = ", ".join(f"{src} {r:.1f}×" + ("" if src in computed else " (copy)") for src, r in ratios.items())
        lib_range = f"{min(e['lib_ns'] for e in entries):.0f}–{max(e['lib_ns'] for e in entries):.0f} ns"
        pure_range = f"{us(min(e['pure_ns'] for e in entries))}–{us(max(e['pure_ns'] for e in entries))}"
        if computed:
            result = verdict(agree and all(ratios[src] >= 10 for src in computed))
        else:
            result = "n/a: no formula, a copy from every source" if agree else verdict(False)
        rows.append(["B5", f"`Pose.{method}()` from each of the 5 sources", lib_range, "", pure_range,
                     f"{detail}{'' if agree else ' (RESULTS DIFFER)'}", "≥ 10× faster", result])

    import_ms = statistics.median(imports)
    rows.append(["B6", "`import liborvek` (median of fresh interpreters)", f"{import_ms:.2f} ms", "", "",
                 f"{len(imports)} runs, {min(imports):.2f}–{max(imports):.2f} ms", "< 10 ms", verdict(import_ms < 10)])
    per_robot = max(b6_mem["connected_bytes"], b6_mem["after_state_bytes"])
    rows.append(["B6", f"resident memory per connected `OrvekRobot` ({b6_mem['robots']} robots)",
                 f"{per_robot / 1024:.1f} KiB", "", "",
                 f"connected {b6_mem['connected_bytes'] / 1024:.1f} KiB, after one state() "
                 f"{b6_mem['after_state_bytes'] / 1024:.1f} KiB", "< 64 KiB", verdict(per_robot < 64 * 1024)])

    header = ["#", "what", "liborvek", "floor (C++)", "pure Python", "ratio (per-round range)", "target", "result"]
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    table = "\n".join(lines)
    details = ["", "B5 per source (time per call, median of 7 repeats):", "",
               "| method | source | liborvek | pure Python | ratio |", "|---|---|---|---|---|"]
    details += [f"| {e['method']} | {e['source']} | {e['lib_ns']:.0f} ns | {us(e['pure_ns'])} | "
                f"{e['pure_ns'] / e['lib_ns']:.1f}× |" for e in b5]
    note = (f"\nMachine: {info['cores']} cores, {info['cpu']}, {info['os']}, kernel {info['kernel']}, "
            f"Python {info['python']}; load average at the start {info['load'][0]:.2f}. "
            f"{args.rounds} rounds; realtime {args.cycles} cycles and state() {args.calls} calls per client per round. "
            f"Module: {module}.")
    text = table + "\n" + note + "\n" + "\n".join(details) + "\n"
    print()
    print(text)
    (build / "bench-results.md").write_text(text, encoding="utf-8")
    (build / "bench-results.json").write_text(json.dumps(results, indent=1), encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
