"""The private session outlives no folder: once its build folder is removed, its owner
ends every process of it (the display, the Wine server, Wine's services and desktop)
at its next look, which comes every second. Nor does it outlive its idle time once its
last client has left, while a client that holds it keeps it. A part of it that ends
ends it all, but for the desktop's keeper, which is started again."""
import os
import shutil
import signal
import subprocess
import tempfile
import time

from harness import BUILD, DESKTOP, ROOT, E2ETestCase, linked_prefix, main, proc_strings, processes

LOOK = 1


def cwd(pid):
    try:
        return os.readlink("/proc/%d/cwd" % pid)
    except OSError:
        return ""


class Session(E2ETestCase):
    idle = "600"

    def setUp(self):
        # Beside the suite's prefix: its files are hard links to that one's.
        top = tempfile.mkdtemp(prefix="session-test-", dir=os.path.abspath(BUILD))
        self.addCleanup(shutil.rmtree, top, ignore_errors=True)
        self.build = os.path.join(top, "build")
        os.makedirs(os.path.join(self.build, "tools"))
        shutil.copy(DESKTOP, os.path.join(self.build, "tools"))
        prefix = os.path.join(self.build, "wineprefix")
        linked_prefix(prefix)
        # A copy of the suite's prepared prefix is ready as it is.
        open(os.path.join(prefix, ".vindrel-ready"), "w").close()
        env = {key: value for key, value in os.environ.items()
               if key not in ("DISPLAY", "VINDREL_FAIL_MARK", "VINDREL_TURN", "VINDREL_SESSION", "VINDREL_GUARD")}
        env.update(VINDREL_BUILD=self.build, WINEPREFIX=prefix, VINDREL_SESSION_IDLE=self.idle)
        self.env = env
        # One client starts the session and leaves; the session waits for the next.
        self.client("true")
        self.addCleanup(self.kill_what_is_left)
        self.session = self.mine()
        names = sorted(name for _, name in self.session.values())
        # The server is "wineserver64" where Wine is the 64-bit build with 32-bit support.
        for wanted in ("Xvfb", "wineserver", "services.exe", "desktop.exe", "python3"):
            self.assertTrue(any(name.startswith(wanted) for name in names), (wanted, names))

    def mine(self, name=None):
        """The session's processes, found as any would: Wine's by their prefix, the rest by
        their folder; or the PIDs of those whose name starts with name."""
        marker = ("WINEPREFIX=" + self.env["WINEPREFIX"]).encode()
        found = {pid: (start, comm) for pid, (_, start, comm) in processes().items()
                 if marker in proc_strings(pid, "environ") or cwd(pid).startswith(self.build)}
        return found if name is None else sorted(pid for pid, (_, comm) in found.items() if comm.startswith(name))

    def client(self, *command):
        subprocess.run(["python3", os.path.join(ROOT, "scripts", "session.py"), "run", *command],
                       env=self.env, stdin=subprocess.DEVNULL, check=True, timeout=900)

    def wait_until_none_left(self, limit):
        deadline = time.time() + limit
        while self.left() and time.time() < deadline:
            time.sleep(0.2)
        return self.left()

    def left(self):
        running = processes()
        return sorted(name for pid, (start, name) in self.session.items()
                      if pid in running and running[pid][1] == start)

    def kill_what_is_left(self):
        running = processes()
        for pid, (start, _) in self.session.items():
            if pid in running and running[pid][1] == start:
                os.kill(pid, signal.SIGKILL)


class RemovedFolderTest(Session):
    def test_a_removed_build_folder_ends_its_session(self):
        # Wine may still be writing in its prefix; the session's own folder goes for certain.
        shutil.rmtree(self.build, ignore_errors=True)
        self.assertFalse(os.path.exists(os.path.join(self.build, "session")))
        self.assertEqual(self.wait_until_none_left(LOOK + 10), [])


class IdleTest(Session):
    idle = "4"

    def test_an_unused_session_ends_after_its_idle_time_and_a_client_keeps_it(self):
        # A client that runs for twice the idle time, beside one that comes and goes.
        started = time.time()
        self.client("sleep", "8")
        self.assertGreaterEqual(time.time() - started, 8)
        self.client("true")
        self.assertTrue(self.left(), "the session ended while it was used")
        left_at = time.time()
        self.assertEqual(self.wait_until_none_left(int(self.idle) + LOOK + 10), [])
        self.assertGreaterEqual(time.time() - left_at, int(self.idle) - 1)


class PartEndedTest(Session):
    def test_a_part_that_ends_ends_the_session_and_the_keeper_is_started_again(self):
        keeper = self.mine("desktop.exe")
        os.kill(keeper[0], signal.SIGKILL)
        deadline = time.time() + 120
        while self.mine("desktop.exe") in ([], keeper) and time.time() < deadline:
            time.sleep(0.2)
        again = self.mine("desktop.exe")
        self.assertNotIn(again, ([], keeper), "the keeper was not started again")
        os.kill(self.mine("Xvfb")[0], signal.SIGKILL)
        self.assertEqual(self.wait_until_none_left(LOOK + 10), [])
        self.assertEqual(set(again) & set(processes()), set(), "the new keeper outlived its session")
        self.client("true")  # the next client has a session again

if __name__ == "__main__":
    main()
