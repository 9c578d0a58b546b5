#!/usr/bin/env bash
# velunor beside a peer: XScreenSaver's own water hack, `ripples -root
# -delay 60000`, one after the other on the same Xvfb screen (depth 24) at
# 1920 x 1080 and 3840 x 2160 (MORVA_BENCH_SIZES="WxH ..." for others), each
# for SECONDS seconds (default 30) from its launch: the start, the drops and
# the settling water of a mode-1 cycle. For each program it prints
#   - its CPU share (user and system time of all its threads, and of any
#     child it waited for, over the wall time, in one CPU), and the ratio of
#     that to ripples' share;
#   - the X server's share over the same time, and the two together;
#   - velunor's ticks per second (from its --log-ticks lines; it asks for
#     16.7);
#   - its peak memory (VmHWM).
#   scripts/bench-peer.sh NATIVE_BUILD [SECONDS]
# MORVA_BENCH_BASELINE=DIR adds rows for DIR's velunor (another native
# build, say of the commit before a change) right before the build's own, so
# that both are measured in one run; MORVA_BENCH_PEER_THREADS="1 2" adds rows
# of velunor with --threads N.
set -u
source "$(dirname "$0")/bench-env.sh"
bench_build "${1:-}" "bench-peer.sh NATIVE_BUILD [SECONDS]"
seconds=${2:-30}
velunor=$MORVA_BENCH_BUILD/velunor/velunor
ripples=/usr/libexec/xscreensaver/ripples
[ -x "$velunor" ] || { echo "no velunor in $MORVA_BENCH_BUILD (scripts/build.sh native)"; exit 1; }
[ -x "$ripples" ] || { echo "no $ripples (scripts/setup.sh)"; exit 1; }
baseline=
if [ -n "${MORVA_BENCH_BASELINE:-}" ]; then
    baseline=$MORVA_BENCH_BASELINE/velunor/velunor
    [ -x "$baseline" ] || { echo "no velunor in $MORVA_BENCH_BASELINE"; exit 1; }
fi

bench_work peer
show_pid=
xvfb_pid=
bench_cleanup() {
    [ -z "$show_pid" ] || kill "$show_pid" 2>/dev/null
}
hz=$(getconf CLK_TCK)
cpu_with_children() { awk '{print $14 + $15 + $16 + $17}' "/proc/$1/stat" 2>/dev/null || echo 0; }

# Waits up to 10 s for a process to end.
wait_gone() {
    local i
    for i in $(seq 1 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
}

# Runs a program for `seconds` from its launch and prints its row; a
# velunor row gets its ticks from LOG.
#   bench_row LABEL SIZE COMMAND...
bench_row() {
    local label=$1 size=$2 log=$MORVA_BENCH_WORK/show.log t0 x0 cpu xcpu wall peak ticks
    shift 2
    x0=$(morva_cpu_ticks "$xvfb_pid")
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>"$log" &
    show_pid=$!
    sleep "$seconds"
    if ! kill -0 "$show_pid" 2>/dev/null; then
        printf '%-16s %-10s ended early: %s\n' "$label" "$size" "$(grep -v '^velunor: tick' "$log" | head -n 1)"
        show_pid=
        return
    fi
    cpu=$(cpu_with_children "$show_pid")
    xcpu=$(($(morva_cpu_ticks "$xvfb_pid") - x0))
    wall=$(echo "$(date +%s.%N) - $t0" | bc)
    peak=$(awk '/^VmHWM/ {print $2}' "/proc/$show_pid/status")
    ticks=$(awk '$1 == "velunor:" && $2 == "tick" && NF == 4 { n++; if (n == 1) a = $4; b = $4 }
                 END { if (n > 1 && b > a) printf "%.1f", (n - 1) * 1000 / (b - a); else print "-" }' "$log")
    kill -TERM "$show_pid"
    wait_gone "$show_pid"
    show_pid=
    rows+=("$label $size $cpu $xcpu $wall $peak $ticks")
}

# One table: every row of a size with its ratio to ripples' share.
print_rows() {
    printf '%s\n' "${rows[@]}" | awk -v hz="$hz" '
        { label[NR] = $1; size[NR] = $2; share[NR] = $3 / hz / $5; xshare[NR] = $4 / hz / $5
          peak[NR] = $6 / 1024; rate[NR] = $7; if ($1 == "ripples") peer[$2] = share[NR] }
        END {
            for (i = 1; i <= NR; ++i) {
                ratio = peer[size[i]] > 0 ? sprintf("%.2f", share[i] / peer[size[i]]) : "-"
                printf "%-16s %-10s %7.3f %7s %7.3f %7.3f %8s %8.0f\n", label[i], size[i], share[i], ratio,
                    xshare[i], share[i] + xshare[i], rate[i], peak[i]
            }
        }'
}

echo "$(bench_machine); $seconds s from each launch, load average $(cut -d' ' -f1-3 /proc/loadavg)"
rows=()
for size in ${MORVA_BENCH_SIZES:-1920x1080 3840x2160}; do
    [ -n "$xvfb_pid" ] && morva_x_stop "$DISPLAY"
    DISPLAY=$(morva_xvfb_start "${size}x24") || exit 1
    export DISPLAY
    xvfb_pid=$(morva_x_pid "$DISPLAY")
    [ -z "$baseline" ] || bench_row "velunor-before" "$size" "$baseline" --root --mode 1 --log-ticks
    bench_row velunor "$size" "$velunor" --root --mode 1 --log-ticks
    for threads in ${MORVA_BENCH_PEER_THREADS:-}; do
        bench_row "velunor-t$threads" "$size" "$velunor" --root --mode 1 --log-ticks --threads "$threads"
    done
    bench_row ripples "$size" "$ripples" -root -delay 60000
done
printf '%-16s %-10s %7s %7s %7s %7s %8s %8s\n' program screen 'CPU' ratio 'X CPU' both 'ticks/s' 'peak MB'
print_rows
echo "CPU: the program's share of one CPU (all threads, and children), ratio: to ripples' at that size;"
echo "X CPU: the Xvfb server's share over the same time; both: the two together; ticks/s: velunor's logged"
echo "ticks (16.7 asked for); peak MB: VmHWM at the end."
