"""./run.sh without a display, as a user runs it: it joins the private session,
prints only its own lines, and leaves the report and nothing else in the caller's
folder; a run that writes no report says so and shows where the log is. Runs that
share the build folder take turns, and a turn is waited for only so long."""
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
import time

from harness import BUILD, SECTIONS, E2ETestCase, file_lines, main, stable_lines, start_run_script


def run_script(folder):
    run = start_run_script(folder)
    stdout, stderr = run.communicate(timeout=900)
    return subprocess.CompletedProcess(run.args, run.returncode, stdout, stderr)


class RunScriptTest(E2ETestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vindrel-run-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)

    def test_headless_run_is_quiet_and_leaves_only_the_report(self):
        result = run_script(self.folder)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"")
        lines = result.stderr.decode().splitlines()
        self.assertTrue(lines, "nothing said")
        for line in lines:
            self.assertTrue(line.startswith("[vindrel] "), line)
        self.assertIn(os.path.join(self.folder, "stats.txt"), lines[-1])
        self.assertEqual(os.listdir(self.folder), ["stats.txt"])
        with open(os.path.join(self.folder, "stats.txt"), "rb") as f:
            report = file_lines(f.read())
        self.assertEqual([line for line in report if line in SECTIONS], SECTIONS)

    def test_run_without_a_report_fails_and_points_at_the_log(self):
        # A folder in the way of the report file: the program runs, writes nothing.
        os.mkdir(os.path.join(self.folder, "stats.txt"))
        result = run_script(self.folder)
        self.assertNotEqual(result.returncode, 0)
        said = result.stderr.decode()
        log = os.path.join(os.path.abspath(BUILD), "logs", "run.log")
        self.assertIn("wrote no", said)
        self.assertIn("the log is %s, ending with:" % log, said)
        self.assertTrue(os.path.isfile(log))

    def test_runs_started_together_take_turns_and_each_reports_in_full(self):
        folders = [self.folder, tempfile.mkdtemp(prefix="vindrel-run-")]
        self.addCleanup(shutil.rmtree, folders[1], ignore_errors=True)
        started = time.monotonic()
        runs = [start_run_script(folder) for folder in folders]
        said = []
        for run in runs:
            said.append(run.communicate(timeout=900)[1].decode())
            print("a run started together with another ended after %.2f s" % (time.monotonic() - started),
                  file=sys.stderr)
        reports = []
        for run, folder, lines in zip(runs, folders, said):
            self.assertEqual(run.returncode, 0, lines)
            self.assertIn(os.path.join(folder, "stats.txt"), lines.splitlines()[-1])
            with open(os.path.join(folder, "stats.txt"), "rb") as f:
                reports.append(f.read())
            # The Windows section, the last, ends with this line.
            self.assertTrue(file_lines(reports[-1])[-1].startswith(b"Internet Connection:"))
        self.assertEqual(stable_lines(reports[0]), stable_lines(reports[1]))
        self.assertEqual(sum(lines.count("waiting for it to end") for lines in said), 1, said)

    def test_a_turn_is_waited_for_only_so_long(self):
        # This suite's own runs of run.sh take turns on the file the suite names.
        with open(os.environ["VINDREL_TURN"], "a") as held:
            fcntl.flock(held, fcntl.LOCK_EX)
            run = start_run_script(self.folder, dict(os.environ, VINDREL_TURN_WAIT="2"))
            _, stderr = run.communicate(timeout=300)
        self.assertNotEqual(run.returncode, 0)
        self.assertRegex(stderr.decode(), r"\[vindrel\] waited 2 s for the other run of .* to end; giving up")
        self.assertEqual(os.listdir(self.folder), [])


if __name__ == "__main__":
    main()
