"""Stopping a headless ./run.sh: Ctrl-C (SIGINT to its process group), SIGTERM or
SIGHUP, at any moment, ends it with one line saying so and the signal's status;
nothing it started is left, and the private session stays and serves the next run.
The wait for the program to exit after Escape has a limit too."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from harness import (SECTIONS, SESSION, E2ETestCase, file_lines, main, proc_strings, processes, session_owner,
                     start_run_script, wintool)


def lock_holders(path):
    """The PIDs that hold a lock on path, as the kernel lists them."""
    inode = os.stat(path).st_ino
    with open("/proc/locks") as f:
        return {int(fields[4]) for fields in (line.split() for line in f)
                if fields[1] != "->" and int(fields[5].rsplit(":", 1)[1]) == inode}


def parent(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return int(f.read().rsplit(")", 1)[1].split()[1])
    except OSError:
        return 0


class InterruptTest(E2ETestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vindrel-stop-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)

    def start(self, env=None):
        self.run_folder = tempfile.mkdtemp(dir=self.folder)
        self.run_sh = start_run_script(self.run_folder, env)
        self.addCleanup(self.kill_what_is_left, self.run_sh)

    def mine(self):
        """This run's processes: the process session it was started in."""
        return {pid: name for pid, (sid, _, name) in processes().items() if sid == self.run_sh.pid}

    def kill_what_is_left(self, run):
        for pid, (sid, _, _) in processes().items():
            if sid == run.pid:
                os.kill(pid, signal.SIGKILL)
        if run.poll() is None:
            run.kill()
        run.communicate()

    def wait_for(self, what, found):
        deadline = time.time() + 900
        while time.time() < deadline:
            value = found()
            if value:
                return value
            self.assertIsNone(self.run_sh.poll(), "the run ended before " + what)
            time.sleep(0.05)
        self.fail("no " + what)

    def program(self):
        return self.wait_for("vindrel.exe", lambda: next(
            (pid for pid, name in self.mine().items() if name == "vindrel.exe"), None))

    def shown(self):
        return self.wait_for("dialog", lambda: wintool("wait-shown", "1000")[0] == 0)

    def inner(self):
        """run-inner.sh's own process (bash SCRIPT), not one of its subshells nor its client."""
        def find():
            ids = [pid for pid in self.mine()
                   if any(arg.endswith(b"run-inner.sh") for arg in proc_strings(pid, "cmdline")[:2])]
            return next((pid for pid in ids if parent(pid) not in ids), None)
        return self.wait_for("run-inner.sh", find)

    def held_when_shown(self):
        """The dialog is shown and the run, held, has not typed Escape yet."""
        inner = self.inner()
        program = self.program()
        os.kill(inner, signal.SIGSTOP)
        self.shown()
        return inner, program

    def before_the_program_starts(self):
        self.inner()

    def while_the_dialog_is_shown(self):
        self.held_when_shown()

    def while_waiting_for_the_program_to_exit(self):
        inner, program = self.held_when_shown()
        # Stopped, the program cannot act on the Escape the run types.
        os.kill(program, signal.SIGSTOP)
        os.kill(inner, signal.SIGCONT)
        self.wait_for("focus on the dialog", lambda: subprocess.run(
            ["xdotool", "getwindowfocus", "getwindowname"], capture_output=True).stdout == b"Vindrel\n")
        time.sleep(1)

    def test_a_run_stopped_at_any_moment_leaves_nothing_and_the_session_serves_the_next(self):
        owner = session_owner()
        parts = {pid for pid, (sid, _, _) in processes().items() if sid == owner}
        # Ctrl-C is SIGINT to the whole process group; the others come to run.sh alone.
        for moment, sig, group in ((self.before_the_program_starts, signal.SIGTERM, False),
                                   (self.while_the_dialog_is_shown, signal.SIGINT, True),
                                   (self.while_waiting_for_the_program_to_exit, signal.SIGHUP, False)):
            with self.subTest(moment.__name__):
                self.start()
                moment()
                (os.killpg if group else os.kill)(self.run_sh.pid, sig)
                stopped = time.monotonic()
                _, stderr = self.run_sh.communicate(timeout=120)
                # A figure for the reader, not a limit: speed is the benchmarks' business.
                print("%s, %s: the run ended %.2f s later" % (moment.__name__, signal.Signals(sig).name,
                                                               time.monotonic() - stopped), file=sys.stderr)
                lines = stderr.decode().splitlines()
                self.assertEqual(self.run_sh.returncode, -sig, lines)
                for line in lines:
                    self.assertTrue(line.startswith("[vindrel] "), lines)
                self.assertEqual([line for line in lines if "interrupted" in line], lines[-1:])
                self.assertIn(signal.Signals(sig).name, lines[-1])
                self.assertEqual(self.mine(), {})
                # Only running processes mark the session in use (no descendant of the run
                # holds a client's mark), and the session itself stays: its owner, its parts.
                self.assertLessEqual(lock_holders(os.path.join(SESSION, "inuse")), set(processes()))
                self.assertEqual(session_owner(), owner)
                self.assertLessEqual(parts, set(processes()))
        # The next run finds the session as it was.
        self.start()
        _, said = self.run_sh.communicate(timeout=900)
        self.assertEqual(self.run_sh.returncode, 0, said)
        with open(os.path.join(self.run_folder, "stats.txt"), "rb") as f:
            self.assertEqual([line for line in file_lines(f.read()) if line in SECTIONS], SECTIONS)

    def test_a_program_that_does_not_exit_after_escape_is_ended(self):
        self.start(dict(os.environ, VINDREL_EXIT_TIMEOUT="3"))
        inner, program = self.held_when_shown()
        os.kill(program, signal.SIGSTOP)
        os.kill(inner, signal.SIGCONT)
        _, stderr = self.run_sh.communicate(timeout=300)
        self.assertNotEqual(self.run_sh.returncode, 0)
        self.assertIn("[vindrel] vindrel.exe did not exit within 3 s of Escape; ending vindrel.exe",
                      stderr.decode())
        self.assertEqual(self.mine(), {})


if __name__ == "__main__":
    main()
