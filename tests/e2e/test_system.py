"""The "Memory" and "Windows" sections of a real run: RAM and the drives Wine
answers for, the eleven Windows lines with this host's computer and user names,
and the Internet connection line closing the report."""
import os
import pwd
import re
import socket

from harness import E2ETestCase, escape_run, file_lines, main

WINDOWS_LINES = [rb"Build:-?\d+", rb"Major:-?\d+", rb"Minor:-?\d+", rb"ServicePack:.*", rb"Network:0x[0-9a-f]+",
                 rb"System Dir:[A-Za-z]:\\.+", rb"Windows Dir:[A-Za-z]:\\.*", rb"Computer Name:.+", rb"User Name:.+",
                 rb"Connected to Internet:(true|false)",
                 rb"Internet Connection:(INTERNET_CONNECTION_(MODEM|LAN|PROXY|MODEM_BUSY)|Unkown 0x[0-9a-f]+)"]


def section(tree, name):
    """The (depth, text) items under one root node."""
    start = [text for depth, _, _, text in tree].index(name)
    items = []
    for depth, _, _, text in tree[start + 1:]:
        if depth == 0:
            break
        items.append((depth, text))
    return items


def signed32(value):
    return value - (1 << 32) if value >= 1 << 31 else value


class SystemSectionsTest(E2ETestCase):
    @classmethod
    def setUpClass(cls):
        cls.tree, code, cls.data = escape_run()
        assert code == 0

    def test_report_matches_tree(self):
        self.assertReportMatchesTree(self.tree, self.data)

    def test_memory(self):
        items = section(self.tree, b"Memory")
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
            self.assertEqual(int(m.group(2)), signed32(((int(m.group(1)) >> 20)) & 0xFFFFFFFF))
            cylinders, tracks, sectors, size = (v & 0xFFFFFFFF for v in values)
            if cylinders < 1 << 31:  # the line shows only the low half of the cylinders
                self.assertEqual(capacity, cylinders * tracks * sectors * size)

    def test_windows(self):
        items = section(self.tree, b"Windows")
        self.assertEqual([depth for depth, _ in items], [1] * 11)
        texts = [text for _, text in items]
        for text, pattern in zip(texts, WINDOWS_LINES):
            self.assertIsNotNone(re.fullmatch(pattern, text), text)

        # Wine names the computer after the host: its first label, upper case, 15 characters.
        host = socket.gethostname().split(".")[0].upper()[:15]
        self.assertEqual(texts[7], b"Computer Name:" + host.encode())
        self.assertEqual(texts[8], b"User Name:" + pwd.getpwuid(os.getuid()).pw_name.encode())

        lines = file_lines(self.data)
        self.assertTrue(lines[-1].startswith(b"Internet Connection:"), lines[-1])
        self.assertEqual(lines[-11:], texts)


if __name__ == "__main__":
    main()
