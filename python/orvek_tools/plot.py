"""orvek-plot: a picture of a run, from a viewer recording or an orvek-sim log.

    orvek-plot INPUT... -o OUT.png

For each input: the joints and the tool's speed over time, with the commands marked; for
each servo run in a simulator log, the targets sent against the arm's joints and a histogram
of the cycle intervals with their median and the worst. Needs matplotlib
(pip install "liborvek[plot]").
"""

from __future__ import annotations

import argparse
import statistics
import sys
from pathlib import Path

from .runs import Run, cycle_intervals, read_run

COLORS = ["#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#bcbd22"]


def command_groups(run: Run) -> list[tuple[float, list[str]]]:
    """The commands in time order; those within 2 % of the run's length of the first of a
    group share its label."""
    times = run.times + [t for t, _ in run.commands]
    span = max(times) - min(times) if times else 0
    groups: list[tuple[float, list[str]]] = []
    for t, name in run.commands:
        if groups and t - groups[-1][0] < 0.02 * span:
            if name not in groups[-1][1]:
                groups[-1][1].append(name)
        else:
            groups.append((t, [name]))
    return groups


def mark_commands(ax, run: Run, labels_ax=None) -> None:
    for t, _ in run.commands:
        ax.axvline(t, color="#999", linewidth=0.8, linestyle="--", zorder=0)
    if labels_ax is None:
        return
    labels_ax.set_ylim(0, 3)
    labels_ax.axis("off")
    for row, (t, names) in enumerate(command_groups(run)):
        y = 2.5 - row % 3
        labels_ax.plot([t, t], [0, y], color="#999", linewidth=0.8, linestyle="--")
        labels_ax.text(t, y, " " + ", ".join(names), fontsize=7, color="#333", va="center", ha="left")


def plot_motion(axes, run: Run) -> None:
    labels_ax, joints_ax, speed_ax = axes
    if run.times:
        for j in range(6):
            joints_ax.plot(run.times, [q[j] for q in run.joints], color=COLORS[j], linewidth=1.2, label=f"J{j + 1}")
        joints_ax.legend(loc="upper left", bbox_to_anchor=(1.0, 1.0), fontsize=7, frameon=False)
        speed_times, speeds = run.tool_speeds()
        speed_ax.plot(speed_times, speeds, color="#333", linewidth=1.0)
    else:
        joints_ax.text(0.5, 0.5, "no samples of the arm: give orvek-sim --log-joints HZ", ha="center",
                       transform=joints_ax.transAxes, color="#a33")
    mark_commands(joints_ax, run, labels_ax)
    mark_commands(speed_ax, run)
    joints_ax.set_ylabel(f"{run.name}\njoints (deg)")
    speed_ax.set_ylabel("tool speed (mm/s)")
    speed_ax.set_xlabel("time (s)")


def plot_servo(axes, run: Run, index: int) -> None:
    track_ax, hist_ax = axes
    servo = run.servo_runs[index]
    end = servo.times[-1]
    moving = [j for j in range(6) if max(t[j] for t in servo.targets) - min(t[j] for t in servo.targets) > 1e-9]
    for j in moving or range(6):
        track_ax.plot(servo.times, [t[j] for t in servo.targets], ".", markersize=2.5, color=COLORS[j],
                      label=f"J{j + 1} target{' offset' if servo.relative else ''}")
        inside = [(t, q[j]) for t, q in zip(run.times, run.joints) if servo.start <= t <= end]
        if inside:
            track_ax.plot(*zip(*inside), color="#222", linewidth=0.8, label=f"J{j + 1} arm (sampled)")
    track_ax.legend(loc="best", fontsize=7, frameon=False)
    track_ax.set_title(f"servo run {index + 1}: {len(servo.times)} targets sent vs the arm", loc="left", fontsize=10)
    track_ax.set_xlabel("time (s)")

    intervals = [1e3 * v for v in cycle_intervals(servo)]
    median, worst = statistics.median(intervals), max(intervals)
    hist_ax.hist(intervals, bins=60, color="#4e79a7")
    hist_ax.axvline(median, color="#2ca02c", linewidth=1.2, label=f"median {median:.3f} ms")
    hist_ax.axvline(worst, color="#d62728", linewidth=1.2, label=f"worst {worst:.3f} ms")
    hist_ax.set_yscale("log")
    hist_ax.legend(fontsize=7, frameon=False)
    hist_ax.set_title(f"cycle intervals ({len(intervals)}), at the controller", loc="left", fontsize=10)
    hist_ax.set_xlabel("interval (ms)")


def draw(runs: list[Run], out: Path) -> None:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    rows = sum(3 + len(r.servo_runs) for r in runs)
    heights = [h for r in runs for h in [0.35, 1.4, 0.8] + [1.2] * len(r.servo_runs)]
    fig = plt.figure(figsize=(10, 1.9 * sum(heights)), layout="constrained")
    grid = fig.add_gridspec(rows, 2, height_ratios=heights, width_ratios=[1.6, 1])
    row = 0
    for run in runs:
        joints_ax = fig.add_subplot(grid[row + 1, :])
        labels_ax = fig.add_subplot(grid[row, :], sharex=joints_ax)
        speed_ax = fig.add_subplot(grid[row + 2, :], sharex=joints_ax)
        plot_motion((labels_ax, joints_ax, speed_ax), run)
        row += 3
        for index in range(len(run.servo_runs)):
            plot_servo((fig.add_subplot(grid[row, 0]), fig.add_subplot(grid[row, 1])), run, index)
            row += 1
    for ax in fig.axes:
        ax.grid(True, color="#eee", linewidth=0.6)
        ax.tick_params(labelsize=8)
    fig.savefig(out, dpi=80)
    plt.close(fig)


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(prog="orvek-plot", description="Plot a viewer recording or an orvek-sim log.")
    parser.add_argument("inputs", nargs="+", type=Path, metavar="INPUT", help="recording (.csv) or orvek-sim --log file")
    parser.add_argument("-o", "--output", required=True, type=Path, metavar="OUT.png")
    args = parser.parse_args(argv)
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print('orvek-plot: needs matplotlib: pip install "liborvek[plot]"', file=sys.stderr)
        raise SystemExit(2)
    try:
        runs = [read_run(path) for path in args.inputs]
    except (OSError, ValueError, UnicodeDecodeError) as error:
        sys.exit(f"orvek-plot: {error}")
    draw(runs, args.output)
    print(f"orvek-plot: wrote {args.output}")


if __name__ == "__main__":
    main()
