"""Runs the real vindrel.exe beside test-double platform DLLs.

Each scenario gets a fresh directory holding a copy of the program, the doubles
and their "double.txt"; Wine loads the doubles first (native-first override).
Every run must show the dialog, leave no message box, exit with 0 and write the
tree as the file."""
import contextlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402
from harness import main, section_items, BUILD, CATEGORIES, EXE, Run  # noqa: E402

DOUBLES_DIR = os.path.join(BUILD, "tests", "doubles")
DOUBLES = ("d3d9", "d3d8", "opengl32", "wininet")
OVERRIDE = "d3d9,d3d8,opengl32,wininet=n,b"


def escape(value):
    """A double.txt value for any bytes: only the backslash and the line end need escapes."""
    value = b"%d" % value if isinstance(value, int) else value.encode("latin-1") if isinstance(value, str) else value
    return value.replace(b"\\", b"\\\\").replace(b"\n", b"\\n")


class Outcome:
    def __init__(self, **facts):
        self.__dict__.update(facts)

    def section(self, name):
        """(depth, text) items under a root node."""
        return section_items(self.tree, name)


def _read(path):
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def _place(workdir, settings, doubles=True):
    """Copies the program and the doubles into workdir with settings as their
    double.txt; returns the copy's path."""
    exe = os.path.join(workdir, "vindrel.exe")
    shutil.copy(EXE, exe)
    for name in DOUBLES if doubles else ():
        shutil.copy(os.path.join(DOUBLES_DIR, name + ".dll"), workdir)
    with open(os.path.join(workdir, "double.txt"), "wb") as f:
        for key, value in settings.items():
            f.write(key.encode() + b"=" + escape(value) + b"\n")
    return exe


def _with_doubles(base_env):
    old = base_env.get("WINEDLLOVERRIDES")
    return dict(base_env, WINEDLLOVERRIDES=(old + ";" if old else "") + OVERRIDE)


def run_scenario(settings, workdir=None, display=True, before=None, doubles=True):
    """Runs the program with the doubles told settings; returns its Outcome.
    before(dir) may prepare the directory (e.g. hold stats.txt) and return a
    function that undoes it. Without display, there is no X display at all."""
    own = workdir is None
    workdir = workdir or tempfile.mkdtemp(prefix="vindrel-fault-")
    try:
        exe = _place(workdir, settings, doubles)
        cleanup = before(workdir) if before else None
        try:
            with contextlib.ExitStack() as stack:
                base_env = os.environ if display else stack.enter_context(harness.without_display())
                env = _with_doubles(base_env)
                run = stack.enter_context(Run(workdir=workdir, exe=exe, env=env))
                run.wait_shown()
                tree = run.tree()
                windows = [l for l in run.tool("windows")[1].decode("latin-1").splitlines() if l.startswith("window ")]
                engines = run.tool("engines")[1].decode("latin-1").splitlines()
                if display:
                    run.keys("Escape")
                else:
                    assert run.tool("close")[0] == 0, "cannot close the dialog"
                exit_code = run.wait_exit()
        finally:
            if cleanup:
                cleanup()
        data = _read(os.path.join(workdir, "stats.txt"))
        harness.assert_report_reads_back(data)
        calls = _read(os.path.join(workdir, "calls.txt"))  # None where nothing could be written
        calls = calls.decode("latin-1").splitlines() if calls is not None else None
        return Outcome(tree=tree, data=data, exit_code=exit_code, windows=windows, engines=engines, calls=calls)
    finally:
        if own:
            shutil.rmtree(workdir, ignore_errors=True)


def run_crash(settings):
    """Runs the program with a double told to crash it; returns (exit code,
    stats.txt) once the process has ended by itself. A run still going after
    harness.EXIT_TIMEOUT is held, by a crash dialog or a hang, and fails."""
    workdir = tempfile.mkdtemp(prefix="vindrel-crash-")
    # No debugger: winedbg writes a backtrace of the planted crash and then ends the
    # process with status 0, which a clean exit also gives.
    env = _with_doubles(os.environ)
    env["WINEDLLOVERRIDES"] += ";winedbg.exe=d"
    try:
        exe = _place(workdir, settings)
        with Run(workdir=workdir, exe=exe, env=env) as run:
            try:
                code = run.wait_exit()
            except subprocess.TimeoutExpired:
                raise AssertionError("the crashed run was still held after %d s" % harness.EXIT_TIMEOUT) from None
        return code, _read(os.path.join(workdir, "stats.txt"))
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


class FaultTestCase(harness.E2ETestCase):
    maxDiff = 4000

    def assertSound(self, outcome, file_expected=True):
        """Exit 0, no message box, the five sections folded, and the file is the tree."""
        self.assertEqual(outcome.exit_code, 0)
        self.assertEqual(outcome.windows, [], "something besides the dialog is shown")
        roots = [(text, state & 0x20) for depth, state, _, text in outcome.tree if depth == 0]
        self.assertEqual(roots, [(text, 0) for text in harness.SECTIONS])  # none TVIS_EXPANDED
        if file_expected:
            self.assertIsNotNone(outcome.data, "no stats.txt")
            # Byte for byte: texts may hold CR or LF themselves.
            self.assertEqual(b"".join(text + b"\r\n" for _, _, _, text in outcome.tree), outcome.data)

    def assertItems(self, got, expected):
        """Compares (depth, text) lists and names the first difference."""
        for index, (g, e) in enumerate(zip(got, expected)):
            self.assertEqual(g, e, "item %d" % index)
        self.assertEqual(len(got), len(expected), "item count")

    def assertDirect3DCalls(self, outcome, *args, **kwargs):
        """What the program asked of the Direct3D doubles, argument for argument."""
        self.assertEqual([c for c in outcome.calls if not c.startswith("wgl")], d3d_calls(*args, **kwargs))

    def assertDirectShowTail(self, items):
        """From "DirectShow" on: the seven categories at depth 2, devices below them."""
        self.assertEqual(items[0], (1, b"DirectShow"))
        self.assertEqual([text for depth, text in items[1:] if depth == 2], [name for name, _ in CATEGORIES])
        self.assertTrue(all(depth in (2, 3) for depth, _ in items[1:]), items)


# Expected lines for what the doubles answer by default (see tests/doubles).
def d3d9_adapter(adapter):
    return [(2, b"D3DDEVTYPE_HAL caps")] + [(3, line) for line in [
        b"MaxTextureWidth : %d" % (1024 * (adapter + 1)), b"MaxTextureHeight: 0", b"MaxVolumeExtent: 0",
        b"MaxTextureRepeat: 0", b"MaxVertexW: 0", b"MaxTextureBlendStages: 0", b"MaxSimultaneousTextures: 0",
        b"MaxActiveLights: 0", b"MaxPointSize: 0", b"MaxPrimitiveCount: 0", b"MaxVertexIndex: 0", b"MaxStreams: 0",
        b"MaxStreamStride: 0", b"VertexShaderVersion: [0.0] 0", b"MaxVertexShaderConst: 0",
        b"PixelShaderVersion: [0.0] 0", b"MaxPixelShaderValue (1x): 0", b"MaxVertexShaderInstructionsExecuted: -1",
        b"MaxPixelShaderInstructionsExecuted: 0", b"MaxVertexShader30InstructionSlots: 0",
        b"MaxPixelShader30InstructionSlots: 0"]]


# Adapter 0 answers Caps2 0x2 and intervals 0x80000001, adapter 1 Caps2 0x80000 and intervals 0x2.
FLAG_NAMES = [b"DeviceType: ", b"ReadScanLine: ", b"Gamma Calibrator: ", b"Render in Window: ",
              b"Driver Managed Resources: ", b"Dynamic Texture Support: ", b"Fullscreen Gamma Calibrator: ",
              b"Partitioned Rendering: ", b"Fullscreen Alphablend flip support : "]
D3D8_FLAGS = [[name + word for name, word in zip(FLAG_NAMES, words.split())]
              for words in (b"Hardware true false false false false false false false",
                            b"Hardware true false true false false false true false")]
INTERVAL_NAMES = [b"Immediate:", b"Every Refresh:", b"Every Second Refresh:", b"Every Third Refresh:",
                  b"Every Fourth Refresh:"]
D3D8_INTERVALS = [[name + (b"supported" if on == "1" else b"not supported") for name, on in zip(INTERVAL_NAMES, bits)]
                  for bits in ("11000", "00100")]
D3D8_NUMBERS = [b"MaxTextureHeight: 0", b"MaxVolumeExtent: 0", b"MaxTextureRepeat: 0",
                b"MaxVertexW: 1e+010", b"MaxTextureBlendStages: 0", b"MaxSimultaneousTextures: 0",
                b"MaxActiveLights: 0", b"MaxPointSize: 0", b"MaxPrimitiveCount: 0", b"MaxVertexIndex: 0",
                b"MaxStreams: 0", b"MaxStreamStride: 0", b"VertexShaderVersion: [1.1] 4294836481",
                b"MaxVertexShaderConst: 0", b"PixelShaderVersion: [0.0] 0", b"MaxPixelShaderValue: 0"]


def d3d8_adapter(adapter, modes=2, texture=b"Available Texture Memory: 134217728 [128 MB]",
                 description=None, driver=None):
    """What the d3d8 double answers for adapter (see tests/doubles/d3d8_double.c)."""
    items = [(2, description or b"Double Adapter %d" % adapter), (3, driver or b"double%d.dll" % adapter),
             (4, b"DriverVersion:%d" % (0x000A0BB8 + adapter)), (4, b"VendorId: %d" % (4318 + adapter)),
             (4, b"DeviceId: %d" % (-1 - adapter)), (4, b"SubSysId: %d" % (-2147483648 + adapter)),
             (4, b"Revision: %d" % adapter), (3, b"Display Modes")]
    items += [(4, b"%dx%d @ %d Hz [FMT:0x%x]" % (640 + 100 * adapter + i, 480 + i, 10 * i + adapter, 22 + i))
              for i in range(modes + adapter)]
    items += [(3, b"D3DDEVTYPE_HAL caps")] + [(4, line) for line in D3D8_FLAGS[adapter]]
    items += [(4, b"Video Flip Synchronization")] + [(5, line) for line in D3D8_INTERVALS[adapter]]
    items += [(4, b"MaxTextureWidth : %d" % (2048 << adapter))] + [(4, line) for line in D3D8_NUMBERS]
    if texture is not None:
        items.append((4, texture))
    return items


# The test device: adapter 0, the reference type, software vertex processing, a new
# hidden probe window, and the presentation parameters field by field.
TEST_DEVICE = "CreateDevice 0 2 0x20"
PRESENT = "present 320 200 22 0 0 4 0 1 0 0 0x0 0 0"


def d3d_calls(d3d9_adapters=1, d3d8_adapters=1, modes=2):
    """The calls the doubles should record, in order (None: that runtime is missing)."""
    calls = ["Direct3DCreate9 31"]
    calls += ["GetDeviceCaps9 %d 1" % a for a in range(d3d9_adapters or 0)]
    calls.append("Direct3DCreate8 220")
    for a in range(d3d8_adapters or 0):
        calls += ["GetAdapterIdentifier %d 0" % a, "GetAdapterModeCount %d" % a]
        calls += ["EnumAdapterModes %d %d" % (a, i) for i in range(modes + a)]
        calls += ["GetDeviceCaps8 %d 1" % a, TEST_DEVICE,
                  "focus class=Engine seen=0 engines=%d visible=0" % (a + 1), PRESENT]
    return calls


PIXEL_FORMAT_FIELDS = ("nSize nVersion dwFlags iPixelType cColorBits cRedBits cRedShift cGreenBits cGreenShift "
                       "cBlueBits cBlueShift cAlphaBits cAlphaShift cAccumBits cAccumRedBits cAccumGreenBits "
                       "cAccumBlueBits cAccumAlphaBits cDepthBits cStencilBits cAuxBuffers iLayerType bReserved "
                       "dwLayerMask dwVisibleMask dwDamageMask").split()
# A double-buffered RGBA window format of 16 colour bits; everything else 0.
PIXEL_FORMAT = dict(dict.fromkeys(PIXEL_FORMAT_FIELDS, 0), nSize=40, nVersion=1, dwFlags=0x25, cColorBits=16)


def pixel_format_calls(calls):
    """(call, format index, {field: value}) for each recorded choose and set."""
    out = []
    for line in calls:
        name, _, rest = line.partition(" ")
        if name in ("wglChoosePixelFormat", "wglSetPixelFormat"):
            index, request = rest.split(" ")
            values = struct.unpack("<HHI20B3I", bytes.fromhex(request))
            out.append((name, int(index), dict(zip(PIXEL_FORMAT_FIELDS, values))))
    return out


def directx_head(d3d9_adapters=1, d3d8_adapters=1, **d3d8):
    """The "DirectX" items before "DirectShow"; None leaves a block out."""
    items = []
    if d3d9_adapters is not None:
        items.append((1, b"DirectX9.0"))
        for adapter in range(d3d9_adapters):
            items += d3d9_adapter(adapter)
    if d3d8_adapters is not None:
        items.append((1, b"DirectX8.1"))
        for adapter in range(d3d8_adapters):
            items += d3d8_adapter(adapter, **d3d8)
    return items



def opengl_items(version=b"1.1 Double", renderer=b"Double Renderer", vendor=b"Double Vendor"):
    """The OpenGL items before the display modes; a formatted line keeps at most 4095 bytes."""
    return [(1, (b"Version: " + version)[:4095]), (1, renderer), (2, (b"Vendor: " + vendor)[:4095])]


class OpenGLChecks:
    def assertOpenGL(self, outcome, head, present):
        """head: the three items before "Display modes (...)"; present: the checklist
        rows expected "present". Returns the section's items."""
        if outcome.calls is not None:
            self.assertEqual(pixel_format_calls(outcome.calls), [("wglChoosePixelFormat", 0, PIXEL_FORMAT),
                                                                 ("wglSetPixelFormat", 1, PIXEL_FORMAT)])
        items = outcome.section(b"OpenGL")
        self.assertItems(items[:3], head)
        caps = len(items) - 223
        self.assertGreaterEqual(caps, 4, items[:8])
        self.assertEqual(items[3][0], 2)
        self.assertRegex(items[3][1], rb"^Display modes \(.*\)$")
        for depth, line in items[4:caps]:
            self.assertEqual(depth, 3)
            self.assertRegex(line, rb"^-?\d+x-?\d+ @ -?\d+ Hz -?\d+ bpp$")
        self.assertItems(items[caps:], [(2, b"Caps")] + [
            (3, name + (b":present" if name in present else b":not available")) for name in harness.checklist_names()])
        return items

    def assertConnection(self, outcome, connected, last):
        items = outcome.section(b"Windows")
        self.assertEqual(len(items), 11)
        self.assertEqual(items[-2:], [(1, b"Connected to Internet:" + connected), (1, b"Internet Connection:" + last)])
        # An unwritable report is missing or empty.
        self.assertTrue(not outcome.data or outcome.data.endswith(b"Internet Connection:" + last + b"\r\n"))
