#!/usr/bin/env bash
# velunor --wayland on headless sway beside the X11 program at the same
# size, in one run, mode 1, in the drop phase after the first two ticks:
#   X11      velunor --root on an Xvfb screen of depth 24
#   Wayland  velunor --wayland on sway (pixman renderer) with one or two
#            outputs of that size
# at 1920 x 1080 (one and two outputs) and 3840 x 2160 (one output). For
# each row, over at most SECONDS seconds (default 15):
#   - ticks per second per output, from the --log-ticks lines (the show
#     asks for 16.7; on Wayland each output ticks when its frame was shown);
#   - velunor's CPU share and its CPU time per tick per output, of all its
#     threads (the target: Wayland within 10 % of X11 at the same size);
#   - the display server's CPU share (Xvfb, or sway compositing the frames);
#   - velunor's peak memory (VmHWM);
#   - the time from launch to the first tick on every output.
#   scripts/bench-wayland.sh NATIVE_BUILD [SECONDS]
# MORVA_BENCH_BASELINE=DIR (a native build, or a folder with native/ as
# bench-show.sh takes it) adds a row of DIR's velunor, "X11-0" or
# "Wayland-0", right before each of the build's own. scripts/bench-show.sh
# runs it after its own rows.
set -u
source "$(dirname "$0")/bench-env.sh"
source "$MORVA_BENCH_ROOT/scripts/wayland-env.sh"
bench_build "${1:-}" "bench-wayland.sh NATIVE_BUILD [SECONDS]"
native=$MORVA_BENCH_BUILD
seconds=${2:-15}
velunor=$native/velunor/velunor
[ -x "$velunor" ] || { echo "no velunor in $native: the Wayland rows are left out (scripts/build.sh native)"; exit 1; }
baseline=
for dir in ${MORVA_BENCH_BASELINE:+"$MORVA_BENCH_BASELINE" "$MORVA_BENCH_BASELINE/native"}; do
    [ -x "$dir/velunor/velunor" ] && baseline=$dir/velunor/velunor && break
done
[ -z "${MORVA_BENCH_BASELINE:-}" ] || [ -n "$baseline" ] || { echo "no velunor in $MORVA_BENCH_BASELINE"; exit 1; }

bench_work wayland
show_pid=
bench_cleanup() {
    [ -n "$show_pid" ] && kill "$show_pid" 2>/dev/null
    morva_wayland_cleanup
}
hz=$(getconf CLK_TCK)

# Waits up to 10 s for a process to end.
wait_gone() {
    local i
    for i in $(seq 1 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
}

# The fewest tick lines of any of the outputs named in a log.
fewest_ticks() {
    local log=$1 name fewest= n
    shift
    for name in "$@"; do
        n=$(grep -c "^velunor: tick .*$name\$" "$log" 2>/dev/null)
        [ -z "$fewest" ] || [ "$n" -lt "$fewest" ] && fewest=$n
    done
    echo "${fewest:-0}"
}

# Runs `program` (velunor, or the baseline's) with the arguments given while
# SERVER (a process) displays it, and prints one row, its label ending in
# `suffix`. OUTPUTS are the ends of its tick lines, one per output: the
# output names (on X11 the lines end in the time: "[0-9]").
#   bench_row LABEL SIZE SERVER "OUTPUTS" ARGS...
bench_row() {
    local label=$1 size=$2 server=$3 outputs=$4 log=$MORVA_BENCH_WORK/velunor.log launched first= i cpu0 scpu0 t0
    local mark0 mark1 cpu scpu wall peak
    shift 4
    label+=$suffix
    # Emptied here: the child that starts the show empties it only once it
    # runs, and until then the last row's ticks would be read as this one's.
    : >"$log"
    launched=$(date +%s.%N)
    "$program" "$@" --mode 1 --log-ticks >/dev/null 2>"$log" &
    show_pid=$!
    # Ready once every output has ticked twice; the start is the moment
    # every output has ticked once.
    for i in $(seq 1 1200); do
        [ -z "$first" ] && [ "$(fewest_ticks "$log" $outputs)" -ge 1 ] && first=$(date +%s.%N)
        [ "$(fewest_ticks "$log" $outputs)" -ge 2 ] && break
        kill -0 "$show_pid" 2>/dev/null || break
        sleep 0.02
    done
    if ! kill -0 "$show_pid" 2>/dev/null || [ -z "$first" ]; then
        printf '%-9s %-10s the show did not start: %s\n' "$label" "$size" \
            "$(grep -v '^velunor: tick' "$log" | head -n 1)"
        show_pid=
        return
    fi
    cpu0=$(morva_cpu_ticks "$show_pid")
    scpu0=$(morva_cpu_ticks "$server")
    t0=$(date +%s.%N)
    mark0=$(wc -l <"$log")
    # Until the drop phase (ticks 1 to 199) would end on any output.
    for i in $(seq 1 $((seconds * 10))); do
        sleep 0.1
        [ "$(fewest_ticks "$log" $outputs)" -ge 190 ] && break
    done
    cpu=$(($(morva_cpu_ticks "$show_pid") - cpu0))
    scpu=$(($(morva_cpu_ticks "$server") - scpu0))
    wall=$(echo "$(date +%s.%N) - $t0" | bc)
    mark1=$(wc -l <"$log")
    peak=$(awk '/^VmHWM/ {print $2}' "/proc/$show_pid/status")
    kill -TERM "$show_pid"
    wait_gone "$show_pid"
    show_pid=

    sed -n "$((mark0 + 1)),${mark1}p" "$log" | awk -v label="$label" -v size="$size" -v cpu="$cpu" \
        -v scpu="$scpu" -v hz="$hz" -v wall="$wall" -v peak="$peak" \
        -v start="$(echo "$first - $launched" | bc)" '
        $1 == "velunor:" && $2 == "tick" {
            out = NF >= 5 ? $5 : "x11"; n[out]++; if (n[out] == 1) t0[out] = $4; t1[out] = $4; ticks++ }
        END {
            outputs = 0; worst = 0
            for (o in n) {
                if (n[o] < 2 || t1[o] == t0[o]) { printf "%-9s %-10s too few ticks measured\n", label, size; exit }
                rate = (n[o] - 1) * 1000 / (t1[o] - t0[o]); sum += rate; outputs++
                if (!worst || rate < worst) worst = rate
            }
            printf "%-9s %-10s %7d %8.1f %8.1f %8d %8.0f %9.1f %8.0f %8.0f %8.2f\n", label, size, outputs,
                sum / outputs, worst, ticks, cpu / hz / wall * 100, cpu / hz * 1000 / ticks,
                scpu / hz / wall * 100, peak / 1024, start
        }'
}

# velunor --root on an Xvfb screen of SIZE.
bench_x11() {
    local size=$1 display
    display=$(morva_xvfb_start "${size}x24") || { echo "no Xvfb of $size"; return; }
    DISPLAY=$display bench_row X11 "$size" "$(morva_x_pid "$display")" "[0-9]" --root
    morva_x_stop "$display"
}

# velunor --wayland on a headless sway with COUNT outputs of SIZE side by
# side.
bench_sway() {
    local size=$1 count=$2 n names=HEADLESS-1
    (
        morva_sway_start "$size" "$MORVA_BENCH_WORK/sway.log" || { echo "sway did not start"; exit; }
        for n in $(seq 2 "$count"); do
            swaymsg create_output >/dev/null &&
                swaymsg output "HEADLESS-$n" mode "$size" pos $(((n - 1) * ${size%x*})) 0 >/dev/null
            names+=" HEADLESS-$n"
        done
        bench_row Wayland "$size" "$MORVA_SWAY_PID" "$names" --wayland
        kill "$MORVA_SWAY_PID"
        wait_gone "$MORVA_SWAY_PID"
    )
}

echo "$(bench_machine); sway $(sway --version | awk '{print $3}'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
# A row of the baseline's velunor first, where there is one, then the build's.
#   rows bench_x11|bench_sway ARGS...
rows() {
    [ -z "$baseline" ] || program=$baseline suffix=-0 "$@"
    program=$velunor suffix= "$@"
}

printf '%-9s %-10s %7s %8s %8s %8s %8s %9s %8s %8s %8s\n' show output outputs 'ticks/s' 'slowest' ticks \
    'CPU %' 'CPU ms/t' 'srv CPU%' 'peak MB' 'start s'
rows bench_x11 1920x1080
rows bench_sway 1920x1080 1
rows bench_sway 1920x1080 2
rows bench_x11 3840x2160
rows bench_sway 3840x2160 1
echo "ticks/s: per output, the mean of the outputs and the slowest one; CPU %: velunor's process over the"
echo "measured time, of one CPU; CPU ms/t: its CPU time per tick per output; srv CPU%: the display server"
echo "(Xvfb, or sway compositing); peak MB: velunor's VmHWM; start s: launch to the first tick on every output."
