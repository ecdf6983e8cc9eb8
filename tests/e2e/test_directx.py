"""The "DirectX" section of a real run: its three blocks in order, every line in
its format, and the hidden "Engine" windows the Direct3D 8 block leaves behind.

What Wine's runtimes answer depends on the display and on Mesa; the shape is
checked for whatever blocks the platform gives, and their presence is logged."""
import re
import sys

from harness import CATEGORIES, section_items, signed32, E2ETestCase, Run, main, wine

NUMBER = {"%u": r"(\d+)", "%d": r"(-?\d+)", "%x": r"([0-9a-f]+)",
          "%g": r"(-?(?:\d+(?:\.\d+)?(?:e[+-]\d{3})?|1\.#(?:INF|QNAN|IND)))"}


def pattern(fmt, words=None):
    """A printf format as an anchored regex; %s matches one of words."""
    out = ""
    for piece in re.split(r"(%[udxgs])", fmt):
        if piece == "%s":
            out += "(" + "|".join(re.escape(w) for w in words) + ")"
        elif piece in NUMBER:
            out += NUMBER[piece]
        else:
            out += re.escape(piece)
    return re.compile(("^" + out + "$").encode())


SHADER = ("VertexShaderVersion: [%d.%d] %u", "PixelShaderVersion: [%d.%d] %u")
CAPS_16 = ["MaxTextureWidth : %u", "MaxTextureHeight: %u", "MaxVolumeExtent: %u", "MaxTextureRepeat: %u",
           "MaxVertexW: %g", "MaxTextureBlendStages: %u", "MaxSimultaneousTextures: %u", "MaxActiveLights: %u",
           "MaxPointSize: %g", "MaxPrimitiveCount: %u", "MaxVertexIndex: %u", "MaxStreams: %u",
           "MaxStreamStride: %u", SHADER[0], "MaxVertexShaderConst: %u", SHADER[1]]
D3D9_CAPS = CAPS_16 + ["MaxPixelShaderValue (1x): %g", "MaxVertexShaderInstructionsExecuted: %d",
                       "MaxPixelShaderInstructionsExecuted: %d", "MaxVertexShader30InstructionSlots: %d",
                       "MaxPixelShader30InstructionSlots: %d"]
D3D8_NUMBERS = CAPS_16 + ["MaxPixelShaderValue: %g"]
IDENTITY = ["DriverVersion:%d", "VendorId: %d", "DeviceId: %d", "SubSysId: %d", "Revision: %d"]
TF = ("true", "false")
FLAGS = [("DeviceType: %s", ("Hardware", "Software")), ("ReadScanLine: %s", TF), ("Gamma Calibrator: %s", TF),
         ("Render in Window: %s", TF), ("Driver Managed Resources: %s", TF), ("Dynamic Texture Support: %s", TF),
         ("Fullscreen Gamma Calibrator: %s", TF), ("Partitioned Rendering: %s", TF),
         ("Fullscreen Alphablend flip support : %s", TF)]
INTERVALS = ["Immediate:%s", "Every Refresh:%s", "Every Second Refresh:%s", "Every Third Refresh:%s",
             "Every Fourth Refresh:%s"]
MODE = "%dx%d @ %d Hz [FMT:0x%x]"
TEXTURE_MEMORY = pattern("Available Texture Memory: %d [%d MB]")


class Lines:
    """A cursor over the section's (depth, text) items."""

    def __init__(self, test, items):
        self.test, self.items, self.pos = test, items, 0

    def peek(self):
        return self.items[self.pos] if self.pos < len(self.items) else (None, None)

    def take(self, depth, what):
        self.test.assertLess(self.pos, len(self.items), "section ends before %s" % what)
        got_depth, text = self.items[self.pos]
        self.test.assertEqual(got_depth, depth, "depth of %r (%s), item %d" % (text, what, self.pos))
        self.pos += 1
        return text

    def fixed(self, depth, text):
        self.test.assertEqual(self.take(depth, text), text)

    def matching(self, depth, regex):
        text = self.take(depth, regex.pattern)
        match = regex.match(text)
        self.test.assertTrue(match, "%r does not match %r" % (text, regex.pattern))
        return match

    def children(self, depth):
        """Texts at depth until the next shallower item."""
        out = []
        while self.peek()[0] is not None and self.peek()[0] >= depth:
            out.append(self.take(depth, "a leaf"))
        return out


class DirectXSectionTest(E2ETestCase):
    @classmethod
    def setUpClass(cls):
        with Run() as run:
            run.wait_shown()
            cls.tree = run.tree()
            code, out = run.tool("engines")
            cls.engines_code, cls.engines = code, out.decode().splitlines()
            run.keys("Escape")
            cls.exit_code = run.wait_exit()
            cls.data = run.report()

    def section(self, name):
        return section_items(self.tree, name)

    def caps_lines(self, lines, depth, formats):
        for fmt in formats:
            if fmt in SHADER:
                major, minor, whole = (int(g) for g in lines.matching(depth, pattern(fmt)).groups())
                self.assertEqual((major, minor), ((whole >> 8) & 0xFF, whole & 0xFF), fmt)
            else:
                lines.matching(depth, pattern(fmt))

    def walk(self):
        """Checks the section item by item; returns (d3d9 adapters, d3d8 adapters, modes, texture lines)."""
        lines = Lines(self, self.section(b"DirectX"))
        d3d9 = d3d8 = None
        modes, textures = [], 0
        if lines.peek() == (1, b"DirectX9.0"):
            lines.fixed(1, b"DirectX9.0")
            d3d9 = 0
            while lines.peek() == (2, b"D3DDEVTYPE_HAL caps"):
                lines.fixed(2, b"D3DDEVTYPE_HAL caps")
                self.caps_lines(lines, 3, D3D9_CAPS)
                d3d9 += 1
        if lines.peek() == (1, b"DirectX8.1"):
            lines.fixed(1, b"DirectX8.1")
            d3d8 = 0
            while lines.peek()[0] == 2:
                lines.take(2, "adapter description")
                lines.take(3, "driver")
                for fmt in IDENTITY:
                    lines.matching(4, pattern(fmt))
                lines.fixed(3, b"Display Modes")
                count = 0
                while lines.peek()[0] == 4:
                    lines.matching(4, pattern(MODE))
                    count += 1
                modes.append(count)
                lines.fixed(3, b"D3DDEVTYPE_HAL caps")
                for fmt, words in FLAGS:
                    lines.matching(4, pattern(fmt, words))
                lines.fixed(4, b"Video Flip Synchronization")
                for fmt in INTERVALS:
                    lines.matching(5, pattern(fmt, ("supported", "not supported")))
                self.caps_lines(lines, 4, D3D8_NUMBERS)
                if lines.peek()[0] == 4:
                    first, mib = (int(g) for g in lines.matching(4, TEXTURE_MEMORY).groups())
                    self.assertEqual(mib, (first & 0xFFFFFFFF) >> 20)
                    self.assertEqual(first, signed32(first))
                    textures += 1
                d3d8 += 1
            lines.fixed(1, b"DirectShow")
            for category, _ in CATEGORIES:
                lines.fixed(2, category)
                lines.children(3)
        self.assertEqual(lines.pos, len(lines.items), "unexpected item %r" % (lines.peek(),))
        return d3d9, d3d8, modes, textures

    def test_section_shape_and_line_formats(self):
        # walk() takes every item in order; DirectShow only after "DirectX8.1".
        d3d9, d3d8, modes, textures = self.walk()
        sys.stderr.write("DirectX9.0 adapters: %s, DirectX8.1 adapters: %s, modes: %s, texture lines: %d\n"
                         % (d3d9, d3d8, modes, textures))

    def test_directshow_names_are_those_the_registry_holds_per_category(self):
        # The registry, asked apart from DirectShow: filters registered by class, and
        # the devices DirectShow itself recorded (codecs, wave devices) per category.
        items = self.section(b"DirectX")
        if (1, b"DirectShow") not in items:
            self.skipTest("no DirectShow block on this display")
        keys = [key % guid for _, guid in CATEGORIES
                for key in ("HKCR\\CLSID\\%s\\Instance", "HKCU\\Software\\Microsoft\\ActiveMovie\\devenum\\%s")]
        out = wine("cmd", "/c", " & ".join('reg query %s /s /v FriendlyName' % key for key in keys))
        out = out.stdout.decode("latin-1")
        registered, guid = {g: set() for _, g in CATEGORIES}, None
        for line in out.splitlines():
            if line.startswith("HKEY_"):
                guid = next((g for g in registered if g.upper() in line.upper()), None)
            elif "FriendlyName" in line and guid:
                registered[guid].add(line.split("REG_SZ", 1)[1].strip().encode("latin-1"))
        listed = {}
        start = items.index((1, b"DirectShow"))
        for depth, text in items[start + 1:]:
            if depth == 2:
                listed[text] = set()
            else:
                listed[list(listed)[-1]].add(text)
        for name, guid in CATEGORIES:
            self.assertLessEqual(registered[guid], listed[name], name)
        # Wine's own codecs and filters are always there.
        self.assertTrue(registered[CATEGORIES[0][1]] and registered[CATEGORIES[6][1]], registered)

    def test_report_file_holds_the_tree(self):
        self.assertEqual(self.exit_code, 0)
        self.assertReportMatchesTree(self.tree, self.data)

    def test_one_hidden_engine_window_per_direct3d8_adapter(self):
        _, d3d8, _, _ = self.walk()
        self.assertEqual(self.engines_code, 0)
        # Their class, style and size: tests/probes/graphics/probe_window_test.cpp.
        for line in self.engines:
            self.assertRegex(line, r"^engine visible=0 style=[0-9a-f]+ owner=0 size=\d+x\d+$")
        # The OpenGL probe adds one window of its own; it has run when its section has lines.
        opengl_ran = bool(self.section(b"OpenGL"))
        expected = {(d3d8 or 0) + 1} if opengl_ran else {d3d8 or 0, (d3d8 or 0) + 1}
        self.assertIn(len(self.engines), expected, self.engines)


if __name__ == "__main__":
    main()
