"""The shipped executable: a 32-bit GUI program whose only resources are the
main dialog and its menu, both in English (Australia); one small file that needs
only DLLs every 32-bit Windows has."""
import os
import struct
import sys
import unittest

from pe import PE

EXE = os.path.join(os.environ.get("VINDREL_BUILD_DIR", "build"), "app", "vindrel.exe")
RT_MENU, RT_DIALOG = 4, 5
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "ole32.dll", "oleaut32.dll",
               "advapi32.dll", "d3d8.dll", "d3d9.dll", "opengl32.dll", "wininet.dll", "msvcrt.dll"}
SIZE_LIMIT = 128 * 1024
LANG_EN_AU = 3081


def utf16z(data, pos):
    end = pos
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


def sz_or_ord(data, pos):
    if data[pos:pos + 2] == b"\xff\xff":
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    return utf16z(data, pos)


class ExecutableTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = PE(EXE)

    def test_is_a_32_bit_gui_program(self):
        self.assertEqual(self.pe.machine, 0x14C)
        self.assertEqual(self.pe.magic, 0x10B)
        self.assertEqual(self.pe.subsystem, 2)
        for dll in self.pe.imports():
            self.assertFalse(dll.lower().startswith(("libstdc++", "libgcc", "libwinpthread")), dll)

    def test_small_and_self_contained(self):
        imports = [dll.lower() for dll in self.pe.imports()]
        self.assertTrue(imports)
        self.assertEqual(sorted(set(imports) - SYSTEM_DLLS), [])
        beside = [f for f in os.listdir(os.path.dirname(EXE)) if f.lower().endswith(".dll")]
        self.assertEqual(beside, [])
        self.assertLess(os.path.getsize(EXE), SIZE_LIMIT)

    def test_only_the_dialog_and_the_menu(self):
        found = [(t, n, l) for t, n, l, _ in self.pe.resources()]
        self.assertEqual(sorted(found), [(RT_MENU, 102, LANG_EN_AU), (RT_DIALOG, 101, LANG_EN_AU)])

    def test_dialog_template(self):
        data = [d for t, n, _, d in self.pe.resources() if t == RT_DIALOG][0]
        style, exstyle, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
        self.assertEqual((style, exstyle, count, x, y, cx, cy), (0x80C800C0, 0, 1, 0, 0, 238, 198))
        menu, pos = sz_or_ord(data, 18)
        cls, pos = sz_or_ord(data, pos)
        caption, pos = utf16z(data, pos)
        points = struct.unpack_from("<H", data, pos)[0]
        font, pos = utf16z(data, pos + 2)
        self.assertEqual((menu, cls, caption, points, font), (102, "", "Vindrel", 8, "MS Sans Serif"))
        pos = (pos + 3) & ~3
        cstyle, cex, cx_, cy_, cw, ch, cid = struct.unpack_from("<IIhhhhH", data, pos)
        ccls, p = sz_or_ord(data, pos + 18)
        text, p = sz_or_ord(data, p)
        self.assertEqual((cstyle, cex, cx_, cy_, cw, ch, cid), (0x50810003, 0, 7, 7, 224, 184, 1002))
        self.assertEqual((ccls, text), ("SysTreeView32", "Tree2"))

    def test_menu_template(self):
        data = [d for t, n, _, d in self.pe.resources() if t == RT_MENU][0]
        self.assertEqual(struct.unpack_from("<HH", data, 0), (0, 0))  # classic menu header
        flags = struct.unpack_from("<H", data, 4)[0]
        self.assertEqual(flags, 0x10 | 0x80)  # MF_POPUP | MF_END
        title, pos = utf16z(data, 6)
        self.assertEqual(title, "File")
        flags, ident = struct.unpack_from("<HH", data, pos)
        item, pos = utf16z(data, pos + 4)
        self.assertEqual((flags, ident, item), (0x80, 40001, "About"))
        self.assertEqual(pos, len(data))


if __name__ == "__main__":
    unittest.main(verbosity=2)
