#!/usr/bin/env bash
# Soak test: the full-screen show under Wine at 1024 x 768 for a long time
# (mode 0, so mode-1 and mode-2 cycles of 471 and 701 ticks, about 28 s and
# 42 s, alternate, each restart closing and reopening the music), sampling
# the process's memory and GDI objects every 10 s. Not part of run-tests.sh.
#   tests/soak/soak.sh [MINUTES] [BUILD_DIR]    5 minutes by default; 30 for the long one
#
# Memory: VmRSS (and VmSize) of the Wine process, from /proc.
# GDI objects: GetGuiResources is a stub in Wine, so the count comes from
# Wine itself: with WINEDEBUG=trace+gdi every GDI handle allocated or freed
# in the process is logged with the process's live handle count
# ("allocated ... 66/65536"); a sample is the count logged last by the show's
# process before it. The show's process is the one that logs MCI commands
# (trace+mci), which also show the cycle restarts: the music is opened once
# at the start and once at every restart.
#
# Pass: the show runs throughout and ends on a key with exit code 0, it
# restarted at least once a cycle, and from the first sample after the first
# restart to the last, GDI objects grow by at most 2 and VmRSS by at most
# 4 MB. Figures go to stdout and to BUILD_DIR/soak/samples.txt.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
minutes=${1:-5}
build=$(cd "${2:-${MORVA_BUILD_DIR:-$root/build}/win}" && pwd)
out=$build/soak
mkdir -p "$out"
source "$root/scripts/wine-env.sh"
trap morva_wine_cleanup EXIT
display=$(morva_xvfb_start 1024x768x24) || exit 1
morva_wine_prefix "$out/prefix"
morva_wine_use "$out/prefix" "$display"

morva_media
morva_settings 0 soak

log=$out/trace.log
samples=$out/samples.txt
WINEDEBUG=-all,trace+gdi,trace+mci,+pid wine "$build/app/Morva.scr" /s >/dev/null 2>"$log" &
pid=$!
if ! morva_xwinfind -w 30 -p "$pid" >/dev/null; then
    echo "soak: no full-screen window"
    kill "$pid" 2>/dev/null
    exit 1
fi

show_wine_pid() { grep -a -m1 ':trace:mci:' "$log" | cut -d: -f1; }
gdi_count() {
    local wpid
    wpid=$(show_wine_pid)
    [ -n "$wpid" ] || { echo "?"; return; }
    # The handles are made at the start and per restart, not per tick, so
    # the last count logged may lie far back in the log.
    grep -a "^$wpid:[0-9a-f]*:trace:gdi:\(alloc\|free\)_gdi_handle" "$log" | tail -n 1 |
        sed -E 's/.* ([0-9]+)\/[0-9]+$/\1/'
}
status_kb() { awk -v k="$1:" '$1 == k {print $2}' "/proc/$pid/status" 2>/dev/null; }
opens() { grep -a -c ':trace:mci:mciSendCommandA (.*MCI_OPEN' "$log"; }

echo "soak: $minutes min at 1024x768, sampling every 10 s" | tee "$samples"
printf '%6s %8s %10s %10s %6s\n' seconds opens rss_kb vsize_kb gdi | tee -a "$samples"
started=$(date +%s)
end=$((started + minutes * 60))
status=0
while [ "$(date +%s)" -lt "$end" ]; do
    sleep 10
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "soak: the show ended by itself after $(($(date +%s) - started)) s"
        exit 1
    fi
    printf '%6d %8d %10s %10s %6s\n' $(($(date +%s) - started)) "$(opens)" "$(status_kb VmRSS)" \
        "$(status_kb VmSize)" "$(gdi_count)" | tee -a "$samples"
done

xdotool key a
exit_code=
for i in $(seq 1 200); do
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        exit_code=$?
        break
    fi
    sleep 0.05
done
if [ "$exit_code" != 0 ]; then
    echo "soak: the show did not end on a key with exit code 0 (${exit_code:-still running})"
    kill "$pid" 2>/dev/null
    status=1
fi

# The first sample taken after the first restart is the baseline: by then
# every per-cycle object has been made and freed once.
read -r first_opens first_rss first_gdi < <(awk 'NR > 2 && $2 >= 2 {print $2, $3, $5; exit}' "$samples")
read -r last_opens last_rss last_gdi < <(tail -n 1 "$samples" | awk '{print $2, $3, $5}')
restarts_expected=$((minutes * 60 / 42))
echo "soak: $((${last_opens:-1} - 1)) restarts, the music reopened at each (at least $restarts_expected expected)"
echo "soak: VmRSS ${first_rss:-?} kB -> ${last_rss:-?} kB; GDI objects ${first_gdi:-?} -> ${last_gdi:-?}"
if [ -z "${first_rss:-}" ] || [ $((${last_opens:-1} - 1)) -lt "$restarts_expected" ]; then
    echo "soak: FAILED: the show did not restart its cycles"
    status=1
elif [ $((last_rss - first_rss)) -gt 4096 ] || [ $((last_gdi - first_gdi)) -gt 2 ]; then
    echo "soak: FAILED: growth beyond 4096 kB or 2 GDI objects"
    status=1
fi
[ $status -eq 0 ] && echo "soak: passed"
exit $status
