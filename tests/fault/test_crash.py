"""A driver that crashes the process (an access violation inside one call) in
Direct3D, OpenGL or WinINet: stats.txt keeps, byte for byte, every line that a
normal run of the same scenario makes before that call, and the run ends by
itself, held by no crash dialog."""
from fault import FaultTestCase, main, run_crash, run_scenario
from harness import file_lines

CLOCK = b"CPU speed: "


def measured_aside(lines):
    """The lines with the measured clock's value left out, which differs from run to run."""
    return [CLOCK if line.startswith(CLOCK) else line for line in lines]


class CrashTest(FaultTestCase):
    @classmethod
    def setUpClass(cls):
        cls.outcome = run_scenario({})
        cls.normal = file_lines(cls.outcome.data)

    def assertKeeps(self, settings, lines_before):
        code, data = run_crash(settings)
        self.assertNotEqual(code, 0, "the program did not crash")
        self.assertIsNotNone(data, "no stats.txt")
        self.assertEqual(measured_aside(file_lines(data)), measured_aside(lines_before))

    def test_normal_run_is_sound(self):
        self.assertSound(self.outcome)

    def test_direct3d8_create_device(self):
        # The test device's texture memory is the first line after CreateDevice.
        texture = self.normal.index(b"Available Texture Memory: 134217728 [128 MB]")
        self.assertKeeps({"crash": "d3d8.CreateDevice"}, self.normal[:texture])

    def test_opengl_in_the_checklist(self):
        # Version, renderer and vendor are the first three fetches; then one per row.
        caps = self.normal.index(b"Caps", self.normal.index(b"OpenGL"))
        self.assertKeeps({"crash": "gl.glGetString", "crash.skip": 3 + 100}, self.normal[:caps + 1 + 100])

    def test_wininet_connection_state(self):
        self.assertEqual(self.normal[-2], b"Connected to Internet:true")
        self.assertKeeps({"crash": "net.InternetGetConnectedState"}, self.normal[:-2])


if __name__ == "__main__":
    main()
