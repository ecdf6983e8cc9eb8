"""The "OpenGL" section of the real program on the display: the version line and
the renderer node, which holds the vendor, the display modes of the screen and the
222 checklist lines, each telling truly whether the context's extension string has
the name. (Without any X display: tests/fault/test_no_display.py.)"""
import os
import re
import subprocess

from harness import BUILD, E2ETestCase, checklist_names, escape_run, main, section_items, wine

GL_DUMP = os.path.join(BUILD, "tests", "tools", "gl_extensions_dump.exe")


def gl_facts():
    """What a context made in a separate process answers."""
    result = wine(GL_DUMP)
    facts = {"modes": []}
    for line in result.stdout.replace(b"\r\n", b"\n").split(b"\n"):
        key, sep, value = line.partition(b"=")
        if key == b"mode":
            facts["modes"].append(value)
        elif sep:
            facts[key.decode()] = value
    return result.returncode, facts


class OpenGLTest(E2ETestCase):
    def test_section_on_the_display(self):
        self.assertTrue(os.path.exists(GL_DUMP), "build the gl_extensions_dump tool first")
        tree, code, data = escape_run()
        self.assertEqual(code, 0)
        self.assertReportMatchesTree(tree, data)
        code, facts = gl_facts()
        if code != 0:
            self.assertEqual(section_items(tree, b"OpenGL"), [])  # the file is the tree, so "Memory" follows
            self.skipTest("no OpenGL context on this display; only the leaf was checked")

        names = checklist_names()
        self.assertEqual(len(names), 222)
        offered = set(facts["extensions"].split(b" "))
        expected = [(1, b"Version: " + facts["version"]), (1, facts["renderer"]), (2, b"Vendor: " + facts["vendor"]),
                    (2, b"Display modes (" + facts["device"] + b")")] + [(3, mode) for mode in facts["modes"]]
        expected += [(2, b"Caps")] + [(3, name + (b":present" if name in offered else b":not available"))
                                      for name in names]
        items = section_items(tree, b"OpenGL")
        self.assertEqual(items, expected)
        width, height = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True,
                                       check=True).stdout.split()
        shape = re.compile(rb"^%sx%s @ -?\d+ Hz \d+ bpp$" % (width, height))
        self.assertTrue(any(shape.match(mode) for mode in facts["modes"]), "the screen's own size is not listed")
        print("OpenGL: %s; %d modes; %d of 222 present"
              % (facts["renderer"].decode(), len(facts["modes"]), sum(name in offered for name in names)))


if __name__ == "__main__":
    main()
