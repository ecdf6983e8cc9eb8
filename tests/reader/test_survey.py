"""vindrel-report survey on a fleet whose shares are known by construction: sixteen
typed reports with planted clocks, memory, Windows versions, PCI numbers, shader
levels, texture memory, GL versions and extensions, two of them cut short, and a
file that is no report. Every expected number below was worked out by hand from
the FLEET table."""
import json
import os
import re
import resource
import subprocess
import tempfile
import unittest

import typed_report as typed

BUILD = os.environ.get("VINDREL_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
READER = os.path.join(BUILD, "reader-host", "vindrel-report")

SP1, SP2, SP3 = b"Service Pack 1", b"Service Pack 2", b"Service Pack 3"
# procs, CPU vendor (None: no CPUID), clock, physical MB (None: cut before it), Windows
# (major, minor, build, pack), VendorId, DeviceId (None: no Direct3D 8), pixel shader
# (None: no Direct3D 9), texture MB (None: refused), GL version (None: no context),
# GL_ARB_multisample present.
FLEET = [
    (2, b"GenuineIntel", b"2096.25", 2047, (6, 1, 7601, SP1), 4318, 1553, (3, 0), 127, b"4.5 Mesa", True),
    (2, b"GenuineIntel", b"2096.25", 2047, (6, 1, 7601, SP1), 4318, 1553, (3, 0), 127, b"4.5 Mesa", True),
    (2, b"GenuineIntel", b"2096.25", 2047, (6, 1, 7601, SP1), 4318, 1553, (3, 0), 127, b"4.5 Mesa", False),
    (2, b"GenuineIntel", b"2096.25", 2047, (6, 1, 7601, SP1), 4318, 1553, (3, 0), 256, b"4.5 Mesa", False),
    (2, b"GenuineIntel", b"2096.25", 512, (6, 1, 7601, SP1), 69854, 1553, (3, 0), 256, b"4.5 Mesa", False),
    (2, b"GenuineIntel", b"2096.25", 512, (5, 1, 2600, SP3), 4318, 1553, (3, 0), 256, b"4.5 Mesa", False),
    (2, b"GenuineIntel", b"3000", 512, (5, 1, 2600, SP3), 4318, -1, (3, 0), 128, b"4.5 Mesa", True),
    (2, b"GenuineIntel", b"3000", 1024, (6, 1, 7600, b""), 4318, -1, (3, 0), 128, b"4.5 Mesa", False),
    (4, b"AuthenticAMD", b"3499.5", 2046, (6, 2, 9200, b""), 4318, -1, (3, 0), 64, b"4.5 Mesa", False),
    (4, b"AuthenticAMD", b"2500", 511, (6, 3, 9600, b""), 4098, 37954, (2, 0), 32, b"4.5 Mesa", True),
    (4, b"AuthenticAMD", b"4500", 256, (10, 0, 19045, b""), 4098, 37954, (2, 0), 32, b"2.1 Mesa 10", False),
    (4, b"AuthenticAMD", b"4600", 127, (10, 0, 22631, b""), 4098, 37954, (2, 0), 31, b"2.1 Mesa 10", False),
    (1, b"GenuineIntel", b"1000", 64, (5, 2, 3790, SP2), 32902, 10818, (1, 4), 1024, b"2.1", False),
    (1, b"GenuineIntel", b"999.99", 63, (6, 0, 6002, SP2), 4660, 1, (1, 4), 2048, b"1.1.0", True),
    (1, None, b"500", None, None, -1, -1, (0, 0), None, b"", False),
    (8, b"GenuineIntel", b"499.9", None, None, None, None, None, None, None, False),
]
# FLEET[9] has a second Direct3D 8 adapter, NVIDIA's as typed: the first one counts.
SECOND_ADAPTER = 9
# A report of the earlier fleet only: Windows 2000.
EARLIER = (2, b"GenuineIntel", b"2096.25", 2047, (5, 0, 2195, b""), 4318, 1553, (3, 0), 127, b"4.5 Mesa", True)
PCI_IDS = b"# made up\n10de  NVIDIA Corporation\n\t0611  G92 [GeForce 8800 GT]\n\t\t10de 0000  a subsystem\n"
REQUIRE = ["--require", "memory>=512", "--require", "ps>=2.0", "--require", "GL_ARB_multisample",
           "--require", "windows >= 6.1"]

# Every row of every category: label, count, share of 16 (halves round up).
CATEGORIES = {
    "Windows": [("Windows 7 SP1", 5, "31.3"), ("Windows XP SP3", 2, "12.5"), ("Windows 10", 1, "6.3"),
                ("Windows 11", 1, "6.3"), ("Windows 7", 1, "6.3"), ("Windows 8", 1, "6.3"), ("Windows 8.1", 1, "6.3"),
                ("Windows Server 2003 SP2", 1, "6.3"), ("Windows Vista SP2", 1, "6.3"), ("unknown", 2, "12.5")],
    "Processors": [("1", 3, "18.8"), ("2", 8, "50.0"), ("3-4", 4, "25.0"), ("5 or more", 1, "6.3")],
    "CPU vendor": [("GenuineIntel", 11, "68.8"), ("AuthenticAMD", 4, "25.0"), ("unknown", 1, "6.3")],
    "CPU clock": [("under 500 MHz", 1, "6.3"), ("500-999 MHz", 2, "12.5"), ("1000-1499 MHz", 1, "6.3"),
                  ("2000-2499 MHz", 6, "37.5"), ("2500-2999 MHz", 1, "6.3"), ("3000-3499 MHz", 3, "18.8"),
                  ("4500 MHz or more", 2, "12.5")],
    "Physical memory": [("under 64 MB", 1, "6.3"), ("64-127 MB", 2, "12.5"), ("256-511 MB", 2, "12.5"),
                        ("512-1023 MB", 3, "18.8"), ("1024-2046 MB", 2, "12.5"), ("2 GB or more", 4, "25.0"),
                        ("unknown", 2, "12.5")],
    "Graphics vendor": [("NVIDIA Corporation (0x10de)", 9, "56.3"),
                        ("Advanced Micro Devices, Inc. [AMD/ATI] (0x1002)", 3, "18.8"), ("0x1234", 1, "6.3"),
                        ("Intel Corporation (0x8086)", 1, "6.3"), ("unknown", 2, "12.5")],
    "Graphics device": [("G92 [GeForce 8800 GT] (0x10de:0x0611)", 6, "37.5"), ("0x1002:0x9442", 3, "18.8"),
                        ("0x1234:0x0001", 1, "6.3"), ("0x8086:0x2a42", 1, "6.3"), ("unknown", 5, "31.3")],
    "Pixel shader": [("none", 1, "6.3"), ("1.x", 2, "12.5"), ("2.x", 3, "18.8"), ("3.0", 9, "56.3"),
                     ("unknown", 1, "6.3")],
    "Texture memory": [("under 32 MB", 1, "6.3"), ("32-63 MB", 2, "12.5"), ("64-127 MB", 4, "25.0"),
                       ("128-255 MB", 2, "12.5"), ("256-511 MB", 3, "18.8"), ("1024-2047 MB", 1, "6.3"),
                       ("2 GB or more", 1, "6.3"), ("unknown", 2, "12.5")],
    "OpenGL version": [("4.5", 10, "62.5"), ("2.1", 3, "18.8"), ("1.1", 1, "6.3"), ("unknown", 2, "12.5")],
}
MEDIANS = {"Processors": "2", "CPU clock": "2096 MHz", "Physical memory": "512 MB", "Texture memory": "127 MB"}
# expression, fails, share of 16, fails only it, unknown
REQUIREMENTS = [("memory>=512", 7, "43.8", 1, 2), ("ps>=2.0", 4, "25.0", 0, 1),
                ("GL_ARB_multisample", 11, "68.8", 5, 1), ("windows>=6.1", 6, "37.5", 1, 2)]
# Against the earlier fleet (FLEET[:8] and EARLIER, 9 reports): Windows rows.
WINDOWS_CHANGES = [("Windows 7 SP1", 5, 5, "-24.3 pp"), ("Windows XP SP3", 2, 2, "-9.7 pp"),
                   ("Windows 10", 1, 0, "+6.3 pp"), ("Windows 11", 1, 0, "+6.3 pp"), ("Windows 7", 1, 1, "-4.8 pp"),
                   ("Windows 8", 1, 0, "+6.3 pp"), ("Windows 8.1", 1, 0, "+6.3 pp"),
                   ("Windows Server 2003 SP2", 1, 0, "+6.3 pp"), ("Windows Vista SP2", 1, 0, "+6.3 pp"),
                   ("Windows 2000", 0, 1, "-11.1 pp"), ("unknown", 2, 0, "+12.5 pp")]


def sub(data, old, new):
    assert old in data, old
    return data.replace(old, new, 1)


def report(planted, adapters=1):
    procs, vendor, clock, memory, win, vendor_id, device_id, ps, texture, gl, multisample = planted
    present = (b"GL_ARB_multitexture", b"GL_EXT_abgr") + ((b"GL_ARB_multisample",) if multisample else ())
    data = typed.report(cpu="none" if vendor is None else "extended", d3d9=None if ps is None else 1,
                        d3d8=None if device_id is None else adapters, adapter=dict(texture=texture is not None),
                        gl="leaf" if gl is None else dict(version=gl, present=present),
                        win=dict(pack=win[3]) if win else None)
    data = sub(data, b"Number of Processors:2", b"Number of Processors:%d" % procs)
    data = sub(data, b"CPU speed: 2096.25", b"CPU speed: " + clock)
    if vendor:
        data = sub(data, b"\r\nGenuineIntel\r\n", b"\r\n" + vendor + b"\r\n")
    if ps:
        data = sub(data, b"PixelShaderVersion: [3.0] 4294902528",
                   b"PixelShaderVersion: [%d.%d] %d" % (ps[0], ps[1], 0xFFFF0000 | ps[0] << 8 | ps[1]))
    if device_id is not None:
        data = sub(data, b"VendorId: 4318\r\nDeviceId: -1", b"VendorId: %d\r\nDeviceId: %d" % (vendor_id, device_id))
    if texture:
        bytes_ = (texture << 20) - (1 << 32 if texture >= 2048 else 0)
        data = sub(data, b"Available Texture Memory: 134217727 [127 MB]",
                   b"Available Texture Memory: %d [%d MB]" % (bytes_, texture))
    if memory is None:  # cut inside the memory block: memory and Windows unknown
        return data[:data.index(b"Total Physical Memory")]
    data = sub(data, b"Total Physical Memory: 2147483647 [2047 MB]",
               b"Total Physical Memory: %d [%d MB]" % (memory << 20, memory))
    return sub(data, b"Build:7601\r\nMajor:6\r\nMinor:1", b"Build:%d\r\nMajor:%d\r\nMinor:%d" % (win[2], win[0], win[1]))


def run(*args):
    result = subprocess.run([READER, *args], capture_output=True, timeout=300)
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8", "replace")


class SurveyTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.paths = [self.write("r%02d.txt" % i, report(planted, 2 if i == SECOND_ADAPTER else 1))
                      for i, planted in enumerate(FLEET)]
        self.paths.append(self.write("notes.txt", b"not a report\r\n"))
        self.pci = ["--pci-ids", self.write("pci.ids", PCI_IDS)]

    def write(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def survey(self, *args, paths=None):
        return run("survey", *self.pci, *args, *(self.paths if paths is None else paths))

    def test_every_share_count_and_requirement(self):
        status, text, err = self.survey(*REQUIRE)
        self.assertEqual(status, 1, err)  # the two cut reports are not whole
        self.assertEqual(err.count("not a whole report"), 2)
        lines = text.splitlines()
        self.assertEqual(lines[:6], ["files: 17", "reports: 16", "reports not whole: 2", "files not reports: 1",
                                     "files not read: 0", "names of a file given again: 0"])
        shown = [line for line in lines if line and not line.startswith(("OpenGL extensions:", "require:"))]
        expected = []
        for name, rows in CATEGORIES.items():
            if name in MEDIANS:
                expected.append("%s: median %s" % (name, MEDIANS[name]))
            expected += ["%s: %s: %d of 16 (%s %%)" % (name, label, count, share) for label, count, share in rows]
        self.assertEqual(shown[6:], expected)
        self.assertIn("OpenGL extensions: the checklist in 15 of 16 (93.8 %)", lines)
        self.assertIn("OpenGL extensions: GL_ARB_multisample: 5 of 15 (33.3 %)", lines)
        self.assertIn("OpenGL extensions: GL_EXT_abgr: 15 of 15 (100.0 %)", lines)
        self.assertIn("OpenGL extensions: GL_ARB_vertex_program: 0 of 15 (0.0 %)", lines)
        self.assertEqual([line for line in lines if line.startswith("require:")],
                         ["require: meets all: 2 of 16 (12.5 %)"] +
                         ["require: %s: fails %d of 16 (%s %%), fails only it %d, unknown %d" % r for r in REQUIREMENTS])

        status, out, _ = self.survey("--json", *REQUIRE)
        doc = json.loads(out)
        self.assertEqual(list(doc)[:8], ["format", "version", "files", "reports", "not_whole", "not_reports",
                                         "not_read", "named_again"])
        self.assertEqual({c["name"]: [(r["label"], r["count"]) for r in c["rows"]] for c in doc["categories"]},
                         {name: [row[:2] for row in rows] for name, rows in CATEGORIES.items()})
        self.assertEqual({c["name"]: c["median"] for c in doc["categories"] if "median" in c}, MEDIANS)
        self.assertEqual(doc["require"]["meets"], 2)
        self.assertEqual([(r["expression"], r["fails"], r["fails_only"], r["unknown"])
                          for r in doc["require"]["requirements"]], [(r[0], r[1], r[3], r[4]) for r in REQUIREMENTS])
        self.assertEqual(doc["extensions"]["of"], 15)
        self.assertEqual(len(doc["extensions"]["names"]), 222)

    def test_every_operator_and_version_part(self):
        # requirement: reports of FLEET meeting it, counted by hand
        cases = [("processors<2", 3), ("processors<=2", 11), ("processors=4", 4), ("processors!=2", 8),
                 ("processors>4", 1), ("clock<1000", 3), ("clock>=2096.25", 12), ("texture>=128", 7),
                 ("windows<=6.1", 10), ("windows=10.0", 2), ("windows>=10.0.22000", 1), ("gl>=2.1", 13),
                 ("vs>=1.1", 15), ("ps=2.0", 3), ("ps<2", 3), ("GL_EXT_abgr", 15)]
        for expression, meets in cases:
            with self.subTest(expression):
                text = self.survey("--require", expression)[1]
                self.assertIn("require: meets all: %d of 16 (" % meets, text)

    def test_changes_against_an_earlier_survey(self):
        earlier = self.paths[:8] + [self.write("earlier.txt", report(EARLIER))]
        status, old, _ = self.survey("--json", paths=earlier)
        self.assertEqual(status, 0)
        previous = self.write("previous.json", old.encode())
        status, text, _ = self.survey("--previous", previous)
        rows = [line for line in text.splitlines() if line.startswith("Windows:")]
        self.assertEqual(rows, ["Windows: %s: %d of 16 (%s %%, %s)" % (label, count, share, change)
                                for (label, count, _, change), (_, _, share) in
                                zip(WINDOWS_CHANGES, CATEGORIES["Windows"][:9] + [("", 0, "0.0"), ("", 0, "12.5")])])
        self.assertEqual(text.splitlines()[-1], "previous: 9 reports")
        doc = json.loads(self.survey("--json", "--previous", previous)[1])
        windows = doc["categories"][0]
        self.assertEqual((windows["before_of"], doc["previous"]), (9, {"reports": 9}))
        self.assertEqual([(r["label"], r["count"], r["before"]) for r in windows["rows"]],
                         [row[:3] for row in WINDOWS_CHANGES])

    def test_merge_of_any_split_is_the_whole(self):
        previous = self.write("previous.json", self.survey("--json", paths=self.paths[:3])[1].encode())
        for extra in ([], ["--previous", previous]):
            whole = self.survey("--json", *REQUIRE, *extra)
            for cut in ([5, 11], [1], [8, 9, 10]):
                bounds = [0] + cut + [len(self.paths)]
                parts = [self.write("part%d.json" % i, self.survey("--json", *REQUIRE, paths=self.paths[a:b])[1].encode())
                         for i, (a, b) in enumerate(zip(bounds, bounds[1:]))]
                self.assertEqual(run("survey", "--merge", "--json", *extra, *parts)[:2], whole[:2], cut)
            self.assertEqual(run("survey", "--merge", *extra, *parts)[:2], self.survey(*REQUIRE, *extra)[:2])

    def test_bad_input_said_in_one_line_with_its_status(self):
        empty = self.write("empty.list", b"")
        other = self.write("v2.json", json.dumps({"format": "vindrel survey", "version": 2}).encode())
        notes = self.write("notes.json", b'{"files": 3}')
        part = self.write("part.json", self.survey("--json", "--require", "ps>=2.0", paths=self.paths[:2])[1].encode())
        plain = self.write("plain.json", self.survey("--json", paths=self.paths[2:4])[1].encode())
        no_d3d9 = [self.write("x%d.txt" % i, typed.report(d3d9=None)) for i in range(2)]
        page = os.path.join(self.dir.name, "no", "page.html")
        cases = [  # arguments, status, a part of the one line said
            (["survey", "--files-from", empty], 2, "no files to read"),
            (["survey", self.paths[-1]], 2, "no report among the 1 files"),
            (["survey", "--previous", other, *self.paths], 2, "a survey of version 2; this vindrel-report reads version 1"),
            (["survey", "--previous", notes, *self.paths], 2, 'not a survey: no "format": "vindrel survey"'),
            (["survey", "--html", page, *self.paths[:2]], 2, "cannot write " + page),
            (["survey", "--require", "ps>=2.0", *no_d3d9], 1, '"ps>=2.0": no report holds this field'),
            (["survey", "--require", "foo>=1", *self.paths], 2, 'unknown field "foo"; accepted: memory, clock'),
            (["survey", "--require", "memory=>512", *self.paths], 2, 'unknown operator "=>"; accepted: >='),
            (["survey", "--require", "memory>=lots", *self.paths], 2, '"lots" is not a number of MB'),
            (["survey", "--require", "windows>=6.1.2.3", *self.paths], 2, "is not a Windows version"),
            (["survey", "--require", "GL_FOO", *self.paths], 2, "neither a checklist name nor a field"),
            (["survey", "--pci-ids", notes, *self.paths], 2, "not a PCI ID list"),
            (["survey", "--merge", part, other], 2, "a survey of version 2"),
            (["survey", "--merge", notes], 2, "not a survey"),
            (["survey", "--merge", part, plain], 2, "made with other --require options"),
            (["survey", "--merge", "--require", "ps>=2.0", part], 2, "give it to the survey of each part"),
        ]
        for args, status, said in cases:
            with self.subTest(args=args[:3]):
                code, out, err = run(*args)
                self.assertEqual(code, status, err)
                self.assertIn(said, err.splitlines()[-1])
                if status == 2:  # nothing written; the one line after any said of each file
                    self.assertEqual(out, "")
                    self.assertEqual(len(err.splitlines()), 1 + ("notes.txt" in err), err)
        code, out, err = run("survey", self.paths[0], os.path.join(self.dir.name, "gone.txt"))
        self.assertEqual((code, out.splitlines()[4]), (2, "files not read: 1"))

    def test_a_list_item_that_does_not_fit_reads_back(self):
        # A NUL is never part of a printed text: two device names' lines are unfit, and
        # the list must not keep an empty item for them (the report then read back short).
        path = self.write("nul.txt", typed.report(shows={b"MIDI": [b"a\0b", b"c\0d", b"Default MidiOut Device"]}))
        status, out, _ = run("json", path)
        self.assertEqual(status, 1)
        doc = json.loads(out)
        self.assertEqual(doc["DirectX"]["DirectShow"]["MIDI"], ["Default MidiOut Device"])
        self.assertEqual([u["text"] for u in doc["unfit"]], ["a\u0000b", "c\u0000d"])
        back = subprocess.run([READER, "text", self.write("nul.json", out.encode())], capture_output=True).stdout
        with open(path, "rb") as f:
            self.assertEqual(back, f.read())

    def test_a_hundred_thousand_files_with_few_descriptors(self):
        tiny = [self.write("tiny%d.txt" % i, b"hello\n") for i in range(4)]  # a file has at most 65000 links
        names = []
        for i in range(100000):
            names.append(os.path.join(self.dir.name, "t%06d" % i))
            os.link(tiny[i % 4], names[-1])
        names[50000] = self.paths[0]
        listing = self.write("files.list", "\n".join(names).encode() + b"\n")
        limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (24, 24))  # noqa: E731
        result = subprocess.run([READER, "survey", "--json", "--files-from", listing], capture_output=True,
                                timeout=300, preexec_fn=limit)
        doc = json.loads(result.stdout)
        self.assertEqual((result.returncode, doc["files"], doc["reports"], doc["not_reports"]), (1, 100000, 1, 99999))


if __name__ == "__main__":
    unittest.main(verbosity=2)
