#!/usr/bin/env bash
# velunor's idle watcher (--wayland --idle) on the three headless desktops of
# the tests, each with one 1920x1080 output and the idle time it offers:
#   sway    sway 1.7, KDE's idle protocol
#   KWin    KWin 5.27, ext-idle-notify
#   GNOME   GNOME Shell 43, Mutter's idle monitor on the session bus
# For each, mode 1:
#   - the watcher's resident memory and CPU share while it waits, before
#     its first show and again after a show that a key ended;
#   - the time from the idle notice to the first tick of the show (its
#     first frame is shown one tick period, 60 ms, before), for the first
#     show and the next one;
#   - ticks per second and CPU ms per tick of the show over SECONDS
#     (default 5).
#   scripts/bench-desktops.sh NATIVE_BUILD [SECONDS]
# The keys that end the shows come from the suite's own helpers, so the
# build needs its tests (tests/linux).
set -u
source "$(dirname "$0")/bench-env.sh"
source "$MORVA_BENCH_ROOT/scripts/wayland-env.sh"
bench_build "${1:-}" "bench-desktops.sh NATIVE_BUILD [SECONDS]"
native=$MORVA_BENCH_BUILD
seconds=${2:-5}
velunor=$native/velunor/velunor
for program in "$velunor" "$native/tests/linux/velunor_test_kwin" "$native/tests/linux/velunor_test_dbus"; do
    [ -x "$program" ] || { echo "no $program: scripts/build.sh native"; exit 1; }
done
bench_work desktops
watcher=
helper=
bench_cleanup() {
    morva_wayland_cleanup
}
hz=$(getconf CLK_TCK)
log=$MORVA_BENCH_WORK/velunor.log

# Waits up to 20 s for N lines matching PATTERN in FILE.
lines() {
    local i
    for i in $(seq 1 400); do
        [ "$(grep -c -- "$2" "$3" 2>/dev/null)" -ge "$1" ] && return 0
        sleep 0.05
    done
    return 1
}

# The resident memory of the watcher in MB, and its CPU share over 2 s.
waiting() {
    local c0 t0 c1 t1
    c0=$(morva_cpu_ticks "$watcher")
    t0=$(date +%s.%N)
    sleep 2
    c1=$(morva_cpu_ticks "$watcher")
    t1=$(date +%s.%N)
    awk -v rss="$(awk '/^VmRSS/ {print $2}' "/proc/$watcher/status")" -v c=$((c1 - c0)) -v hz="$hz" \
        -v wall="$(echo "$t1 - $t0" | bc)" 'BEGIN {printf "%.1f %.1f", rss / 1024, c / hz / wall * 100}'
}

# The time from show N's idle notice to its first tick, in seconds.
start_of() {
    local idle tick
    idle=$(grep '^velunor: idle ' "$log" | sed -n "$1p" | awk '{print $3}')
    tick=$(awk -v idle="$idle" '$2 == "tick" && $3 == 1 && $4 >= idle {print $4; exit}' "$log")
    echo "scale=3; ($tick - $idle) / 1000" | bc
}

# A key through the desktop's input, for the show to end on.
key() {
    case $1 in
    sway) wtype -s 300 x ;;
    *) echo "key 30" >&7 ;;
    esac
}

# One row: the watcher on the running desktop NAME, its input started.
bench_watcher() {
    local name=$1 before after c0 c1 t0 t1 n0 n1
    : >"$log"
    "$velunor" --wayland --idle 3 --mode 1 --log-ticks 2>"$log" &
    watcher=$!
    lines 1 '^velunor: waiting' "$log" || { echo "$name: the watcher did not start: $(head -n 1 "$log")"; return; }
    before=$(waiting)
    lines 1 '^velunor: idle ' "$log" && lines 1 '^velunor: tick 2 ' "$log" || { echo "$name: no show"; return; }
    n0=$(grep -c '^velunor: tick ' "$log")
    c0=$(morva_cpu_ticks "$watcher")
    t0=$(date +%s.%N)
    sleep "$seconds"
    c1=$(morva_cpu_ticks "$watcher")
    t1=$(date +%s.%N)
    n1=$(grep -c '^velunor: tick ' "$log")
    key "$name"
    lines 1 '^velunor: awake ' "$log" || { echo "$name: the key did not end the show"; return; }
    after=$(waiting)
    lines 2 '^velunor: idle ' "$log" && lines 2 '^velunor: tick 1 ' "$log" || { echo "$name: no second show"; return; }
    key "$name"
    lines 2 '^velunor: awake ' "$log"
    awk -v name="$name" -v by="$(sed -n 's/^velunor: waiting .*(\(.*\))$/\1/p' "$log")" -v before="$before" \
        -v after="$after" -v s1="$(start_of 1)" -v s2="$(start_of 2)" -v n=$((n1 - n0)) -v c=$((c1 - c0)) \
        -v hz="$hz" -v wall="$(echo "$t1 - $t0" | bc)" 'BEGIN {
            split(before, b, " "); split(after, a, " ")
            printf "%-6s %-22s %7.1f %7.1f %7.1f %7.1f %8.2f %8.2f %8.1f %8.1f\n", name, by, b[1], b[2], a[1], a[2],
                s1, s2, n / wall, c / hz * 1000 / n }'
    kill -TERM "$watcher"
    wait "$watcher" 2>/dev/null
    watcher=
}

echo "$(bench_machine); load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-6s %-22s %7s %7s %7s %7s %8s %8s %8s %8s\n' desk 'idle from' 'MB' 'CPU %' 'MB' 'CPU %' 'start s' \
    'again s' 'ticks/s' 'CPU ms/t'
(
    morva_sway_start 1920x1080 "$MORVA_BENCH_WORK/sway.log" || { echo "sway did not start"; exit; }
    bench_watcher sway
)
(
    morva_kwin_start 1920x1080 1 1 "$MORVA_BENCH_WORK/kwin.log" || { echo "KWin did not start"; exit; }
    rm -f "$MORVA_BENCH_WORK/fifo"
    mkfifo "$MORVA_BENCH_WORK/fifo"
    exec 7<>"$MORVA_BENCH_WORK/fifo"
    morva_desktop_spawn "$MORVA_DESKTOP_DIR" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" -- \
        "$native/tests/linux/velunor_test_kwin" input <"$MORVA_BENCH_WORK/fifo" >"$MORVA_BENCH_WORK/input.out" 2>&1
    helper=$MORVA_DESKTOP_PID
    lines 1 '^ready$' "$MORVA_BENCH_WORK/input.out" && bench_watcher KWin || echo "KWin: no input"
    kill "$helper"
)
(
    morva_gnome_start "$MORVA_BENCH_WORK/gnome.log" 1920x1080 || { echo "GNOME Shell did not start"; exit; }
    rm -f "$MORVA_BENCH_WORK/fifo" "$MORVA_BENCH_WORK/input.out"
    mkfifo "$MORVA_BENCH_WORK/fifo"
    exec 7<>"$MORVA_BENCH_WORK/fifo"
    "$native/tests/linux/velunor_test_dbus" gnome-input <"$MORVA_BENCH_WORK/fifo" >"$MORVA_BENCH_WORK/input.out" 2>&1 &
    helper=$!
    lines 1 '^ready$' "$MORVA_BENCH_WORK/input.out" && bench_watcher GNOME || echo "GNOME: no input"
    kill "$helper"
)
echo "MB, CPU %: the watcher's resident memory and CPU share of one CPU while it waits, before its first show"
echo "and after a key ended one; start s, again s: from the idle notice to the first tick of the first and the"
echo "second show (the first frame is shown 60 ms before); ticks/s and CPU ms/t: the show's, over $seconds s."
