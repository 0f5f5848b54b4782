"""The worker-process benchmark's measuring half; bench/tree.sh sets it up.

Environment: VELTRANE_HOST, MAKE_GRID, GRID_OBJ, OUT_DIR, RUNS, RESULTS (see
tree.sh). Prints the report and copies it to RESULTS; exits 1 when a target
is missed, 2 when a run fails or two runs disagree.
"""

import os
import statistics
import subprocess
import sys
import time

TOOL = os.environ["VELTRANE_HOST"]
MAKE_GRID = os.environ["MAKE_GRID"]
GRID_OBJ = os.environ["GRID_OBJ"]
OUT = os.environ["OUT_DIR"]
RUNS = int(os.environ.get("RUNS", "5"))
RESULTS = os.environ.get("RESULTS", "")
FORMATS = ["obj", "glb", "ply", "stl"]
lines = []


def say(text=""):
    print(text, flush=True)
    lines.append(text)


def write_grid(fmt, n, path):
    if os.path.exists(path):
        return
    if fmt == "obj":
        with open(path + ".partial", "wb") as out:
            subprocess.run(["sh", GRID_OBJ, str(n)], stdout=out, check=True)
        os.rename(path + ".partial", path)
    else:
        subprocess.run([MAKE_GRID, fmt, str(n), path], check=True)


def make_tree(name, count, sizes):
    """`count` grids, side i taken from `sizes` in turn, formats in turn."""
    top = os.path.join(OUT, name)
    done = os.path.join(top, ".complete")
    if not os.path.exists(done):
        for i in range(count):
            folder = os.path.join(top, f"f{i % 40:02d}")
            os.makedirs(folder, exist_ok=True)
            fmt = FORMATS[i % len(FORMATS)]
            write_grid(fmt, sizes[i % len(sizes)], os.path.join(folder, f"m{i:04d}.{fmt}"))
        open(done, "w").close()
    return top


def run(argv):
    """Wall seconds, peak KiB and stdout of one run."""
    start = time.monotonic()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, capture_output=True)
    wall = time.monotonic() - start
    if proc.returncode != 0:
        sys.stderr.write(proc.stderr.decode(errors="replace"))
        say(f"FAILED (exit {proc.returncode}): {' '.join(argv)}")
        sys.exit(2)
    peak = int(proc.stderr.decode().strip().splitlines()[-1])
    return wall, peak, proc.stdout


def measure(tree, models):
    walls = {1: [], 2: []}
    peaks = {1: 0, 2: 0}
    first = None
    for _ in range(RUNS):
        for jobs in (1, 2):
            wall, peak, out = run([TOOL, "--no-policy", "--no-ignore", "--json", "-j", str(jobs), tree])
            if first is None:
                first = out
            elif out != first:
                say(f"FAILED: -j {jobs} wrote another report than the first run")
                sys.exit(2)
            walls[jobs].append(wall)
            peaks[jobs] = max(peaks[jobs], peak)
    say("| command | wall (median) | models/s | peak memory |")
    say("|---|---:|---:|---:|")
    for jobs in (1, 2):
        wall = statistics.median(walls[jobs])
        say(f"| veltrane-host --json -j {jobs} | {wall:.3f} s | {models / wall:,.0f} |"
            f" {peaks[jobs] / 1024:.0f} MiB |")
    speedup = statistics.median(walls[1]) / statistics.median(walls[2])
    say(f"\n-j 2 against -j 1: {speedup:.2f} x as fast; the same JSON in every run")
    return speedup, peaks[2]


def main():
    say(f"# veltrane-host over a tree with -j 1 and -j 2 ({RUNS} runs each, in turns)")
    say(f"\nveltrane-host: {TOOL}; cores: {os.cpu_count()}")
    small = make_tree("small", 2000, [10, 12, 14, 16])
    large = make_tree("large", 20, [400, 550, 700, 850, 1000])
    say("\n## small: 2,000 models, grids of 10 to 16 quads a side, OBJ, GLB, PLY and STL\n")
    small_speedup, _ = measure(small, 2000)
    say("\n## large: 20 models, grids of 400 to 1000 quads a side, OBJ, GLB, PLY and STL\n")
    large_speedup, large_peak = measure(large, 20)
    alone = []
    for folder, _, files in os.walk(large):
        for name in files:
            if name.startswith("m"):
                path = os.path.join(folder, name)
                alone.append(max(run([TOOL, "--no-policy", "--json", "-j", "1", path])[1]
                                 for _ in range(2)))
    alone.sort(reverse=True)
    limit = alone[0] + alone[1] + 8 * 1024
    say(f"\nthe two largest models alone: {alone[0] / 1024:.0f} MiB and {alone[1] / 1024:.0f} MiB")
    say("\n## Targets\n\n```text")
    results = [
        ("small tree: -j 2 against -j 1", small_speedup >= 1.8, f"{small_speedup:.2f} x (at least 1.80 x)"),
        ("large tree: -j 2 against -j 1", large_speedup >= 1.6, f"{large_speedup:.2f} x (at least 1.60 x)"),
        ("large tree: peak with -j 2", large_peak <= limit,
         f"{large_peak / 1024:.1f} MiB (at most {limit / 1024:.1f} MiB: the two largest alone + 8 MiB)"),
    ]
    for text, passed, value in results:
        say(f"{'PASS' if passed else 'FAIL'}    {text}: {value}")
    say("```")
    if RESULTS:
        with open(RESULTS, "w") as out:
            out.write("\n".join(lines) + "\n")
        print(f"==> report in {RESULTS}")
    sys.exit(0 if all(passed for _, passed, _ in results) else 1)


main()
