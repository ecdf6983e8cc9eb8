"""Direct3D runtimes that refuse, have no adapter, have two, refuse the test
device, list no modes or answer 2 GiB of texture memory. The same runs give the
extension scan and the connection line some awkward answers."""
from fault import (FaultTestCase, OpenGLChecks, directx_head, main, opengl_items, run_scenario)

MULTI, ABGR, SHADOW, DEPTH = b"GL_ARB_multitexture", b"GL_EXT_abgr", b"GL_ARB_shadow", b"GL_ARB_depth_texture"


class Direct3DFaultTest(FaultTestCase, OpenGLChecks):
    def directx(self, outcome):
        items = outcome.section(b"DirectX")
        shows = [i for i, item in enumerate(items) if item == (1, b"DirectShow")]
        return (items[:shows[0]], items[shows[0]:]) if shows else (items, [])

    def test_no_direct3d9_two_direct3d8_adapters_large_texture_memory(self):
        outcome = run_scenario({"d3d9": "null", "d3d8.adapters": 2, "d3d8.texmem": "0x80000000",
                                "gl.extensions": MULTI + b" " + ABGR, "net.flags": 1, "net.connected": 1})
        self.assertSound(outcome)
        head, shows = self.directx(outcome)
        texture = b"Available Texture Memory: -2147483648 [2048 MB]"
        self.assertItems(head, directx_head(None, 2, texture=texture))
        self.assertDirect3DCalls(outcome, None, 2)
        self.assertDirectShowTail(shows)
        # One probe window per Direct3D 8 adapter, one for OpenGL.
        self.assertEqual(len(outcome.engines), 3, outcome.engines)
        self.assertOpenGL(outcome, opengl_items(), [MULTI, ABGR])
        self.assertConnection(outcome, b"true", b"INTERNET_CONNECTION_MODEM")

    def test_no_direct3d9_adapter_and_no_direct3d8(self):
        outcome = run_scenario({"d3d9.adapters": 0, "d3d8": "null",
                                "gl.extensions": b" " + MULTI + b" " + ABGR + b" ", "net.flags": 4, "net.connected": 0})
        self.assertSound(outcome)
        self.assertItems(outcome.section(b"DirectX"), [(1, b"DirectX9.0")])
        self.assertDirect3DCalls(outcome, 0, None)
        self.assertEqual(len(outcome.engines), 1, outcome.engines)
        self.assertOpenGL(outcome, opengl_items(), [MULTI, ABGR])
        self.assertConnection(outcome, b"false", b"INTERNET_CONNECTION_PROXY")

    def test_two_direct3d9_adapters_and_no_direct3d8_adapter(self):
        outcome = run_scenario({"d3d9.adapters": 2, "d3d8.adapters": 0,
                                "gl.extensions": MULTI + b"  " + ABGR + b" " + SHADOW, "net.flags": 8})
        self.assertSound(outcome)
        head, shows = self.directx(outcome)
        self.assertItems(head, directx_head(2, 0))
        self.assertDirect3DCalls(outcome, 2, 0)
        self.assertDirectShowTail(shows)
        self.assertOpenGL(outcome, opengl_items(), [MULTI, ABGR, SHADOW])
        self.assertConnection(outcome, b"true", b"INTERNET_CONNECTION_MODEM_BUSY")

    def test_test_device_refused_and_no_display_modes(self):
        outcome = run_scenario({"d3d8.device": "refuse", "d3d8.modes": 0,
                                "gl.extensions": MULTI + b"\t" + ABGR + b" " + SHADOW + b"\n" + DEPTH + b" " + DEPTH,
                                "net.flags": 0, "net.connected": 0})
        self.assertSound(outcome)
        head, shows = self.directx(outcome)
        self.assertItems(head, directx_head(1, 1, modes=0, texture=None))
        self.assertDirect3DCalls(outcome, 1, 1, modes=0)
        self.assertDirectShowTail(shows)
        self.assertOpenGL(outcome, opengl_items(), [DEPTH])
        self.assertConnection(outcome, b"false", b"Unkown 0x0")

    def test_test_device_answered_without_a_device(self):
        outcome = run_scenario({"d3d8.device": "null", "d3d8.adapters": 2, "net.flags": "0x12"})
        self.assertSound(outcome)
        head, _ = self.directx(outcome)
        self.assertItems(head, directx_head(1, 2, texture=None))
        self.assertDirect3DCalls(outcome, 1, 2)
        self.assertOpenGL(outcome, opengl_items(), [MULTI, ABGR])
        self.assertConnection(outcome, b"true", b"Unkown 0x12")


if __name__ == "__main__":
    main()
