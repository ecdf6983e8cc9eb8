#!/usr/bin/env bash
# Runs a command inside a small virtual machine that boots Debian's kernel on this
# machine's own file system (shared over 9p). Used where the host kernel refuses
# 32-bit programs: the guest kernel runs them, so 32-bit Wine works unchanged.
# Usage: vm-run.sh COMMAND [ARGS...]; runs in the current directory with the
# current environment; prints the command's output and exits with its status.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
state=${VINDREL_VM_DIR:-$here/../build/vm}
mkdir -p "$state"
state=$(cd "$state" && pwd)

kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)
[ -n "$kernel" ] || { echo "vm-run: no kernel in /boot (install linux-image-amd64)" >&2; exit 70; }
version=${kernel#/boot/vmlinuz-}
initrd=$state/initrd-$version.cpio.gz

if [ ! -f "$initrd" ] || [ "$here/vm/init" -nt "$initrd" ]; then
    root=$(mktemp -d)
    mkdir -p "$root/bin" "$root/modules"
    cp /bin/busybox "$root/bin/busybox"
    cp "$here/vm/init" "$root/init"
    : >"$root/modules.list"
    # The 9p modules and what they depend on, in load order.
    for m in $(for wanted in virtio_pci 9pnet_virtio 9p; do
        modprobe -S "$version" --show-depends "$wanted"
    done | awk '$1 == "insmod" {print $2}'); do
        name=$(basename "$m")
        case "$name" in
        *.ko.xz) xz -dc "$m" >"$root/modules/${name%.xz}"; name=${name%.xz} ;;
        *.ko.zst) zstd -qdc "$m" >"$root/modules/${name%.zst}"; name=${name%.zst} ;;
        *) cp "$m" "$root/modules/$name" ;;
        esac
        grep -qx "$name" "$root/modules.list" || echo "$name" >>"$root/modules.list"
    done
    (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$initrd.tmp"
    mv "$initrd.tmp" "$initrd"
    rm -rf "$root"
fi

job=$(mktemp -d "$state/job.XXXXXX")
{
    echo "cd $(printf '%q' "$(pwd)")"
    export -p | grep -v -E '^declare -x (BASH|SHELL|SHLVL|OLDPWD|PWD|_|TERM)='
    echo "unset VINDREL_VM"
    printf '%q ' "$@"
    echo
} >"$job/script"

# Host directories the guest needs that its standard binds do not cover (its own
# /tmp is local, and a checkout may live anywhere).
binds=""
for p in "$(pwd)" "$(cd "$here/.." && pwd)" "$state"; do
    case "$p" in
    /usr/* | /etc/* | /var/* | /root/* | /home/* | /opt/* | /srv/* | /work/* | /boot/* | /mnt/* | /media/*) ;;
    *) binds="$binds:$p" ;;
    esac
done

cpus=${VINDREL_VM_CPUS:-$(nproc)}
: >"$job/output"
timeout "${VINDREL_VM_TIMEOUT:-4800}" qemu-system-x86_64 -machine q35 -cpu max,-smap -smp "$cpus" \
    -m "${VINDREL_VM_MEMORY:-4096}" -kernel "$kernel" -initrd "$initrd" \
    -append "console=ttyS0 quiet panic=-1 vindrel.runner=$here/vm/guest-runner.sh vindrel.job=$job vindrel.binds=${binds#:}" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=passthrough,id=hostroot \
    -nographic -no-reboot -nic none -serial "file:$job/console" -monitor none </dev/null >/dev/null 2>&1 &
qemu=$!
trap 'kill "$qemu" 2>/dev/null || true' EXIT
# The job's output, as it is written.
tail -n +1 -f --pid="$qemu" "$job/output" &
tailer=$!
wait "$qemu" || true
wait "$tailer" 2>/dev/null || true
trap - EXIT

cp "$job/console" "$state/last-console" 2>/dev/null || true
if [ ! -f "$job/status" ]; then
    echo "vm-run: the machine stopped without a result; its console:" >&2
    tail -n 30 "$job/console" >&2 || true
    rm -rf "$job"
    exit 70
fi
status=$(cat "$job/status")
rm -rf "$job"
exit "$status"
