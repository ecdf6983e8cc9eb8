"""vindrel-report on real reports: two runs on this machine differ only where
they really differ, a change planted in one shows once at its place, and the
Windows build reads, converts and writes back like the native one."""
import os
import re
import shutil
import subprocess
import tempfile

from harness import BUILD, READER, E2ETestCase, escape_run, file_lines, main, wine

READER_EXE = os.path.join(BUILD, "reader", "vindrel-report.exe")
TOLERANCE = 3.0  # percent; the reader's default for the measured clock


class ReportReaderTest(E2ETestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="vindrel-reader-")
        cls.reports = []
        for n in range(2):
            _, code, data = escape_run()
            assert code == 0
            cls.reports.append(cls.write(cls, "run%d.txt" % n, data))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def diff(self, *args):
        result = subprocess.run([READER, "diff", *args], capture_output=True, timeout=120)
        return result.returncode, result.stdout.decode("latin-1").splitlines()

    def test_two_runs_differ_only_in_the_clock_beyond_its_tolerance(self):
        speeds = [float(re.search(rb"^CPU speed: (\S+)\r$", self.read(path), re.M).group(1)) for path in self.reports]
        moved = abs(speeds[1] - speeds[0]) > abs(speeds[0]) * TOLERANCE / 100
        code, lines = self.diff(*self.reports)
        expected = ["CPU > CPU speed: %s -> %s" % tuple(
            re.search(rb"^CPU speed: (\S+)\r$", self.read(p), re.M).group(1).decode() for p in self.reports)]
        self.assertEqual((code, lines), (1, expected) if moved else (0, []))
        self.assertEqual(self.diff("--clock-tolerance", "1000", *self.reports), (0, []))

    def test_a_planted_change_shows_once(self):
        data = self.read(self.reports[0])
        lines = file_lines(data)
        build = next(line for line in lines if line.startswith(b"Build:"))
        number = int(build[len(b"Build:"):])
        first = next(line for line in lines if line.endswith((b":present", b":not available")) and b"GL_" in line)
        name, _, word = first.partition(b":")
        other = b"present" if word == b"not available" else b"not available"
        for old, new, expected in (
                (build, b"Build:%d" % (number + 1), "Windows > Build: %d -> %d" % (number, number + 1)),
                (first, name + b":" + other,
                 'OpenGL > Caps > %s: "%s" -> "%s"' % (name.decode(), word.decode(), other.decode()))):
            with self.subTest(expected):
                planted = self.write("planted.txt", data.replace(b"\r\n" + old + b"\r\n", b"\r\n" + new + b"\r\n", 1))
                self.assertEqual(self.diff(self.reports[0], planted), (1, [expected]))

    def test_windows_build_reads_converts_and_writes_back(self):
        data = self.read(self.reports[0])
        native = subprocess.run([READER, "json", self.reports[0]], capture_output=True, timeout=120, check=True).stdout
        checked = wine(READER_EXE, "check", "run0.txt", cwd=self.dir)
        self.assertEqual((checked.returncode, checked.stdout), (0, b""))
        converted = wine(READER_EXE, "json", "run0.txt", cwd=self.dir)
        self.assertEqual(converted.returncode, 0)
        self.assertEqual(converted.stdout, native)
        self.write("run0.json", converted.stdout)
        back = wine(READER_EXE, "text", "run0.json", cwd=self.dir)
        self.assertEqual(back.returncode, 0)
        self.assertTrue(back.stdout == data, "vindrel-report.exe text did not give back the bytes")
        # A survey of three, so that shares do not divide evenly, names from one PCI list.
        self.write("pci.ids", b"10de  NVIDIA Corporation\n\t06cd  GF100 [GeForce GTX 470]\n")
        self.write("run2.txt", re.sub(rb"CPU speed: [^\r]*", b"CPU speed: 1499.5", data, count=1))
        args = ["survey", "--pci-ids", "pci.ids", "--require", "clock>=1500", "--require", "GL_ARB_multitexture",
                "run0.txt", "run1.txt", "run2.txt"]
        for extra in (["--html", "page.html"], ["--json"]):
            with self.subTest(extra[0]):
                host = subprocess.run([READER, *args, *extra], cwd=self.dir, capture_output=True, timeout=120)
                page = self.read(os.path.join(self.dir, "page.html")) if extra[0] == "--html" else None
                windows = wine(READER_EXE, *args, *extra, cwd=self.dir)
                self.assertEqual((windows.returncode, windows.stdout), (host.returncode, host.stdout))
                if page is not None:
                    self.assertIn(b"clock>=1500: fails 1 of 3 (33.3 %)", host.stdout)
                    self.assertTrue(self.read(os.path.join(self.dir, "page.html")) == page, "the pages differ")
        missing = wine(READER_EXE, "check", "missing.txt", cwd=self.dir)
        self.assertEqual(missing.returncode, 2)
        self.assertIn(b"missing.txt: cannot be read", missing.stderr)


if __name__ == "__main__":
    main()
