"""Wine's prefixes for scripts/session.py: where Windows programs run, and how."""
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MARLETT = "/usr/share/wine/fonts/marlett.ttf"  # Debian's fonts-wine: Wine draws the caption buttons with it


def native():
    """True where 32-bit Windows programs run here (some kernels refuse them)."""
    return os.environ.get("VINDREL_VM") != "1" and subprocess.run(
        ["/usr/lib/wine/wine", "--version"], capture_output=True).returncode == 0


def wine_env(build):
    """The environment of scripts/wine-env.sh, the one place for it."""
    out = subprocess.run(["bash", "-c", '. "$0" && env -0', os.path.join(ROOT, "scripts", "wine-env.sh")],
                         env=dict(os.environ, VINDREL_BUILD=build), capture_output=True, check=True).stdout
    return dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)


def make_prefix(prefix, build, private=False):
    """A 32-bit prefix. The private display's has no window manager to wait for (Wine waits
    about 2 s for one each time a managed window is hidden), no crash dialog to hold a test
    until its time-out, and Wine's Marlett font, so its dialogs look as on Windows."""
    env = dict(wine_env(build), WINEPREFIX=prefix)
    env.pop("DISPLAY", None)
    ready = os.path.join(prefix, ".vindrel-private" if private else ".vindrel-ready")
    if not (os.path.exists(ready) and os.path.exists(os.path.join(prefix, "system.reg"))):
        shutil.rmtree(prefix, ignore_errors=True)
        os.makedirs(prefix)
        print("[vindrel] creating the Wine prefix " + prefix, file=sys.stderr, flush=True)
        keys = [("X11 Driver", "Managed", "REG_SZ", "N"), ("WineDbg", "ShowCrashDialog", "REG_DWORD", "0")]
        for step in [["wineboot", "-i"]] + [["wine", "reg", "add", "HKCU\\Software\\Wine\\" + key, "/v", name, "/t",
                                             kind, "/d", value, "/f"] for key, name, kind, value in keys * private]:
            subprocess.run(step, env=env, stdin=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env)
        if not os.path.exists(os.path.join(prefix, "system.reg")):
            sys.exit("wineboot made no prefix in " + prefix)
        for mark in {ready, os.path.join(prefix, ".vindrel-ready")}:
            open(mark, "w").close()
    font = os.path.join(prefix, "drive_c", "windows", "Fonts", "marlett.ttf")
    if private and os.path.exists(MARLETT) and not os.path.exists(font):
        shutil.copy(MARLETT, font)
