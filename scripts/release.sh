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
    {
        echo "sizes: $(stat -c %s "$1") and $(stat -c %s "$2") bytes"
        echo "offset      first  other"
        cmp -l "$1" "$2" 2>/dev/null | awk 'function byte(octal, n, i) {
                for (i = 1; i <= length(octal); i++) n = n * 8 + substr(octal, i, 1)
                return n
            }
            NR <= 20 { printf "0x%08x  %02x     %02x\n", $1 - 1, byte($2), byte($3) }
            END { if (NR > 20) print "... " NR " differing bytes in all" }'
    } >&2
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
# The zip's README.txt for Windows users, with CR LF ends.
sed "s/@VERSION@/$version/; s/@COMMIT@/$(git rev-parse HEAD)/; s/\$/\r/" "$root/app/README.txt.in" >"$bundle/README.txt"
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
