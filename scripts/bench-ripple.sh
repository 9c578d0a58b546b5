#!/bin/bash
# Builds the ripple benchmark natively (Google Benchmark) and for Windows (run
# under Wine), runs both and prints their summary tables. The full output of
# each run is kept beside the builds.
#   scripts/bench-ripple.sh [benchmark options, e.g. --benchmark_filter=Step]
# MORVA_BENCH_DIR (default build/bench-ripple) holds the builds, the logs
# and the Wine prefix.
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" wine
out=${MORVA_BENCH_DIR:-${MORVA_BUILD_DIR:-$MORVA_BENCH_ROOT/build}/bench-ripple}
mkdir -p "$out"

cmake -S "$MORVA_BENCH_ROOT" -B "$out/native" -G Ninja -DMORVA_TESTS=OFF >/dev/null
cmake --build "$out/native" --target ripple_bench -j2 >/dev/null
cmake -S "$MORVA_BENCH_ROOT" -B "$out/win" -G Ninja -DMORVA_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$MORVA_BENCH_ROOT/cmake/toolchain-i686-mingw32.cmake" >/dev/null
cmake --build "$out/win" --target ripple_bench -j2 >/dev/null

summary() {
    sed -n '/^Step, ns per pixel/,$p' "$1"
}

bench_machine
echo
echo "== native build (Google Benchmark), fastest of 3 repetitions"
"$out/native/bench/ripple_bench" --benchmark_repetitions=3 "$@" >"$out/native.log" 2>&1
summary "$out/native.log"

echo
echo "== Windows build under Wine, fastest of 3 repetitions"
morva_wine_prefix "$out/wineprefix"
wine "$out/win/bench/ripple_bench.exe" --benchmark_repetitions=3 "$@" >"$out/win.log" 2>&1
summary "$out/win.log"
echo
echo "Full output: $out/native.log, $out/win.log"
