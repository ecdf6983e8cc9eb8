"""The version lines under each Windows that Wine can pretend to be, against
Wine's own `ver`. Windows 8.1 and later tell a program without a manifest that
they are 6.2, build 9200; the report must say what they are. One copy of the
suite's prefix, its version switched between runs, removed at the end."""
import os
import re
import shutil
import subprocess

from harness import BUILD, E2ETestCase, Run, desktop_kept, end_server, file_lines, linked_prefix, main, wine

PREFIX = os.path.join(BUILD, "wineprefix-versions")
VERSIONS = ("winxp", "win7", "win81", "win10")


class WindowsVersionsTest(E2ETestCase):
    def setUp(self):
        linked_prefix(PREFIX)
        self.env = dict(os.environ, WINEPREFIX=PREFIX)
        self.addCleanup(shutil.rmtree, PREFIX, True)
        self.addCleanup(end_server, self.env)
        subprocess.run(["wineserver", "-p"], env=self.env, check=False)
        self.enterContext(desktop_kept(self.env))

    def report_after_close(self):
        with Run(env=self.env) as run:
            run.wait_shown()
            self.assertEqual(run.tool("close")[0], 0, "cannot close the dialog")
            self.assertEqual(run.wait_exit(), 0)
            return run.report()

    def test_version_lines_agree_with_ver(self):
        seen = set()
        for version in VERSIONS:
            with self.subTest(version=version):
                result = wine("reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", version, "/f", env=self.env)
                self.assertEqual(result.returncode, 0)
                ver = re.search(rb"(\d+)\.(\d+)\.(\d+)", wine("cmd", "/c", "ver", env=self.env).stdout)
                self.assertIsNotNone(ver, "no version from ver")
                major, minor, build = ver.groups()
                seen.add((major, minor, build))
                # The report ends with the "Windows" node and its eleven lines.
                lines = file_lines(self.report_after_close())
                self.assertEqual(lines[-12], b"Windows")
                self.assertEqual(lines[-11:-8], [b"Build:" + build, b"Major:" + major, b"Minor:" + minor])
        self.assertEqual(len(seen), len(VERSIONS), "the prefix did not change its version: %s" % sorted(seen))


if __name__ == "__main__":
    main()
