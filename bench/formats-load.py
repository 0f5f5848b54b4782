#!/usr/bin/env python3
"""Times veltrane-host on generated GLB, PLY and STL grids beside assimp's and
gltf-transform's command-line tools, and on 300 small GLB files beside 300
small OBJ files, then checks the load-time targets. Run through
bench/formats-load.sh, which installs and builds what this needs and passes
it in the environment:

  VELTRANE_HOST   veltrane-host (Veltrane.so beside it)
  MAKE_GRID       bench's make_grid (writes the GLB, PLY and STL grids)
  GRID_OBJ        bench/make-grid-obj.sh
  GLTF_TRANSFORM  gltf-transform, or empty with GLTF_TRANSFORM_WHY saying why;
                  GLTF_TRANSFORM_VERSION its version
  OUT_DIR         where the files are generated (kept for the next run)
  RUNS            runs of each command (median wall time, largest peak)
  RESULTS         file the report is also written to ('' for none); every
                  single run goes to the same name with .runs.tsv

Every veltrane-host report is checked against the counts the grid holds, so
that a wrong or failed load cannot pass for a fast one. A veltrane-host
command that is a usage error (an option this build does not have yet) is
"not available", and the run goes on.
"""
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOL = os.environ["VELTRANE_HOST"]
MAKE_GRID = os.environ["MAKE_GRID"]
GRID_OBJ = os.environ["GRID_OBJ"]
GLTF = os.environ.get("GLTF_TRANSFORM", "")
GLTF_WHY = os.environ.get("GLTF_TRANSFORM_WHY", "not installed")
GLTF_VERSION = os.environ.get("GLTF_TRANSFORM_VERSION", "")
OUT = os.environ["OUT_DIR"]
RUNS = int(os.environ.get("RUNS", "5"))
RESULTS = os.environ.get("RESULTS", "")
BIG = int(os.environ.get("BIG_N", "1000"))  # 2,000,000 triangles
HUGE = int(os.environ.get("HUGE_N", "2237"))  # 10,008,338 triangles
SMALL = int(os.environ.get("SMALL_N", "10"))  # about 4.5 KB as GLB and as OBJ
COPIES = int(os.environ.get("SMALL_FILES", "300"))
TIMEOUT = 900  # seconds for one command; assimp on the 10M grid takes tens

report_lines = []


def say(text=""):
    print(text, flush=True)
    report_lines.append(text)


def grid_counts(n, quads=False):
    """Vertices, faces and face points of an n x n grid (triangles unless quads)."""
    vertices = (n + 1) ** 2
    faces = n * n if quads else 2 * n * n
    return vertices, faces, faces * (4 if quads else 3)


def document_bytes(n, quads=False):
    """The host document's own arrays for the grid: positions as 3 doubles and a
    reference count per vertex (28 bytes), start and size per face, an index
    per face point (as bench/obj-load.sh estimates them)."""
    vertices, faces, points = grid_counts(n, quads)
    return vertices * 28 + faces * 8 + points * 4


# --- Files ---------------------------------------------------------------


def generate(fmt, n, path):
    if not os.path.exists(path):
        print(f"==> writing {path}", flush=True)
        subprocess.run([MAKE_GRID, fmt, str(n), path], check=True)
        if os.path.exists(path + ".valid"):
            os.remove(path + ".valid")
    return path


def generate_copies(kind, n, folder):
    """COPIES files of one small grid in folder, made whole or not at all."""
    if os.path.isdir(folder) and len(os.listdir(folder)) == COPIES:
        return sorted(os.path.join(folder, name) for name in os.listdir(folder))
    print(f"==> writing {COPIES} small {kind.upper()} files into {folder}", flush=True)
    shutil.rmtree(folder, ignore_errors=True)
    partial = folder + ".partial"
    shutil.rmtree(partial, ignore_errors=True)
    os.makedirs(partial)
    first = os.path.join(partial, f"grid-{0:03d}.{kind}")
    if kind == "glb":
        subprocess.run([MAKE_GRID, "glb", str(n), first], check=True)
    else:
        with open(first, "wb") as out:
            subprocess.run([GRID_OBJ, str(n)], stdout=out, check=True)
    for i in range(1, COPIES):
        shutil.copyfile(first, os.path.join(partial, f"grid-{i:03d}.{kind}"))
    os.rename(partial, folder)
    return sorted(os.path.join(folder, name) for name in os.listdir(folder))


def validate(path):
    """gltf-transform's validator (Khronos') must find no error; a file it
    passed is marked, so it is validated once."""
    if os.path.exists(path + ".valid"):
        return "valid (checked before)"
    if not GLTF:
        return f"not validated: gltf-transform {GLTF_WHY}"
    run = subprocess.run([GLTF, "validate", path], capture_output=True, text=True, check=False)
    text = run.stdout + run.stderr
    if run.returncode != 0 or "No errors found" not in text:
        sys.exit(f"{path}: gltf-transform validate finds errors:\n{text}")
    open(path + ".valid", "w").close()
    return "valid (gltf-transform validate: no errors)"


# --- Runs ----------------------------------------------------------------


class Command:
    """One command line timed RUNS times: wall times, peaks, what went wrong."""

    def __init__(self, label, argv, check=None):
        self.label = label
        self.argv = argv
        self.check = check  # check(stdout) -> None or what is wrong
        self.walls, self.peaks = [], []
        self.failure = None  # text shown in place of the figures
        self.unavailable = False

    def run_once(self, tsv, file_label):
        if self.failure:
            return
        with tempfile.TemporaryDirectory() as scratch:
            timing = os.path.join(scratch, "time")
            out_path, err_path = os.path.join(scratch, "out"), os.path.join(scratch, "err")
            with open(out_path, "wb") as out, open(err_path, "wb") as err:
                start = time.perf_counter()
                child = subprocess.Popen(
                    ["/usr/bin/time", "-o", timing, "-f", "%M"] + self.argv,
                    stdout=out, stderr=err, cwd=OUT, start_new_session=True)
                # A blocking wait, which returns as the child ends; the time
                # limit is a timer's. (wait(timeout=...) polls, sleeping up to
                # 50 ms between looks: every wall came out rounded up to the
                # next look, 0.0635, 0.1135, 0.1635 s...)
                stopped = threading.Event()

                def stop():
                    stopped.set()
                    try:
                        os.killpg(child.pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass  # ended as the time ran out

                timer = threading.Timer(TIMEOUT, stop)
                timer.start()
                status = child.wait()
                wall = time.perf_counter() - start
                timer.cancel()
                if stopped.is_set():
                    status = None
            stdout = open(out_path, "rb").read()
            stderr = open(err_path, "rb").read().decode("utf-8", "replace")
            peak = None
            try:
                peak = int(open(timing).read().split()[-1])
            except (OSError, ValueError, IndexError):
                pass
        problem = None
        if status is None:
            problem = f"failed: no end after {TIMEOUT} s"
        elif status != 0:
            usage = self.usage_error(stdout, stderr, status)
            if usage:
                self.unavailable = True
                problem = f"not available (usage error: {usage})"
            else:
                first = " ".join(stderr.split())[:200]
                problem = f"failed: exit {status}: {first}"
        elif self.check:
            wrong = self.check(stdout)
            if wrong:
                problem = f"failed: wrong count: {wrong}"
        tsv.write(f"{file_label}\t{self.label}\t{wall:.4f}\t{peak if peak is not None else ''}"
                  f"\t{problem or 'ok'}\n")
        if problem:
            self.failure = problem
            return
        self.walls.append(wall)
        self.peaks.append(peak or 0)

    @staticmethod
    def usage_error(stdout, stderr, status):
        """veltrane-host's usage error: exit 2, and a report that never began
        (its JSON document has no model). Returns its message, or None."""
        if status != 2:
            return None
        try:
            document = json.loads(stdout)
        except ValueError:
            return None
        if not isinstance(document, dict) or document.get("models"):
            return None
        message = document.get("error") or stderr.strip().splitlines()[0:1]
        return message if isinstance(message, str) else " ".join(message)

    def ok(self):
        return not self.failure and self.walls

    def wall(self):
        return statistics.median(self.walls)

    def peak(self):
        return max(self.peaks)


def host_check(n, files=1, quads=False):
    """What veltrane-host's JSON must hold for `files` copies of an n x n grid."""
    vertices, faces, _ = grid_counts(n, quads)
    want = {"vertices": vertices, "quads" if quads else "triangles": faces}

    def check(stdout):
        try:
            models = json.loads(stdout)["models"]
        except (ValueError, KeyError, TypeError):
            return "no JSON report"
        if len(models) != files:
            return f"{len(models)} models in the report, {files} given"
        for model in models:
            counts = model.get("all") or {}
            got = {key: counts.get(key) for key in want}
            if model.get("error") is not None or got != want:
                return f"{model.get('file')}: {got} (error {model.get('error')!r}), expected {want}"
        return None

    return check


def measure(commands, tsv, file_label):
    """RUNS turns, each command once a turn, so that a slow moment of the shared
    machine falls on all of them."""
    for _ in range(RUNS):
        for command in commands:
            command.run_once(tsv, file_label)


def table(commands):
    base = commands[0] if commands[0].ok() else None
    say("| command | wall | peak memory | wall / veltrane-host's | peak / veltrane-host's |")
    say("|---|---:|---:|---:|---:|")
    for command in commands:
        label = f"{command.label}, median of {len(command.walls)}" if command.ok() else command.label
        if not command.ok():
            say(f"| {label} | {command.failure or 'not run'} | | | |")
            continue
        wall_ratio = f"{command.wall() / base.wall():.3f}" if base else ""
        peak_ratio = f"{command.peak() / base.peak():.2f}" if base and base.peak() else ""
        say(f"| {label} | {command.wall():.3f} s | {command.peak() / 1024:.0f} MiB | "
            f"{wall_ratio} | {peak_ratio} |")


# --- Targets -------------------------------------------------------------

targets = []


def target(text, native, value, limit, unit=""):
    """Records a target 'value at most limit'. PENDING while our readers have
    not landed (the figures are then today's tool's, through assimp)."""
    if value is None or limit is None:
        verdict, figures = "FAIL", "not measured"
    else:
        verdict = "PASS" if value <= limit else "FAIL"
        figures = f"{value:.3f}{unit} (at most {limit:.3f}{unit})"
    if not native:
        verdict = "PENDING"
        figures += " (today's tool, through assimp)"
    targets.append(f"{verdict:7} {text}: {figures}")


def assimp_extensions():
    """The extensions this build still reads through assimp: `--formats` lists
    them after its "through assimp:" line, up to the paragraph that follows."""
    text = subprocess.run([TOOL, "--formats"], capture_output=True, text=True,
                          check=False).stdout
    extensions, listing = set(), False
    for line in text.splitlines():
        if "through assimp" in line:
            listing = True
        elif listing and line.startswith("            ."):
            extensions.update(word.lower() for word in line.split())
        elif listing:
            break
    return extensions


def ratio(a, b):
    return a.wall() / b.wall() if a.ok() and b.ok() and b.wall() > 0 else None


def main():
    os.makedirs(OUT, exist_ok=True)
    tsv = open(RESULTS[: -len(".txt")] + ".runs.tsv" if RESULTS.endswith(".txt")
               else os.path.join(OUT, "runs.tsv"), "w")
    tsv.write("file\tcommand\twall_s\tpeak_kib\tresult\n")

    # Is our reader in? Its sibling flag --reader assimp lands with it.
    probe = Command("probe", [TOOL, "--no-policy", "--reader", "assimp", "--json",
                              os.path.join(ROOT, "samples", "cage.obj")])
    probe.run_once(open(os.devnull, "w"), "probe")
    # And each format's: a format whose extension --formats still lists under
    # assimp has no reader of ours in this build.
    through_assimp = assimp_extensions()
    native_formats = {fmt for fmt in ("glb", "ply", "stl")
                      if not probe.unavailable and "." + fmt not in through_assimp}

    def host_label(fmt):
        return ("veltrane-host --no-policy --json (our reader)" if fmt in native_formats else
                "veltrane-host --no-policy --json (our reader pending: today through assimp)")

    say(f"# veltrane-host loading GLB, PLY and STL ({RUNS} runs each, median wall, largest peak)")
    say()
    say(f"veltrane-host: {TOOL}")
    say("our readers: " + (", ".join(sorted(native_formats)) + " in; " if native_formats else "") +
        ("PENDING: " + probe.failure if probe.unavailable else
         "pending (--formats lists them under assimp): " +
         (", ".join(sorted({"glb", "ply", "stl"} - native_formats)) or "none")))
    say(f"gltf-transform {GLTF_VERSION}: {GLTF or GLTF_WHY}")
    say(f"assimp: {shutil.which('assimp') or 'not installed (apt-get install assimp-utils)'}")
    say()

    results = {}
    for fmt, n in (("glb", BIG), ("ply", BIG), ("stl", BIG), ("glb", HUGE)):
        path = generate(fmt, n, os.path.join(OUT, f"grid-{n}.{fmt}"))
        name = os.path.basename(path)
        vertices, faces, _ = grid_counts(n)
        document = document_bytes(n)
        size = os.path.getsize(path)
        validity = validate(path) if fmt == "glb" and n == BIG else ""
        say(f"## {name}: {n} x {n} grid, {vertices:,} vertices, {faces:,} triangles, "
            f"{size / 1e6:.1f} MB")
        say()
        say(f"document arrays {document / 1e6:.1f} MB; file size + 2 x arrays = "
            f"{(size + 2 * document) / 1e6:.1f} MB{'; ' + validity if validity else ''}")
        say()
        commands = [
            Command(host_label(fmt), [TOOL, "--no-policy", "--json", path], host_check(n)),
            Command("veltrane-host --no-policy --reader assimp --json",
                    [TOOL, "--no-policy", "--reader", "assimp", "--json", path], host_check(n)),
            Command("assimp info", ["assimp", "info", path]),
        ]
        if probe.unavailable:
            commands[1].failure = probe.failure
        if not shutil.which("assimp"):
            commands[2].failure = "not installed (apt-get install assimp-utils)"
        if fmt == "glb":
            gltf = Command(f"gltf-transform inspect ({GLTF_VERSION})", [GLTF, "inspect", path])
            if not GLTF:
                gltf.failure = f"gltf-transform {GLTF_WHY}"
            commands.append(gltf)
        measure(commands, tsv, name)
        table(commands)
        say()
        results[(fmt, n)] = (commands, size, document)

    # The small files: every path on one command line, one run of the tool.
    native_glb = "glb" in native_formats
    glbs = generate_copies("glb", SMALL, os.path.join(OUT, f"small-{SMALL}-glb"))
    objs = generate_copies("obj", SMALL, os.path.join(OUT, f"small-{SMALL}-obj"))
    small_validity = validate(glbs[0])
    say(f"## {COPIES} small files in one run: {SMALL} x {SMALL} grids, "
        f"GLB {os.path.getsize(glbs[0]):,} bytes each ({small_validity}), "
        f"OBJ {os.path.getsize(objs[0]):,} bytes each")
    say()
    small = [
        Command(f"veltrane-host --no-policy --json {COPIES} GLB files"
                f"{' (our reader)' if native_glb else ' (our reader pending: today through assimp)'}",
                [TOOL, "--no-policy", "--json"] + glbs, host_check(SMALL, COPIES)),
        Command(f"veltrane-host --no-policy --reader assimp --json {COPIES} GLB files",
                [TOOL, "--no-policy", "--reader", "assimp", "--json"] + glbs,
                host_check(SMALL, COPIES)),
        Command(f"veltrane-host --no-policy --json {COPIES} OBJ files",
                [TOOL, "--no-policy", "--json"] + objs, host_check(SMALL, COPIES, quads=True)),
    ]
    if probe.unavailable:
        small[1].failure = probe.failure
    measure(small, tsv, f"{COPIES} small files")
    table(small)
    say()

    native = native_glb
    big_glb, glb_size, glb_document = results[("glb", BIG)]
    host, _, assimp, gltf = big_glb
    target(f"{BIG}x{BIG} GLB: veltrane-host's time / gltf-transform inspect's",
           native, ratio(host, gltf), 0.1)
    target(f"{BIG}x{BIG} GLB: veltrane-host's time / assimp info's",
           native, ratio(host, assimp), 1 / 40)
    target(f"{BIG}x{BIG} GLB: veltrane-host's peak against file size + 2 x document arrays",
           native, host.peak() * 1024 / 1e6 if host.ok() else None,
           (glb_size + 2 * glb_document) / 1e6, " MB")
    for fmt in ("ply", "stl"):
        commands = results[(fmt, BIG)][0]
        target(f"{BIG}x{BIG} {fmt.upper()}: veltrane-host's time / assimp info's",
               fmt in native_formats, ratio(commands[0], commands[2]), 1 / 40)
    huge_host = results[("glb", HUGE)][0][0]
    target(f"{HUGE}x{HUGE} GLB: veltrane-host's time / the {BIG}x{BIG} GLB's",
           native, ratio(huge_host, host), 10.0, "x")
    target(f"{HUGE}x{HUGE} GLB: veltrane-host's peak / the {BIG}x{BIG} GLB's",
           native, huge_host.peak() / host.peak() if huge_host.ok() and host.ok() else None,
           10.0, "x")
    target(f"{COPIES} small GLB files in one run: time / {COPIES} OBJ files' (one run)",
           native, ratio(small[0], small[2]), 2.0, "x")
    say("## Targets")
    say()
    say("```text")
    for line in targets:
        say(line)
    say("```")
    tsv.close()
    if RESULTS:
        with open(RESULTS, "w") as out:
            out.write("\n".join(report_lines) + "\n")
        print(f"==> report in {RESULTS}")


if __name__ == "__main__":
    main()
