#!/usr/bin/env python3
"""The private session, turns and stops (docs/harness.md). Usage:
  session.py guard --turn SCRIPT ARG...   an entry script, once it has the build folder's turn
  session.py run [--here] COMMAND...      COMMAND in the private session (--here: held, run here)
  session.py stop | native | prefix DIR
The owner (session.py owner) is the one process that starts and stops the session's parts."""
import contextlib
import ctypes
import fcntl
import os
import select
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path[:0] = [os.path.join(ROOT, "scripts"), os.path.join(ROOT, "scripts", "vm")]
import machine  # noqa: E402
from prefix import make_prefix, native, wine_env  # noqa: E402

BUILD = os.environ.get("VINDREL_BUILD") or os.path.join(ROOT, "build")
SESSION = os.environ.get("VINDREL_SESSION") or os.path.join(BUILD, "session")
LOG = os.path.join(BUILD, "logs", "session-guest.log" if SESSION == machine.GUEST_SESSION else "session.log")
IDLE = int(os.environ.get("VINDREL_SESSION_IDLE") or (0 if os.environ.get("CI") else 45))
WAIT = int(os.environ.get("VINDREL_TURN_WAIT") or 1800)
GRACE = float(os.environ.get("VINDREL_STOP_GRACE") or 3)
DESKTOP = os.path.join(BUILD, "tools", "desktop.exe")
STOPS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)
at = lambda *names: os.path.join(SESSION, *names)  # noqa: E731


class Stop(Exception):  # a signal came: what this started ends, then it dies of the signal
    pass


def stopped(number, frame):
    for sig in STOPS:
        signal.signal(sig, signal.SIG_IGN)
    raise Stop(number)


def setup():
    ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER: orphans come here
    for sig in STOPS:
        signal.signal(sig, stopped)


def die_of(number):
    signal.signal(number, signal.SIG_DFL)
    os.kill(os.getpid(), number)
    sys.exit(128 + number)


def say(text, failed=False):
    """A [vindrel] line; a failure is said once (the scripts share the mark)."""
    print("[vindrel] " + text, file=sys.stderr, flush=True)
    with contextlib.suppress(OSError, TypeError), open(os.environ.get("VINDREL_FAIL_MARK") if failed else None, "w"):
        pass


def fail(text, log):
    """Says what failed, where its log is and how it ends."""
    say("%s; the log is %s, ending with:" % (text, log), failed=True)
    with contextlib.suppress(OSError), open(log, errors="replace") as f:
        sys.stderr.writelines("    " + line for line in f.readlines()[-25:])
    sys.exit(1)


def stat(pid):
    """/proc/PID/stat's fields after the name (the state first), or None once it has gone."""
    with contextlib.suppress(OSError, IndexError), open("/proc/%s/stat" % pid) as f:
        return f.read().rsplit(")", 1)[1].split()


def started(pid):
    """A running process's start time, which tells it from a later one with its PID."""
    fields = stat(pid)
    return fields[19] if fields and fields[0] != "Z" else None


def children():  # this process's, by their parent
    return [int(p) for p in os.listdir("/proc") if p.isdigit() and (stat(p) or "--")[1] == str(os.getpid())]


def end_group(group, grace=GRACE, with_children=False):
    """TERM to a group (and this one's children), KILL after grace s; back once none is left."""
    def send(sig):
        for kill, pid in [(os.killpg, group)] + [(os.kill, pid) for pid in with_children and children() or ()]:
            with contextlib.suppress(ProcessLookupError):
                kill(pid, sig)
    send(signal.SIGTERM)
    send(signal.SIGCONT)  # a stopped process acts on TERM once it runs again
    for then, wait in ((signal.SIGKILL, grace), (None, 2)):
        deadline = time.monotonic() + wait
        while time.monotonic() < deadline:
            with contextlib.suppress(ChildProcessError):
                while os.waitpid(-1, os.WNOHANG)[0]:
                    pass
            try:
                os.killpg(group, 0)
            except ProcessLookupError:
                if not (with_children and children()):
                    return
            time.sleep(0.02)
        if then:
            send(then)


def supervise(argv, env, grace=GRACE, terminal=False):
    """Runs argv as a process group of its own (with the terminal when asked: a Ctrl-C reaches
    it), ends the group on the way out, returns the status."""
    child = tty = None
    try:
        child = subprocess.Popen(argv, env=env, process_group=0)
        with contextlib.suppress(OSError):
            tty = os.open("/dev/tty", os.O_RDWR) if terminal else None
            signal.signal(signal.SIGTTOU, signal.SIG_IGN)
            if tty is not None and os.tcgetpgrp(tty) == os.getpgrp():
                os.tcsetpgrp(tty, child.pid)
            elif tty is not None:
                tty = os.close(tty)
        while True:  # orphans come here too, and are collected as they end
            pid, status = os.waitpid(-1, 0)
            if pid == child.pid:
                break
        status = os.waitstatus_to_exitcode(status)
    finally:
        if child:
            end_group(child.pid, grace)
        with contextlib.suppress(OSError, TypeError):
            os.tcsetpgrp(tty, os.getpgrp())
    if -status in STOPS:
        raise Stop(-status)
    return 128 - status if status < 0 else status


def locked(path, shared=False, wait=WAIT):  # a descriptor holding path's lock, or None after wait s
    fd = os.open(path, os.O_RDWR | os.O_CREAT, 0o666)
    deadline = time.monotonic() + wait
    while True:
        try:
            fcntl.flock(fd, (fcntl.LOCK_SH if shared else fcntl.LOCK_EX) | fcntl.LOCK_NB)
            return fd
        except BlockingIOError:
            if time.monotonic() >= deadline:
                return os.close(fd)
            time.sleep(0.1)


def guard(argv):
    """Waits for the build folder's turn (a run's own runs take turns on VINDREL_TURN), runs the
    script; on a signal ends all it started, says so once and dies of the signal."""
    setup()
    base = os.path.join(BUILD, "session", "turn")
    path = os.environ.get("VINDREL_TURN", "")
    path = path if path.startswith(base + ".") else base
    env = dict(os.environ, VINDREL_GUARD=str(os.getpid()), VINDREL_TURN="%s.%d" % (base, os.getpid()))
    try:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        turn = locked(path, wait=0)
        if turn is None:
            who = "unknown"
            with contextlib.suppress(OSError), open(path + ".who") as f:
                who = f.read().strip()
            say("another run uses %s (PID %s); waiting for it to end, at most %d s" % (BUILD, who, WAIT))
            turn = locked(path)
            if turn is None:
                say("waited %d s for the other run of %s (%s) to end; giving up" % (WAIT, BUILD, who))
                sys.exit(1)
        with open(path + ".who", "w") as f:
            f.write("%d %s\n" % (os.getpid(), os.path.basename(argv[1])))
        signal.signal(signal.SIGUSR1, lambda *_: os.close(turn))  # end_turn: the next may start
        # Its clients end their own commands first, in VINDREL_STOP_GRACE s.
        status = supervise(argv, env, grace=GRACE + 7, terminal=True)
    except Stop as stop:
        say("interrupted (SIG%s); what this run started has ended" % signal.Signals(stop.args[0]).name[3:])
        status = -stop.args[0]
    for name in (env["VINDREL_TURN"], env["VINDREL_TURN"] + ".who"):  # its own runs' turn
        with contextlib.suppress(OSError):
            os.unlink(name)
    if status < 0:
        die_of(-status)
    sys.exit(status)


def owner_pid():  # (PID, display) of the session's owner while it runs
    with contextlib.suppress(OSError, ValueError), open(at("owner")) as f:
        pid, start, display = f.read().split()
        if started(pid) == start:
            return int(pid), display
    return None, None


def join():
    """Joins the session, starting its owner when none is up: (display, in-use lock)."""
    os.makedirs(SESSION, exist_ok=True)
    lock = locked(at("lock"))
    if lock is None:
        say("waited %d s for the lock of the session in %s; giving up" % (WAIT, SESSION))
        sys.exit(1)
    pid, display = owner_pid()
    here = SESSION == machine.GUEST_SESSION or native()
    if pid and (display == "machine") == here:  # VINDREL_VM changed: the other kind goes
        pid = stop_owner(pid)
    if not pid:
        begun = time.monotonic()
        if not here:
            say("starting the test machine (this kernel does not run 32-bit programs, or VINDREL_VM=1)")
        os.makedirs(os.path.dirname(LOG), exist_ok=True)
        with open(LOG, "a") as log:
            child = subprocess.Popen([sys.executable, __file__, "owner"], start_new_session=True, cwd=SESSION,
                                     stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        while not pid and child.poll() is None:
            time.sleep(0.05)
            pid, display = owner_pid()
        if not pid:
            fail("the private session did not start", LOG)
        if display == "machine":
            say("the test machine and its session are up after %d s" % (time.monotonic() - begun))
    use = locked(at("inuse"), shared=True)
    os.utime(at("inuse"))
    os.close(lock)
    return display, use


def end_session(use=None):
    """Stops the session; with a client's in-use lock, only when no other client uses it."""
    if use is not None:
        os.utime(at("inuse"))
        os.close(use)
        if IDLE:
            return
    lock, (pid, _) = locked(at("lock")), owner_pid()
    if pid and lock is not None and (use is None or locked(at("inuse"), wait=0) is not None):
        stop_owner(pid)


def stop_owner(pid):
    """TERM, the one way to stop the owner; returns once it has ended."""
    start = started(pid)
    os.kill(pid, signal.SIGTERM)
    while started(pid) == start:
        time.sleep(0.05)


def run(args):
    setup()
    here = args[0] == "--here"
    argv, env = args[here:], dict(os.environ)
    display, use = join()
    try:
        if display == "machine" and not here:
            status = machine.job(SESSION, argv, env, lambda: owner_pid()[0] is not None, say)
        else:
            env.update({} if display == "machine" else {"DISPLAY": display})
            status = supervise(argv, env)
    except Stop as stop:
        end_session(use)
        die_of(stop.args[0])
    end_session(use)
    sys.exit(status)


def owner():
    setup()
    here, env, parts, display = os.stat(SESSION), dict(wine_env(BUILD), VINDREL_SESSION=SESSION), [], None

    def spawn(argv, wait=False, **kwargs):  # a part of the session, in the group of the first
        child = subprocess.Popen(argv, env=env, process_group=parts[0].pid if parts else 0, cwd=SESSION,
                                 stdin=subprocess.DEVNULL, **kwargs)
        if wait:
            return os.waitstatus_to_exitcode(os.waitpid(child.pid, 0)[1])
        parts.append(child)

    def keep():  # the desktop's keeper, the third part: up once it says so, again when it ends
        parts[2:] = []
        spawn(["wine", DESKTOP, "keep"], stdout=subprocess.PIPE)
        if not select.select([parts[2].stdout], [], [], 600)[0] or not parts[2].stdout.readline():
            sys.exit("the desktop keeper did not start")

    try:
        if native():
            make_prefix(env["WINEPREFIX"], BUILD, private=True)
            read, write = os.pipe()
            spawn(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                  pass_fds=(write,))
            os.close(write)
            number = os.read(read, 64).strip() if select.select([read], [], [], 30)[0] else b""
            if not number:
                sys.exit("the virtual display did not start")
            display = env["DISPLAY"] = ":" + number.decode()
            spawn(["wineserver", "-f", "-p"])
            spawn(["wine", "cmd", "/c", "exit"], wait=True)  # boots the session once; its services live on
            # The desktop can take longer to come up than a program waits: have it, and keep it.
            for _ in range(6):
                if spawn(["wine", DESKTOP, "wait"], wait=True) == 0:
                    break
                time.sleep(5)
            keep()
        else:
            display = "machine"
            machine.boot(BUILD, SESSION, spawn, parts)
        with open(at("owner.new"), "w") as f:
            f.write("%d %s %s\n" % (os.getpid(), started(os.getpid()), display))
        os.rename(at("owner.new"), at("owner"))
        print("the session is up on", display, flush=True)
        print(watch(here, parts, keep), flush=True)
    except Stop:
        print("stopped by a signal", flush=True)
    finally:
        if display == "machine" and parts:
            machine.poweroff(SESSION, parts[0])
        with contextlib.suppress(OSError):
            os.unlink(at("owner"))
        if parts:
            end_group(parts[0].pid, with_children=True)  # Wine's services leave the group


def watch(here, parts, keep):
    """Why the session ends: its folder gone, a part ended, or idle (keeping the lock to stop)."""
    while True:
        time.sleep(0.2 if IDLE == 0 else 1)
        now = os.stat(SESSION) if os.path.isdir(SESSION) else None
        if not now or (now.st_dev, now.st_ino) != (here.st_dev, here.st_ino):
            return "the session's folder has gone"
        if len(parts) == 3 and parts[2].poll() is not None:
            print("the desktop keeper ended; starting it again", flush=True)
            keep()
        ended = [" ".join(part.args) for part in parts if part.poll() is not None]
        if ended:
            return "a part of the session has ended: " + " ".join(ended)
        lock = locked(at("lock"), wait=0)
        unused = lock is not None and locked(at("inuse"), wait=0)
        if unused is not None and unused is not False and time.time() - os.stat(at("inuse")).st_mtime >= IDLE:
            return "idle for %d s" % IDLE
        for fd in (lock, unused):
            if fd not in (None, False):
                os.close(fd)


if __name__ == "__main__":
    command, args = (sys.argv[1], sys.argv[2:]) if len(sys.argv) > 1 else ("", [])
    if command == "guard" and args[:1] == ["--turn"] and args[1:]:
        guard(args[1:])
    elif command == "run" and args[args[:1] == ["--here"]:]:
        run(args)
    elif command in ("stop", "native", "prefix", "owner"):
        sys.exit({"stop": lambda: os.path.isdir(SESSION) and end_session(), "native": lambda: not native(),
                  "prefix": lambda: make_prefix(*args[:1], BUILD), "owner": owner}[command]())
    else:
        sys.exit(__doc__)
