"""OpenGL set-up failing at each step leaves "OpenGL" a leaf; null strings show
as empty texts; a User32 without EnumDisplayDevicesA leaves the device texts
empty. The connection line gets the remaining flag words."""
import os

from fault import FaultTestCase, OpenGLChecks, main, opengl_items, run_scenario


class OpenGLFaultTest(FaultTestCase, OpenGLChecks):
    def assertLeaf(self, outcome):
        self.assertSound(outcome)
        self.assertEqual(outcome.section(b"OpenGL"), [])  # the file is the tree, so "Memory" follows

    def test_no_pixel_format(self):
        outcome = run_scenario({"gl.choose": 0, "net.flags": 2, "net.connected": 0})
        self.assertLeaf(outcome)
        self.assertConnection(outcome, b"false", b"INTERNET_CONNECTION_LAN")

    def test_pixel_format_refused(self):
        outcome = run_scenario({"gl.set": "fail", "net.flags": 1, "net.connected": 0})
        self.assertLeaf(outcome)
        self.assertConnection(outcome, b"false", b"INTERNET_CONNECTION_MODEM")

    def test_no_context(self):
        outcome = run_scenario({"gl.context": "null", "net.flags": 0, "net.connected": 1})
        self.assertLeaf(outcome)
        self.assertConnection(outcome, b"true", b"Unkown 0x0")

    def test_context_not_made_current(self):
        outcome = run_scenario({"gl.current": "fail", "net.flags": 4, "net.connected": 1})
        self.assertLeaf(outcome)
        self.assertConnection(outcome, b"true", b"INTERNET_CONNECTION_PROXY")

    def test_null_strings(self):
        outcome = run_scenario({"gl.version": "null", "gl.renderer": "null", "gl.vendor": "null",
                                "gl.extensions": "null", "net.flags": 8, "net.connected": 0})
        self.assertSound(outcome)
        self.assertOpenGL(outcome, opengl_items(b"", b"", b""), [])
        self.assertConnection(outcome, b"false", b"INTERNET_CONNECTION_MODEM_BUSY")

    def test_display_device_entry_point_missing(self):
        # User32 cannot be replaced by a double, so the copy of the program asks
        # for a name no User32 exports: the same lookup failure as on a system
        # that lacks the function.
        def rename_lookup(workdir):
            path = os.path.join(workdir, "vindrel.exe")
            with open(path, "rb") as f:
                image = f.read()
            self.assertEqual(image.count(b"EnumDisplayDevicesA\0"), 1)
            with open(path, "wb") as f:
                f.write(image.replace(b"EnumDisplayDevicesA\0", b"EnumDisplayDevicesQ\0"))

        outcome = run_scenario({"net.flags": 0x12, "net.connected": 1}, before=rename_lookup)
        self.assertSound(outcome)
        items = self.assertOpenGL(outcome, opengl_items(), [b"GL_ARB_multitexture", b"GL_EXT_abgr"])
        self.assertEqual(items[3], (2, b"Display modes ()"))
        self.assertConnection(outcome, b"true", b"Unkown 0x12")


if __name__ == "__main__":
    main()
