"""Runs the vindrel-report examples that README.md and docs/reader.md show, so that
none can go stale.

How an example is written, in markdown:
- Only ```console blocks run; any other block is text.
- A line "$ COMMAND" is run by bash in a folder of its own that holds the example
  files below, with vindrel-report (and jq, where installed) on the PATH. A command
  that uses jq is skipped where jq is not installed.
- The lines after a command, up to the next "$ " line or the block's end, are what
  it prints (standard output and standard error together). Without a line "...",
  the output must be those lines exactly; a "..." line stands for lines left out,
  and the lines shown must then come in that order.
- "[exit N]" after a command's output: its exit status, 0 when not given.
- The commands of one file share one folder, in the file's order.
The example files, typed reports: stats.txt (whole), cut.txt (cut inside the line
"GL_SGIX_flush_raster:not available"), before.txt and after.txt (after.txt has
DriverVersion 658361, GL_ARB_multisample present, a second drive and Build 9200),
and fleet/ (r0.txt to r9.txt: GL_ARB_multisample present on r0 to r2, DriverVersion
658361 on r6 to r9, r9 cut before its drive), with fleet.txt naming them.
"""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import typed_report as typed

BUILD = os.environ.get("VINDREL_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
READER_DIR = os.path.join(BUILD, "reader-host")
SOURCES = [os.path.join(typed.ROOT, "README.md"), os.path.join(typed.ROOT, "docs", "reader.md")]


def examples(path):
    """The commands of path's console blocks: (line number, command, shown lines, exit status)."""
    found, block = [], False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if line.strip().startswith("```"):
                block = not block and line.strip() == "```console"
            elif block and line.startswith("$ "):
                found.append([number, line[2:], [], 0])
            elif block and found and re.fullmatch(r"\[exit (\d+)\]", line):
                found[-1][3] = int(line[6:-1])
            elif block and found:
                found[-1][2].append(line)
    return found


def write_files(folder):
    def put(name, data):
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)

    data = typed.report()
    put("stats.txt", data)
    at = data.index(b"GL_SGIX_flush_raster:")
    put("cut.txt", data[:at + len(b"GL_SGIX_flush_")])
    before = typed.report(drives=1)
    after = typed.report(drives=2).replace(b"DriverVersion:658360", b"DriverVersion:658361").replace(
        b"GL_ARB_multisample:not available", b"GL_ARB_multisample:present").replace(b"Build:7601", b"Build:9200")
    put("before.txt", before)
    put("after.txt", after)
    names = []
    for i in range(10):
        report = data
        if i < 3:
            report = report.replace(b"GL_ARB_multisample:not available", b"GL_ARB_multisample:present")
        if i >= 6:
            report = report.replace(b"DriverVersion:658360", b"DriverVersion:658361")
        if i == 9:
            report = report[:report.index(b"Hard Drive 0")]
        names.append("fleet/r%d.txt" % i)
        put(names[-1], report)
    put("fleet.txt", "".join(name + "\n" for name in names).encode())


def matches(shown, lines):
    """True when the output lines are the shown ones, "..." standing for any lines."""
    if "..." not in shown:
        return shown == lines
    at = 0
    for line in shown:
        if line == "...":
            continue
        while at < len(lines) and lines[at] != line:
            at += 1
        if at == len(lines):
            return False
        at += 1
    return True


class ExamplesTest(unittest.TestCase):
    def test_every_example_runs_as_shown(self):
        self.assertTrue(os.access(os.path.join(READER_DIR, "vindrel-report"), os.X_OK), READER_DIR)
        env = dict(os.environ, PATH=READER_DIR + os.pathsep + os.environ["PATH"], LC_ALL="C")
        ran = 0
        for source in SOURCES:
            if not os.path.exists(source):
                continue
            with tempfile.TemporaryDirectory() as folder:
                write_files(folder)
                for number, command, shown, status in examples(source):
                    if re.search(r"\bjq\b", command) and not shutil.which("jq"):
                        continue
                    with self.subTest("%s:%d" % (os.path.relpath(source, typed.ROOT), number), command=command):
                        result = subprocess.run(["bash", "-c", command], cwd=folder, env=env, timeout=60,
                                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                        lines = result.stdout.decode("latin-1").splitlines()
                        self.assertEqual(result.returncode, status, "\n".join(lines[:20]))
                        self.assertTrue(matches(shown, lines), "shown:\n%s\nprinted:\n%s" % (
                            "\n".join(shown), "\n".join(lines[:60])))
                        ran += 1
        self.assertGreater(ran, 0, "no example found in docs/reader.md")


if __name__ == "__main__":
    unittest.main(verbosity=2)
