"""stats.txt is replaced whole on every run. (When it cannot be written: see
tests/fault/test_report_file.py.)"""
import os
import shutil
import tempfile

from harness import E2ETestCase, escape_run, main


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


if __name__ == "__main__":
    main()
