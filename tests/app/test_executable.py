"""The shipped executable: a 32-bit GUI program whose only resources are the
main dialog and its menu, both in English (Australia); one small file that needs
only DLLs every 32-bit Windows has, built the same from the same source anywhere."""
import os
import re
import struct
import unittest

import pefile

BUILD = os.environ.get("VINDREL_BUILD_DIR", "build")
EXE = os.path.join(BUILD, "app", "vindrel.exe")
RT_MENU, RT_DIALOG = 4, 5
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "ole32.dll", "oleaut32.dll",
               "advapi32.dll", "d3d8.dll", "d3d9.dll", "opengl32.dll", "wininet.dll", "msvcrt.dll"}
SIZE_LIMIT = 128 * 1024
LANG_EN_AU = 3081


def sz(text):
    return (text + "\0").encode("utf-16-le")


# Typed from the templates' tables: header, menu 102, system class, caption, font, padding
# to a DWORD, then the tree view 1002 with its class, its text and no creation data.
DIALOG = (struct.pack("<IIHhhhh", 0x80C800C0, 0, 1, 0, 0, 238, 198)
          + struct.pack("<HH", 0xFFFF, 102) + sz("") + sz("Vindrel") + struct.pack("<H", 8) + sz("MS Sans Serif")
          + b"\0\0"
          + struct.pack("<IIhhhhH", 0x50810003, 0, 7, 7, 224, 184, 1002) + sz("SysTreeView32") + sz("Tree2")
          + struct.pack("<H", 0))
# Classic menu header; "File" as MF_POPUP | MF_END, holding "About" 40001 as MF_END.
MENU = struct.pack("<HHH", 0, 0, 0x90) + sz("File") + struct.pack("<HH", 0x80, 40001) + sz("About")


class ExecutableTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXE)
        cls.imports = [e.dll.decode("latin-1").lower() for e in cls.pe.DIRECTORY_ENTRY_IMPORT]
        cls.resources = []
        for rtype in cls.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            for name in rtype.directory.entries:
                for lang in name.directory.entries:
                    data = cls.pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                    cls.resources.append((rtype.id, name.id, lang.id, data))

    def resource(self, rtype):
        return [data for t, _, _, data in self.resources if t == rtype][0]

    def test_is_a_32_bit_gui_program(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, 0x14C)
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, 0x10B)
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem, 2)
        for dll in self.imports:
            self.assertFalse(dll.startswith(("libstdc++", "libgcc", "libwinpthread")), dll)

    def test_small_and_self_contained(self):
        self.assertTrue(self.imports)
        self.assertEqual(sorted(set(self.imports) - SYSTEM_DLLS), [])
        beside = [f for f in os.listdir(os.path.dirname(EXE)) if f.lower().endswith(".dll")]
        self.assertEqual(beside, [])
        self.assertLess(os.path.getsize(EXE), SIZE_LIMIT)

    def test_only_the_dialog_and_the_menu(self):
        found = [(t, n, l) for t, n, l, _ in self.resources]
        self.assertEqual(sorted(found), [(RT_MENU, 102, LANG_EN_AU), (RT_DIALOG, 101, LANG_EN_AU)])

    def test_dialog_template(self):
        self.assertEqual(self.resource(RT_DIALOG).hex(" "), DIALOG.hex(" "))

    def test_menu_template(self):
        self.assertEqual(self.resource(RT_MENU).hex(" "), MENU.hex(" "))

    def test_link_time_is_fixed(self):
        # zero, or SOURCE_DATE_EPOCH when the build was configured with it
        expected = int(os.environ.get("SOURCE_DATE_EPOCH") or 0)
        self.assertEqual(self.pe.FILE_HEADER.TimeDateStamp, expected)
        self.assertEqual(self.pe.DIRECTORY_ENTRY_RESOURCE.struct.TimeDateStamp, 0)
        self.assertEqual(self.pe.OPTIONAL_HEADER.CheckSum, self.pe.generate_checksum())

    def test_no_path_of_the_build_machine(self):
        data = self.pe.__data__
        for folder in {os.path.abspath(BUILD), os.path.abspath(os.environ.get("VINDREL_SOURCE_DIR", "."))}:
            for encoding in ("utf-8", "utf-16-le"):
                self.assertFalse(folder.encode(encoding) in data, "%s (%s) in the image" % (folder, encoding))
        self.assertIsNone(re.search(rb"/usr/(include|lib|share|src)/[^\0]*", data))
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DEBUG"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
