#!/usr/bin/env python3
"""Makes a fleet of reports and times vindrel-report on it, natively: one json and
one diff as single processes, then json, summary and survey of the whole fleet in
one process each, with their peak memory beside a fleet a tenth the size, and, in
the same run, cat of every file and a ten-line Python loop that splits every line
at its colon: what reading the files costs at the least, and a throwaway script.

The fleet is copies of typed reports (tests/reader/typed_report.py) and of any real
stats.txt named on the command line, with fields varied: GL_ARB_multisample present
on 3 in 10, two Direct3D 8 driver versions, texture memory, the clock, and one in
100 cut short. A benchmark, not a test: it prints figures.

Usage: bench/fleet.py [--count N] [--reader PATH] [STATS.TXT...]
"""
import argparse
import os
import random
import re
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "reader"))
import typed_report as typed  # noqa: E402

BUILD = os.environ.get("VINDREL_BUILD_DIR", os.path.join(ROOT, "build"))
TEXTURE_MB = (32, 64, 128, 256, 512)
DRIVERS = (b"DriverVersion:658360", b"DriverVersion:658361")


def make_fleet(folder, count, real):
    """Writes the fleet; returns its paths and the counts planted in it."""
    bases = [typed.report(), typed.report(d3d8=2), typed.report(cpu="basic", drives=3),
             typed.report(win=dict(pack=b"", connection=b"INTERNET_CONNECTION_LAN"))] + real
    rng = random.Random(26)
    planted = {"present": 0, "cut": 0, DRIVERS[0]: 0, DRIVERS[1]: 0}
    paths = []
    for i in range(count):
        data = bases[i % len(bases)]
        present = i % 10 < 3
        data = data.replace(b"GL_ARB_multisample:" + (b"not available" if present else b"present"),
                            b"GL_ARB_multisample:" + (b"present" if present else b"not available"))
        planted["present"] += present
        driver = DRIVERS[i % 2]
        data = re.sub(rb"DriverVersion:-?\d+", driver, data)
        planted[driver] += b"DriverVersion:" in data
        mb = rng.choice(TEXTURE_MB)
        data = re.sub(rb"Available Texture Memory: -?\d+ \[\d+ MB\]",
                      b"Available Texture Memory: %d [%d MB]" % (mb << 20, mb), data)
        data = re.sub(rb"CPU speed: [^\r\n]*", b"CPU speed: %g" % round(rng.uniform(800, 4000), 2), data)
        if i % 100 == 99:
            data = data[:rng.randrange(len(data) // 2, len(data) - 1)]
            planted["cut"] += 1
        path = os.path.join(folder, "r%05d.txt" % i)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    return paths, planted


def timed(args, sample=False):
    """Wall seconds, peak resident MB (with sample) and stdout's line count, byte
    count and first 64 KB. The peak is the kernel's high-water mark, read while the
    run lasts: the rusage of a child started from Python counts Python's own pages as
    they were when the child started."""
    peak = 0
    with tempfile.TemporaryFile() as out:
        start = time.monotonic()
        process = subprocess.Popen(args, stdout=out, stderr=subprocess.DEVNULL)
        while sample and process.poll() is None:
            try:
                with open("/proc/%d/status" % process.pid) as f:
                    peak = max([peak] + [int(line.split()[1]) for line in f if line.startswith("VmHWM:")])
            except OSError:
                pass
            time.sleep(0.002)
        process.wait()
        seconds = time.monotonic() - start
        out.seek(0)
        head, lines, size = out.read(1 << 16), 0, 0
        out.seek(0)
        for chunk in iter(lambda: out.read(1 << 20), b""):
            lines, size = lines + chunk.count(b"\n"), size + len(chunk)
        return seconds, peak / 1024, lines, size, head


# What a user's throwaway script does with a fleet: read each file, split each line.
PYTHON_LOOP = """
import sys
lines = 0
for path in open(sys.argv[1]).read().split("\\n"):
    if path:
        with open(path, "rb") as f:
            for line in f.read().split(b"\\n"):
                key, _, value = line.partition(b":")
                lines += 1
print(lines)
"""

REQUIRE = ["--require", "memory>=512", "--require", "ps>=2.0", "--require", "GL_ARB_multisample"]


def wall(args):
    """Wall seconds of a run whose output is thrown away."""
    start = time.monotonic()
    subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    return time.monotonic() - start


def median_ms(args, runs=21):
    times = sorted(timed(args)[0] for _ in range(runs))
    return statistics.median(times), "%.1f ms  (%.1f - %.1f)" % (
        1000 * statistics.median(times), 1000 * times[0], 1000 * times[-1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=10000)
    parser.add_argument("--reader", default=os.path.join(BUILD, "reader-host", "vindrel-report"))
    parser.add_argument("real", nargs="*", help="real stats.txt files to copy from")
    options = parser.parse_args()
    real = []
    for path in options.real:
        with open(path, "rb") as f:
            real.append(f.read())
    reader = options.reader
    with tempfile.TemporaryDirectory() as folder:
        start = time.monotonic()
        paths, planted = make_fleet(folder, options.count, real)
        made = time.monotonic() - start
        size = sum(os.path.getsize(p) for p in paths)
        listing = os.path.join(folder, "list")
        with open(listing, "w") as f:
            f.write("\n".join(paths) + "\n")
        tenth = os.path.join(folder, "tenth")
        with open(tenth, "w") as f:
            f.write("\n".join(paths[:max(1, len(paths) // 10)]) + "\n")
        one, other = paths[0], paths[1]

        commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"], capture_output=True,
                                text=True).stdout.strip() or "unknown"
        print("vindrel-report on a fleet, natively (no Wine); %s, commit %s" % (time.strftime("%Y-%m-%d"), commit))
        print("%d cores, load average %.1f at the start" % (os.cpu_count(), os.getloadavg()[0]))
        print("fleet: %d reports, %.1f MB, made in %.1f s (%d real, %d typed bases)"
              % (len(paths), size / 1e6, made, len(real), 4))
        print()
        print("single runs, median of 21 (min - max)")
        print("  process start (--help)  " + median_ms([reader, "--help"])[1])
        single, shown = median_ms([reader, "json", one])
        print("  json of one report      " + shown)
        print("  diff of two reports     " + median_ms([reader, "diff", one, other])[1])
        print()
        print("the whole fleet in one process")
        wall(["xargs", "-a", listing, "cat"])  # the files in the page cache, as for every run after
        cat = wall(["xargs", "-a", listing, "cat"])
        loop = os.path.join(folder, "loop.py")
        with open(loop, "w") as f:
            f.write(PYTHON_LOOP)
        python = wall([sys.executable, loop, listing])
        print("  cat      %6.2f s  (xargs cat, output thrown away)" % cat)
        print("  python   %6.2f s  (a ten-line loop splitting every line at its colon)" % python)
        seconds, rss, lines, out_size, _ = timed([reader, "json", "--files-from", listing], True)
        json_seconds = seconds
        print("  json     %6.2f s  %5.1f MB peak  (%d lines, %.0f MB out; as %d single runs about %.0f s)"
              % (seconds, rss, lines, out_size / 1e6, len(paths), single * len(paths)))
        seconds, rss, _, _, text = timed([reader, "summary", "--files-from", listing], True)
        summary_seconds = seconds
        print("  summary  %6.2f s  %5.1f MB peak" % (seconds, rss))
        previous = os.path.join(folder, "previous.json")
        with open(previous, "wb") as f:
            subprocess.run([reader, "survey", "--json", "--files-from", tenth], stdout=f, stderr=subprocess.DEVNULL)
        page = os.path.join(folder, "page.html")
        survey_args = [reader, "survey", "--files-from", listing, *REQUIRE, "--previous", previous, "--html", page]
        seconds, rss, _, _, survey_text = timed(survey_args, True)
        survey_seconds = seconds
        print("  survey   %6.2f s  %5.1f MB peak  (three requirements, a previous survey, the page of %.0f KB)"
              % (seconds, rss, os.path.getsize(page) / 1e3 if os.path.exists(page) else 0))
        rss_tenth = timed([reader, "summary", "--files-from", tenth], True)[1]
        json_tenth = timed([reader, "json", "--files-from", tenth], True)[1]
        survey_tenth = timed(survey_args[:3] + [tenth] + survey_args[4:], True)[1]
        print("  peak memory for a tenth of the fleet: summary %.1f MB, json %.1f MB, survey %.1f MB"
              % (rss_tenth, json_tenth, survey_tenth))
        print("  ratios: summary %.2f x python, %.1f x cat; survey %.2f x python, %.1f x cat; json %.2f x python"
              % (summary_seconds / python, summary_seconds / cat, survey_seconds / python, survey_seconds / cat,
                 json_seconds / python))
        print()
        text = text.decode("latin-1")
        found = re.search(r"GL_ARB_multisample: present on (\d+) of", text)
        print("planted: GL_ARB_multisample on %d, driver versions %d / %d, %d cut short" % (
            planted["present"], planted[DRIVERS[0]], planted[DRIVERS[1]], planted["cut"]))
        print("summary: GL_ARB_multisample on %s, driver versions %s / %s, %s not whole" % (
            found and found.group(1),
            *(re.search(r"DriverVersion: %s: (\d+)" % d[len(b"DriverVersion:"):].decode(), text).group(1)
              for d in DRIVERS),
            re.search(r"reports not whole: (\d+)", text).group(1)))
        found = re.search(rb"require: GL_ARB_multisample: fails (\d+) of", survey_text)
        print("survey:  GL_ARB_multisample missing on %s (planted %d)"
              % (found and found.group(1).decode(), len(paths) - planted["present"]))


if __name__ == "__main__":
    main()
