#!/usr/bin/env bash
# Builds vindrel.exe twice, in two fresh folders (the second with a space in its path, as
# "nobody" when run as root), and stops unless the two are the same bytes.
#   scripts/release.sh                   from a clean tree: dist/vindrel-VERSION.zip
#   scripts/release.sh --check [EXE...]  any tree: only the comparison, also with each EXE
# VERSION is `git describe --tags --always` without a leading "v".
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib.sh"
VINDREL_USAGE="usage: scripts/release.sh              from a clean tree: dist/vindrel-VERSION.zip
       scripts/release.sh --check [EXE...]  any tree: build twice and compare, also with each EXE
Builds vindrel.exe twice in fresh folders and stops unless the builds are the same bytes.
Before a release, run scripts/fresh-machine.sh too."

check_only=
others=()
for arg in "$@"; do
    case $arg in
    --check) [ ${#others[@]} -eq 0 ] && [ -z "$check_only" ] || usage_error "--check comes first, once"
        check_only=1 ;;
    -*) check_usage "$arg" ;;
    *) [ -n "$check_only" ] || usage_error "a file to compare needs --check: $arg"
        [ -f "$arg" ] || usage_error "no such file: $arg"
        others+=("$(realpath "$arg")") ;;
    esac
done
start_log release

cd "$root"
if [ -z "$check_only" ]; then
    if [ -n "$(git status --porcelain)" ]; then
        git status --short >&2
        log "the tree has changes that are not committed (above); a release is made only from a clean tree"
        exit 1
    fi
    revision=HEAD
    version=$(git describe --tags --always HEAD | sed 's/^v//; s|/|-|g')
    what=$version
else
    # The tracked files as they are now, committed or not.
    revision=$(git stash create)
    what="commit $(git describe --tags --always HEAD)"
    if [ -n "$revision" ]; then
        what="$what with its uncommitted changes"
    else
        revision=HEAD
    fi
fi

ensure_packages

work=$(mktemp -d)
keep_work=
trap '[ -n "$keep_work" ] || rm -rf "$work"' EXIT
chmod 755 "$work"

# build_in DIR [USER]: the revision's files in DIR/src, built in DIR/build.
build_in() {
    local dir=$1 user=${2:-}
    mkdir -p "$dir/src"
    git archive "$revision" | tar -x -C "$dir/src"
    local run=()
    if [ -n "$user" ]; then
        chown -R "$user" "$dir"
        run=(runuser -u "$user" --)
    fi
    if ! "${run[@]}" env -u VINDREL_LOG VINDREL_BUILD="$dir/build" VINDREL_VERSION="${version:-}" bash -c \
        'source "$1/scripts/lib.sh" && configure_and_build vindrel vindrel-report' _ "$dir/src" >"$dir.log" 2>&1; then
        tail -n 30 "$dir.log" >&2
        log "the build in $dir failed"
        exit 1
    fi
}

other_user=
if [ "$(id -u)" -eq 0 ] && command -v runuser >/dev/null && id nobody >/dev/null 2>&1; then
    other_user=nobody
fi
log "building $what in $work/first"
build_in "$work/first"
log "building it again in \"$work/second copy\"${other_user:+ as $other_user}"
build_in "$work/second copy" $other_user

# same_bytes FIRST OTHER: true when both hold the same bytes; else says where they differ.
same_bytes() {
    cmp -s "$1" "$2" && return 0
    python3 - "$1" "$2" <<'EOF' >&2
import sys
a, b = (open(name, "rb").read() for name in sys.argv[1:3])
diff = [i for i in range(min(len(a), len(b))) if a[i] != b[i]]
if len(a) != len(b):
    print("sizes: %d and %d bytes" % (len(a), len(b)))
print("offset      first  other")
for i in diff[:20]:
    print("0x%08x  %02x     %02x" % (i, a[i], b[i]))
if len(diff) > 20:
    print("... %d differing bytes in all" % len(diff))
EOF
    keep_work=1
    log "NOT REPRODUCIBLE: $2 (other) differs from the first build $1 (above: offsets from 0 in" \
        "hexadecimal, and each one's byte); the builds stay in $work"
    return 1
}

exe=$work/first/build/app/vindrel.exe
reader=$work/first/build/reader/vindrel-report.exe
for copy in "$work/second copy/build/app/vindrel.exe" "${others[@]}"; do
    same_bytes "$exe" "$copy" || exit 1
done
same_bytes "$reader" "$work/second copy/build/reader/vindrel-report.exe" || exit 1
sha=$(sha256sum "$exe" | cut -d' ' -f1)
given=""
[ ${#others[@]} -eq 0 ] || given=", and so is each given file (${others[*]})"
log "vindrel.exe and vindrel-report.exe: the two fresh builds of $what are the same bytes$given"
if [ -n "$check_only" ]; then
    echo "vindrel.exe SHA-256: $sha"
    exit 0
fi

bundle=$work/bundle
mkdir "$bundle"
cp "$exe" "$reader" "$root/LICENSE" "$bundle/"
commit=$(git rev-parse HEAD)
sed 's/$/\r/' >"$bundle/README.txt" <<EOF
Vindrel $version

Vindrel shows what this 32-bit Windows machine offers: the processor, Direct3D
and DirectShow, OpenGL, memory and drives, and the Windows version, as a tree in
one window. It writes the same lines to stats.txt in the folder it is started
from (the folder of vindrel.exe when you double-click it), replacing any
stats.txt already there. It needs no installation and no other file. Close the
window with Escape or its close box.

Checking your copy
------------------
In a command prompt, in this folder:

    certutil -hashfile vindrel.exe SHA256

or in PowerShell: Get-FileHash vindrel.exe. The value must be the one on the
vindrel.exe line of SHA256SUMS and, since SHA256SUMS travels with the file, also
the one published with the release by whoever you trust to publish it.

vindrel.exe is built reproducibly: anyone who builds commit
$commit
on Debian 12 gets these same bytes. README.md in the source says how to rebuild
it and compare.

Vindrel is free software under the MIT licence; see LICENSE.
EOF
(cd "$bundle" && sha256sum LICENSE README.txt vindrel-report.exe vindrel.exe >SHA256SUMS)

mkdir -p "$root/dist"
zip=$root/dist/vindrel-$version.zip
# Fixed member order, times (the commit's) and permissions: the same zip each time.
python3 - "$bundle" "$zip" "$(git log -1 --format=%ct HEAD)" <<'EOF'
import os, sys, time, zipfile
bundle, out, stamp = sys.argv[1], sys.argv[2], int(sys.argv[3])
when = time.gmtime(max(stamp, 315532800))[:6]
with zipfile.ZipFile(out + ".part", "w") as z:
    for name in ("vindrel.exe", "vindrel-report.exe", "README.txt", "LICENSE", "SHA256SUMS"):
        info = zipfile.ZipInfo(name, when)
        info.create_system = 3
        info.external_attr = 0o100644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(bundle, name), "rb") as f:
            z.writestr(info, f.read(), compresslevel=9)
os.replace(out + ".part", out)
EOF
echo "$zip"
echo "vindrel.exe SHA-256: $sha"
log "before publishing it, prove the set-up on a bare machine: scripts/fresh-machine.sh"
