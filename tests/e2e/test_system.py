"""The "Memory" and "Windows" sections of a real run: RAM and the drives Wine
answers for, and the eleven Windows lines against what Wine's own tools and the
host say, the Internet connection line closing the report."""
import os
import pwd
import re
import socket

from harness import E2ETestCase, escape_run, file_lines, main, section_items, signed32, wine


def platform_windows_lines():
    """Lines 1-4 and 6-9 of the "Windows" section as Wine's own tools tell them."""
    ver = wine("cmd", "/c", "ver").stdout
    major, minor, build = re.search(rb"(\d+)\.(\d+)\.(\d+)", ver).groups()
    query = wine("reg", "query", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion", "/v", "CSDVersion").stdout
    pack = re.search(rb"CSDVersion\s+REG_SZ\s+([^\r\n]*)", query)
    env = dict(line.split(b"=", 1) for line in wine("cmd", "/c", "set").stdout.splitlines() if b"=" in line)
    # Wine names the computer after the host: its first label, upper case, 15 characters.
    host = socket.gethostname().split(".")[0].upper()[:15].encode()
    user = pwd.getpwuid(os.getuid()).pw_name.encode()
    return [b"Build:" + build, b"Major:" + major, b"Minor:" + minor, b"ServicePack:" + (pack.group(1) if pack else b""),
            b"System Dir:" + env[b"winsysdir"], b"Windows Dir:" + env[b"windir"], b"Computer Name:" + host,
            b"User Name:" + user]


class SystemSectionsTest(E2ETestCase):
    @classmethod
    def setUpClass(cls):
        cls.tree, code, cls.data = escape_run()
        assert code == 0

    def test_report_matches_tree(self):
        self.assertReportMatchesTree(self.tree, self.data)

    def test_memory(self):
        items = section_items(self.tree, b"Memory")
        self.assertGreaterEqual(len(items), 3)
        self.assertEqual(items[0], (1, b"RAM"))
        for (depth, text), label in zip(items[1:3], (b"Total Physical Memory", b"Total Virtual Memory")):
            self.assertEqual(depth, 2)
            m = re.fullmatch(label + rb": (-?\d+) \[(\d+) MB\]", text)
            self.assertIsNotNone(m, text)
            count = int(m.group(1))
            self.assertTrue(-(1 << 31) <= count < 1 << 31 and count != 0, text)
            self.assertEqual(int(m.group(2)), (count & 0xFFFFFFFF) >> 20, text)

        drives = items[3:]
        self.assertGreaterEqual(len(drives), 6, "Wine answers for drive 0")
        self.assertEqual(len(drives) % 6, 0)
        for n in range(len(drives) // 6):
            drive = drives[6 * n:6 * n + 6]
            self.assertEqual(drive[0], (1, b"Hard Drive %d" % n))
            self.assertEqual([depth for depth, _ in drive[1:]], [2] * 5)
            values = []
            for (_, text), label in zip(drive[1:5], (b"Cylinders", b"Tracks", b"Sectors", b"Sector size")):
                m = re.fullmatch(label + rb": (-?\d+)", text)
                self.assertIsNotNone(m, text)
                values.append(int(m.group(1)))
            m = re.fullmatch(rb"Total Capacity: (-?\d+) \[(-?\d+) MB\] \[0x([0-9a-f]+) ([0-9a-f]{8})\]", drive[5][1])
            self.assertIsNotNone(m, drive[5][1])
            capacity = int(m.group(1)) & (1 << 64) - 1
            self.assertEqual(capacity, int(m.group(3), 16) << 32 | int(m.group(4), 16))
            self.assertEqual(int(m.group(2)), signed32(int(m.group(1)) >> 20))
            cylinders, tracks, sectors, size = (v & 0xFFFFFFFF for v in values)
            if cylinders < 1 << 31:  # the line shows only the low half of the cylinders
                self.assertEqual(capacity, cylinders * tracks * sectors * size)

    def test_windows(self):
        items = section_items(self.tree, b"Windows")
        self.assertEqual([depth for depth, _ in items], [1] * 11)
        texts = [text for _, text in items]
        self.assertEqual(texts[:4] + texts[5:9], platform_windows_lines())
        self.assertRegex(texts[4], rb"^Network:0x[0-9a-f]+$")
        connected = re.fullmatch(rb"Connected to Internet:(true|false)", texts[9])
        self.assertIsNotNone(connected, texts[9])
        m = re.fullmatch(rb"Internet Connection:(INTERNET_CONNECTION_(MODEM|LAN|PROXY|MODEM_BUSY)|Unkown 0x([0-9a-f]+))",
                         texts[10])
        self.assertIsNotNone(m, texts[10])
        if m.group(3):
            self.assertNotIn(int(m.group(3), 16), (1, 2, 4, 8))

        lines = file_lines(self.data)
        self.assertEqual(lines[-11:], texts)


if __name__ == "__main__":
    main()
