#!/usr/bin/env bash
# Runs the README's two commands as a newcomer would, on a fresh Debian 12
# (bookworm): a root made by mmdebstrap from Debian's archive, entered with
# chroot as root, holding a clean clone of a committed tree. For whoever
# changes scripts/setup.sh; not part of the test command (bootstrapping,
# installing everything and running every suite take twenty minutes and
# more).
#   scripts/fresh-root.sh [CHECKOUT [REF]] [-- COMMAND...]
# CHECKOUT is a repository or work tree (default: this one) and REF what of
# it to clone (default: its HEAD, committed state only). A COMMAND runs in
# the clone instead of the two, e.g. `-- scripts/setup.sh linux`. Run as
# root.
# The root is the smallest Debian (its required packages only), so that
# nothing a machine happens to have hides a gap of the setup. It lives in
# its own mount, process and IPC namespaces with private /proc, /sys, /dev,
# /dev/shm and /tmp mounts: nothing of it is seen from outside, and nothing
# of it outlives the run. Prints the time of each step, run-show.sh's lines
# and run-tests.sh's summary; the logs, the suites' own log folders and the
# screenshot stay in ${MORVA_BUILD_DIR:-build}/fresh-root/. Exits with
# run-tests.sh's status (or the command's).
#   MORVA_FRESH_MIRROR    Debian archive (default http://deb.debian.org/debian)
#   MORVA_FRESH_SECURITY  its security archive (default http://deb.debian.org/debian-security)
#   MORVA_FRESH_KEEP=1    keeps the root (its folder is printed)
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
positional=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    positional+=("$1")
    shift
done
[ $# -eq 0 ] || shift
command=("$@")
checkout=$(cd "${positional[0]:-$here}" && pwd) || exit 2
ref=${positional[1]:-HEAD}
mirror=${MORVA_FRESH_MIRROR:-http://deb.debian.org/debian}
security=${MORVA_FRESH_SECURITY:-http://deb.debian.org/debian-security}
results=${MORVA_BUILD_DIR:-$here/build}/fresh-root

if [ "$(id -u)" -ne 0 ]; then
    echo "fresh-root: run as root" >&2
    exit 1
fi

if [ -z "${MORVA_FRESH_NAMESPACES:-}" ]; then
    if ! command -v mmdebstrap >/dev/null; then
        echo "fresh-root: installing mmdebstrap"
        apt-get update -q >/dev/null &&
            DEBIAN_FRONTEND=noninteractive apt-get install -y -q mmdebstrap >/dev/null || exit 1
    fi
    # The namespaces' first process is this script again; when it ends,
    # the kernel ends every process and mount left in them.
    exec env MORVA_FRESH_NAMESPACES=1 unshare --mount --pid --ipc --fork --kill-child=SIGTERM \
        --mount-proc --propagation private "$0" "$checkout" "$ref" -- "${command[@]}"
fi

# The rest is one block, read whole before it runs: bash reads a script as it
# goes, and the checkout may change during the long run.
{
started=$SECONDS
work=$(mktemp -d /var/tmp/morva-fresh-root.XXXXXX) || exit 1
root=$work/root
rm -rf "$results"
mkdir -p "$results"

# Under the namespaces every process in /proc is one this run started.
end_processes() {
    local pid
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        [ "$pid" -ne $$ ] && kill -KILL "$pid" 2>/dev/null
    done
}

mounted_under_root() { awk -v r="$root" '$5 == r || index($5, r "/") == 1 {print $5}' /proc/self/mountinfo; }

cleanup() {
    trap - EXIT INT TERM
    end_processes
    local m
    # Deepest first: this script's mounts and any that a step left, such as
    # mmdebstrap's own when it is stopped half-way.
    for m in $(mounted_under_root | sort -r); do
        umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null
    done
    if [ -n "$(mounted_under_root)" ]; then
        echo "fresh-root: still mounted, $work is left: $(mounted_under_root | tr '\n' ' ')" >&2
    elif [ "${MORVA_FRESH_KEEP:-0}" = 1 ]; then
        echo "fresh-root: the root is kept in $root"
    else
        rm -rf --one-file-system "$work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs a step, its output to the screen and to $results/NAME.log; a step
# is waited for in the background so that a signal ends it at once.
step() {
    local name=$1 pid t0=$SECONDS
    shift
    echo "== fresh-root: $name ($(date '+%H:%M:%S'))"
    : >"$results/$name.log"
    "$@" >"$results/$name.log" 2>&1 &
    pid=$!
    tail -n +1 -f --pid="$pid" "$results/$name.log" &
    wait "$pid"
    step_status=$?
    wait
    step_seconds=$((SECONDS - t0))
    echo "== fresh-root: $name: exit code $step_status, $step_seconds s"
}

# What a root login on a fresh machine has; nothing of this shell's.
in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb SHELL=/bin/bash LOGNAME=root USER=root \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        /bin/bash -c 'cd /root/velunor && "$@"' bash "$@"
}

step bootstrap mmdebstrap --variant=minbase --mode=root bookworm "$root" \
    "deb $mirror bookworm main" "deb $mirror bookworm-updates main" "deb $security bookworm-security main"
bootstrap_seconds=$step_seconds
[ "$step_status" -eq 0 ] || exit 1
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

# The root a mount of its own, as / is on a machine: unshare and mount
# --make-private inside need one.
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmp "$root/tmp"

# A clean clone of the committed tree: nothing uncommitted, no build.
git init -q "$root/root/velunor" &&
    git -C "$root/root/velunor" fetch -q "$checkout" "$ref" &&
    git -C "$root/root/velunor" checkout -q -b fresh FETCH_HEAD || exit 1
commit=$(git -C "$root/root/velunor" log -1 --format='%h %s' | cut -c1-100)
echo "== fresh-root: $checkout $ref: $commit"

# The suites' log folders, which go with the root.
keep_logs() {
    local build=$root/root/velunor/build dir
    cp "$build"/*.log "$results/" 2>/dev/null
    for dir in native/linux-logs win/e2e-logs; do
        [ -d "$build/$dir" ] && mkdir -p "$results/${dir%/*}" && cp -r "$build/$dir" "$results/${dir%/*}/"
    done
}

if [ ${#command[@]} -gt 0 ]; then
    step command in_root "${command[@]}"
    keep_logs
    echo "in all: $((SECONDS - started)) s; logs in $results"
    exit "$step_status"
fi

step run-show in_root scripts/run-show.sh
show_status=$step_status
show_seconds=$step_seconds
cp "$root/root/velunor/build/show-s.png" "$results/" 2>/dev/null

step run-tests in_root scripts/run-tests.sh
tests_status=$step_status
tests_seconds=$step_seconds
keep_logs

echo
echo "== fresh-root: Debian $(cat "$root/etc/debian_version"), $commit"
echo "bootstrap: $bootstrap_seconds s"
echo "scripts/run-show.sh: exit code $show_status, $show_seconds s"
grep '^run-show:' "$results/run-show.log"
echo "scripts/run-tests.sh: exit code $tests_status, $tests_seconds s"
sed -n '/^== summary/,$p' "$results/run-tests.log"
echo "in all: $((SECONDS - started)) s; logs in $results"
[ "$show_status" -eq 0 ] && [ -s "$results/show-s.png" ] || exit 1
exit "$tests_status"
}
