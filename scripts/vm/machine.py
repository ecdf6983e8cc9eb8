"""The test machine, for kernels that refuse 32-bit programs (or VINDREL_VM=1): Debian's
kernel under qemu on this machine's own files. Its whole life is here: the initrd, the
boot (by the session's owner, scripts/session.py), the jobs, the power-off.

A job is a folder in the session's jobs/: job.json (folder, environment, command) from
the client here, output, errors and status from the machine, cancel from a client
stopped. In the machine each job runs on the display of the machine's own session, which
the same session.py owns."""
import contextlib
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
# What crosses into the machine with a job: the project's settings and Wine's, the locale.
ALLOWED = re.compile(r"(VINDREL_(?!VM$|SESSION|GUARD$)\w+|WINE\w*|LANG|LC_\w+|TZ|CI|HOME|USER|LOGNAME)")
# Emulated, everything takes many times longer, a stopped run's clean-up too.
SLOW = {"VINDREL_SHOW_TIMEOUT": "1800", "VINDREL_EXIT_TIMEOUT": "300", "VINDREL_STOP_GRACE": "10"}
PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
GUEST_SESSION = "/run/vindrel-session"

# First stage: a root of local file systems with the host's folders bound into it from
# 9p, so that nothing is mounted on top of a 9p folder the host keeps changing. The
# host's files are cached as they are (the runner drops what it has looked up before
# each job); the session's folder, where jobs come and go, is not.
INIT = r"""#!/bin/busybox sh
bb=/bin/busybox
$bb mkdir -p /proc /dev /newroot
$bb mount -t proc proc /proc
$bb mount -t devtmpfs dev /dev
for m in $($bb cat /modules.list); do $bb insmod "/modules/$m" 2>/dev/null; done
arg() { $bb sed -n "s/.*vindrel.$1=\([^ ]*\).*/\1/p" /proc/cmdline; }
state=$(arg state) runner=$(arg runner) build=$(arg build) binds=$(arg binds)
$bb mount -t tmpfs -o mode=755 root /newroot
$bb mkdir -p /newroot/host /newroot/live
o=trans=virtio,version=9p2000.L,msize=512000
$bb mount -t 9p -o $o,cache=loose hostroot /newroot/host && $bb mount -t 9p -o $o hostlive /newroot/live ||
    { echo "vindrel-vm: cannot mount the host file system"; $bb poweroff -f; }
for link in bin lib lib32 lib64 libx32 sbin; do
    target=$($bb readlink "/newroot/host/$link") && $bb ln -s "$target" "/newroot/$link"
done
$bb mkdir -p /newroot/proc /newroot/sys /newroot/dev /newroot/run /newroot/tmp
$bb mount -t proc proc /newroot/proc
$bb mount -t sysfs sys /newroot/sys
$bb mount -t tmpfs -o mode=755 tmpfs /newroot/run
$bb mount -t tmpfs -o mode=1777 tmpfs /newroot/tmp
# The checkout and its build after /tmp, where they may be.
for d in usr etc var root home opt srv work boot mnt media $(echo "$binds" | $bb tr : ' '); do
    [ -d "/newroot/host/$d" ] || continue
    $bb mkdir -p "/newroot/$d"
    $bb mount --bind "/newroot/host/$d" "/newroot/$d"
done
$bb mount --bind "/newroot/live$state" "/newroot$state"
$bb umount /proc
$bb mount --move /dev /newroot/dev
$bb mkdir -p /newroot/dev/pts /newroot/dev/shm
$bb mount -t devpts devpts /newroot/dev/pts
$bb mount -t tmpfs tmpfs /newroot/dev/shm
exec $bb switch_root /newroot /usr/bin/python3 "$runner" guest "$state" "$build"
"""


def initrd(build):
    """(kernel, initrd): the newest kernel in /boot, and busybox, INIT and the 9p modules."""
    kernels = sorted(glob.glob("/boot/vmlinuz-*"), key=lambda k: [int(n) for n in re.findall(r"\d+", k)])
    if not kernels:
        sys.exit("no kernel in /boot for the test machine (install linux-image-amd64)")
    version = kernels[-1][len("/boot/vmlinuz-"):]
    image = os.path.join(build, "vm", "initrd-%s.cpio.gz" % version)
    if os.path.exists(image) and os.path.getmtime(image) >= os.path.getmtime(__file__):
        return kernels[-1], image
    os.makedirs(os.path.dirname(image), exist_ok=True)
    with tempfile.TemporaryDirectory() as top:
        os.makedirs(os.path.join(top, "bin"))
        os.makedirs(os.path.join(top, "modules"))
        shutil.copy("/bin/busybox", os.path.join(top, "bin"))
        with open(os.path.join(top, "init"), "w") as f:
            f.write(INIT)
        os.chmod(os.path.join(top, "init"), 0o755)
        depends = [line for name in ("virtio_pci", "9pnet_virtio", "9p") for line in subprocess.run(
            ["modprobe", "-S", version, "--show-depends", name], capture_output=True, text=True, check=True).stdout.split("\n")]
        names = []
        for module in dict.fromkeys(line.split()[1] for line in depends if line.startswith("insmod ")):
            name = re.sub(r"\.ko.*", ".ko", os.path.basename(module))
            tool = {".xz": ["xz", "-dc"], ".zst": ["zstd", "-qdc"]}.get(os.path.splitext(module)[1], ["cat"])
            with open(os.path.join(top, "modules", name), "wb") as f:
                subprocess.run(tool + [module], stdout=f, check=True)
            names.append(name)
        with open(os.path.join(top, "modules.list"), "w") as f:
            f.write("\n".join(names) + "\n")
        subprocess.run("find . | cpio -o -H newc --quiet | gzip -1 >%s.new" % image, shell=True, cwd=top, check=True)
    os.rename(image + ".new", image)
    return kernels[-1], image


def boot(build, session, spawn, parts):
    """Boots the machine as the session's one part and waits until its session is up."""
    kernel, image = initrd(build)
    os.makedirs(os.path.join(session, "jobs"), exist_ok=True)
    for name in ("ready", "failed", "poweroff"):
        with contextlib.suppress(OSError):
            os.unlink(os.path.join(session, name))
    with contextlib.suppress(OSError):  # the last machine's, for a look at how it ended
        os.replace(os.path.join(session, "console"), os.path.join(session, "console.last"))
    append = "console=ttyS0 quiet panic=-1 vindrel.runner=%s vindrel.state=%s vindrel.build=%s vindrel.binds=%s:%s" % (
        os.path.abspath(__file__), session, build, ROOT, build)
    spawn(["qemu-system-x86_64", "-machine", "q35", "-cpu", "max,-smap",
           "-smp", os.environ.get("VINDREL_VM_CPUS") or str(os.cpu_count()),
           "-m", os.environ.get("VINDREL_VM_MEMORY") or "4096", "-kernel", kernel, "-initrd", image, "-append", append,
           "-virtfs", "local,path=/,mount_tag=hostroot,security_model=passthrough,id=hostroot",
           "-virtfs", "local,path=/,mount_tag=hostlive,security_model=passthrough,id=hostlive",
           "-nographic", "-no-reboot", "-nic", "none", "-serial", "file:" + os.path.join(session, "console"),
           "-monitor", "none"], stdout=subprocess.DEVNULL)
    while not os.path.exists(os.path.join(session, "ready")):
        if os.path.exists(os.path.join(session, "failed")) or parts[0].poll() is not None:
            sys.exit("the test machine did not start its session (its console: %s/console)" % session)
        time.sleep(0.2)


def poweroff(session, qemu):
    """The machine stops its session (which saves the prefix) and powers off."""
    if not os.path.exists(os.path.join(session, "ready")):
        return
    open(os.path.join(session, "poweroff"), "w").close()
    with contextlib.suppress(subprocess.TimeoutExpired):  # a prefix cut short is lost
        qemu.wait(timeout=120)


def job(session, argv, env, alive, say):
    """Runs argv in the machine, in this folder, with the allowed part of env; its output
    comes here as it is written, its status is returned, and a stop here cancels it."""
    env = {key: value for key, value in env.items() if ALLOWED.fullmatch(key)}
    env = dict(SLOW, **env, PATH=PATH)
    folder = tempfile.mkdtemp(prefix="job.", dir=os.path.join(session, "jobs"))
    outputs = [(open(os.path.join(folder, name), "xb+"), stream) for name, stream in
               (("output", sys.stdout.buffer), ("errors", sys.stderr.buffer))]
    with open(os.path.join(folder, "job.new"), "w") as f:
        json.dump({"cwd": os.getcwd(), "env": env, "argv": argv}, f)
    os.rename(os.path.join(folder, "job.new"), os.path.join(folder, "job.json"))
    status, looked = os.path.join(folder, "status"), time.monotonic()
    try:
        while True:
            done = os.path.exists(status)
            for source, stream in outputs:
                stream.write(source.read())
                stream.flush()
            if done:
                with open(status) as f:
                    return int(f.read())
            if time.monotonic() - looked > 2:
                looked = time.monotonic()
                if not alive():
                    say("the test machine stopped during the command", failed=True)
                    return 70
            time.sleep(0.1)
    finally:
        if os.path.exists(status):
            shutil.rmtree(folder, ignore_errors=True)
        else:
            open(os.path.join(folder, "cancel"), "w").close()


def show_folder(path):
    """Binds a host folder the boot did not (a test's folder in /tmp)."""
    while not os.path.isdir("/host" + path) and path != "/":
        path = os.path.dirname(path)
    if re.fullmatch(r"/|/tmp|/(usr|etc|var|work)(/.*)?", path) or os.path.ismount(path):
        return
    os.makedirs(path, exist_ok=True)
    subprocess.run(["mount", "--bind", "/host" + path, path])


def guest(state, build):
    """In the machine (its first process): starts its session, runs each job there as a
    process group of its own until the host asks for the power-off, stops the session."""
    with contextlib.suppress(OSError), open("/etc/hostname") as f:
        subprocess.run(["hostname", f.read().strip()])
    session_py = os.path.join(ROOT, "scripts", "session.py")
    own = dict(SLOW, PATH=PATH, HOME="/root", LANG="C.UTF-8", VINDREL_BUILD=build, VINDREL_SESSION=GUEST_SESSION,
               VINDREL_SESSION_IDLE="999999999")

    def start():  # the machine's session, and started again should it have ended
        with open(os.path.join(build, "logs", "session.log"), "ab") as log:
            up = subprocess.run([sys.executable, session_py, "run", "printenv", "DISPLAY"], env=own,
                                stdout=subprocess.PIPE, stderr=log)
        own["DISPLAY"] = up.stdout.decode().strip()
        return up.returncode == 0

    up = start()
    os.sync()
    open(os.path.join(state, "ready" if up else "failed"), "w").close()
    # A job's PID: its process and folder (held: subprocess would reap a process it let go
    # of); a group being stopped: when to KILL it.
    running, ending = {}, {}
    jobs = os.path.join(state, "jobs")
    while not os.path.exists(os.path.join(state, "poweroff")) and up:
        for name in os.listdir(jobs):
            folder = os.path.join(jobs, name)
            if not os.path.exists(os.path.join(folder, "job.json")) or os.path.exists(os.path.join(folder, "taken")):
                continue
            open(os.path.join(folder, "taken"), "w").close()
            with open(os.path.join(folder, "job.json")) as f:
                order = json.load(f)
            # What the host changed since (a rebuild, an edit) must not be read from the cache.
            with open("/proc/sys/vm/drop_caches", "w") as f:
                f.write("2")
            show_folder(order["cwd"])
            if not os.path.exists(os.path.join(GUEST_SESSION, "owner")):
                start()
            with open(os.path.join(folder, "output"), "ab") as out, open(os.path.join(folder, "errors"), "ab") as err:
                try:
                    child = subprocess.Popen(order["argv"], cwd=order["cwd"], env=dict(own, **order["env"]),
                                             stdin=subprocess.DEVNULL, stdout=out, stderr=err, start_new_session=True)
                    running[child.pid] = child, folder
                except OSError as error:
                    err.write(("%s: %s\n" % (order["argv"][0], error.strerror)).encode())
                    finish(folder, 127)
        with contextlib.suppress(ChildProcessError):
            while True:
                pid, code = os.waitpid(-1, os.WNOHANG)
                if not pid:
                    break
                if pid in running:  # what the job left ends with it
                    ending.setdefault(pid, time.monotonic() + 20)
                    with contextlib.suppress(ProcessLookupError):
                        os.killpg(pid, signal.SIGTERM)
                    child, folder = running.pop(pid)
                    child.returncode = os.waitstatus_to_exitcode(code)
                    finish(folder, child.returncode)
        for pid, (_, folder) in running.items():
            if pid not in ending and os.path.exists(os.path.join(folder, "cancel")):
                ending[pid] = time.monotonic() + 20  # its scripts end what they started on TERM
                with contextlib.suppress(ProcessLookupError):
                    os.killpg(pid, signal.SIGTERM)
        for pid, deadline in list(ending.items()):
            with contextlib.suppress(ProcessLookupError):
                os.killpg(pid, signal.SIGKILL if time.monotonic() > deadline else 0)
                continue
            del ending[pid]
        time.sleep(0.2)
    subprocess.run([sys.executable, session_py, "stop"], env=own)
    os.sync()
    with open("/proc/sysrq-trigger", "w") as f:
        f.write("o")
    time.sleep(60)


def finish(folder, code):
    """A job's status, for its client; a cancelled job's folder goes."""
    if os.path.exists(os.path.join(folder, "cancel")):
        return shutil.rmtree(folder, ignore_errors=True)
    with open(os.path.join(folder, "status.new"), "w") as f:
        f.write(str(128 - code if code < 0 else code))
    os.sync()
    os.rename(os.path.join(folder, "status.new"), os.path.join(folder, "status"))


if __name__ == "__main__" and sys.argv[1:2] == ["guest"]:
    guest(*sys.argv[2:4])
