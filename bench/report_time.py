"""Launches each program RUNS times and prints the figures (see report_time.sh).

Times are taken here, on the Linux side, from the start of "wine PROGRAM": what a
user waits for. bench_watch.exe, started once per batch, sees the dialog the moment
it is shown and posts Escape to it at once."""
import contextlib
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = os.environ["VINDREL_BUILD"]
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
VINDREL = os.path.join(BUILD, "app", "vindrel.exe")
FLOOR = os.path.join(BUILD, "bench", "floor.exe")
WATCH = os.path.join(BUILD, "bench", "bench_watch.exe")
BLOCKS = os.path.join(BUILD, "bench", "block_times.exe")
SECTIONS = ["CPU", "DirectX", "OpenGL", "Memory", "Windows"]


def launch_batch(watch, exe, runs, keep=None):
    """Per run: (launch to shown, launch to exit, Escape to exit) in seconds."""
    figures = []
    for _ in range(runs):
        workdir = tempfile.mkdtemp(prefix="vindrel-bench-")
        start = time.monotonic()
        program = subprocess.Popen(["wine", exe], cwd=workdir,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        line = watch.stdout.readline().strip()
        shown = time.monotonic()
        if line != "shown":
            program.kill()
            program.wait()
            raise RuntimeError("%s: the dialog was not shown (%r)" % (exe, line))
        program.wait(timeout=600)
        ended = time.monotonic()
        line = watch.stdout.readline().strip()
        if line != "gone":
            raise RuntimeError("%s: the dialog did not close (%r)" % (exe, line))
        figures.append((shown - start, ended - start, ended - shown))
        progress("%s: shown %.3f s, exit %.3f s" % (os.path.basename(exe), shown - start, ended - start))
        if keep:
            shutil.copy(os.path.join(workdir, "stats.txt"), keep)
        shutil.rmtree(workdir, ignore_errors=True)
    return figures


def dxdiag_batch(runs):
    walls = []
    workdir = tempfile.mkdtemp(prefix="vindrel-dxdiag-")
    for _ in range(runs):
        start = time.monotonic()
        subprocess.run(["wine", "dxdiag", "/t", "dxdiag.txt"], cwd=workdir, timeout=900,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        walls.append(time.monotonic() - start)
        progress("dxdiag /t: %.3f s" % walls[-1])
    ok = os.path.exists(os.path.join(workdir, "dxdiag.txt"))
    shutil.rmtree(workdir, ignore_errors=True)
    return walls, ok


def block_times(mode):
    """block_times.exe's "name milliseconds" lines, in seconds."""
    result = subprocess.run(["wine", BLOCKS, mode], capture_output=True, text=True, timeout=900)
    figures = {}
    for line in result.stdout.splitlines():
        name, _, value = line.partition(" ")
        if value:
            figures[name] = float(value) / 1000
    return figures


def sections_batch(runs):
    """Each section's cost, the five run in order in a fresh process each time."""
    found = []
    for _ in range(runs):
        figures = block_times("sections")
        if set(SECTIONS) <= figures.keys():
            found.append(figures)
            progress("sections: " + ", ".join("%s %.3f s" % (name, figures[name]) for name in SECTIONS))
    return found


def blocks_batch(runs):
    """The "DirectX" section's three blocks, each timed, in a fresh process; a second
    process times the OpenGL section with nothing started before it."""
    found = []
    for _ in range(runs):
        figures = {}
        for mode in ("parts", "opengl"):
            figures.update(block_times(mode))
        if {"Direct3D9", "Direct3D8", "DirectShow"} <= figures.keys():
            found.append(figures)
            progress("blocks: " + ", ".join("%s %.3f s" % item for item in sorted(figures.items())))
    return found


def progress(text):
    print(text, file=sys.stderr, flush=True)


def spread(values):
    return "%8.3f s  (%.3f - %.3f)" % (statistics.median(values), min(values), max(values))


def column(figures, i):
    return [f[i] for f in figures]


@contextlib.contextmanager
def watcher():
    """bench_watch.exe, started once, with vindrel.exe started once to warm the
    prefix and the file caches (not counted)."""
    watch = subprocess.Popen(["wine", WATCH, "1000000", "escape"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
    try:
        if watch.stdout.readline().strip() != "ready":
            raise RuntimeError("the watcher did not start")
        # A slow machine may miss Wine's wait for its desktop process once.
        for attempt in range(3):
            try:
                launch_batch(watch, VINDREL, 1)
                break
            except RuntimeError as error:
                progress("warm-up: %s" % error)
        yield watch
    finally:
        if watch.poll() is None:
            watch.kill()
        watch.wait()


def own_times(runs):
    """For bench/run_time.sh: vindrel.exe's own launch to exit, one figure a line."""
    with watcher() as watch:
        for figures in launch_batch(watch, VINDREL, runs):
            print("%.3f" % figures[1])


def commit():
    try:
        return subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"], capture_output=True,
                              text=True, timeout=10).stdout.strip() or "unknown"
    except (OSError, subprocess.SubprocessError):
        return "unknown"


def main():
    if len(sys.argv) > 2 and sys.argv[1] == "own":
        own_times(int(sys.argv[2]))
        return
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    emulated = os.environ.get("VINDREL_BENCH_EMULATED") == "1"
    with watcher() as watch:
        launch_batch(watch, FLOOR, 1)
        vindrel = launch_batch(watch, VINDREL, runs, keep=os.path.join(BUILD, "bench", "last-stats.txt"))
        floor = launch_batch(watch, FLOOR, runs)
    sections = sections_batch(runs)
    blocks = blocks_batch(runs)
    dxdiag, dxdiag_ok = dxdiag_batch(runs)

    print("Vindrel report time, %d runs each; median (min - max)" % runs)
    print("platform: %s; %s, commit %s" % (
        "the emulated test machine (qemu TCG)" if emulated else "native 32-bit Wine",
        time.strftime("%Y-%m-%d"), commit()))
    if emulated:
        print("absolute times are many times a real machine's there; compare the ratios.")
    print()
    for name, figures in (("vindrel.exe", vindrel), ("floor.exe", floor)):
        print("%-12s launch to shown  %s" % (name, spread(column(figures, 0))))
        print("%-12s launch to exit   %s" % ("", spread(column(figures, 1))))
        print("%-12s Escape to exit   %s" % ("", spread(column(figures, 2))))
    print("%-12s wall time        %s%s" % ("dxdiag /t", spread(dxdiag), "" if dxdiag_ok else "  (wrote no file!)"))
    print()
    v_shown, f_shown = statistics.median(column(vindrel, 0)), statistics.median(column(floor, 0))
    v_exit, f_exit = statistics.median(column(vindrel, 1)), statistics.median(column(floor, 1))
    d = statistics.median(dxdiag)
    print("report ready after the floor: %+.3f s (shown, vindrel - floor)" % (v_shown - f_shown))
    print("ratio vindrel/floor:   shown %.2f   exit %.2f" % (v_shown / f_shown, v_exit / f_exit))
    print("ratio vindrel/dxdiag:  shown %.2f   exit %.2f" % (v_shown / d, v_exit / d))
    print()
    if sections:
        print("per section (block_times, the five in order, %d runs): median (min - max)" % len(sections))
        for name in SECTIONS:
            values = [s[name] for s in sections if name in s]
            if values:
                print("  %-8s %s" % (name, spread(values)))
        totals = [sum(s.values()) for s in sections]
        print("  %-8s %s" % ("all", spread(totals)))
    if blocks:
        print("\"DirectX\" by block (block_times, a fresh process each, %d runs): median (min - max)" % len(blocks))
        for name in ("Direct3D9", "Direct3D8", "DirectShow"):
            print("  %-10s %s" % (name, spread([b[name] for b in blocks])))
        alone = [b["OpenGL"] for b in blocks if "OpenGL" in b]
        if alone:
            print("\"OpenGL\" with nothing started before it: %s" % spread(alone))
    print()
    print("vindrel.exe size: %d bytes (%.1f KiB)" % (os.path.getsize(VINDREL),
                                                                   os.path.getsize(VINDREL) / 1024))


if __name__ == "__main__":
    main()
