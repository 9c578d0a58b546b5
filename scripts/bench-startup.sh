#!/usr/bin/env bash
# Time from `wine Morva.scr /s` to the show's first frame, and where it goes,
# on Xvfb screens of 1920 x 1080, 3840 x 2160 and 7680 x 4320 (depth 24;
# MORVA_BENCH_SIZES="WxH ..." for others):
#   - in-process, each phase of the preparation (bench/startup/startup_bench);
#   - from outside, the whole process: Wine's relay trace of a few calls
#     that mark the phases' borders, stamped as each line arrives. The first
#     SetDIBitsToDevice is the first frame.
#   scripts/bench-startup.sh BUILD_DIR [RUNS]      (a cross build)
set -u
source "$(dirname "$0")/bench-env.sh" wine
bench_build "${1:-}" "bench-startup.sh BUILD_DIR [RUNS]"
runs=${2:-5}
scr=$MORVA_BENCH_BUILD/app/Morva.scr
bench=$MORVA_BENCH_BUILD/bench/startup/startup_bench.exe
[ -f "$scr" ] && [ -f "$bench" ] || { echo "build Morva and startup_bench in $MORVA_BENCH_BUILD first" >&2; exit 1; }

bench_work startup

# The calls that mark the borders between phases, in the order they come.
marks=(OleLoadPicture GetTempFileNameA LoadImageA OleCreatePictureIndirect CreateWindowExA SetDIBitsToDevice)

morva_wine_prefix "$MORVA_BENCH_WORK/prefix" || exit 1
morva_media
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "$(IFS=';'; echo "${marks[*]}")" /f \
    >/dev/null 2>&1
wineserver -w

# One start of the show, traced: prints "call ms" for the first call of each
# mark after the launch, then ends the show. Wine's own timestamps are not
# on a clock the shell can read, so lines are stamped as they arrive.
traced_start() {
    WINEDEBUG=-all,+relay timeout 60 wine "$scr" /s 2>&1 >/dev/null | perl -MTime::HiRes=time -e '
        my $start = time; my %seen;
        $| = 1;
        while (<STDIN>) {
            next unless /Call [\w.]*\.(\w+)\(/;
            my $name = $1;
            my $ms = (time - $start) * 1000;
            next if $seen{$name}++;
            printf "%s %.0f\n", $name, $ms;
            if ($name eq "SetDIBitsToDevice") { system("xdotool key a"); exit 0; }
        }
    '
}

bench_machine
for size in ${MORVA_BENCH_SIZES:-1920x1080 3840x2160 7680x4320}; do
    geometry=${size}x24
    WINEPREFIX=$MORVA_BENCH_WORK/prefix wineserver -k 2>/dev/null
    WINEPREFIX=$MORVA_BENCH_WORK/prefix wineserver -w
    [ -z "${display:-}" ] || morva_x_stop "$display"
    display=$(morva_xvfb_start "$geometry") || exit 1
    morva_wine_use "$MORVA_BENCH_WORK/prefix" "$display"
    wineserver -p

    # Output to files, not pipes: the services that the first program of a
    # server starts keep its output open for as long as the server lives.
    echo "== ${geometry%x*}: preparation phases, in-process"
    wine "$bench" "$runs" >"$MORVA_BENCH_WORK/bench.txt" 2>/dev/null
    tr -d '\r' <"$MORVA_BENCH_WORK/bench.txt"

    echo "== ${geometry%x*}: wine Morva.scr /s, from the launch (ms; relay-traced, warm wineserver)"
    traced_start >/dev/null
    for run in $(seq 1 "$runs"); do
        traced_start | awk '{at[$1] = $2} END {
            print at["OleLoadPicture"], at["GetTempFileNameA"], at["LoadImageA"], at["OleCreatePictureIndirect"],
                at["CreateWindowExA"], at["SetDIBitsToDevice"] }'
    done | awk '
        function median(k,   n, i, j, t, v) {
            n = 0; for (i = 1; i <= NR; ++i) v[++n] = p[i, k]
            for (i = 1; i <= n; ++i) for (j = i + 1; j <= n; ++j) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
            return v[int((n + 1) / 2)]
        }
        BEGIN {
            split("start-up|decode, draw|capture, write|load, flip|images, rest|window, 1st tick|first frame", h, "|")
            for (k = 1; k <= 7; ++k) printf "%-17s", h[k]; printf "\n"
        }
        {
            p[NR, 1] = $1; p[NR, 2] = $2 - $1; p[NR, 3] = $3 - $2; p[NR, 4] = $4 - $3; p[NR, 5] = $5 - $4
            p[NR, 6] = $6 - $5; p[NR, 7] = $6
            for (k = 1; k <= 7; ++k) printf "%-17s", p[NR, k]; printf "\n"
        }
        END { for (k = 1; k <= 7; ++k) printf "%-17s", "median " median(k); printf "\n" }'
done
