"""Turns the benchmarks' JSON into the Markdown table of bench/README.md and the
data file that bench/count.gnuplot plots. Medians of the repetitions."""
import json
import pathlib
import sys

out = pathlib.Path(sys.argv[1])


NS = 1e9  # the inverted rates are stored in seconds per element


def medians(name):
    runs = json.loads((out / f"{name}.json").read_text())["benchmarks"]
    return {r["run_name"]: r for r in runs if r.get("aggregate_name") == "median"}


count = medians("count_bench")
sizes = sorted({int(k.split("/")[1]) for k in count})
rows = []
with open(out / "count.dat", "w") as dat:
    dat.write("# faces  CountObject  CallFloor  MemoryFloor  (ns per element)\n")
    for n in sizes:
        c, f, m = (count[f"BM_{k}/{n}"]["ns_per_element"] * NS
                   for k in ("CountObject", "CallFloor", "MemoryFloor"))
        dat.write(f"{n} {c:.3f} {f:.3f} {m:.4f}\n")
        rows.append((n, c, f, m))

print("| faces | CountObject ns/element | call floor | memory floor | CountObject / call floor | CountObject / memory floor |")
print("|---:|---:|---:|---:|---:|---:|")
for n, c, f, m in rows:
    print(f"| {n:,} | {c:.2f} | {f:.2f} | {m:.3f} | {c / f:.2f} | {c / m:.0f} |")

update = medians("update_bench")
print()
print("| objects | UpdateCounts ns/object | CountObject alone ns/object | ratio |")
print("|---:|---:|---:|---:|")
for n in (1, 10, 100, 1000, 10000):
    u = update[f"BM_UpdateCounts/{n}"]["ns_per_object"] * NS
    c = update[f"BM_CountCubes/{n}"]["ns_per_object"] * NS
    print(f"| {n:,} | {u:.0f} | {c:.0f} | {u / c:.2f} |")

print()
freeze = update["BM_FreezePath/iterations:3"]["real_time"]
host = update["BM_FreezeOnly/iterations:3"]["real_time"]
print("| freeze path, patch level 2 cage of 100k faces | ms |")
print("|---|---:|")
print(f"| clone + freeze + count 1.6M faces + delete (CountObject) | {freeze:.0f} |")
print(f"| clone + freeze + delete alone (the host's share) | {host:.0f} |")
