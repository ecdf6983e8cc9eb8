"""Platform texts that look like formats, are long, hold bytes above 0x7F or
line ends: shown and written unchanged, formatted lines cut at 4095 bytes."""
from fault import FaultTestCase, OpenGLChecks, directx_head, main, opengl_items, run_scenario

HIGH = bytes(range(0x80, 0x100))
LONG_EXTENSIONS = b"GL_EXT_abgr " + b"GL_" + b"x" * 199_960 + b" GL_ARB_shadow " + b"GL_ARB_shadow_ambientX"


class HostileTextTest(FaultTestCase, OpenGLChecks):
    def test_formats_high_bytes_and_line_ends(self):
        description = b"%s%n%x%d%%p" + HIGH
        driver = b"tab\there\rcr\nlf\r\n" + b"D" * 300
        renderer = b"%s%n" * 10 + b"R" * 70_000
        version = b"%s%n%x" + b"V" * 5_000
        vendor = b"\x80\xff\t\r\n%n" + b"W" * 300
        outcome = run_scenario({"d3d8.description": description, "d3d8.driver": driver, "gl.renderer": renderer,
                                "gl.version": version, "gl.vendor": vendor, "gl.extensions": LONG_EXTENSIONS})
        self.assertSound(outcome)
        items = outcome.section(b"DirectX")
        expected = directx_head(1, 1, description=description, driver=driver)
        self.assertItems(items[:len(expected)], expected)
        self.assertOpenGL(outcome, opengl_items(version, renderer, vendor), [b"GL_EXT_abgr", b"GL_ARB_shadow"])
        self.assertEqual(len(outcome.section(b"OpenGL")[0][1]), 4095)

    def test_unterminated_fields_and_many_conversions(self):
        every_byte = bytes(range(1, 0x100))
        outcome = run_scenario({"d3d8.description": b"E" * 600, "d3d8.driver": every_byte,
                                "gl.renderer": b"%n%n%n%n%s%s%s", "gl.version": b"Z" * 70_000,
                                "gl.vendor": b"%s" * 3_000, "gl.extensions": b""})
        self.assertSound(outcome)
        items = outcome.section(b"DirectX")
        # The 512-byte field came unterminated; its last byte gives way to the end.
        expected = directx_head(1, 1, description=b"E" * 511, driver=every_byte)
        self.assertItems(items[:len(expected)], expected)
        self.assertOpenGL(outcome, opengl_items(b"Z" * 70_000, b"%n%n%n%n%s%s%s", b"%s" * 3_000), [])


if __name__ == "__main__":
    main()
