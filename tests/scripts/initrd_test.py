"""The test machine's initrd, made in a folder of its own from the newest kernel in /boot:
busybox, the first stage, and every module that mounting the host over 9p needs, each
loaded after those it depends on, as modinfo tells them. No kernel here: skipped."""
import glob
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "vm"))
import machine  # noqa: E402

if not glob.glob("/boot/vmlinuz-*"):
    print("no kernel in /boot")
    sys.exit(77)
with tempfile.TemporaryDirectory() as build:
    kernel, image = machine.initrd(build)
    version = kernel[len("/boot/vmlinuz-"):]
    unpacked = os.path.join(build, "unpacked")
    os.mkdir(unpacked)
    subprocess.run("gzip -dc '%s' | cpio -id --quiet" % image, shell=True, cwd=unpacked, check=True)
    with open(os.path.join(unpacked, "modules.list")) as f:
        order = f.read().split()
    failures = [name for name in ("init", "bin/busybox") if not os.path.isfile(os.path.join(unpacked, name))]
    failures += ["%s not in the list" % name for name in os.listdir(os.path.join(unpacked, "modules")) if name not in order]

    def need(name, before):
        """name and what it depends on, each before what needs it."""
        path = subprocess.run(["modinfo", "-k", version, "-n", name], capture_output=True, text=True).stdout.strip()
        if not path.startswith("/"):  # built into the kernel
            return
        module = os.path.basename(path).split(".ko")[0] + ".ko"
        if module not in order or not os.path.isfile(os.path.join(unpacked, "modules", module)):
            failures.append("%s missing" % module)
        elif before is not None and before in order and order.index(module) > order.index(before):
            failures.append("%s loaded after %s, which needs it" % (module, before))
        depends = subprocess.run(["modinfo", "-k", version, "-F", "depends", name], capture_output=True, text=True)
        for other in filter(None, depends.stdout.strip().split(",")):
            need(other, module)

    for wanted in ("virtio_pci", "9pnet_virtio", "9p"):
        need(wanted, None)
print("\n".join(failures) or "initrd: all it needs, in order")
sys.exit(1 if failures else 0)
