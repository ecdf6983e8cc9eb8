"""The survey's page read back from a real browser (Debian's chromium, headless): its
numbers against the text survey's lines, a fleet whose strings hold markup and script,
the page written whole or not at all, and PCI ID lists read for device names.

    python3 test_survey_page.py --screenshot docs/survey.png   # the README's picture
"""
import base64
import hashlib
import json
import html.parser
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import types
import unittest

import typed_report as typed

BUILD = os.environ.get("VINDREL_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
READER = os.path.join(BUILD, "reader-host", "vindrel-report")
CHROMIUM = "/usr/bin/chromium"


def run(*args):
    result = subprocess.run([READER, *args], capture_output=True, timeout=120)
    return result.returncode, result.stdout, result.stderr


def chromium(page, screenshot=None, height=1500, timeout=120):
    """The page's DOM from a headless chromium of its own profile, or its screenshot
    written; all it started ended and its profile removed, whatever happens."""
    profile = tempfile.mkdtemp(prefix="vindrel-chromium-")
    args = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--user-data-dir=" + profile, "--window-size=1000,%d" % height, "--hide-scrollbars"]
    args.append("--screenshot=" + screenshot if screenshot else "--dump-dom")
    proc = subprocess.Popen(args + ["file://" + os.path.abspath(page)], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
    try:
        out, err = proc.communicate(timeout=timeout)
    finally:
        try:  # it, or its helpers (crash handler, zygotes) that share its group
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()
        shutil.rmtree(profile, ignore_errors=True)
    if proc.returncode != 0:
        raise AssertionError("chromium exit %d: %s" % (proc.returncode, err.decode(errors="replace")[-2000:]))
    return out.decode()


class Dom(html.parser.HTMLParser):
    """The DOM as the browser serialised it: each element's tag, attributes, classes,
    parent and the text within it."""
    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.all, self.open = [], []
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.all.append(types.SimpleNamespace(tag=tag, attrs=attrs, classes=(attrs.get("class") or "").split(),
                                              parent=self.open[-1] if self.open else None, text=""))
        if tag not in ("meta", "rect", "img", "link", "br", "input", "hr", "embed"):
            self.open.append(self.all[-1])

    def handle_endtag(self, tag):
        while any(e.tag == tag for e in self.open) and self.open.pop().tag != tag:
            pass

    def handle_data(self, data):
        for element in self.open:
            element.text += data

    def find(self, cls, within=None):
        def inside(e):
            while e and e is not within:
                e = e.parent
            return e is within
        return [e for e in self.all if cls in e.classes and (within is None or inside(e))]

    def text(self, cls, within):
        found = self.find(cls, within)
        return found[0].text if found else None

    def rows(self, section):
        """(category, label, count, of, share, change or None) of each bar of each section, in page order."""
        return [(self.text("name", s), self.text("label", row), int(row.attrs["data-count"]),
                 int(row.attrs["data-of"]), self.text("share", row), self.text("change", row))
                for s in self.find(section) for row in self.find("row", s)]


def small_fleet(folder):
    """Seven reports: processors 1,1,2,2,2,2 and one cut in its OpenGL section (2);
    memory 512,512,512,1024,2047,2047 MB and the cut one unknown; two on Windows XP SP3;
    graphics by S3, NVIDIA, ATI and Intel. Their paths, and a survey of the first four."""
    def report(n, data, *swaps):
        for old, new in swaps:
            assert old in data, old
            data = data.replace(old, new)
        return write(os.path.join(folder, "r%d.txt" % n), data)

    half = (b"Physical Memory: 2147483647 [2047 MB]", b"Physical Memory: 536870912 [512 MB]")
    one = (b"Physical Memory: 2147483647 [2047 MB]", b"Physical Memory: 1073741824 [1024 MB]")
    old = [(b"Build:7601", b"Build:2600"), (b"Service Pack 1", b"Service Pack 3"), (b"Major:6", b"Major:5"), half,
           (b"Processors:2", b"Processors:1"), (b"CPU speed: 2096.25", b"CPU speed: 1466.5")]
    amd = [(b"GenuineIntel", b"AuthenticAMD"), (b"CPU speed: 2096.25", b"CPU speed: 2800.01")]
    three = typed.report(gl=dict(present=(b"GL_ARB_multitexture", b"GL_EXT_abgr", b"GL_ARB_texture_cube_map")))
    one_ext, whole = typed.report(gl=dict(present=(b"GL_ARB_multitexture",))), typed.report()
    files = [report(1, three, *old, (b"VendorId: 4318", b"VendorId: 21299")), report(2, three, *old),
             report(3, three, half), report(4, one_ext, one, (b"VendorId: 4318", b"VendorId: 4098"), *amd),
             report(5, one_ext, (b"VendorId: 4318", b"VendorId: 32902"), *amd), report(6, one_ext),
             report(7, whole[:whole.index(b"Caps\r\n") + 40])]
    code, out, err = run("survey", "--json", *files[:4])
    assert (code, err) == (0, b""), (code, err)
    return files, write(os.path.join(folder, "earlier.json"), out)


# The picture's survey and the first test's: two requirements, and the change since the first four.
REQUIRE = ["--require", "memory>=1024", "--require", "GL_EXT_abgr"]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


needs_chromium = unittest.skipUnless(os.path.exists(CHROMIUM), "needs Debian's chromium (%s is absent)" % CHROMIUM)


class PageTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vindrel-survey-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def page(self, *args, status=0, said=b""):
        """survey ARGS --html: the text survey's lines, the DOM, the page's path."""
        path = os.path.join(self.dir, "survey.html")
        code, out, err = run("survey", *args, "--html", path)
        self.assertEqual((code, err), (status, said))
        return out.decode("latin-1").splitlines(), Dom(chromium(path)), path

    @needs_chromium
    def test_page_shows_the_text_surveys_numbers(self):
        files, earlier = small_fleet(self.dir)
        cut = b"vindrel-report: %s: not a whole report (2 problems; vindrel-report check names them)\n"
        text, dom, path = self.page("--previous", earlier, *REQUIRE, *files, status=1, said=cut % files[-1].encode())
        rows = dom.rows("category")
        shown = ["%s: %s: %d of %d (%s, %s)" % row for row in rows]  # each bar a line of the text, in order
        self.assertEqual([line for line in text if line in shown], shown)
        self.assertGreater(len(rows), 20)
        medians = ["%s: median %s" % (dom.text("name", s), dom.text("median", s)[len("Median: "):])
                   for s in dom.find("category") if dom.find("median", s)]
        self.assertEqual([line for line in text if ": median " in line], medians)
        self.assertIn("2 GB or more", dom.text("note", dom.find("category")[4]))  # memory: why the top band
        # planted shares, worked out by hand (7 reports; 4 in the earlier survey)
        by = {row[:2]: row[2:] for row in rows}
        self.assertEqual(by[("Processors", "1")], (2, 7, "28.6 %", "-21.4 pp"))
        self.assertEqual(by[("Processors", "2")], (5, 7, "71.4 %", "+21.4 pp"))
        self.assertEqual(by[("Physical memory", "unknown")], (1, 7, "14.3 %", "+14.3 pp"))

        require = dom.find("require")[0]
        self.assertEqual((require.attrs["data-meets"], require.attrs["data-of"]), ("0", "7"))
        self.assertEqual([(r.attrs["data-fails"], r.attrs["data-fails-only"], r.attrs["data-unknown"],
                           dom.text("expression", r)) for r in dom.find("requirement")],
                         [("4", "3", "1", "memory>=1024"), ("4", "3", "1", "GL_EXT_abgr")])
        # extensions by count, highest first, ties by name
        extensions = [row[1:4] for row in dom.rows("extensions")]
        self.assertEqual(extensions[:3], [("GL_ARB_multitexture", 6, 6), ("GL_ARB_texture_cube_map", 3, 6),
                                          ("GL_EXT_abgr", 3, 6)])
        zero = [name for name, count, _ in extensions if count == 0]
        self.assertEqual((len(extensions), len(zero), zero == sorted(zero)), (222, 219, True))

        # the policy admits the one style sheet by its hash, so the page is styled
        with open(path, encoding="utf-8") as f:
            source = f.read()
        style = re.search(r"<style>(.*?)</style>", source, re.S).group(1)
        digest = base64.b64encode(hashlib.sha256(style.encode()).digest()).decode()
        self.assertIn("default-src 'none'; style-src 'sha256-%s';" % digest, source)

    @needs_chromium
    def test_markup_in_reports_stays_text(self):
        attacks = [b"<script>document.title='ran'</script>", b"<img src=x onerror=\"document.title='ran'\">",
                   b"</style><script>document.body.append('ran')</script>",
                   b"<a href=\"javascript:document.title='ran'\">x</a>", b"'\"><svg onload=document.title='ran'>",
                   b"&lt;b&gt;&amp;"]
        whole, files = typed.report(), []
        for n, attack in enumerate(attacks):
            data = typed.report(adapter=dict(description=b"GPU " + attack, driver=attack),
                                gl=dict(renderer=b"R " + attack, vendor=b"V " + attack, version=b"2.1 " + attack))
            data = data.replace(b"GenuineIntel", attack).replace(b"VendorId: 4318", b"VendorId: %d" % (0x1234 + n))
            files.append(write(os.path.join(self.dir, "<b onmouseover=x>%d.txt" % n),
                               data.replace(b"DeviceId: -1", b"DeviceId: 4660")))
        # bytes of Windows-1252 from a report, UTF-8 from the PCI ID list (vendor 0x15cf)
        files.append(write(os.path.join(self.dir, "bytes.txt"), whole.replace(
            b"GenuineIntel", b"Caf\xe9\x99 \x81\x07").replace(b"VendorId: 4318", b"VendorId: 5583")))
        pci_ids = write(os.path.join(self.dir, "pci.ids"), b"".join(
            b"%04x  Vendor %s\n\t1234  Device %s\n" % (0x1234 + n, a, a) for n, a in enumerate(attacks)))
        text, dom, path = self.page("--pci-ids", pci_ids, *files)
        tags = {e.tag for e in dom.all}
        self.assertFalse(tags & {"script", "img", "a", "b", "iframe", "object", "embed", "form", "link"}, tags)
        self.assertEqual([e.tag for e in dom.all].count("style"), 1)
        for e in dom.all:
            self.assertFalse([k for k, v in e.attrs.items() if k.startswith("on") or "javascript:" in (v or "")])
        self.assertEqual([e.text for e in dom.all if e.tag == "title"], ["Hardware survey of 7 reports"])
        labels = [e.text for e in dom.find("label")]
        for shown in [a.decode() for a in attacks] + ["Caf\xe9\u2122 \\x81\\x07", "Gesellschaft f\xfcr System"]:
            self.assertTrue(any(shown in label for label in labels), (shown, labels))  # as text, whole

    def test_page_is_written_whole_or_not_at_all(self):
        report = write(os.path.join(self.dir, "r.txt"), typed.report())
        folder = os.path.join(self.dir, "page.html")
        os.mkdir(folder)  # where the page should go: the rename fails, and nothing is left
        for path, reason in [(os.path.join(self.dir, "no", "p.html"), "No such file or directory"),
                             (folder, "Is a directory")]:
            self.assertEqual(run("survey", report, "--html", path)[::2],
                             (2, b"vindrel-report: cannot write %s: %s\n" % (path.encode(), reason.encode())))
            self.assertEqual(sorted(os.listdir(self.dir)), ["page.html", "r.txt"])
        page = write(os.path.join(self.dir, "ok.html"), b"old")
        self.assertEqual(run("survey", report, "--html", page)[::2], (0, b""))
        with open(page, "rb") as f:
            self.assertEqual(f.read(15), b"<!DOCTYPE html>")
        self.assertEqual(sorted(os.listdir(self.dir)), ["ok.html", "page.html", "r.txt"])


class PciIdsTest(unittest.TestCase):
    def test_device_names_from_lists(self):
        nv, bare, refused = b"10de  NVIDIA Corporation\n", "0x10de:0x0020", "not a PCI ID list (%s)"
        cases = [  # (the list, the label of device 0x10de 0x0020, or why the list is refused)
            (nv, bare),
            (nv + b"\t0020  NV4 [Riva TNT]\n", "NV4 [Riva TNT] (0x10de:0x0020)"),
            (nv + b"\t0021  Other\n\t\t10de 0020  A subsystem, not the device\n", bare),
            (nv + b"\t0021  Other\n\t\t1043 0021  Sub\n\t0020  After subsystems\n", "After subsystems (0x10de:0x0020)"),
            (b"# a comment\r\n\r\n" + nv.replace(b"\n", b"\r\n") + b"\t0020  CR LF\r\n", "CR LF (0x10de:0x0020)"),
            (nv + b"C 03  Display controller\n\t00  VGA compatible controller\n\t0020  In the classes\n", bare),
            (b"C 03  Display controller\n" + nv + b"\t0020  After the classes\n", refused % "no vendor in it"),
            (nv + b"\t0020  " + b"N" * 200 + b"\n", "N" * 160 + " (0x10de:0x0020)"),
            (nv + b"\t0020  \x1b[31mRed\x7f\ttab\n", "\\x1b[31mRed\\x7f\\x09tab (0x10de:0x0020)"),
            (nv + b"\t0020\n", refused % "line 2"),
            (b"\t0020  Before any vendor\n" + nv, refused % "line 1"),
            (b"", refused % "no vendor in it"),
            (typed.report(), refused % "line 1"),
        ]
        with tempfile.TemporaryDirectory() as folder:
            report = write(os.path.join(folder, "r.txt"), typed.report().replace(b"DeviceId: -1", b"DeviceId: 32"))
            ids = os.path.join(folder, "pci.ids")
            for data, said in cases:
                with self.subTest(data=data[:60]):
                    code, out, err = run("survey", "--json", "--pci-ids", write(ids, data), report)
                    if said.startswith("not a PCI ID list"):
                        self.assertEqual((code, out, err.decode()), (2, b"", "vindrel-report: %s: %s\n" % (ids, said)))
                        continue
                    labels = [row["label"] for c in json.loads(out)["categories"] if c["name"] == "Graphics device"
                              for row in c["rows"]]
                    self.assertEqual((code, err, labels), (0, b"", [said]))
            missing = os.path.join(folder, "none.ids")
            self.assertEqual(run("survey", "--pci-ids", missing, report)[::2],
                             (2, b"vindrel-report: %s: No such file or directory\n" % missing.encode()))


def screenshot(png):
    """The README's picture: the page of the small fleet above."""
    with tempfile.TemporaryDirectory() as folder:
        files, earlier = small_fleet(folder)
        page = os.path.join(folder, "survey.html")
        code, _, err = run("survey", "--previous", earlier, *REQUIRE, "--html", page, *files)
        if code not in (0, 1):  # 1: the cut report, as planted
            raise SystemExit(err.decode())
        chromium(page, screenshot=os.path.abspath(png), height=1445)  # down to the graphics vendors


if __name__ == "__main__":
    if sys.argv[1:2] == ["--screenshot"]:
        screenshot(sys.argv[2])
    else:
        unittest.main(verbosity=2)
