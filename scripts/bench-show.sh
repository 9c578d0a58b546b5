#!/usr/bin/env bash
# The real show at 1920 x 1080, 3840 x 2160, 5120 x 2880 and 7680 x 4320 on
# Xvfb screens of depth 24 (MORVA_BENCH_SIZES="WxH ..." for others), in mode
# 1 (MORVA_BENCH_MODE=2 for mode 2): the Windows show, `wine Morva.scr /s`,
# and beside it on the same screen the native X11 program, `velunor --root
# --mode 1`. For each screen and show it prints, over the drop phase after
# the first two ticks (at most SECONDS seconds, default 15):
#   - ticks per second (the timer asks for 16.7);
#   - for the Windows show, where a tick's time goes: the WM_TIMER handler in
#     all, its two SetDIBitsToDevice calls, and the rest of the handler (the
#     drops and the two ripple steps);
#   - the CPU share of the show's process and of the X server (which takes
#     the window's pixels from Wine, or the shared-memory image from velunor)
#     over the same time, and the show's CPU time per tick: on a shared
#     machine the ticks also wait for a CPU, so 1000 / (CPU ms a tick) is the
#     rate an idle CPU would allow;
#   - the process's peak memory (VmHWM) and the time to the first frame.
# Then scripts/bench-wayland.sh prints velunor --wayland's rows on headless
# sway.
# Wine's relay trace of SetDIBitsToDevice and DispatchMessageA gives the
# Windows show's calls with their Wine timestamps (milliseconds); velunor's
# --log-ticks lines give its ticks with the monotonic clock; /proc gives the
# rest.
#   scripts/bench-show.sh BUILD_DIR [SECONDS]
# BUILD_DIR is a cross build (build/win); velunor comes from the native build
# beside it (build/native, or MORVA_BENCH_NATIVE_BUILD). A show whose build
# is missing is left out with a note. MORVA_BENCH_BASELINE=DIR (a build
# folder with win/ and native/, say of the commit before a change) adds rows
# of its shows, "wine-0" and "native-0", right before the build's own.
# MORVA_BENCH_SKIP=N measures from tick N instead of 2 (200: the settling
# water of the mode-1 cycle, ticks 200 to 470).
set -u
source "$(dirname "$0")/bench-env.sh" wine
bench_build "${1:-}" "bench-show.sh BUILD_DIR [SECONDS]"
seconds=${2:-15}
skip=${MORVA_BENCH_SKIP:-2}
mode=${MORVA_BENCH_MODE:-1}
scr=$MORVA_BENCH_BUILD/app/Morva.scr
native=${MORVA_BENCH_NATIVE_BUILD:-$(dirname "$MORVA_BENCH_BUILD")/native}
velunor=$native/velunor/velunor
[ -f "$scr" ] ||
    { echo "no Morva.scr in $MORVA_BENCH_BUILD: the Windows show is left out (scripts/build.sh win)"; scr=; }
[ -x "$velunor" ] || { echo "no velunor in $native: the native show is left out (scripts/build.sh native)"; velunor=; }
[ -n "$scr$velunor" ] || exit 1
base_scr=
base_velunor=
if [ -n "${MORVA_BENCH_BASELINE:-}" ]; then
    base=$MORVA_BENCH_BASELINE
    [ ! -f "$base/win/app/Morva.scr" ] || [ -z "$scr" ] || base_scr=$base/win/app/Morva.scr
    [ ! -x "$base/native/velunor/velunor" ] || [ -z "$velunor" ] || base_velunor=$base/native/velunor/velunor
fi

bench_work show
xvfb_pid=
saver_pid=
bench_cleanup() {
    [ -z "$saver_pid" ] || kill "$saver_pid" 2>/dev/null
    [ -z "${MORVA_BENCH_KEEP:-}" ] ||
        cp "$MORVA_BENCH_WORK/trace.txt" "$MORVA_BENCH_BUILD/bench-show-trace.txt" 2>/dev/null
}

if [ -n "$scr" ]; then
    morva_wine_prefix "$MORVA_BENCH_WORK/prefix" || exit 1
    morva_media
    morva_settings "$mode"
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
        /d 'gdi32.SetDIBitsToDevice;user32.DispatchMessageA' /f >/dev/null 2>&1
    wineserver -w
fi

# Waits up to 10 s for a process to end.
wait_gone() {
    local i
    for i in $(seq 1 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
}

# Watches a show process writing LOG, one line matching PATTERN a frame or
# tick: waits for the first such line and for READY of them, then measures
# for up to `seconds` or until there are ENOUGH. Sets first (the time of the
# first line), cpu and xcpu (clock ticks of the show and the X server), wall
# (seconds), mark0 and mark1 (the log's line counts around the measuring)
# and peak (VmHWM, kB). False when the show did not start.
#   watch_show PID LOG PATTERN READY ENOUGH
watch_show() {
    local pid=$1 log=$2 pattern=$3 ready=$4 enough=$5 i n cpu0 xcpu0 t0
    first=
    for i in $(seq 1 $((1200 + ready * 2))); do
        n=$(grep -c "$pattern" "$log" 2>/dev/null)
        [ -z "$first" ] && [ "$n" -ge 1 ] && first=$(date +%s.%N)
        [ "$n" -ge "$ready" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    kill -0 "$pid" 2>/dev/null && [ -n "$first" ] || return 1
    cpu0=$(morva_cpu_ticks "$pid")
    xcpu0=$(morva_cpu_ticks "$xvfb_pid")
    t0=$(date +%s.%N)
    mark0=$(wc -l <"$log")
    for i in $(seq 1 $((seconds * 10))); do
        sleep 0.1
        [ "$(grep -c "$pattern" "$log")" -ge "$enough" ] && break
    done
    cpu=$(($(morva_cpu_ticks "$pid") - cpu0))
    xcpu=$(($(morva_cpu_ticks "$xvfb_pid") - xcpu0))
    wall=$(echo "$(date +%s.%N) - $t0" | bc)
    mark1=$(wc -l <"$log")
    peak=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status")
}

# The Windows show SCR on DISPLAY: one table row.
#   bench_wine SIZE LABEL SCR
bench_wine() {
    local size=$1 label=$2 scr=$3 trace=$MORVA_BENCH_WORK/trace.txt launched first cpu xcpu wall mark0 mark1 peak
    WINEPREFIX=$MORVA_BENCH_WORK/prefix wineserver -k 2>/dev/null
    WINEPREFIX=$MORVA_BENCH_WORK/prefix wineserver -w
    morva_wine_use "$MORVA_BENCH_WORK/prefix" "$DISPLAY"

    # Emptied here: the child that starts the show empties it only once it
    # runs, and until then the last row's lines would be read as this one's.
    : >"$trace"
    launched=$(date +%s.%N)
    WINEDEBUG=-all,+relay,+timestamp wine "$scr" /s >/dev/null 2>"$trace" &
    saver_pid=$!
    # Wait for the tick measured from (two paints each), then watch the
    # process for the measuring time or for 188 ticks more (from tick 2, the
    # drop phase: ticks 1 to 199).
    if ! watch_show "$saver_pid" "$trace" 'Ret  gdi32.SetDIBitsToDevice' $((skip * 2)) $(((skip + 188) * 2)); then
        printf '%-10s %-8s the show did not start\n' "$size" "$label"
        saver_pid=
        return
    fi
    xdotool key a
    wait_gone "$saver_pid"
    saver_pid=
    WINEPREFIX=$MORVA_BENCH_WORK/prefix wineserver -k 2>/dev/null

    # Ticks and the time of their parts from the lines written while
    # measuring: "S.mmm:tid:Call|Ret  dll.Function(...)".
    sed -n "$((mark0 + 1)),${mark1}p" "$trace" | awk -v size="$size" -v label="$label" \
        -v cpu="$cpu" -v xcpu="$xcpu" -v hz="$hz" -v wall="$wall" \
        -v peak="$peak" -v start="$(echo "$first - $launched" | bc)" '
        match($0, /^ *[0-9]+\.[0-9]+:/) { t = substr($0, RSTART, RLENGTH - 1) + 0 }
        /:Call user32\.DispatchMessageA/ { d0 = t; depth++ }
        /:Ret  user32\.DispatchMessageA/ { if (depth) { depth--; if (painted) { ticks++; handler += t - d0;
                                                 if (!tfirst) tfirst = d0; tlast = d0 } painted = 0 } }
        /:Call gdi32\.SetDIBitsToDevice/ { p0 = t }
        /:Ret  gdi32\.SetDIBitsToDevice/ { if (p0) { paint += t - p0; paints++; painted = 1 } }
        END {
            if (ticks < 2) { printf "%-10s %-8s too few ticks measured\n", size, label; exit }
            rate = (ticks - 1) / (tlast - tfirst)
            printf "%-10s %-8s %8.1f %8d %9.1f %9.1f %9.1f %8.0f %8.1f %8.0f %9.0f %8.2f\n", size, label, rate, ticks,
                handler * 1000 / ticks, paint * 1000 / ticks, (handler - paint) * 1000 / ticks,
                cpu / hz / wall * 100, cpu / hz * 1000 / (wall * rate), xcpu / hz / wall * 100, peak / 1024, start
        }'
}

# The native program VELUNOR on DISPLAY's root window, over the same phase:
# one table row from its "velunor: tick N MS" lines.
#   bench_native SIZE LABEL VELUNOR
bench_native() {
    local size=$1 label=$2 velunor=$3 log=$MORVA_BENCH_WORK/velunor.log launched first cpu xcpu wall mark0 mark1 peak
    : >"$log"
    launched=$(date +%s.%N)
    "$velunor" --root --mode "$mode" --log-ticks >/dev/null 2>"$log" &
    saver_pid=$!
    if ! watch_show "$saver_pid" "$log" '^velunor: tick ' "$skip" $((skip + 188)); then
        printf '%-10s %-8s the show did not start: %s\n' "$size" "$label" "$(grep -v '^velunor: tick' "$log" | head -n 1)"
        saver_pid=
        return
    fi
    kill -TERM "$saver_pid"
    wait_gone "$saver_pid"
    saver_pid=

    sed -n "$((mark0 + 1)),${mark1}p" "$log" | awk -v size="$size" -v label="$label" \
        -v cpu="$cpu" -v xcpu="$xcpu" -v hz="$hz" -v wall="$wall" \
        -v peak="$peak" -v start="$(echo "$first - $launched" | bc)" '
        $1 == "velunor:" && $2 == "tick" && NF == 4 { ticks++; if (ticks == 1) tfirst = $4; tlast = $4 }
        END {
            if (ticks < 2 || tlast == tfirst) { printf "%-10s %-8s too few ticks measured\n", size, label; exit }
            rate = (ticks - 1) * 1000 / (tlast - tfirst)
            printf "%-10s %-8s %8.1f %8d %9s %9s %9s %8.0f %8.1f %8.0f %9.0f %8.2f\n", size, label, rate, ticks,
                "-", "-", "-", cpu / hz / wall * 100, cpu / hz * 1000 / ticks, xcpu / hz / wall * 100, peak / 1024, start
        }'
}

bench_machine ${scr:+wine}
printf '%-10s %-8s %8s %8s %9s %9s %9s %8s %8s %8s %9s %8s\n' screen show 'ticks/s' ticks 'tick ms' 'paint ms' \
    'steps ms' 'CPU %' 'CPU ms/t' 'X CPU %' 'peak MB' 'start s'
hz=$(getconf CLK_TCK)
for size in ${MORVA_BENCH_SIZES:-1920x1080 3840x2160 5120x2880 7680x4320}; do
    [ -n "$xvfb_pid" ] && morva_x_stop "$DISPLAY"
    DISPLAY=$(morva_xvfb_start "${size}x24") || exit 1
    export DISPLAY
    xvfb_pid=$(morva_x_pid "$DISPLAY")
    [ -n "$base_scr" ] && bench_wine "$size" wine-0 "$base_scr"
    [ -n "$scr" ] && bench_wine "$size" wine "$scr"
    [ -n "$base_velunor" ] && bench_native "$size" native-0 "$base_velunor"
    [ -n "$velunor" ] && bench_native "$size" native "$velunor"
done
echo "ticks/s: ticks per second (wine: WM_TIMER handlers that painted, in Wine's time; native: velunor's logged"
echo "ticks, in the monotonic clock); tick ms: one handler, of which paint ms (its two SetDIBitsToDevice calls)"
echo "and steps ms (drops and two ripple steps); CPU %: of one CPU over the measured time, the show's process;"
echo "CPU ms/t: its CPU time per tick; X CPU %: the X server's share; peak MB: VmHWM; start s: launch to the"
echo "first frame (wine: traced, bench-startup.sh times the start; native: its first logged tick)."
# The Wayland rows, with the X11 program's at the same sizes beside them.
[ -n "$velunor" ] && { echo; "$MORVA_BENCH_ROOT/scripts/bench-wayland.sh" "$native" "$seconds"; }
