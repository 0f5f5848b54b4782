#!/usr/bin/env python3
"""Runs two builds of veltrane-host on the same models and lists every
invocation whose output differs in any byte: standard output, standard error
or exit status. For changes that must not change what users see (a
restructuring), the list is empty.

usage: scripts/output-diff.py OLD_BIN NEW_BIN [MODEL_DIR...]

OLD_BIN and NEW_BIN are folders holding veltrane-host and Veltrane.so (a
build's bin/ folder, or a copy of one made before the change). The models are
the repository's samples/ and every file of Debian's assimp-testmodels (or the
folders given), each run on its own as text, as text with --objects, and as
--json --objects; the samples also with the README's options. Runs in the
repository root (names in the output are relative to it). Exits 1 when any
output differs, else 0.
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MODES = [[], ["--objects"], ["--json", "--objects"]]
SAMPLE_MODES = [["--tick", "Freeze"], ["--json", "--tick", "Freeze", "--objects"],
                ["--untick", "Visible", "--max-faces", "10", "--max-object-vertices", "5"],
                ["--formats"], ["--help"]]


def run(bin_dir, args):
    tool = os.path.join(bin_dir, "veltrane-host")
    plugin = os.path.join(bin_dir, "Veltrane.so")
    try:
        done = subprocess.run([tool, "--plugin", plugin] + args, capture_output=True,
                              timeout=300, check=False, cwd=ROOT, stdin=subprocess.DEVNULL)
        return done.returncode, done.stdout, done.stderr
    except subprocess.TimeoutExpired:
        return "timed out", b"", b""


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    old_bin, new_bin = (os.path.abspath(p) for p in sys.argv[1:3])
    folders = sys.argv[3:] or ["samples", "/usr/share/assimp/models"]
    invocations = []
    for folder in folders:
        for root, _, names in sorted(os.walk(os.path.join(ROOT, folder))):
            for name in sorted(names):
                path = os.path.relpath(os.path.join(root, name), ROOT)
                modes = MODES + (SAMPLE_MODES if folder == "samples" else [])
                invocations += [mode + [path] for mode in modes]
    differ = 0
    for args in invocations:
        old, new = run(old_bin, args), run(new_bin, args)
        if old != new:
            differ += 1
            print("differs:", " ".join(args), flush=True)
            for what, a, b in zip(("status", "stdout", "stderr"), old, new):
                if a != b:
                    print(f"  {what}: {a!r:.300}\n  {' ' * len(what)}  {b!r:.300}")
    print(f"{len(invocations)} runs, {differ} differ")
    sys.exit(1 if differ else 0)


if __name__ == "__main__":
    main()
