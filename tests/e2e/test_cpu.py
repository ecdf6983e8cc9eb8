"""The "CPU" section of a real run agrees with the Linux kernel's account of the
processor that runs Wine (/proc/cpuinfo, nproc, the kernel's time-stamp counter
frequency). In a virtual machine that is the virtual processor, which is also
the one CPUID describes to the program."""
import os
import re
import subprocess
import sys

from harness import E2ETestCase, escape_run, file_lines, main

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
from host_tsc import host_tsc_mhz  # noqa: E402

# (line prefix, /proc/cpuinfo flag)
STANDARD_FLAGS = [(b"MMX  Capable: ", "mmx"), (b"SSE  Capable: ", "sse"), (b"SSE2 Capable: ", "sse2")]
EXTENDED_FLAGS = [(b"3dNow! Capable: ", "3dnow"), (b"3dNow!+ Capable: ", "3dnowext"),
                  (b"MMXSSE Extension Capable: ", "mmxext")]


def host_cpu():
    """The first processor's block of /proc/cpuinfo."""
    info = {}
    with open("/proc/cpuinfo") as f:
        for line in f:
            if not line.strip():
                break
            key, _, value = line.partition(":")
            info[key.strip()] = value.strip()
    return info


def yes_no(value):
    return b"yes" if value else b"no"


class CpuSectionTest(E2ETestCase):
    def test_section_describes_the_host_processor(self):
        info = host_cpu()
        for key in ("vendor_id", "cpu family", "model", "stepping", "model name", "flags"):
            if key not in info:
                self.skipTest("/proc/cpuinfo does not describe an x86 processor")
        tree, code, data = escape_run()
        self.assertEqual(code, 0)
        self.assertReportMatchesTree(tree, data)

        lines = file_lines(data)
        self.assertEqual(lines[0], b"CPU")
        section = lines[1:lines.index(b"DirectX")]
        depths = [depth for depth, _, _, _ in tree[1:1 + len(section)]]
        self.assertEqual(depths, [1] * len(section), "every CPU line is a child of the section")
        self.assertEqual(len(section), 16, b"\n".join(section).decode(errors="replace"))

        nproc = subprocess.run(["nproc"], capture_output=True, text=True, check=True).stdout.strip()
        self.assertEqual(section[0], b"Number of Processors:" + nproc.encode())

        m = re.fullmatch(rb"CPU speed: (\d+(?:\.\d+)?(?:e\+\d{3})?)", section[1])
        self.assertIsNotNone(m, section[1])
        measured = float(m.group(1))
        self.assertLessEqual(len(m.group(1).replace(b".", b"").lstrip(b"0")), 6, "more than six digits")
        reference, _ = host_tsc_mhz()
        if reference:
            # A wrong unit or factor is off by powers of ten; a busy machine by far less.
            self.assertTrue(reference / 2 < measured < reference * 2, (measured, reference))

        self.assertEqual(section[2], b"CPUID present: yes")
        self.assertEqual(section[3], info["vendor_id"].encode())

        family, model, stepping = int(info["cpu family"]), int(info["model"]), int(info["stepping"])
        family_field = min(family, 15)
        m = re.fullmatch(rb"CPUID1:0x([0-9a-f]+)", section[4])
        self.assertIsNotNone(m, section[4])
        signature = int(m.group(1), 16)
        self.assertEqual(m.group(1), b"%x" % signature, "leading zeros")
        self.assertEqual(signature & 0xFFF, family_field << 8 | (model & 0xF) << 4 | stepping)
        if family >= 6:
            self.assertEqual(signature >> 16 & 0xFFF, (family - family_field) << 4 | model >> 4)
        self.assertEqual(section[5:8], [b"Faimly: %d" % family_field, b"Model: %d" % (model & 0xF),
                                        b"Brand: %d" % stepping])

        flags = set(info["flags"].split())
        self.assertEqual(section[8:11], [prefix + yes_no(flag in flags) for prefix, flag in STANDARD_FLAGS])
        self.assertEqual(section[11], b"Extended CPUID present: yes")
        self.assertEqual(section[12].split(), info["model name"].encode().split())
        self.assertEqual(section[13:16], [prefix + yes_no(flag in flags) for prefix, flag in EXTENDED_FLAGS])


if __name__ == "__main__":
    main()
