#!/usr/bin/env python3
"""Counts every file of Debian's assimp-testmodels with two builds of
veltrane-host and lists the files whose result differs: a change to a reader
shows here as the numbers it moves, file by file.

usage: scripts/testmodels-diff.py OLD_BIN NEW_BIN [MODELS_DIR]

OLD_BIN and NEW_BIN are folders holding veltrane-host and Veltrane.so (a
build's bin/ folder, or a copy of one made before a change). Each file is
counted on its own (--json --objects), for 120 s at most. Prints a
line per differing file with both results, then a summary; exits 0.
"""
import json
import os
import subprocess
import sys


def count(bin_dir, path):
    tool = os.path.join(bin_dir, "veltrane-host")
    plugin = os.path.join(bin_dir, "Veltrane.so")
    try:
        run = subprocess.run([tool, "--plugin", plugin, "--json", "--objects", path],
                             capture_output=True, timeout=120, check=False)
    except subprocess.TimeoutExpired:
        return "timed out"
    try:
        model = json.loads(run.stdout)["models"][0]
    except (ValueError, KeyError, IndexError):
        return f"exit {run.returncode}, no report"
    if model["error"]:
        return f"exit {run.returncode}: {model['error']}"
    counts = model["all"] or {}
    return (f"exit {run.returncode}: {model['object_count']} objects, V {counts.get('vertices')}"
            f" F {counts.get('total')} (lines {counts.get('lines')} tris {counts.get('triangles')}"
            f" quads {counts.get('quads')} ngons {counts.get('ngons')})")


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    old_bin, new_bin = sys.argv[1], sys.argv[2]
    models = sys.argv[3] if len(sys.argv) == 4 else "/usr/share/assimp/models"
    files = sorted(os.path.join(root, name) for root, _, names in os.walk(models)
                   for name in names)
    changed = 0
    for path in files:
        old, new = count(old_bin, path), count(new_bin, path)
        if old != new:
            changed += 1
            print(os.path.relpath(path, models))
            print(f"  old: {old}\n  new: {new}", flush=True)
    print(f"{len(files)} files, {changed} changed")


if __name__ == "__main__":
    main()
