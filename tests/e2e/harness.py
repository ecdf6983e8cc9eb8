"""Drives the real vindrel.exe under Wine on the test display.

Each run gets a fresh temporary directory as its current directory; the tree is
read back from outside the process by wintool.exe, keys are real keystrokes
through xdotool, and everything started here is ended by PID on the way out."""
import contextlib
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

BUILD = os.environ.get("VINDREL_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "../.."))
EXE = os.path.join(BUILD, "app", "vindrel.exe")
WINTOOL = os.path.join(BUILD, "tests", "tools", "wintool.exe")
DESKTOP = os.path.join(BUILD, "tools", "desktop.exe")
PRESS_KEY = os.path.join(ROOT, "scripts", "press-key.sh")
# vindrel-report built for this machine (tests/reader).
READER = os.path.join(BUILD, "reader-host", "vindrel-report")
SECTIONS = [b"CPU", b"DirectX", b"OpenGL", b"Memory", b"Windows"]
# The DirectShow category nodes, in order, with the identifiers they list.
CATEGORIES = [(b"Video Compressors", "{33D9A760-90C8-11D0-BD43-00A0C911CE86}"),
              (b"Video Input", "{860BB310-5D01-11D0-BD3B-00A0C911CE86}"),
              (b"Audio Compressors", "{33D9A761-90C8-11D0-BD43-00A0C911CE86}"),
              (b"Audio Input", "{33D9A762-90C8-11D0-BD43-00A0C911CE86}"),
              (b"Audio Output", "{E0F158E1-CB04-11D0-BD4E-00A0C911CE86}"),
              (b"MIDI", "{4EFE2452-168A-11D1-BC76-00C04FB9453B}"),
              (b"DirectShow Filters", "{083863F1-70DE-11D0-BD40-00A0C911CE86}")]
# Emulated Wine is slow to start; these bound waits, they are not measurements.
SHOW_TIMEOUT = float(os.environ.get("VINDREL_SHOW_TIMEOUT", "600"))
EXIT_TIMEOUT = float(os.environ.get("VINDREL_EXIT_TIMEOUT", "300"))


def wine(*args, timeout=300, env=None, cwd=None):
    """Runs a Windows program and returns (code, stdout, stderr) as a CompletedProcess.

    Output goes through files, not pipes: a program that boots the Wine session
    leaves services behind that inherit its handles and would hold a pipe open."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                timeout=timeout, env=env, cwd=cwd)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(result.args, result.returncode, out.read(), err.read())


NULL_PREFIX = os.path.join(BUILD, "wineprefix-null")


def linked_prefix(target):
    """A copy of the suite's own prefix at target: hard links for the files Wine
    only reads, real copies of the registry and .ini files it rewrites in place."""
    source = os.environ["WINEPREFIX"]
    shutil.rmtree(target, ignore_errors=True)
    subprocess.run(["cp", "-al", source, target], check=True)
    for folder, suffix in (("", ".reg"), (os.path.join("drive_c", "windows"), ".ini")):
        for name in os.listdir(os.path.join(target, folder)):
            path = os.path.join(target, folder, name)
            if name.endswith(suffix) and os.path.isfile(path):
                os.unlink(path)
                shutil.copy2(os.path.join(source, folder, name), path)
    ready = os.path.join(target, ".vindrel-ready")
    if os.path.exists(ready):
        os.unlink(ready)


def _null_prefix():
    """A prefix like the suite's own whose graphics driver is Wine's "null" one,
    made once per build directory."""
    ready = os.path.join(NULL_PREFIX, ".vindrel-ready")
    if os.path.isfile(ready):
        return
    linked_prefix(NULL_PREFIX)
    env = no_display_env(NULL_PREFIX)
    try:
        subprocess.run(["wineserver", "-p"], env=env, check=False)
        result = wine("reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", "null", "/f",
                      env=env)
        assert result.returncode == 0, "cannot choose the null driver"
    finally:
        end_server(env)
    open(ready, "w").close()


def end_server(env):
    """Ends the Wine server of env's own prefix and waits until it is gone."""
    subprocess.run(["wineserver", "-k"], env=env, check=False)
    subprocess.run(["wineserver", "-w"], env=env, check=False)


def no_display_env(prefix=NULL_PREFIX):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env["WINEPREFIX"] = prefix
    return env


@contextlib.contextmanager
def without_display():
    """Yields an environment with no X display at all. Wine's fallback driver makes
    no window without one, so the run gets a prefix and server of its own whose
    desktop uses the null driver; the server is ended on the way out."""
    _null_prefix()
    env = no_display_env()
    subprocess.run(["wineserver", "-p"], env=env, check=False)
    try:
        wait_for_desktop(env)
        yield env
    finally:
        end_server(env)


def wait_for_desktop(env):
    """Gives a new server's desktop process its time to come up (a loaded machine
    can take longer than a program waits for it)."""
    for _ in range(6):
        if wine(DESKTOP, "wait", env=env).returncode == 0:
            return
        time.sleep(5)


@contextlib.contextmanager
def desktop_kept(env):
    """Keeps env's desktop up with a hidden window: Wine's desktop process ends a
    while after the last window closes, and starting it again can time out."""
    wait_for_desktop(env)
    keeper = subprocess.Popen(["wine", DESKTOP, "keep"], env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        yield
    finally:
        keeper.kill()
        keeper.wait()


def start_run_script(folder, env=None):
    """DISPLAY= ./run.sh in folder, as a user starts it from a terminal: a process
    group of its own (a Ctrl-C reaches all of it), its lines captured."""
    env = dict(env or os.environ, VINDREL_BUILD=os.path.abspath(BUILD))
    env.pop("DISPLAY", None)
    # A failure of this run is its own, not one of the suite around it.
    env.pop("VINDREL_FAIL_MARK", None)
    env.pop("VINDREL_GUARD", None)
    return subprocess.Popen([os.path.join(ROOT, "run.sh")], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)


def proc_strings(pid, name):
    """The zero-separated strings of /proc/PID/NAME (cmdline, environ); none once it has gone."""
    try:
        with open("/proc/%d/%s" % (pid, name), "rb") as f:
            return f.read().split(b"\0")
    except OSError:
        return []


# The private session's folder: in the test machine the one of its own session.
SESSION = os.environ.get("VINDREL_SESSION") or os.path.join(os.path.abspath(BUILD), "session")


def session_owner():
    """The PID of the session's owner, from the file it writes once the session is up."""
    with open(os.path.join(SESSION, "owner")) as f:
        return int(f.read().split()[0])


def processes():
    """{pid: (session id, start time, name)} of every process now running (no zombies)."""
    found = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name) as f:
                stat = f.read()
        except OSError:
            continue
        comm = stat[stat.index("(") + 1:stat.rindex(")")]
        fields = stat[stat.rindex(")") + 2:].split()
        if fields[0] != "Z":
            found[int(name)] = (int(fields[3]), fields[19], comm)
    return found


def checklist_names():
    """The 222 extension names of the checklist, typed for the tests, in order."""
    with open(os.path.join(ROOT, "tests", "probes", "graphics", "gl_extension_names.txt"), "rb") as f:
        return f.read().split()


def wintool(*args, timeout=300, env=None):
    result = wine(WINTOOL, *args, timeout=timeout, env=env)
    return result.returncode, result.stdout


def parse_tree(raw):
    """wintool's records: '<depth> <state> <children> <len>:<text>\\n'."""
    items = []
    pos = 0
    while pos < len(raw):
        colon = raw.index(b":", pos)
        depth, state, children, length = raw[pos:colon].split(b" ")
        length = int(length)
        text = raw[colon + 1:colon + 1 + length]
        items.append((int(depth), int(state, 16), int(children), text))
        pos = colon + 1 + length + 1
    return items


def file_lines(data):
    """Splits a report at CR LF; the report must end with one."""
    assert data == b"" or data.endswith(b"\r\n"), "report does not end in CR LF"
    return data.split(b"\r\n")[:-1] if data else []


class Run:
    """One run of vindrel.exe in its own directory."""

    def __init__(self, args=(), workdir=None, exe=EXE, env=None):
        self.own_dir = workdir is None
        self.dir = workdir or tempfile.mkdtemp(prefix="vindrel-")
        self.exe = exe
        self.args = list(args)
        self.env = env
        self.proc = None

    def __enter__(self):
        self.proc = subprocess.Popen(["wine", self.exe, *self.args], cwd=self.dir, env=self.env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self

    def __exit__(self, *exc):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if self.own_dir:
            shutil.rmtree(self.dir, ignore_errors=True)
        return False

    def wait_shown(self):
        """Waits for the filled dialog; fails at once if the program ends first."""
        deadline = time.time() + SHOW_TIMEOUT
        while time.time() < deadline:
            code, out = self.tool("wait-shown", "15000")
            if code == 0:
                return out.strip()
            if self.proc.poll() is not None:
                raise AssertionError("the program ended (code %d) before its dialog was shown" % self.proc.returncode)
        raise AssertionError("the dialog was not shown")

    def tool(self, *args):
        """wintool against this run's Wine session."""
        return wintool(*args, env=self.env)

    def tree(self):
        code, out = self.tool("tree")
        assert code == 0, "cannot read the tree"
        return parse_tree(out)

    def keys(self, *names):
        subprocess.run([PRESS_KEY, *names], check=True, timeout=120)

    def wait_exit(self, timeout=EXIT_TIMEOUT):
        return self.proc.wait(timeout=timeout)

    def running(self):
        return self.proc.poll() is None

    def report(self, name="stats.txt"):
        with open(os.path.join(self.dir, name), "rb") as f:
            data = f.read()
        assert_report_reads_back(data)
        return data


def assert_report_reads_back(data):
    """vindrel-report finds a written report whole and well-formed, and gives back
    its bytes through JSON: so the reader keeps in step with every format."""
    if not data:
        return
    with tempfile.TemporaryDirectory(prefix="vindrel-read-") as tmp:
        report, document = os.path.join(tmp, "stats.txt"), os.path.join(tmp, "stats.json")
        with open(report, "wb") as f:
            f.write(data)
        check = subprocess.run([READER, "check", report], capture_output=True, timeout=120)
        assert (check.returncode, check.stdout) == (0, b""), "vindrel-report check: %r" % check.stdout[:3000]
        with open(document, "wb") as f:
            subprocess.run([READER, "json", report], stdout=f, timeout=120, check=True)
        text = subprocess.run([READER, "text", document], capture_output=True, timeout=120, check=True)
        assert text.stdout == data, "the report did not come back byte for byte through JSON"


def escape_run(**kwargs):
    """One run closed with Escape as soon as it is shown: (tree, exit code, report)."""
    with Run(**kwargs) as run:
        run.wait_shown()
        tree = run.tree()
        run.keys("Escape")
        code = run.wait_exit()
        return tree, code, run.report()


def section_items(tree, name):
    """(depth, text) of every node under the root node called name."""
    items, inside = [], False
    for depth, _, _, text in tree:
        if depth == 0:
            inside = text == name
        elif inside:
            items.append((depth, text))
    return items


class OutOfTime(Exception):
    pass


_out_of_time = []


class E2ETestCase(unittest.TestCase):
    def run(self, result=None):
        # Once the file's time has run out, the tests left are not started.
        if _out_of_time:
            return result
        return super().run(result)

    def assertReportMatchesTree(self, tree, data):
        """The tree's depth-first texts are the file's lines, in order."""
        lines = file_lines(data)
        self.assertEqual([text for _, _, _, text in tree], lines)

    def assertSectionsAtRoot(self, tree):
        roots = [(text, state) for depth, state, _, text in tree if depth == 0]
        self.assertEqual([text for text, _ in roots], SECTIONS)
        for text, state in roots:
            self.assertFalse(state & 0x20, "%r is expanded" % text)  # TVIS_EXPANDED


def _stopped(signum, frame):
    raise KeyboardInterrupt(signal.Signals(signum).name)


def _ran_out(signum, frame):
    _out_of_time.append(True)
    raise OutOfTime("the test file ran out of its time; ending what it started")


def main():
    # Stopped with the run around it, a test still ends what it started on its way out
    # (a Wine server of its own among them).
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, _stopped)
    # CTest kills a file that runs past its TIMEOUT with SIGKILL, which leaves what the
    # test started (stopped processes among them) to break the files after it. So the
    # test running a minute before that fails, and its clean-ups run.
    limit = int(os.environ.get("VINDREL_SCRIPT_TIMEOUT", "0"))
    if limit > 120:
        signal.signal(signal.SIGALRM, _ran_out)
        signal.alarm(limit - 60)
    unittest.main(verbosity=2)


# Lines that differ between two runs on the same machine by nature.
VARYING_PREFIXES = (b"CPU speed: ",)


def stable_lines(data):
    return [line for line in file_lines(data) if not line.startswith(VARYING_PREFIXES)]


def signed32(value):
    """A 32-bit pattern read as a signed number, as "%d" prints it."""
    value &= 0xFFFFFFFF
    return value - (1 << 32) if value >= 1 << 31 else value
