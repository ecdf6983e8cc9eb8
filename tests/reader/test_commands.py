"""vindrel-report's commands on typed reports of every shape the program
writes, on reports damaged one line at a time or cut anywhere, and on inputs that
are no report at all."""
import collections
import json
import os
import random
import subprocess
import tempfile
import unittest

import typed_report as typed

BUILD = os.environ.get("VINDREL_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
READER = os.path.join(BUILD, "reader-host", "vindrel-report")

# Every shape of report the program writes, by the blocks it leaves out or repeats.
HIGH = bytes(range(0x80, 0x100))
SHAPES = {
    "usual": {},
    "no CPUID": dict(cpu="none"),
    "no extended CPUID": dict(cpu="basic"),
    "no Direct3D 9, two Direct3D 8 adapters": dict(d3d9=None, d3d8=2),
    "no Direct3D 9 adapter, no Direct3D 8": dict(d3d9=0, d3d8=None),
    "two Direct3D 9 adapters, no Direct3D 8 adapter": dict(d3d9=2, d3d8=0),
    "no runtime at all": dict(d3d9=None, d3d8=None),
    "test device refused, no modes": dict(adapter=dict(modes=0, texture=False)),
    "no DirectShow device": dict(shows={b"Video Input": []}),
    "OpenGL a leaf": dict(gl="leaf"),
    "no display-device query": dict(gl=dict(device=None)),
    "no display mode, nothing present": dict(gl=dict(modes=0, present=())),
    "empty GL strings": dict(gl=dict(version=b"", renderer=b"", vendor=b"", device=b"")),
    "no drive": dict(drives=0),
    "three drives": dict(drives=3),
    "connected by LAN": dict(win=dict(pack=b"", connection=b"INTERNET_CONNECTION_LAN")),
    "connection flags 0x12": dict(win=dict(connection=b"Unkown 0x12")),
    "texts with formats, high bytes and line ends": dict(
        adapter=dict(description=b"%s%n%x%d%%p" + HIGH, driver=b"tab\there\rcr\nlf\r\n" + b"D" * 300),
        gl=dict(renderer=b"%s%n" * 10 + b"R" * 70_000, version=b"V" * 4086, vendor=b"\x80\xff\t\r\n%n" + b"W" * 300),
        win=dict(pack=b"a\r\nb"), shows={b"MIDI": [b"%s", b"\xe9\xe8", b"x\ry"]}),
    "every byte in a driver name": dict(adapter=dict(description=b"E" * 511, driver=bytes(range(1, 256)))),
}


Result = collections.namedtuple("Result", "returncode stdout stderr")


def run(*args, stdin=b""):
    """Runs the reader; returns (exit code, stdout, stderr). A hang fails the test."""
    result = subprocess.run([READER, *args], input=stdin, capture_output=True, timeout=120)
    return Result(result.returncode, result.stdout, result.stderr)


class ReaderTestCase(unittest.TestCase):
    maxDiff = 4000

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def file(self, data, name="stats.txt"):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def to_json(self, path):
        result = run("json", path)
        return result, json.loads(result.stdout)

    def assertRoundTrip(self, path, data):
        """json then text gives back the bytes, whatever check thinks of them."""
        result = run("json", path)
        back = run("text", self.file(result.stdout, "report.json"))
        self.assertEqual(back.returncode, 0, back.stderr)
        self.assertTrue(back.stdout == data, "text did not give back the bytes")


class WholeReportTest(ReaderTestCase):
    def test_every_shape_checks_and_round_trips(self):
        for name, shape in SHAPES.items():
            for end in (b"\r\n", b"\n"):
                data = typed.report(end=end, **shape)
                if end == b"\n" and b"\r\n" in data:
                    continue  # a text's own CR LF would make the file a CR LF one
                with self.subTest(name, end=end):
                    path = self.file(data)
                    self.assertEqual(run("check", path)[:2], (0, b""))
                    result = run("json", path)
                    self.assertEqual((result.returncode, result.stderr), (0, b""))
                    self.assertEqual(json.loads(result.stdout)["line_end"], "CR LF" if end == b"\r\n" else "LF")
                    self.assertRoundTrip(path, data)

    def test_values_as_the_report_prints_them(self):
        _, doc = self.to_json(self.file(typed.report(**SHAPES["texts with formats, high bytes and line ends"])))
        cpu = doc["CPU"]
        self.assertEqual((cpu["CPU speed"], cpu["CPUID1"], cpu["Faimly"], cpu["Model"], cpu["Brand"]),
                         (2096.25, "0x306a9", 6, 10, 9))
        self.assertEqual(cpu["MMX  Capable"], "yes")
        caps9 = doc["DirectX"]["DirectX9.0"][0]
        self.assertEqual(caps9["MaxVertexW"], 1e10)
        self.assertEqual(caps9["VertexShaderVersion"], {"major": 3, "minor": 0, "value": 4294836992})
        self.assertEqual(caps9["MaxPixelShader30InstructionSlots"], -2147483648)
        adapter = doc["DirectX"]["DirectX8.1"][0]
        # Latin-1: byte 0xNN is code point U+00NN; line ends inside a text stay in it.
        self.assertEqual(adapter["description"], "%s%n%x%d%%p" + "".join(map(chr, range(0x80, 0x100))))
        self.assertEqual(adapter["driver"], "tab\there\rcr\nlf\r\n" + "D" * 300)
        self.assertEqual(adapter["Display Modes"][1], {"width": 800, "height": 600, "refresh": 60, "format": "0x17"})
        self.assertEqual(adapter["D3DDEVTYPE_HAL caps"]["Video Flip Synchronization"]["Every Second Refresh"],
                         "not supported")
        self.assertEqual(adapter["D3DDEVTYPE_HAL caps"]["Available Texture Memory"], {"bytes": 134217727, "MB": 127})
        self.assertEqual(doc["DirectX"]["DirectShow"]["MIDI"], ["%s", "\xe9\xe8", "x\ry"])
        self.assertEqual(doc["DirectX"]["DirectShow"]["Video Input"], [])
        gl = doc["OpenGL"]
        self.assertEqual(gl["Vendor"], "\x80\xff\t\r\n%n" + "W" * 300)
        self.assertEqual(gl["Caps"]["GL_EXT_abgr"], "present")
        self.assertEqual(gl["Caps"]["GL_ARB_multisample"], "not available")
        self.assertEqual(list(gl["Caps"]), [name.decode() for name in typed.CHECKLIST])
        memory = doc["Memory"]
        self.assertEqual(memory["RAM"]["Total Virtual Memory"], {"bytes": -191668224, "MB": 3913})
        self.assertEqual(memory["drives"][0]["Total Capacity"],
                         {"bytes": 82252800000, "MB": 78442, "high": "0x13", "low": "26a62000"})
        windows = doc["Windows"]
        self.assertEqual((windows["Build"], windows["Network"], windows["ServicePack"]), (7601, "0x3", "a\r\nb"))
        self.assertEqual(windows["Internet Connection"], "Unkown 0x10")
        self.assertNotIn("unfit", doc)


class DamagedReportTest(ReaderTestCase):
    def check_one(self, lines, expected_message):
        """The damaged report fails check with exactly the expected line, and still
        round-trips through JSON with the damaged line kept."""
        data = b"".join(line + b"\r\n" for line in lines)
        path = self.file(data)
        code, out, _ = run("check", path)
        self.assertEqual((code, out.decode("latin-1")), (1, path + ":" + expected_message + "\n"))
        result, doc = self.to_json(path)
        self.assertEqual(result.returncode, 1)
        self.assertRoundTrip(path, data)
        return doc

    def test_one_line_changed_missing_or_added(self):
        base = typed.report_lines()
        at = {line: i for i, line in reversed(list(enumerate(base)))}
        cases = [  # (line replaced, by what (None: removed), message); formats typed from the documentation
            (b"Faimly: 6", [b"Family: 6"], '%d: expected "Faimly: %%d", found "Family: 6"'),
            (b"Model: 10", None, '%d: missing "Model: %%d" before this line'),
            (b"Model: 10", [b"Model: 10", b"junk"], '%d: expected "Brand: %%d", found "junk"'),
            (b"MaxTextureWidth : 16384", [b"MaxTextureWidth : 016384"],
             '%d: expected "MaxTextureWidth : %%u", found "MaxTextureWidth : 016384"'),
            (b"Total Physical Memory: 2147483647 [2047 MB]", [b"Total Physical Memory: 2147483647 [2046 MB]"],
             '%d: expected "Total Physical Memory: %%d [%%d MB]", found "Total Physical Memory: 2147483647 [2046 MB]"'),
            (b"GL_EXT_abgr:present", [b"GL_EXT_abgr:yes"], '%d: expected "GL_EXT_abgr:%%s", found "GL_EXT_abgr:yes"'),
            (b"GL_EXT_blend_color:not available", [b"GL_EXT_blend_colour:not available"],
             '%d: expected "GL_EXT_blend_color:%%s", found "GL_EXT_blend_colour:not available"'),
            (b"Hard Drive 0", [b"Hard Drive 1"], '%d: expected "Hard Drive 0": drives are numbered from 0 without a gap'),
            (b"Internet Connection:Unkown 0x10", [b"Internet Connection:Unkown 0x2"],
             '%d: expected "Internet Connection:%%s", found "Internet Connection:Unkown 0x2"'),
            (b"CPU speed: 2096.25", [b"CPU speed: 2096.250"],
             '%d: expected "CPU speed: %%g", found "CPU speed: 2096.250"'),
        ]
        for old, new, message in cases:
            with self.subTest(old=old, new=new):
                index = at[old]
                lines = base[:index] + (new or []) + base[index + 1:]
                self.check_one(lines, message % (index + 1 + (1 if new and len(new) == 2 else 0)))

    def test_lines_before_and_after_the_report(self):
        lines = [b"\xef\xbb\xbfCPU"] + typed.report_lines()[1:] + [b""]
        data = b"".join(line + b"\r\n" for line in lines)
        path = self.file(data)
        code, out, _ = run("check", path)
        self.assertEqual(code, 1)
        self.assertEqual(out.decode("latin-1").splitlines(),
                         [path + ':1: missing "CPU" before this line',
                          path + ':1: expected "Number of Processors:%d", found "\xef\xbb\xbfCPU"',
                          path + ':%d: expected the end of the report, found ""' % len(lines)])
        self.assertRoundTrip(path, data)

    def test_cut_anywhere(self):
        lines = typed.report_lines(drives=2)
        data = b"".join(line + b"\r\n" for line in lines)
        sections = []  # the section each line belongs to
        for line in lines:
            sections.append(line.decode() if line in (b"CPU", b"DirectX", b"OpenGL", b"Memory", b"Windows")
                            else sections[-1])
        offsets = [0]
        for line in lines:
            offsets.append(offsets[-1] + len(line) + 2)
        rng = random.Random(20)
        cuts = offsets[1:-1] + [rng.randrange(4, len(data) - 1) for _ in range(60)] + [len(data) - 1]
        for cut in cuts:
            with self.subTest(cut=cut):
                path = self.file(data[:cut])
                code, out, _ = run("check", path)
                whole = sum(1 for end in offsets[1:] if end <= cut)
                expected = path + ': ends early in section "%s" after line %d: expected ' % (sections[whole - 1], whole)
                self.assertEqual(code, 1)
                report = out.decode("latin-1").splitlines()
                self.assertTrue(report and report[0].startswith(expected), report[:3])
                if cut not in offsets:
                    self.assertEqual(report[1:], [path + ":%d: the file ends inside this line, \"%s\"" % (
                        whole + 1,
                        data[offsets[whole]:cut].decode("latin-1").replace("\\", "\\\\").replace("\r", "\\x0d"))])
                else:
                    self.assertEqual(len(report), 1, report)
                if rng.random() < 0.3:
                    self.assertRoundTrip(path, data[:cut])


class HostileInputTest(ReaderTestCase):
    def test_inputs_that_are_no_report(self):
        rng = random.Random(7)
        binary = bytes(rng.randrange(256) for _ in range(200_000))
        cases = [  # (bytes or a path maker, exit code of check, message on stdout or stderr)
            (binary, 1, "not a Vindrel report: no line is a section heading"),
            (b"x" * 10_000_000, 1, "not a Vindrel report"),
            (b"y" * 10_000_000 + b"\r\n", 1, "not a Vindrel report"),
            (b"", 1, "empty, not a report"),
            (b"\0" * 20 + b"\r\nCPU\r\n", 1, '1: expected "CPU", found "' + "\\x00" * 20 + '"'),
        ]
        for data, code, message in cases:
            with self.subTest(data=data[:20], size=len(data)):
                path = self.file(data)
                result = run("check", path)
                self.assertEqual(result.returncode, code)
                self.assertIn(path + ": " + message if message[0] != "1" else path + ":" + message,
                              result.stdout.decode("latin-1"))
                self.assertRoundTrip(path, data)

    def test_a_ten_megabyte_platform_text_is_still_a_report(self):
        data = typed.report(gl=dict(renderer=b"R" * 10_000_000))
        path = self.file(data)
        self.assertEqual(run("check", path)[:2], (0, b""))
        self.assertRoundTrip(path, data)

    def test_unreadable_inputs(self):
        missing = os.path.join(self.dir.name, "missing.txt")
        large = self.file(b"CPU\r\n" * 4_000_000, "large.txt")
        for command in (["check"], ["json"], ["text"], ["diff", self.file(typed.report())]):
            for path, message in ((missing, "cannot be read: No such file or directory"),
                                  (self.dir.name, "is a directory, not a file"),
                                  (large, "more than 16 MB, too large for a report")):
                with self.subTest(command=command[0], path=path):
                    code, out, err = run(*command, path)
                    self.assertEqual((code, out), (2, b""))
                    self.assertEqual(err.decode(), "vindrel-report: %s: %s\n" % (path, message))

    def test_documents_that_text_refuses(self):
        good = json.loads(run("json", self.file(typed.report())).stdout)
        wide = dict(good, Windows=dict(good["Windows"], **{"User Name": "\u20ac"}))
        wrong_kind = dict(good, Windows=dict(good["Windows"], Build="7601"))
        out_of_range = dict(good, Windows=dict(good["Windows"], Build=2 ** 31))
        cases = [(b"{", "not JSON"), (b"[]", "not a report document"), (b'{"format": "other"}', "not a report document"),
                 (json.dumps(wide).encode(), "above U+00FF"), (json.dumps(wrong_kind).encode(), "not a report document"),
                 (json.dumps(out_of_range).encode(), "signed 32-bit range")]
        for data, message in cases:
            with self.subTest(data=data[:30]):
                code, out, err = run("text", self.file(data, "doc.json"))
                self.assertEqual((code, out), (1, b""))
                self.assertIn(message, err.decode())


class DiffTest(ReaderTestCase):
    def diff(self, a, b, *options):
        return run("diff", *options, self.file(a, "a.txt"), self.file(b, "b.txt"))

    def test_the_same_report(self):
        data = typed.report()
        self.assertEqual(self.diff(data, data)[:2], (0, b""))
        # The clock moved by less than the tolerance.
        self.assertEqual(self.diff(data, data.replace(b"CPU speed: 2096.25", b"CPU speed: 2150"))[:2], (0, b""))

    def test_a_planted_change_shows_once_at_its_place(self):
        data = typed.report(drives=2)
        cases = [
            (b"GL_ARB_multisample:not available", b"GL_ARB_multisample:present",
             'OpenGL > Caps > GL_ARB_multisample: "not available" -> "present"'),
            (b"DriverVersion:658360", b"DriverVersion:658361",
             "DirectX > DirectX8.1 > adapter 0 > DriverVersion: 658360 -> 658361"),
            (b"Build:7601", b"Build:9200", "Windows > Build: 7601 -> 9200"),
            (b"CPU speed: 2096.25", b"CPU speed: 2200", "CPU > CPU speed: 2096.25 -> 2200"),
            (b"Hard Drive 1\r\n", None, "Memory > drives > Hard Drive 1: appeared"),
            (b"Audio Output\r\n", b"Audio Output\r\nUSB Audio\r\n", 'DirectX > DirectShow > Audio Output: appeared: "USB Audio"'),
            (b"640x480 @ 60 Hz [FMT:0x16]\r\n", b"",
             "DirectX > DirectX8.1 > adapter 0 > Display Modes: gone: 640x480 @ 60 Hz [FMT:0x16]"),
            (b"MaxPointSize: 256\r\n", b"MaxPointSize: 255.5\r\n",
             "DirectX > DirectX9.0 > adapter 0 > MaxPointSize: 256 -> 255.5"),
        ]
        for old, new, line in cases:
            with self.subTest(line):
                if new is None:  # the later report has what the earlier one lacks
                    start = data.index(old)
                    earlier = data[:start] + data[start + len(b"".join(l + b"\r\n" for l in typed.drive(1))):]
                    result = self.diff(earlier, data)
                else:
                    self.assertEqual(data.count(old), 1)
                    result = self.diff(data, data.replace(old, new))
                self.assertEqual((result.returncode, result.stdout.decode()), (1, line + "\n"))

    def test_clock_tolerance_option(self):
        data = typed.report()
        faster = data.replace(b"CPU speed: 2096.25", b"CPU speed: 2100")
        self.assertEqual(self.diff(data, faster)[:2], (0, b""))
        self.assertEqual(self.diff(data, faster, "--clock-tolerance", "0.1")[:2],
                         (1, b"CPU > CPU speed: 2096.25 -> 2100\n"))
        self.assertEqual(self.diff(data, faster, "--clock-tolerance=0.5")[:2], (0, b""))
        self.assertEqual(self.diff(data, faster, "--clock-tolerance", "fast")[0], 2)

    def test_a_cut_report_says_where_it_ends(self):
        data = typed.report()
        cut = data[:data.index(b"Memory\r\n")]
        code, out, _ = self.diff(data, cut)
        self.assertEqual(code, 1)
        lines = out.decode().splitlines()
        self.assertEqual(lines[0], 'end: whole -> ends early in "OpenGL" after line %d' % cut.count(b"\r\n"))
        self.assertIn("Memory: gone", lines)
        self.assertIn("Windows: gone", lines)

    def test_inputs_that_cannot_be_compared(self):
        self.assertEqual(self.diff(typed.report(), b"\x00\x01binary")[0], 2)
        self.assertEqual(run("diff", self.file(b"CPU\r\n"))[0], 2)


class FleetTest(ReaderTestCase):
    def fleet(self):
        """Ten reports with planted changes (counts worked out by hand) and a file that is none."""
        paths = []
        for i in range(10):
            data = typed.report(d3d8=2 if i == 5 else 1)
            if i < 3:
                data = data.replace(b"GL_ARB_multisample:not available", b"GL_ARB_multisample:present")
            if i >= 6:
                data = data.replace(b"DriverVersion:658360", b"DriverVersion:658361")
            texture = {3: b"268435456 [256 MB]", 4: b"67108864 [64 MB]"}.get(i)
            if texture:
                data = data.replace(b"134217727 [127 MB]", texture)
            clock = {0: b"1000", 1: b"3400.5"}.get(i)
            if clock:
                data = data.replace(b"2096.25", clock)
            if i == 9:
                data = data[:data.index(b"Hard Drive 0")]
            paths.append(self.file(data, "r%d.txt" % i))
        return paths + [self.file(bytes(range(256)) * 40, "binary.bin")]

    def test_planted_counts(self):
        paths = self.fleet()
        code, out, err = run("summary", *paths)
        self.assertEqual(code, 1)
        self.assertEqual(len(err.splitlines()), 2)  # the cut report and the binary file
        expected = """files: 11
reports: 10
reports not whole: 1
files not reports: 1
files not read: 0
names of a file given again: 0
CPU > CPU speed: min 1000, median 2096.25, max 3400.5 (10 values)
DirectX > DirectX8.1 > description: "Wine Adapter 0": 10 of 10 (100.0 %)
DirectX > DirectX8.1 > description: "Wine Adapter 1": 1 of 10 (10.0 %)
DirectX > DirectX8.1 > DriverVersion: 658360: 6 of 10 (60.0 %)
DirectX > DirectX8.1 > DriverVersion: 658361: 4 of 10 (40.0 %)
DirectX > DirectX8.1 > D3DDEVTYPE_HAL caps > Available Texture Memory > MB: min 64, median 127, max 256 (11 values)
OpenGL > Caps > GL_ARB_multisample: present on 3 of 10 (30.0 %)
OpenGL > Caps > GL_EXT_abgr: present on 10 of 10 (100.0 %)
OpenGL > Caps > GL_NV_fence: present on 0 of 10 (0.0 %)
Memory > RAM > Total Physical Memory > MB: min 2047, median 2047, max 2047 (10 values)
Memory > drives > Total Capacity > MB: min 78442, median 78442, max 78442 (9 values)
Windows > Build: 7601: 9 of 10 (90.0 %)
Windows > Build: (none): 1 of 10 (10.0 %)""".splitlines()
        lines = out.decode().splitlines()
        self.assertEqual([line for line in lines if line in expected], expected)
        # The same files in another order, or listed on standard input: the same bytes.
        self.assertEqual(run("summary", *reversed(paths)).stdout, out)
        self.assertEqual(run("summary", "--files-from", "-", stdin="\n".join(paths).encode()).stdout, out)
        fields = json.loads(run("summary", "--json", *paths).stdout)["fields"]
        self.assertEqual(fields["OpenGL > Caps"]["present"]["GL_ARB_multisample"], 3)
        self.assertEqual(fields["DirectX > DirectX8.1 > DriverVersion"],
                         {"values": [{"value": 658360, "reports": 6}, {"value": 658361, "reports": 4}], "none": 0})

    def test_bad_files_among_many(self):
        good = self.file(typed.report(), "good.txt")
        cut = self.file(typed.report()[:5000], "cut.txt")
        binary = self.file(bytes(range(256)) * 40, "binary.bin")
        os.mkdir(os.path.join(self.dir.name, "folder"))
        bad = [(os.path.join(self.dir.name, "folder"), "is a directory, not a file"),
               (os.path.join(self.dir.name, "missing.txt"), "cannot be read: No such file or directory"),
               (self.file(b"CPU\r\n" * 4_000_000, "large.txt"), "more than 16 MB, too large for a report"),
               (os.path.join(self.dir.name, ".", "good.txt"), "named again, read once")]
        if os.geteuid() != 0:  # root reads a file whatever its mode
            bad.append((self.file(typed.report(), "locked.txt"), "cannot be read: Permission denied"))
            os.chmod(bad[-1][0], 0)
        listed = [good, binary] + [path for path, _ in bad] + [cut]
        code, out, err = run("json", "--files-from", self.file("\n".join(listed).encode(), "list"))
        self.assertEqual(code, 2)
        said = [(binary, "not a Vindrel report")] + bad + [(cut, "not a whole report")]
        err = err.decode().splitlines()
        self.assertEqual(len(err), len(said), err)
        for line, (path, message) in zip(err, said):
            self.assertTrue(line.startswith("vindrel-report: %s: %s" % (path, message)), line)
        docs = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([doc.pop("file") for doc in docs], [good, binary, cut])
        self.assertEqual(docs[0], self.to_json(good)[1])
        self.assertTrue(docs[2]["unfit"])
        summary = run("summary", "--files-from", "-", stdin="\n".join(listed).encode())
        self.assertEqual(summary.returncode, 2)
        self.assertEqual(summary.stdout.decode().splitlines()[:6], [
            "files: %d" % (len(bad) + 2), "reports: 2", "reports not whole: 1", "files not reports: 1",
            "files not read: %d" % (len(bad) - 1), "names of a file given again: 1"])
        for command in ("json", "summary"):
            empty = run(command, "--files-from", "-")
            self.assertEqual((empty.returncode, empty.stderr),
                             (2, b"vindrel-report: no files to read: the list is empty\n"))


class UsageTest(ReaderTestCase):
    def test_usage_errors_say_what_is_wrong_in_one_line(self):
        usage = " (vindrel-report --help shows the usage)"
        listed = " (vindrel-report --help lists them)"
        cases = [  # (arguments, what the one line says after "vindrel-report: ")
            ([], "no command given" + listed),
            (["bogus"], 'unknown command "bogus"' + listed),
            (["--bogus"], 'unknown option "--bogus"' + listed),
            (["json", "--bogus", "x.txt"], 'json: unknown option "--bogus"' + listed),
            (["check", "--json", "x.txt"], 'check: unknown option "--json"' + listed),
            (["text", "--files-from", "list"], 'text: unknown option "--files-from"' + listed),
            (["check"], "check: no file named: give FILE... or --files-from LIST" + usage),
            (["summary", "--json"], "summary: no file named: give FILE... or --files-from LIST" + usage),
            (["survey"], "survey: no file named: give FILE... or --files-from LIST" + usage),
            (["text"], "text: one file expected (FILE.json), none given" + usage),
            (["text", "a.json", "b.json"], 'text: one file expected (FILE.json), 2 given: "b.json" is one too many' + usage),
            (["diff", "a.txt"], "diff: two files expected (A B), one given" + usage),
            (["diff", "a", "b", "c"], 'diff: two files expected (A B), 3 given: "c" is one too many' + usage),
            (["diff", "a", "b", "--clock-tolerance"], "diff: --clock-tolerance needs a value" + usage),
            (["json", "--files-from"], "json: --files-from needs a value" + usage),
            (["survey", "x.txt", "--require"], "survey: --require needs a value" + usage),
            (["summary", "--json=yes", "x.txt"], "summary: --json takes no value" + usage),
            (["check", "--files-from", "a", "--files-from=b"], "check: --files-from given twice" + usage),
            (["survey", "--html", "a.html", "--html", "b.html", "x.txt"], "survey: --html given twice" + usage),
            (["survey", "--merge", "--files-from", "list"], "survey: --merge takes the surveys named, not --files-from" + usage),
            (["survey", "--json", "--merge"], "survey: --merge needs the surveys to add, A.json B.json..." + usage),
            (["diff", "--clock-tolerance", "fast", "a", "b"], "diff: --clock-tolerance takes a percentage, such as 3 or 0.5: fast"),
            (["diff", "--clock-tolerance=-1", "a", "b"], "diff: --clock-tolerance takes a percentage, such as 3 or 0.5: -1"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.assertEqual(run(*args), (2, b"", ("vindrel-report: " + message + "\n").encode()))

    def test_help_and_version(self):
        for args in (["--help"], ["-h"], ["help"], ["check", "--help"], ["survey", "x.txt", "-h"]):
            with self.subTest(args=args):
                code, out, err = run(*args)
                self.assertEqual((code, err), (0, b""))
                self.assertTrue(out.startswith(b"usage: vindrel-report check FILE..."), out[:60])
                self.assertIn(b"vindrel-report survey ", out)
        # The release zip's name: `git describe` of the commit built, without its "v". Another
        # commit may land between the build and this test: the version names one of the checkout's.
        code, out, err = run("--version")
        self.assertEqual((code, err, out[:15], out[-1:]), (0, b"", b"vindrel-report ", b"\n"))
        shown = out[15:-1].decode()
        commit = shown.rsplit("-g", 1)[-1]

        def describe(revision):
            try:
                described = subprocess.run(["git", "-C", typed.ROOT, "describe", "--tags", "--always", revision],
                                           capture_output=True, check=True).stdout.decode().strip()
            except (OSError, subprocess.CalledProcessError):
                return None
            return (described[1:] if described.startswith("v") else described).replace("/", "-")

        head = describe("HEAD")
        self.assertIn(shown, {head, describe(commit + "^{commit}")} if head else {"unknown"})

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_output_that_cannot_be_written(self):
        data = typed.report()
        good, cut = self.file(data, "good.txt"), self.file(data[:5000], "cut.txt")
        doc = self.file(run("json", good).stdout, "good.json")
        later = self.file(data.replace(b"Build:7601", b"Build:9200"), "later.txt")
        cases = [["json", good], ["json", good, cut], ["summary", good], ["check", good, cut], ["text", doc],
                 ["diff", good, later], ["--help"], ["--version"]]
        for args in cases:
            with self.subTest(args=args[0]), open("/dev/full", "wb") as full:
                result = subprocess.run([READER, *args], stdout=full, stderr=subprocess.PIPE, timeout=120)
                self.assertEqual(result.returncode, 2)
                self.assertIn(b"vindrel-report: cannot write the output", result.stderr)


class ManyFilesTest(ReaderTestCase):
    def test_exit_statuses_of_every_many_file_command(self):
        good = self.file(typed.report(), "good.txt")
        again = os.path.join(self.dir.name, ".", "good.txt")
        cut = self.file(typed.report()[:5000], "cut.txt")
        binary = self.file(b"\x00\x01" * 100, "binary.bin")
        missing = os.path.join(self.dir.name, "missing.txt")
        cases = [  # (files, exit status)
            ([good], 0), ([good, again], 0), ([good, cut], 1), ([cut, good], 1), ([good, binary], 1),
            ([missing, cut], 2), ([cut, missing], 2), ([binary, missing, good], 2), ([again, good, missing], 2),
        ]
        for command in ("check", "json", "summary"):
            for files, status in cases:
                with self.subTest(command=command, files=[os.path.basename(f) for f in files]):
                    self.assertEqual(run(command, *files).returncode, status)
                    listed = run(command, "--files-from", "-", stdin="\n".join(files).encode())
                    self.assertEqual(listed.returncode, status)
            with self.subTest(command=command, files="none"):
                self.assertEqual(run(command, "--files-from", "-", stdin=b"\n\r\n").returncode, 2)
                self.assertEqual(run(command, "--files-from", missing).returncode, 2)
                # A folder given as the list opens, and fails only when read.
                self.assertEqual(run(command, good, "--files-from", self.dir.name)[::2], (
                    2, b"vindrel-report: %s: the list of files cannot be read: Is a directory\n" % self.dir.name.encode()))

    def test_check_says_a_line_a_bad_report(self):
        lines = typed.report_lines()
        data = typed.report()
        paths = [self.file(data, "good.txt"), self.file(data[:-2], "no end.txt"), self.file(b"", "empty.txt"),
                 self.file(b"".join(l + b"\r\n" for l in lines[:40]), "cut.txt"), self.file(b"MZ\x90\0", "x.exe")]
        code, out, err = run("check", *paths, os.path.join(self.dir.name, "missing.txt"))
        self.assertEqual(code, 2)
        self.assertEqual(err.decode(), "vindrel-report: %s/missing.txt: cannot be read: No such file or directory\n"
                         % self.dir.name)
        self.assertEqual(out.decode().splitlines(), [
            '%s: ends early in section "Windows" after line %d: expected "Internet Connection:%%s" next '
            "(and 1 more: vindrel-report check %s)" % (paths[1], len(lines) - 1, paths[1]),
            paths[2] + ": empty, not a report",
            paths[3] + ': ends early in section "DirectX" after line 40: expected "MaxPixelShader30InstructionSlots: %d" '
                       "next",
            paths[4] + ": not a Vindrel report: no line is a section heading "
                       '("CPU", "DirectX", "OpenGL", "Memory", "Windows")'])
        # One file alone: every problem.
        self.assertEqual(run("check", paths[1]).stdout.decode().splitlines()[1],
                         '%s:%d: the file ends inside this line, "%s"' % (paths[1], len(lines), lines[-1].decode()))

    def test_the_list_read_to_its_end(self):
        a, b = self.file(typed.report(), "a.txt"), self.file(typed.report(d3d8=2), "b.txt")
        long_b = "/" * (4095 - len(b)) + b  # fills the line reader's buffer exactly
        cases = [  # (named, list, files read in order)
            ([], a + "\n\n" + b + "\n", [a, b]),
            ([], a + "\r\n\r\n" + b + "\r\n", [a, b]),
            ([], a + "\n" + b, [a, b]),
            ([], long_b + "\n" + a, [long_b, a]),
            ([b], a + "\n" + b + "\n" + a + "\n", [b, a]),
        ]
        for named, listed, read in cases:
            with self.subTest(listed=listed[-40:]):
                result = run("json", *named, "--files-from", self.file(listed.encode(), "list"))
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual([json.loads(line)["file"] for line in result.stdout.splitlines()], read)
        # A name longer than the buffer is one name, read or not.
        too_long = "/" * (5000 - len(a)) + a
        code, out, err = run("json", "--files-from", "-", stdin=(too_long + "\n" + b).encode())
        self.assertEqual((code, [json.loads(line)["file"] for line in out.splitlines()]), (2, [b]))
        self.assertEqual(err.decode(), "vindrel-report: %s: cannot be read: File name too long\n" % too_long)


class FleetCountsTest(ReaderTestCase):
    def summary(self, *args, **kwargs):
        return run("summary", *args, **kwargs).stdout.decode().splitlines()

    def test_medians_of_odd_and_even_counts(self):
        cases = [  # (clocks, the summary's line): the lower middle value of an even count
            ([3000], "min 3000, median 3000, max 3000 (1 values)"),
            ([4000, 1000], "min 1000, median 1000, max 4000 (2 values)"),
            ([1000, 5000, 2000], "min 1000, median 2000, max 5000 (3 values)"),
            ([4000, 1000, 3000, 2000], "min 1000, median 2000, max 4000 (4 values)"),
            ([1500.5, 1000, 1500.5, 3000, 3000, 3000], "min 1000, median 1500.5, max 3000 (6 values)"),
        ]
        for clocks, line in cases:
            with self.subTest(clocks=clocks):
                paths = [self.file(typed.report().replace(b"CPU speed: 2096.25", b"CPU speed: %g" % clock), "r%d" % i)
                         for i, clock in enumerate(clocks)]
                self.assertIn("CPU > CPU speed: " + line, self.summary(*paths))

    def test_shares_that_do_not_divide_evenly_and_files_named_twice(self):
        # Six reports: GL_ARB_multisample on report 0, GL_NV_fence on 0 to 3, Build 9200 on 5.
        paths = []
        for i in range(6):
            data = typed.report()
            if i == 0:
                data = data.replace(b"GL_ARB_multisample:not available", b"GL_ARB_multisample:present")
            if i < 4:
                data = data.replace(b"GL_NV_fence:not available", b"GL_NV_fence:present")
            if i == 5:
                data = data.replace(b"Build:7601", b"Build:9200")
            paths.append(self.file(data, "r%d.txt" % i))
        twice = [os.path.join(self.dir.name, ".", "r0.txt"), paths[3]]
        missing = os.path.join(self.dir.name, "gone.txt")
        code, _, _ = result = run("summary", *paths, *twice, "--files-from", "-",
                                  stdin=("%s\n%s\n" % (paths[5], missing)).encode())
        self.assertEqual(code, 2)
        lines = result.stdout.decode().splitlines()
        self.assertEqual(lines[:6], ["files: 7", "reports: 6", "reports not whole: 0", "files not reports: 0",
                                     "files not read: 1", "names of a file given again: 3"])
        for line in ["OpenGL > Caps > GL_ARB_multisample: present on 1 of 6 (16.7 %)",
                     "OpenGL > Caps > GL_NV_fence: present on 4 of 6 (66.7 %)",
                     "Windows > Build: 7601: 5 of 6 (83.3 %)", "Windows > Build: 9200: 1 of 6 (16.7 %)",
                     "CPU > CPU speed: min 2096.25, median 2096.25, max 2096.25 (6 values)"]:
            self.assertIn(line, lines)
        doc = json.loads(run("summary", "--json", *paths, *twice).stdout)
        self.assertEqual((doc["files"], doc["reports"], doc["named_again"]), (6, 6, 2))
        self.assertEqual(doc["fields"]["OpenGL > Caps"]["present"]["GL_NV_fence"], 4)

    def test_a_checklist_cut_inside(self):
        data = typed.report()
        at = data.index(b"GL_EXT_blend_color:")  # after GL_ARB_multitexture and GL_EXT_abgr
        names = [name.decode() for name in typed.CHECKLIST]
        self.assertLess(names.index("GL_EXT_abgr"), names.index("GL_EXT_blend_color"))
        cut = self.file(data[:at], "cut.txt")
        code, out, _ = run("check", cut)
        self.assertEqual((code, out.decode()), (1, '%s: ends early in section "OpenGL" after line %d: expected '
                                                   '"GL_EXT_blend_color:%%s" next\n' % (cut, data[:at].count(b"\r\n"))))
        lines = self.summary(cut, self.file(data, "whole.txt"))
        self.assertIn("OpenGL > Caps > GL_EXT_abgr: present on 2 of 2 (100.0 %)", lines)
        self.assertIn("OpenGL > Caps > GL_EXT_blend_color: present on 0 of 2 (0.0 %)", lines)


class EdgesTest(ReaderTestCase):
    def test_diff_clock_tolerance_met_exactly(self):
        data = typed.report().replace(b"CPU speed: 2096.25", b"CPU speed: 2000")
        cases = [  # (later clock, options, exit status): the tolerance is a share of the earlier clock
            (b"2060", [], 0), (b"1940", [], 0), (b"2060.5", [], 1), (b"1939.5", [], 1),
            (b"2020", ["--clock-tolerance", "1"], 0), (b"2020.5", ["--clock-tolerance=1"], 1),
            (b"2000", ["--clock-tolerance", "0"], 0), (b"2000.5", ["--clock-tolerance", "0"], 1),
        ]
        for clock, options, status in cases:
            with self.subTest(clock=clock, options=options):
                later = data.replace(b"CPU speed: 2000", b"CPU speed: " + clock)
                result = run("diff", *options, self.file(data, "a.txt"), self.file(later, "b.txt"))
                self.assertEqual(result[:2], (status, b"CPU > CPU speed: 2000 -> %s\n" % clock if status else b""))

    def test_diff_says_the_places_in_the_report_order(self):
        data = typed.report()
        later = data[:data.index(b"Windows\r\n")]
        for old, new in [(b"Windows\r\n", b"Windows\r\n"), (b"CPU speed: 2096.25", b"CPU speed: 3000"),
                         (b"DriverVersion:658360", b"DriverVersion:658361"), (b"MIDI\r\n", b"MIDI\r\nSynth\r\n"),
                         (b"GL_EXT_abgr:present", b"GL_EXT_abgr:not available"),
                         (b"GL_ARB_multisample:not available", b"GL_ARB_multisample:present"),
                         (b"Total Physical Memory: 2147483647 [2047 MB]", b"Total Physical Memory: 1073741824 [1024 MB]")]:
            later = later.replace(old, new)
        code, out, _ = run("diff", self.file(data, "a.txt"), self.file(later, "b.txt"))
        caps = sorted(["GL_EXT_abgr", "GL_ARB_multisample"], key=[n.decode() for n in typed.CHECKLIST].index)
        shown = {"GL_EXT_abgr": '"present" -> "not available"', "GL_ARB_multisample": '"not available" -> "present"'}
        self.assertEqual((code, out.decode().splitlines()), (1, [
            'end: whole -> ends early in "Memory" after line %d' % later.count(b"\r\n"),
            "CPU > CPU speed: 2096.25 -> 3000",
            "DirectX > DirectX8.1 > adapter 0 > DriverVersion: 658360 -> 658361",
            'DirectX > DirectShow > MIDI: appeared: "Synth"',
            "OpenGL > Caps > %s: %s" % (caps[0], shown[caps[0]]),
            "OpenGL > Caps > %s: %s" % (caps[1], shown[caps[1]]),
            "Memory > RAM > Total Physical Memory > bytes: 2147483647 -> 1073741824",
            "Memory > RAM > Total Physical Memory > MB: 2047 -> 1024",
            "Windows: gone"]))

    def test_a_block_without_its_last_line(self):
        lines = typed.report_lines(drives=2)
        last_name = typed.CHECKLIST[-1] + b":not available"
        cases = [  # (the line taken out, the first thing check says, at that line's number)
            (b"MMXSSE Extension Capable: no", 'expected "MMXSSE Extension Capable: %s", found "DirectX"'),
            (b"MaxPixelShader30InstructionSlots: -2147483648",
             'expected "MaxPixelShader30InstructionSlots: %d", found "DirectX8.1"'),
            (b"Every Fourth Refresh:not supported", 'missing "Every Fourth Refresh:%s" before this line'),
            (b"MaxPixelShaderValue: 8", 'expected "MaxPixelShaderValue: %g", found "Available Texture Memory: '
                                        '134217727 [127 MB]"'),
            (b"DirectShow Filters", 'missing "DirectShow Filters" before this line'),
            (last_name, 'expected "%s:%%s", found "Memory"' % typed.CHECKLIST[-1].decode()),
            (b"Total Virtual Memory: -191668224 [3913 MB]", 'expected "Total Virtual Memory: %d [%d MB]", '
                                                            'found "Hard Drive 0"'),
        ]
        for end in (b"\r\n", b"\n"):
            for old, message in cases:
                with self.subTest(old=old, end=end):
                    at = lines.index(old)
                    path = self.file(b"".join(line + end for line in lines[:at] + lines[at + 1:]))
                    code, out, _ = run("check", path)
                    self.assertEqual((code, out.decode().splitlines()[0]), (1, "%s:%d: %s" % (path, at + 1, message)))
        # The optional last line of an adapter: still whole.
        at = lines.index(b"Available Texture Memory: 134217727 [127 MB]")
        self.assertEqual(run("check", self.file(b"".join(l + b"\r\n" for l in lines[:at] + lines[at + 1:])))[:2],
                         (0, b""))

    def test_line_ends(self):
        lines = typed.report_lines()
        crlf, lf = typed.report(), typed.report(end=b"\n")
        ends_inside = '%s:%d: the file ends inside this line, "%s"' % ("{}", len(lines), lines[-1].decode())
        early = '{}: ends early in section "Windows" after line %d: expected "Internet Connection:%%s" next' % (
            len(lines) - 1)
        cases = [  # (bytes, exit status of check, its lines, the document's line_end and final_line_end)
            (crlf, 0, [], ("CR LF", True)),
            (lf, 0, [], ("LF", True)),
            (crlf[:-2], 1, [early, ends_inside], ("CR LF", False)),
            (lf[:-1], 1, [early, ends_inside], ("LF", False)),
            (lf.replace(b"Model: 10\n", b"Model: 10\r\n"), 1, None, None),  # one CR LF among LFs
        ]
        for data, status, said, ends in cases:
            with self.subTest(tail=data[-12:], size=len(data)):
                path = self.file(data)
                code, out, _ = run("check", path)
                self.assertEqual(code, status)
                if said is not None:
                    self.assertEqual(out.decode().splitlines(), [line.format(path) for line in said])
                    doc = self.to_json(path)[1]
                    self.assertEqual((doc["line_end"], doc["final_line_end"]), ends)
                self.assertRoundTrip(path, data)


if __name__ == "__main__":
    unittest.main(verbosity=2)
