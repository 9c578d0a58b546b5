#!/usr/bin/env bash
# Peak memory (VmHWM), and the time and CPU time from the start to the first
# tick of velunor --root showing pictures far larger than the screen (on a
# busy machine the CPU time says more than the time), on a private
# Xvfb of 1920x1080 (MORVA_BENCH_SIZE=WxH for another):
#   - claim:  a JPEG of 1024x768 whose header claims 65500x65500 pixels;
#   - 16000x12000 and 8000x6000: JPEGs of those sizes (the shipped picture
#     stretched over them, with a grain of noise so that they compress as a
#     photo does, about 2 bits a pixel);
#   - 8000x6000.png: the same as a PNG, a format that is decoded whole.
#   scripts/bench-pictures.sh BUILD_DIR [VELUNOR ...]
# BUILD_DIR is a native build with its tests (velunor_test_picture makes the
# pictures); the programs measured are its velunor, or each VELUNOR given
# (say another tree's build, for a before and after). A run whose resident
# memory passes MORVA_BENCH_PICTURE_MAX_MB (4096) or that has no tick after
# 120 s is killed and reported so: an older build decodes whatever a header
# claims, and the machine is shared.
set -u
source "$(dirname "$0")/bench-env.sh"
bench_build "${1:-}" "bench-pictures.sh BUILD_DIR [VELUNOR ...]"
shift
maker=$MORVA_BENCH_BUILD/tests/linux/velunor_test_picture
[ -x "$maker" ] || { echo "build velunor_test_picture in $MORVA_BENCH_BUILD first" >&2; exit 1; }
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=("$MORVA_BENCH_BUILD/velunor/velunor")
max_kb=$((${MORVA_BENCH_PICTURE_MAX_MB:-4096} * 1024))
size=${MORVA_BENCH_SIZE:-1920x1080}
bench_work pictures

shipped=$MORVA_BENCH_ROOT/res/media/Morva0001.jpg
"$maker" "$shipped" 1024x768 "$MORVA_BENCH_WORK/claim.jpg" --claim 65500x65500 || exit 1
"$maker" "$shipped" 16000x12000 "$MORVA_BENCH_WORK/16000x12000.jpg" || exit 1
"$maker" "$shipped" 8000x6000 "$MORVA_BENCH_WORK/8000x6000.jpg" || exit 1
"$maker" "$shipped" 8000x6000 "$MORVA_BENCH_WORK/8000x6000.png" || exit 1
export DISPLAY
DISPLAY=$(morva_xvfb_start "${size}x24") || exit 1

# One run: prints "first tick MS ms (CPU MS ms), peak memory MB MB", or how
# it was cut short.
measure() {
    local program=$1 picture=$2 log=$MORVA_BENCH_WORK/run.err pid t0 now rss ms cpu
    rm -f "$log"
    t0=$(date +%s%N)
    "$program" --root --log-ticks --picture "$picture" 2>"$log" &
    pid=$!
    while :; do
        now=$(date +%s%N)
        ms=$(((now - t0) / 1000000))
        if grep -q '^velunor: tick 1 ' "$log" 2>/dev/null; then
            break
        fi
        rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null)
        if [ -z "$rss" ]; then
            echo "ended before its first tick"
            return
        fi
        if [ "$rss" -gt "$max_kb" ] || [ "$ms" -gt 120000 ]; then
            kill -KILL "$pid"
            wait "$pid" 2>/dev/null
            echo "killed without a tick after $ms ms, at $((rss / 1024)) MB resident"
            return
        fi
        sleep 0.01
    done
    rss=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status")
    cpu=$(($(morva_cpu_ticks "$pid") * 1000 / $(getconf CLK_TCK)))
    kill -TERM "$pid"
    wait "$pid" 2>/dev/null
    echo "first tick $ms ms (CPU $cpu ms), peak memory $((rss / 1024)) MB$(grep -v '^velunor: tick ' "$log" | sed 's/^velunor: /; says: /' | head -n 1)"
}

echo "$(bench_machine); screen $size"
for program in "${programs[@]}"; do
    echo "$program:"
    for picture in claim.jpg 16000x12000.jpg 8000x6000.jpg 8000x6000.png; do
        printf '  %-16s %s\n' "$picture" "$(measure "$program" "$MORVA_BENCH_WORK/$picture")"
    done
done
