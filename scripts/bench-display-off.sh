#!/usr/bin/env bash
# What the show costs with the display on, and while Windows reports it off:
# `wine Morva.scr /s` in mode 1 on an Xvfb of 3840 x 2160 (depth 24;
# MORVA_BENCH_SIZE=WxH for another), measured for SECONDS seconds (default
# 10) three times: display on, after the end-to-end helper reported it off
# into the show's process as the system would, and after it reported it on
# again. Prints the CPU share (of one CPU) of the show's process, of the X
# server and of the Wine server over each span, from utime + stime in /proc.
#   scripts/bench-display-off.sh BUILD_DIR [SECONDS]      (a cross build)
set -u
source "$(dirname "$0")/bench-env.sh" wine
bench_build "${1:-}" "bench-display-off.sh BUILD_DIR [SECONDS]"
seconds=${2:-10}
size=${MORVA_BENCH_SIZE:-3840x2160}
scr=$MORVA_BENCH_BUILD/app/Morva.scr
helper=$MORVA_BENCH_BUILD/tests/e2e/helper/e2e_helper.exe
[ -f "$scr" ] && [ -f "$helper" ] || { echo "build Morva and e2e_helper in $MORVA_BENCH_BUILD first" >&2; exit 1; }

bench_work display
saver_pid=
bench_cleanup() { [ -z "$saver_pid" ] || kill "$saver_pid" 2>/dev/null; }

display=$(morva_xvfb_start "${size}x24") || exit 1
xvfb_pid=$(morva_x_pid "$display")
morva_wine_prefix "$MORVA_BENCH_WORK/prefix" || exit 1
morva_wine_use "$MORVA_BENCH_WORK/prefix" "$display"
morva_media
morva_settings 1

# The Wine server of this prefix.
server_pid=$(morva_prefix_pids wineserver | tail -n 1)

hz=$(getconf CLK_TCK)

# One span: the CPU share of the show, the X server and the Wine server.
measure() {
    local label=$1 s0 x0 w0 t0 s1 x1 w1 t1
    s0=$(morva_cpu_ticks "$saver_pid"); x0=$(morva_cpu_ticks "$xvfb_pid"); w0=$(morva_cpu_ticks "${server_pid:-0}")
    t0=$(date +%s.%N)
    sleep "$seconds"
    s1=$(morva_cpu_ticks "$saver_pid"); x1=$(morva_cpu_ticks "$xvfb_pid"); w1=$(morva_cpu_ticks "${server_pid:-0}")
    t1=$(date +%s.%N)
    kill -0 "$saver_pid" 2>/dev/null || { echo "the show ended while measuring" >&2; exit 1; }
    awk -v l="$label" -v s=$((s1 - s0)) -v x=$((x1 - x0)) -v w=$((w1 - w0)) -v hz="$hz" \
        -v wall="$(echo "$t1 - $t0" | bc)" -v size="$size" \
        'BEGIN { printf "%-10s %-14s %8.1f %8.1f %10.1f %7.1f\n", size, l, s / hz / wall * 100,
                 x / hz / wall * 100, w / hz / wall * 100, wall }'
}

report() {
    local out
    out=$(wine "$helper" display "$1" 2>/dev/null | tr -d '\r')
    grep -qx 'result=1' <<<"$out" || { echo "the show did not take the report '$1': $out" >&2; exit 1; }
}

bench_machine wine
wine "$scr" /s >/dev/null 2>&1 &
saver_pid=$!
morva_xwinfind -w 120 -p "$saver_pid" >/dev/null ||
    { echo "no show window appeared" >&2; exit 1; }
# Past the start and the first ticks.
sleep 3
printf '%-10s %-14s %8s %8s %10s %7s\n' screen display 'show %' 'X %' 'server %' 'span s'
measure on
report off
measure off
report on
measure 'on again'
DISPLAY=$display xdotool key a
for i in $(seq 1 100); do kill -0 "$saver_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$saver_pid" 2>/dev/null && echo "the show did not end on a key" >&2
saver_pid=
echo "show %, X %, server %: CPU time of the show's process, the X server and the Wine server over the span,"
echo "as a share of one CPU (utime + stime from /proc)."
