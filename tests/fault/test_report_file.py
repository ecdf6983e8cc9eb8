"""When "stats.txt" cannot be written (read-only directory, held open without
sharing by another process, a directory of that name) the tree is still full,
nothing is shown and the program exits with 0."""
import os
import shutil
import subprocess
import tempfile

from fault import BUILD, FaultTestCase, OpenGLChecks, directx_head, main, opengl_items, run_scenario

HOLD_FILE = os.path.join(BUILD, "tests", "tools", "hold_file.exe")


class ReportFileFaultTest(FaultTestCase, OpenGLChecks):
    def assertFullTree(self, outcome):
        self.assertSound(outcome, file_expected=False)
        items = outcome.section(b"DirectX")
        expected = directx_head(1, 1)
        self.assertItems(items[:len(expected)], expected)
        self.assertOpenGL(outcome, opengl_items(), [b"GL_ARB_multitexture", b"GL_EXT_abgr"])
        self.assertConnection(outcome, b"true", b"INTERNET_CONNECTION_LAN")
        self.assertTrue(outcome.section(b"CPU") and outcome.section(b"Memory"))

    def test_read_only_directory(self):
        workdir = tempfile.mkdtemp(prefix="vindrel-fault-ro-")
        # As root, permissions do not stop writes; a read-only mount does.
        mounted = os.geteuid() == 0
        if mounted:
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs", workdir], check=True)

        def read_only(path):
            if mounted:
                subprocess.run(["mount", "-o", "remount,ro", path], check=True)
            else:
                os.chmod(path, 0o555)
            return lambda: None

        try:
            outcome = run_scenario({}, workdir=workdir, before=read_only)
            self.assertFullTree(outcome)
            self.assertIsNone(outcome.data)
            self.assertFalse(os.path.exists(os.path.join(workdir, "stats.txt")))
        finally:
            if mounted:
                subprocess.run(["umount", workdir], check=False)
            else:
                os.chmod(workdir, 0o755)
            shutil.rmtree(workdir, ignore_errors=True)

    def test_report_held_open_without_sharing(self):
        def hold(path):
            holder = subprocess.Popen(["wine", HOLD_FILE, "stats.txt", "900"], cwd=path, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL)

            def release():
                holder.kill()
                holder.wait()
                holder.stdout.close()

            line = holder.stdout.readline()
            if line.strip() != b"held":
                release()
                raise AssertionError("the holder could not open stats.txt: %r" % line)

            return release

        outcome = run_scenario({}, before=hold)
        self.assertFullTree(outcome)
        self.assertEqual(outcome.data, b"", "the held file was written")

    def test_report_name_is_a_directory(self):
        outcome = run_scenario({}, before=lambda path: os.mkdir(os.path.join(path, "stats.txt")))
        self.assertFullTree(outcome)
        self.assertIsNone(outcome.data)


if __name__ == "__main__":
    main()
