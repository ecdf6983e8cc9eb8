"""The "DirectX" section of a real run: its three blocks in order, every line in
its format, and the hidden "Engine" windows the Direct3D 8 block leaves behind.

What Wine's runtimes answer depends on the display and on Mesa; the shape is
checked for whatever blocks the platform gives, and their presence is logged."""
import re
import sys

from harness import CATEGORIES, section_items, signed32, E2ETestCase, Run, main, wine

NUMBER = {"%u": rb"\d+", "%d": rb"-?\d+", "%x": rb"[0-9a-f]+",
          "%g": rb"-?(?:\d+(?:\.\d+)?(?:e[+-]\d{3})?|1\.#(?:INF|QNAN|IND))"}


def rows(depth, formats):
    """One '<depth> <text>' line per printf format; a (format, words) pair's %s is one of the words."""
    out = b""
    for fmt in formats:
        fmt, words = fmt if isinstance(fmt, tuple) else (fmt, ())
        out += b"%d " % depth
        for piece in re.split(r"(%[udxgs])", fmt):
            out += b"(?:" + b"|".join(re.escape(w.encode()) for w in words) + b")" if piece == "%s" else \
                NUMBER.get(piece, re.escape(piece.encode()))
        out += b"\n"
    return out


CAPS_16 = ["MaxTextureWidth : %u", "MaxTextureHeight: %u", "MaxVolumeExtent: %u", "MaxTextureRepeat: %u",
           "MaxVertexW: %g", "MaxTextureBlendStages: %u", "MaxSimultaneousTextures: %u", "MaxActiveLights: %u",
           "MaxPointSize: %g", "MaxPrimitiveCount: %u", "MaxVertexIndex: %u", "MaxStreams: %u",
           "MaxStreamStride: %u", "VertexShaderVersion: [%d.%d] %u", "MaxVertexShaderConst: %u",
           "PixelShaderVersion: [%d.%d] %u"]
D3D9_CAPS = CAPS_16 + ["MaxPixelShaderValue (1x): %g", "MaxVertexShaderInstructionsExecuted: %d",
                       "MaxPixelShaderInstructionsExecuted: %d", "MaxVertexShader30InstructionSlots: %d",
                       "MaxPixelShader30InstructionSlots: %d"]
TF = ("true", "false")
FLAGS = [("DeviceType: %s", ("Hardware", "Software")), ("ReadScanLine: %s", TF), ("Gamma Calibrator: %s", TF),
         ("Render in Window: %s", TF), ("Driver Managed Resources: %s", TF), ("Dynamic Texture Support: %s", TF),
         ("Fullscreen Gamma Calibrator: %s", TF), ("Partitioned Rendering: %s", TF),
         ("Fullscreen Alphablend flip support : %s", TF)]
INTERVALS = [(name + ":%s", ("supported", "not supported")) for name in
             ("Immediate", "Every Refresh", "Every Second Refresh", "Every Third Refresh", "Every Fourth Refresh")]
D3D8_ADAPTER = (rb"2 .*\n3 .*\n" + rows(4, ["DriverVersion:%d", "VendorId: %d", "DeviceId: %d", "SubSysId: %d",
                                            "Revision: %d"])
                + b"3 Display Modes\n(?:" + rows(4, ["%dx%d @ %d Hz [FMT:0x%x]"]) + b")*3 D3DDEVTYPE_HAL caps\n"
                + rows(4, FLAGS) + b"4 Video Flip Synchronization\n" + rows(5, INTERVALS)
                + rows(4, CAPS_16 + ["MaxPixelShaderValue: %g"])
                + b"(?:" + rows(4, ["Available Texture Memory: %d [%d MB]"]) + b")?")
# The three blocks in order, any of them missing; DirectShow only after "DirectX8.1".
SECTION = re.compile(b"(?:1 DirectX9\\.0\n(?:2 D3DDEVTYPE_HAL caps\n" + rows(3, D3D9_CAPS) + b")*)?"
                     b"(?:1 DirectX8\\.1\n(?:" + D3D8_ADAPTER + b")*1 DirectShow\n"
                     + b"".join(b"2 " + re.escape(name) + rb"\n(?:3 .*\n)*" for name, _ in CATEGORIES) + b")?")


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

    def walk(self):
        """Checks every item's depth and format; returns (d3d9 adapters, d3d8 adapters, modes, texture lines)."""
        items = self.section(b"DirectX")
        text = b"".join(b"%d %s\n" % item for item in items)
        self.assertRegex(text, b"^" + SECTION.pattern + b"$")
        for major, minor, whole in re.findall(rb"ShaderVersion: \[(\d+)\.(\d+)\] (\d+)", text):
            self.assertEqual((int(major), int(minor)), ((int(whole) >> 8) & 0xFF, int(whole) & 0xFF))
        for first, mib in re.findall(rb"Available Texture Memory: (-?\d+) \[(\d+) MB\]", text):
            self.assertEqual(int(mib), (int(first) & 0xFFFFFFFF) >> 20)
            self.assertEqual(int(first), signed32(int(first)))
        d3d8 = text.count(b"\n3 Display Modes\n") if (1, b"DirectX8.1") in items else None
        modes = [len(re.findall(rb"\n4 -?\d+x", block)) for block in text.split(b"\n3 Display Modes")[1:]]
        return (text.count(b"\n2 D3DDEVTYPE_HAL caps\n") if (1, b"DirectX9.0") in items else None, d3d8,
                modes, text.count(b" Available Texture Memory: "))

    def test_section_shape_and_line_formats(self):
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
