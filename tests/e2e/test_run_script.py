"""./run.sh without a display, as a user runs it: it joins the private session,
prints only its own lines, and leaves the report and nothing else in the caller's
folder; a run that writes no report says so and shows where the log is."""
import os
import shutil
import subprocess
import tempfile

from harness import BUILD, ROOT, SECTIONS, E2ETestCase, file_lines, main


def run_script(folder):
    env = dict(os.environ, VINDREL_BUILD=os.path.abspath(BUILD))
    env.pop("DISPLAY", None)
    return subprocess.run([os.path.join(ROOT, "run.sh")], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=900)


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


if __name__ == "__main__":
    main()
