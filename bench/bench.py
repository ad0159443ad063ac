#!/usr/bin/env python3
"""Times Corepen's whole run against the floor and a per-process loop.

For each population (processes x threads) it starts, inside a fresh PID
namespace of its own, that many processes of that many sleeping threads,
then times in turn, several interleaved times: Corepen, the floor (one walk
over /proc, one sched_setaffinity per thread) and a loop that starts one
small program per process to set that process's threads, the way a shell
loop over `taskset -a -p` does. Each run moves every thread from all
processors to processor 0; before each, every thread is put back.

  bench.py BUILD_DIR [--runs N] [--out DIR]

Prints a table of medians and ratios, and writes results.csv and
results.svg into --out (default: this folder). Needs root.
"""
import argparse
import csv
import os
import platform
import statistics
import subprocess
import sys

SHAPES = [(200, 1), (50, 40), (4, 1000), (1, 4000), (1, 20000)]
TOOLS = ["corepen", "floor", "loop"]


def inside(build, processes, threads, runs):
    """The namespace's first process: start the population, time the tools."""
    helper = os.path.join(build, "thread_helper")
    bench = os.path.join(build, "bench")
    timed = os.path.join(bench, "bench_timed")
    everything = [str(cpu) for cpu in sorted(os.sched_getaffinity(0))]
    for _ in range(processes):
        subprocess.run([helper, "spawn", str(threads)], check=True, stdout=subprocess.DEVNULL)
    commands = {
        "corepen": [os.path.join(build, "corepen"), "0"],
        "floor": [os.path.join(bench, "bench_floor"), "0"],
        "loop": ["/bin/sh", "-c", 'for d in /proc/[0-9]*; do "$0" 0 "${d#/proc/}"; done',
                 os.path.join(bench, "bench_setpid")],
    }
    for run in range(runs):
        order = TOOLS[run % 3:] + TOOLS[:run % 3]
        for tool in order:
            subprocess.run([os.path.join(bench, "bench_floor")] + everything, check=True)
            out = subprocess.run([timed] + commands[tool], check=True, capture_output=True,
                                 text=True).stdout.split()
            left = off_mask(helper) if tool == "corepen" else 0
            print(tool, out[0], out[1], left, flush=True)


def off_mask(helper):
    """Threads not on processor 0 alone, after a run."""
    report = subprocess.run([helper, "report"], check=True, capture_output=True, text=True)
    return sum(1 for line in report.stdout.splitlines() if line.split()[3] != "1")


def measure(build, processes, threads, runs):
    command = ["unshare", "--pid", "--fork", "--mount-proc", "--kill-child",
               sys.executable, os.path.abspath(__file__), build, "--inside",
               str(processes), str(threads), "--runs", str(runs)]
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    times = {tool: [] for tool in TOOLS}
    peak_kib, left = 0, 0
    for line in out.splitlines():
        tool, usec, rss, off = line.split()
        times[tool].append(int(usec) / 1000)
        if tool == "corepen":
            peak_kib = max(peak_kib, int(rss))
            left += int(off)
    medians = {tool: statistics.median(times[tool]) for tool in TOOLS}
    return medians, peak_kib, left


def machine():
    model = "unknown processor"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return f"{os.cpu_count()} x {model}, Linux {platform.release()}"


def plot(rows, path):
    """Time against threads per process, both on log scales, as SVG."""
    import math
    width, height, left, bottom, top, right = 640, 400, 70, 50, 30, 150
    xs = [row["threads"] for row in rows]
    ys = [row[tool] for row in rows for tool in TOOLS]
    x0, x1 = math.log10(min(xs)), math.log10(max(xs))
    y0, y1 = math.floor(math.log10(min(ys))), math.ceil(math.log10(max(ys)))

    def px(x):
        return left + (math.log10(x) - x0) / (x1 - x0) * (width - left - right)

    def py(y):
        return height - bottom - (math.log10(y) - y0) / (y1 - y0) * (height - bottom - top)

    colours = {"corepen": "#c0392b", "floor": "#2c3e50", "loop": "#7f8c8d"}
    names = {"corepen": "Corepen", "floor": "floor", "loop": "per-process loop"}
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           f'font-family="sans-serif" font-size="12">',
           f'<rect width="{width}" height="{height}" fill="white"/>',
           f'<text x="{left}" y="18" font-size="13">Whole run, moving every thread to '
           f'processor 0 (median, log scales)</text>']
    for decade in range(y0, y1 + 1):
        y = py(10 ** decade)
        out.append(f'<line x1="{left}" y1="{y:.1f}" x2="{width - right}" y2="{y:.1f}" '
                   f'stroke="#ddd"/><text x="{left - 8}" y="{y + 4:.1f}" '
                   f'text-anchor="end">{10 ** decade:g} ms</text>')
    for row in rows:
        x = px(row["threads"])
        out.append(f'<text x="{x:.1f}" y="{height - bottom + 18}" text-anchor="middle">'
                   f'{row["processes"]}x{row["threads"]}</text>')
    out.append(f'<text x="{(left + width - right) / 2}" y="{height - 10}" '
               f'text-anchor="middle">processes x threads per process</text>')
    for i, tool in enumerate(TOOLS):
        points = " ".join(f"{px(row['threads']):.1f},{py(row[tool]):.1f}" for row in rows)
        out.append(f'<polyline points="{points}" fill="none" stroke="{colours[tool]}" '
                   f'stroke-width="2"/>')
        for row in rows:
            out.append(f'<circle cx="{px(row["threads"]):.1f}" cy="{py(row[tool]):.1f}" '
                       f'r="3" fill="{colours[tool]}"/>')
        out.append(f'<line x1="{width - right + 15}" y1="{top + 20 * i}" '
                   f'x2="{width - right + 35}" y2="{top + 20 * i}" stroke="{colours[tool]}" '
                   f'stroke-width="2"/><text x="{width - right + 40}" y="{top + 20 * i + 4}">'
                   f'{names[tool]}</text>')
    out.append("</svg>")
    with open(path, "w") as svg:
        svg.write("\n".join(out) + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--inside", nargs=2, type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    if args.inside:
        inside(build, *args.inside, args.runs)
        return
    print(f"Machine: {machine()}; median of {args.runs} interleaved runs, whole-process wall time")
    print(f"{'processes x threads':>20} {'Corepen':>10} {'floor':>10} {'loop':>10} "
          f"{'Corepen/floor':>14} {'loop/floor':>11} {'peak RSS':>9} {'left off':>9}")
    rows = []
    for processes, threads in SHAPES:
        medians, peak_kib, left = measure(build, processes, threads, args.runs)
        row = {"processes": processes, "threads": threads, **medians,
               "ratio": medians["corepen"] / medians["floor"],
               "loop_ratio": medians["loop"] / medians["floor"],
               "peak_rss_kib": peak_kib, "threads_left_off_mask": left}
        rows.append(row)
        print(f"{f'{processes} x {threads}':>20} {medians['corepen']:>8.1f}ms "
              f"{medians['floor']:>8.1f}ms {medians['loop']:>8.1f}ms {row['ratio']:>14.2f} "
              f"{row['loop_ratio']:>11.2f} {peak_kib / 1024:>7.1f}MiB {left:>9}", flush=True)
    with open(os.path.join(args.out, "results.csv"), "w", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=list(rows[0]))
        writer.writeheader()
        writer.writerows(rows)
    plot(rows, os.path.join(args.out, "results.svg"))
    print(f"Wrote results.csv and results.svg in {args.out}")


if __name__ == "__main__":
    main()
