"""stats.txt is replaced whole on every run; when it cannot be written the tree
is still full, nothing is shown and the program exits normally."""
import os
import shutil
import subprocess
import tempfile

from harness import E2ETestCase, Run, escape_run, main, wintool


def visible_windows():
    code, out = wintool("windows")
    return [line for line in out.decode().splitlines() if line.startswith("window ")]


class ReadOnlyDir:
    """A directory the program cannot create files in, also when run as root."""

    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix="vindrel-ro-")
        self.mounted = False
        if os.geteuid() == 0:
            subprocess.run(["mount", "-t", "tmpfs", "-o", "ro,size=64k", "tmpfs", self.path], check=True)
            self.mounted = True
        else:
            os.chmod(self.path, 0o555)
        return self.path

    def __exit__(self, *exc):
        if self.mounted:
            subprocess.run(["umount", self.path], check=False)
        else:
            os.chmod(self.path, 0o755)
        shutil.rmtree(self.path, ignore_errors=True)


class ReportFileTest(E2ETestCase):
    def test_second_run_replaces_the_first(self):
        workdir = tempfile.mkdtemp(prefix="vindrel-")
        try:
            with open(os.path.join(workdir, "stats.txt"), "wb") as f:
                f.write(b"left over from an earlier run\r\n" * 5000)
            tree, code, data = escape_run(workdir=workdir)
            self.assertEqual(code, 0)
            self.assertReportMatchesTree(tree, data)
        finally:
            shutil.rmtree(workdir, ignore_errors=True)

    def test_read_only_directory(self):
        with ReadOnlyDir() as path, Run(workdir=path) as run:
            run.wait_shown()
            tree = run.tree()
            self.assertSectionsAtRoot(tree)
            self.assertEqual(visible_windows(), [], "something besides the dialog is shown")
            run.keys("Escape")
            self.assertEqual(run.wait_exit(), 0)
            self.assertFalse(os.path.exists(os.path.join(path, "stats.txt")))


if __name__ == "__main__":
    main()
