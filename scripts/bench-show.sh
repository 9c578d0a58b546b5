#!/usr/bin/env bash
# The real show, `wine Morva.scr /s` in mode 1, on Xvfb screens of 1920 x 1080,
# 3840 x 2160, 5120 x 2880 and 7680 x 4320 (depth 24; MORVA_BENCH_SIZES="WxH
# ..." for others). For each screen it prints, over the drop phase after the
# first two ticks (at most SECONDS seconds, default 15):
#   - ticks per second (each tick paints twice; the timer asks for 16.7);
#   - where a tick's time goes: the WM_TIMER handler in all, its two
#     SetDIBitsToDevice calls, and the rest of the handler (the drops and the
#     two ripple steps);
#   - the CPU share of the show's process and of the X server (which takes
#     the window's pixels from Wine) over the same time, and the show's CPU
#     time per tick: on a shared machine the handlers also wait for a CPU,
#     so 1000 / (CPU ms a tick) is the rate an idle CPU would allow;
#   - the process's peak memory (VmHWM) and the time to the first frame.
# Wine's relay trace of SetDIBitsToDevice and DispatchMessageA gives the
# calls with their Wine timestamps (milliseconds); /proc gives the rest.
#   scripts/bench-show.sh BUILD_DIR [SECONDS]      (a cross build)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: bench-show.sh BUILD_DIR [SECONDS]}" && pwd)
seconds=${2:-15}
scr=$build/app/Morva.scr
[ -f "$scr" ] || { echo "build Morva in $build first" >&2; exit 1; }
source "$root/scripts/wine-env.sh"

work=$(mktemp -d /tmp/morva-bench-show.XXXXXX)
xvfb_pid=
saver_pid=
cleanup() {
    [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    [ -n "${MORVA_KEEP:-}" ] && cp "$work/trace.txt" /tmp/morva-bench-show-trace.txt 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

morva_wine_prefix "$work/prefix" || exit 1
cp "$root/res/media/Morva0001.jpg" "$root/res/media/4.mid" "$(morva_windir)/"
printf '\r\n1' >"$(morva_windir)/Morvalst.txt"
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
    /d 'gdi32.SetDIBitsToDevice;user32.DispatchMessageA' /f >/dev/null 2>&1
wineserver -w

# Clock ticks of a process (user and system) from /proc.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

echo "CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs; Wine $(wine --version 2>/dev/null)"
printf '%-10s %8s %8s %9s %9s %9s %8s %8s %8s %9s %8s\n' screen 'ticks/s' ticks 'tick ms' 'paint ms' 'steps ms' \
    'CPU %' 'CPU ms/t' 'X CPU %' 'peak MB' 'start s'
hz=$(getconf CLK_TCK)
for size in ${MORVA_BENCH_SIZES:-1920x1080 3840x2160 5120x2880 7680x4320}; do
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
    WINEPREFIX=$work/prefix wineserver -w
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    display=$(morva_xvfb_start "${size}x24") || exit 1
    xvfb_pid=$(tr -d ' ' <"/tmp/.X${display#:}-lock")
    morva_wine_use "$work/prefix" "$display"

    trace=$work/trace.txt
    launched=$(date +%s.%N)
    WINEDEBUG=-all,+relay,+timestamp wine "$scr" /s >/dev/null 2>"$trace" &
    saver_pid=$!
    # Wait for the third tick (six paints), then watch the process for the
    # measuring time or until the drop phase (ticks 1 to 199) would end.
    first=
    for i in $(seq 1 1200); do
        n=$(grep -c 'Ret  gdi32.SetDIBitsToDevice' "$trace" 2>/dev/null)
        [ -z "$first" ] && [ "$n" -ge 1 ] && first=$(date +%s.%N)
        [ "$n" -ge 4 ] && break
        kill -0 "$saver_pid" 2>/dev/null || break
        sleep 0.05
    done
    if ! kill -0 "$saver_pid" 2>/dev/null || [ -z "$first" ]; then
        echo "$size: the show did not start"
        saver_pid=
        continue
    fi
    cpu0=$(cpu_ticks "$saver_pid")
    xcpu0=$(cpu_ticks "$xvfb_pid")
    t0=$(date +%s.%N)
    mark0=$(wc -l <"$trace")
    for i in $(seq 1 $((seconds * 10))); do
        sleep 0.1
        [ "$(grep -c 'Ret  gdi32.SetDIBitsToDevice' "$trace")" -ge 380 ] && break
    done
    cpu1=$(cpu_ticks "$saver_pid")
    xcpu1=$(cpu_ticks "$xvfb_pid")
    t1=$(date +%s.%N)
    mark1=$(wc -l <"$trace")
    peak=$(awk '/^VmHWM/ {print $2}' "/proc/$saver_pid/status")
    DISPLAY=$display xdotool key a
    for i in $(seq 1 100); do kill -0 "$saver_pid" 2>/dev/null || break; sleep 0.1; done
    saver_pid=

    # Ticks and the time of their parts from the lines written while
    # measuring: "S.mmm:tid:Call|Ret  dll.Function(...)".
    sed -n "$((mark0 + 1)),${mark1}p" "$trace" | awk -v size="$size" \
        -v cpu=$(((cpu1 - cpu0))) -v xcpu=$(((xcpu1 - xcpu0))) -v hz="$hz" -v wall="$(echo "$t1 - $t0" | bc)" \
        -v peak="$peak" -v start="$(echo "$first - $launched" | bc)" '
        match($0, /^ *[0-9]+\.[0-9]+:/) { t = substr($0, RSTART, RLENGTH - 1) + 0 } 
        /:Call user32\.DispatchMessageA/ { d0 = t; depth++ }
        /:Ret  user32\.DispatchMessageA/ { if (depth) { depth--; if (painted) { ticks++; handler += t - d0;
                                                 if (!tfirst) tfirst = d0; tlast = d0 } painted = 0 } }
        /:Call gdi32\.SetDIBitsToDevice/ { p0 = t }
        /:Ret  gdi32\.SetDIBitsToDevice/ { if (p0) { paint += t - p0; paints++; painted = 1 } }
        END {
            if (ticks < 2) { printf "%-10s too few ticks measured\n", size; exit }
            rate = (ticks - 1) / (tlast - tfirst)
            printf "%-10s %8.1f %8d %9.1f %9.1f %9.1f %8.0f %8.1f %8.0f %9.0f %8.2f\n", size, rate, ticks,
                handler * 1000 / ticks, paint * 1000 / ticks, (handler - paint) * 1000 / ticks,
                cpu / hz / wall * 100, cpu / hz * 1000 / (wall * rate), xcpu / hz / wall * 100, peak / 1024, start
        }'
done
echo "ticks/s: WM_TIMER handlers that painted, per second of Wine time; tick ms: one handler, of which paint ms"
echo "(its two SetDIBitsToDevice calls) and steps ms (drops and two ripple steps); CPU %: of one CPU over the"
echo "measured time, the show's process; CPU ms/t: its CPU time per tick; X CPU %: the X server's share;"
echo "peak MB: VmHWM; start s: launch to the first frame (traced; bench-startup.sh times the start)."
