#!/usr/bin/env python3
"""`make bench`: measures liborvek against the limit, the floor and the alternative; prints the tables.

    python bench/run.py [--build build/bench] [--rounds 21] [--cycles 3000] [--calls 1000] [--quick]

- the limit: bench_limit (limit.c), each exchange with raw bytes: the fixed request written,
  the reply read until complete, nothing parsed or built;
- the floor: bench_floor (floor.cpp), the same exchanges made by the C++ driver, no Python;
- the alternative: pure_client.py, a straightforward pure-Python client (socket + json);
- liborvek: the module importable by this interpreter (`make bench` installs it in .venv).

Every networked figure is measured in two placements, each against an orvek-sim of its own
on loopback started here: client and simulator pinned to one core (the work done, without
the cost of waking a process on another core; these figures are judged), and pinned to two
different cores (what a controller on its own host costs, wake-ups included; shown). In
each round the four clients run one after the other, in an order that rotates from round
to round. A shared machine adds time to some exchanges (another task, a stolen time slice)
and runs in spells of a tenth of a second to a few seconds, in which every client is 1.3 to
1.6 times slower than in the others. So a round's figure of a client is the tenth percentile
of its samples (the exchange as it runs uninterrupted), the rounds within 15 % of the
client's fastest round are the ones that ran in a fast spell, and the judged figure is their
median; a ratio is the ratio of two such figures. The number of those rounds, the median
and the 99th percentile of all samples are shown beside it. Instructions per call are
counted with callgrind (bench/instructions.py); they repeat where times do not.
The tables also go to BUILD/bench-results.md and the figures to BUILD/bench-results.json.
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
sys.path.insert(0, str(HERE))
import instructions  # noqa: E402


# --- simulators -------------------------------------------------------------------------------


class Sim:
    """One orvek-sim on a loopback address of its own, for the life of a `with` block."""

    def __init__(self, binary: Path, host: str, cpu: int | None = None):
        self.host = host
        self.process = subprocess.Popen([str(binary), "--host", host], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=pinned(cpu))
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


def pinned(cpu: int | None):
    """For preexec_fn: the child and all its threads run on `cpu` only."""
    if cpu is None:
        return None
    return lambda: os.sched_setaffinity(0, {cpu})


def start_sim(binary: Path, hosts: list[str], cpu: int | None = None) -> Sim:
    last = None
    for host in hosts:
        try:
            return Sim(binary, host, cpu)
        except RuntimeError as error:  # address taken by someone else: try the next
            last = error
    raise RuntimeError(f"no orvek-sim could start: {last}")


# --- running the clients ------------------------------------------------------------------------


def run_json(command: list[str], env: dict | None = None, cpu: int | None = None) -> dict:
    done = subprocess.run(command, capture_output=True, text=True, timeout=TIMEOUT, env=env, preexec_fn=pinned(cpu))
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed ({done.returncode}):\n{done.stderr}{done.stdout}")
    text = done.stdout.strip()
    return json.loads(text if text.startswith("{\n") else text.splitlines()[-1])


def percentile(sorted_samples: list[float], fraction: float) -> float:
    index = min(len(sorted_samples) - 1, int(round(fraction * (len(sorted_samples) - 1))))
    return sorted_samples[index]


TYPICAL = 0.10  # the percentile that stands for an uninterrupted exchange
SPELL = 1.15  # rounds within this factor of a client's fastest round ran in its fast spell


class Series:
    """Samples of one client over all rounds, and the tenth percentile of each round."""

    def __init__(self) -> None:
        self.samples: list[int] = []
        self.round_typicals: list[float] = []

    def add(self, samples: list[int]) -> None:
        self.samples.extend(samples)
        self.round_typicals.append(percentile(sorted(samples), TYPICAL))

    def fast_spell(self) -> tuple[float, int]:
        """The median tenth percentile of the rounds that ran in the machine's fast spell (within
        SPELL of the fastest round), and how many rounds did."""
        fastest = min(self.round_typicals)
        fast = [x for x in self.round_typicals if x <= fastest * SPELL]
        return statistics.median(fast), len(fast)

    def median(self) -> float:
        return statistics.median(self.samples)

    def p99(self) -> float:
        return percentile(sorted(self.samples), 0.99)


def interleaved(commands: dict[str, list[str]], rounds: int, cpu: int | None) -> dict[str, Series]:
    names = list(commands)
    series = {name: Series() for name in names}
    for r in range(rounds):
        order = names[r % len(names):] + names[:r % len(names)]
        for name in order:
            series[name].add(run_json(commands[name], cpu=cpu)["samples_ns"])
    return series


def ratio(a: Series, b: Series) -> float:
    return a.fast_spell()[0] / b.fast_spell()[0]


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
    """B3: CPU time per call in nanoseconds, the fastest of the benchmark's repetitions (the work
    without the machine's slow spells), with the median beside it; the repetitions of all the
    benchmarks run in a random interleaving, so that a slow spell falls on several of them."""
    repetitions = 3 if quick else 15
    out = run_json([str(build / "bench" / "wire_bench"), "--benchmark_format=json",
                    f"--benchmark_repetitions={repetitions}", "--benchmark_enable_random_interleaving=true",
                    f"--benchmark_min_time={0.05 if quick else 0.1}"])
    times: dict[str, list[dict]] = {}
    for b in out["benchmarks"]:
        if b.get("run_type") == "iteration":
            times.setdefault(b["run_name"], []).append(b)
    figures = {}
    for name, runs in times.items():
        fastest = min(runs, key=lambda r: r["cpu_time"])
        figures[name] = {"cpu_ns": fastest["cpu_time"], "real_ns": fastest["real_time"], "bytes": fastest.get("bytes"),
                         "median_cpu_ns": statistics.median(r["cpu_time"] for r in runs)}
    return {"figures": figures, "repetitions": repetitions, "simdjson": out["context"].get("simdjson_implementation")}


def pose_results(python: str, quick: bool, floor_dir: Path, cpu: int | None) -> list[dict]:
    return run_json([python, str(WORKER), "pose", "0.3" if quick else "1.0", str(floor_dir)], cpu=cpu)["pose"]


def import_times(python: str, count: int) -> tuple[list[float], str]:
    times, module = [], ""
    for _ in range(count):
        result = run_json([python, str(WORKER), "import"])
        times.append(result["import_ns"] / 1e6)
        module = result["module"]
    return times, module


# --- the table ----------------------------------------------------------------------------------


def us(ns: float) -> str:
    return f"{ns / 1000:.1f} µs" if ns >= 1000 else f"{ns:.0f} ns"


def verdict(ok: bool) -> str:
    return "**met**" if ok else "**not met**"


def placements() -> dict[str, tuple[int, int]]:
    """(client CPU, simulator CPU) per placement, from the CPUs this process may use."""
    cpus = sorted(os.sched_getaffinity(0))
    found = {"one core": (cpus[-1], cpus[-1])}
    if len(cpus) >= 2:
        found["two cores"] = (cpus[-1], cpus[0])
    return found


def networked_series(build: Path, py: str, host: str, cpu: int, args, warm_cycles: int, warm_calls: int):
    limit, floor = build / "bench" / "bench_limit", build / "bench" / "bench_floor"

    def series(floor_what: str, worker_what: str, count: int, warm: int) -> dict[str, Series]:
        counts = [host, str(count), str(warm)]
        return interleaved({
            "limit": [str(limit), floor_what, *counts],
            "floor": [str(floor), floor_what, *counts],
            "lib": [py, str(WORKER), worker_what, "lib", *counts],
            "pure": [py, str(WORKER), worker_what, "pure", *counts],
        }, args.rounds, cpu)

    b1 = series("realtime", "realtime", args.cycles, warm_cycles)
    b2 = series("get_data", "state", args.calls, warm_calls)
    return b1, b2


def instruction_counts(build: Path, py: str, host: str, quick: bool) -> dict:
    """Instructions per call in the client process: limit, floor and liborvek, both hot paths."""
    limit, floor = str(build / "bench" / "bench_limit"), str(build / "bench" / "bench_floor")
    short, long, warm = (50, 250, 20) if quick else (100, 600, 50)
    clients = {
        "realtime": {
            "limit": lambda n, w: [limit, "realtime", host, str(n), str(w), "quiet"],
            "floor": lambda n, w: [floor, "realtime", host, str(n), str(w), "quiet"],
            "lib": lambda n, w: [py, str(WORKER), "realtime", "lib", host, str(n), str(w), "quiet"],
        },
        "get_data": {
            "limit": lambda n, w: [limit, "get_data", host, str(n), str(w), "quiet"],
            "floor": lambda n, w: [floor, "get_data", host, str(n), str(w), "quiet"],
            "lib": lambda n, w: [py, str(WORKER), "state", "lib", host, str(n), str(w), "quiet"],
        },
    }
    return {path: {name: instructions.per_call(make, short, long, warm) for name, make in by_client.items()}
            for path, by_client in clients.items()}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=str(REPO / "build" / "bench"), help="the CMake build with the benchmarks")
    parser.add_argument("--python", default=sys.executable, help="the interpreter that imports liborvek")
    parser.add_argument("--rounds", type=int, default=21)
    parser.add_argument("--cycles", type=int, default=3000, help="realtime cycles per client per round")
    parser.add_argument("--calls", type=int, default=1000, help="state() calls per client per round")
    parser.add_argument("--robots", type=int, default=200, help="robots connected for the memory figure")
    parser.add_argument("--quick", action="store_true", help="fewer rounds and repetitions: a smoke run")
    args = parser.parse_args()
    if args.quick:
        args.rounds, args.cycles, args.calls, args.robots = 3, 1000, 300, 50

    build = Path(args.build).resolve()
    sim_binary = build / "sim" / "orvek-sim"
    floor_dir = build / "bench"
    needed = [sim_binary] + [floor_dir / name for name in ("bench_floor", "bench_limit", "wire_bench", "alloc_bench")]
    for path in needed:
        if not path.exists():
            print(f"run.py: {path} is missing: build {build} with -DORVEK_BUILD_BENCH=ON", file=sys.stderr)
            return 2
    if not list(floor_dir.glob("pose_floor*.so")):
        print(f"run.py: {floor_dir}/pose_floor*.so is missing: configure {build} with -DPython_EXECUTABLE", file=sys.stderr)
        return 2
    py = args.python
    warm_cycles, warm_calls = max(args.cycles // 10, 100), max(args.calls // 10, 50)
    hosts = free_hosts(40)
    info = machine()
    places = placements()
    info["placements"] = {name: {"client_cpu": c, "sim_cpu": s} for name, (c, s) in places.items()}
    print(f"machine: {info['cores']} cores, {info['cpu']}, {info['os']} (kernel {info['kernel']}), "
          f"Python {info['python']}, load {info['load'][0]:.2f}", flush=True)

    results: dict = {"machine": info, "rounds": args.rounds, "cycles": args.cycles, "calls": args.calls}

    print("B3: wire records ...", flush=True)
    results["wire"] = wire(build, args.quick)

    timed: dict[str, tuple[dict, dict]] = {}
    for index, (place, (client_cpu, sim_cpu)) in enumerate(places.items()):
        with start_sim(sim_binary, hosts[index * 10:index * 10 + 10], sim_cpu) as sim:
            print(f"{place} (client on CPU {client_cpu}, orvek-sim on CPU {sim_cpu}, {sim.host}): "
                  f"realtime {args.rounds} rounds x {args.cycles} cycles, state() {args.rounds} rounds x "
                  f"{args.calls} calls, per client ...", flush=True)
            timed[place] = networked_series(build, py, sim.host, client_cpu, args, warm_cycles, warm_calls)

    one_client, one_sim = places["one core"]
    with start_sim(sim_binary, hosts[20:30], one_sim) as sim:
        host = sim.host
        counted = None
        if instructions.available():
            print("instructions per call (callgrind) ...", flush=True)
            counted = instruction_counts(build, py, host, args.quick)
        else:
            print("instructions per call: valgrind is missing, not counted", flush=True)
        print("B4: allocations per cycle ...", flush=True)
        b4_cpp = run_json([str(build / "bench" / "alloc_bench"), host, str(args.cycles)])
        counter_lib = build / "bench" / "liborvek_count_new.so"
        env = dict(os.environ, LD_PRELOAD=str(counter_lib), ORVEK_COUNT_NEW=str(counter_lib))
        b4_py = run_json([py, str(WORKER), "alloc", host, str(args.cycles)], env=env)
        print(f"B6: memory per robot ({args.robots} robots) and import time ...", flush=True)
        b6_mem = run_json([py, str(WORKER), "memory", host, str(args.robots)])
    imports, module = import_times(py, 5 if args.quick else 21)
    print("B5: Pose conversions ...", flush=True)
    b5 = pose_results(py, args.quick, floor_dir, one_client)

    def series_json(s: dict[str, Series]) -> dict:
        out = {}
        for name, series in s.items():
            value, rounds = series.fast_spell()
            out[name] = {"fast_spell_p10_ns": value, "fast_spell_rounds": rounds, "median_ns": series.median(),
                         "p99_ns": series.p99(), "round_p10_ns": series.round_typicals}
        return out

    results.update({
        "module": module,
        "timed": {place: {"realtime": series_json(b1), "state": series_json(b2)} for place, (b1, b2) in timed.items()},
        "instructions": counted,
        "b4": {"cpp": b4_cpp, "python_process": b4_py},
        "b5": b5,
        "b6": {"import_ms": imports, "memory": b6_mem},
    })

    # --- the tables ---
    def table(header: list[str], rows: list[list]) -> str:
        lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
        lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
        return "\n".join(lines)

    def ratios(s: dict[str, Series]) -> str:
        return "; ".join(f"{label} {ratio(s[name], s['limit']):.2f}×"
                         for name, label in (("lib", "liborvek"), ("floor", "floor"), ("pure", "pure")))

    def figures(s: dict[str, Series]) -> list[str]:
        def cell(x: Series) -> str:
            value, rounds = x.fast_spell()
            return f"{us(value)} ({rounds}/{len(x.round_typicals)}) / {us(x.median())} / {us(x.p99())}"
        return [cell(s[n]) for n in ("limit", "lib", "floor", "pure")]

    timed_header = ["#", "what (fast spell, its rounds / median / p99)", "limit (C, raw bytes)", "liborvek",
                    "floor (C++)", "pure Python", "to the limit (fast spells)", "target", "result"]
    sections = []
    for place, (b1, b2) in timed.items():
        client_cpu, sim_cpu = places[place]
        judged = place == "one core"
        rows = []
        for tag, what, s, limit_max, floor_max, pure_max in (
                ("L1/B1", "realtime cycle, `move_joint_with_closure`, trivial function", b1, 1.10, 1.3, 0.7),
                ("L2/B2", "`state()` round trip with the Python `ArmState`", b2, 1.45, 1.2, 0.5)):
            to_limit, to_floor, to_pure = (ratio(s["lib"], s[other]) for other in ("limit", "floor", "pure"))
            if judged:
                target = f"≤ {limit_max:.2f}× limit; ≤ {floor_max}× floor, ≤ {pure_max}× pure"
                result = (f"{tag.split('/')[0]} {verdict(to_limit <= limit_max)}; {tag.split('/')[1]} "
                          f"{verdict(to_floor <= floor_max and to_pure <= pure_max)} "
                          f"({to_floor:.2f}× floor, {to_pure:.2f}× pure)")
            else:
                target, result = "shown, not judged", f"{to_floor:.2f}× floor, {to_pure:.2f}× pure"
            rows.append([tag, what, *figures(s), ratios(s), target, result])
        title = (f"### {place}: client on CPU {client_cpu}, orvek-sim on CPU {sim_cpu}"
                 + (" (judged)" if judged else " (wake-ups across cores included; not judged)"))
        sections.append(title + "\n\n" + table(timed_header, rows))

    if counted:
        count_header = ["hot path", "client", "instructions per call", "reading the reply", "writing the request",
                        "system call wrappers (calls)", "Python (interpreter, objects, binding)", "the rest"]
        rows = []
        for path, label in (("realtime", "realtime cycle (servo_j)"), ("get_data", "`state()` (get_data)")):
            for name, client in (("limit", "limit"), ("floor", "floor (C++)"), ("lib", "liborvek")):
                c = counted[path][name]
                rows.append([label, client, f"{c['total']:,.0f}", f"{c['reading']:,.0f}", f"{c['writing']:,.0f}",
                             f"{c['syscalls']:,.0f} ({c['system_calls']:.1f})", f"{c['python']:,.0f}",
                             f"{c['rest']:,.0f}"])
        sections.append("### instructions per call in the client process (callgrind; simdjson's haswell kernel "
                        "under valgrind)\n\n" + table(count_header, rows))

    rows = []
    wf = results["wire"]["figures"]
    parse = wf["BM_ParseGetData"]
    writes = {name.split("/", 1)[1]: f["cpu_ns"] for name, f in wf.items() if name.startswith("BM_Write/")}
    slowest = max(writes, key=writes.get)
    fastest = f"fastest of {results['wire']['repetitions']} repetitions"
    rows.append(["L3/B3", f"read a {parse['bytes'] / 1000:.1f} KB \"get_data\" reply into `GetDataState` (C++)",
                 us(parse["cpu_ns"]), f"{fastest} (median {us(parse['median_cpu_ns'])}); one pass; for comparison the DOM parse alone "
                 f"{us(wf['BM_ParseGetDataParserOnly']['cpu_ns'])} + its record walk "
                 f"{us(wf['BM_ReadGetDataRecordOnly']['cpu_ns'])}; simdjson kernel {results['wire']['simdjson']}",
                 "≤ 8 µs", verdict(parse["cpu_ns"] <= 8000)])
    rows.append(["B3", f"write each of the {len(writes)} requests (C++)", f"slowest {slowest}: {us(writes[slowest])}",
                 f"{fastest}: servo_j {us(writes['servo_j'])}, get_data {us(writes['get_data'])}; median of the slowest "
                 f"{us(wf['BM_Write/' + slowest]['median_cpu_ns'])}", "≤ 0.3 µs each",
                 verdict(all(v <= 300 for v in writes.values()))])

    steady = b4_cpp["steady"]
    cpp_per_cycle = steady["allocations"] / steady["cycles"]
    py_per_cycle = b4_py["allocations"] / b4_py["cycles"]
    rows.append(["B4", "heap allocations per realtime cycle, C++ driver + transport + wire records",
                 f"{cpp_per_cycle:g} (max {steady['max_per_cycle']} in {steady['cycles']} cycles)",
                 f"counter check: {b4_cpp['counter_check']['seen']}/{b4_cpp['counter_check']['expected']} known, "
                 f"allocating callable {b4_cpp['allocating_callable']['allocations']}/"
                 f"{b4_cpp['allocating_callable']['cycles']} cycles; "
                 f"from Python: {py_per_cycle:g}/cycle, state() {b4_py['state_allocations']}/{b4_py['state_calls']} calls",
                 "0 in steady state", verdict(b4_cpp["counter_works"] and steady["allocations"] == 0)])

    for method in ("euler", "quat", "homo", "axis_angle", "position"):
        entries = [e for e in b5 if e["method"] == method]
        agree = all(e["agree"] and e["same_shape"] for e in entries)
        to_floor = {e["source"]: e["to_floor"] for e in entries}
        detail = ", ".join(f"{src} {r:.2f}×" for src, r in to_floor.items())
        lib_range = f"{min(e['lib_ns'] for e in entries):.0f}–{max(e['lib_ns'] for e in entries):.0f} ns"
        missed = [src for src, r in to_floor.items() if r > 1.3]
        result = verdict(agree and not missed) + (f" ({', '.join(missed)})" if missed else "")
        floor_range = f"{min(e['floor_ns'] for e in entries):.0f}–{max(e['floor_ns'] for e in entries):.0f} ns"
        rows.append(["B5", f"`Pose.{method}()` from each of the 5 sources", lib_range,
                     f"floor {floor_range}; to the floor: {detail}"
                     f"{'' if agree else ' (RESULTS DIFFER)'}", "≤ 1.3× floor each", result])

    import_ms = statistics.median(imports)
    rows.append(["B6", "`import liborvek` (median of fresh interpreters)", f"{import_ms:.2f} ms",
                 f"{len(imports)} runs, {min(imports):.2f}–{max(imports):.2f} ms", "< 10 ms", verdict(import_ms < 10)])
    per_robot = max(b6_mem["connected_bytes"], b6_mem["after_state_bytes"])
    rows.append(["B6", f"resident memory per connected `OrvekRobot` ({b6_mem['robots']} robots)",
                 f"{per_robot / 1024:.1f} KiB",
                 f"connected {b6_mem['connected_bytes'] / 1024:.1f} KiB, after one state() "
                 f"{b6_mem['after_state_bytes'] / 1024:.1f} KiB", "< 64 KiB", verdict(per_robot < 64 * 1024)])
    sections.append("### without the network\n\n" + table(["#", "what", "liborvek", "detail", "target", "result"], rows))

    details = ["B5 per source (time per call, the fastest of 15 repeats; to the floor, the median of the per-repeat "
               "ratios; pure Python for comparison):", "",
               "| method | source | liborvek | floor (C) | to the floor | pure Python |", "|---|---|---|---|---|---|"]
    details += [f"| {e['method']} | {e['source']} | {e['lib_ns']:.0f} ns | {e['floor_ns']:.0f} ns | "
                f"{e['to_floor']:.2f}× | {us(e['pure_ns'])} |" for e in b5]
    note = (f"Machine: {info['cores']} cores, {info['cpu']}, {info['os']}, kernel {info['kernel']}, "
            f"Python {info['python']}; load average at the start {info['load'][0]:.2f}. "
            f"{args.rounds} rounds; realtime {args.cycles} cycles and state() {args.calls} calls per client per round. "
            f"Module: {module}.")
    text = "\n\n".join(sections) + "\n\n" + note + "\n\n" + "\n".join(details) + "\n"
    print()
    print(text)
    (build / "bench-results.md").write_text(text, encoding="utf-8")
    (build / "bench-results.json").write_text(json.dumps(results, indent=1), encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
