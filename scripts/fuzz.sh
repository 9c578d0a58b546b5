#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UBSan) and runs each for a bounded time from its seed corpus.
#   scripts/fuzz.sh                 20 s a target (the "fuzz" suite of run-tests.sh)
#   scripts/fuzz.sh --long 600      600 s a target
#   scripts/fuzz.sh [--long S] NAME...   only the named targets (settings_text, bmp, ripple_engine)
# The corpus grows in $MORVA_BUILD_DIR/fuzz-corpus (the committed seeds in
# fuzz/corpus are only read); a failing input lands in
# $MORVA_BUILD_DIR/fuzz-artifacts. Prints one line per target with its
# executions and coverage, then "fuzz: N passed, M failed".
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MORVA_BUILD_DIR:-$root/build}
seconds=20
if [ "${1:-}" = --long ]; then
    seconds=${2:-600}
    shift 2 || shift
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(settings_text bmp ripple_engine)

mkdir -p "$out"
echo "== fuzz build"
if ! CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$out/fuzz" -G Ninja >"$out/fuzz-cmake.log" 2>&1 ||
   ! cmake --build "$out/fuzz" -j 2 >>"$out/fuzz-cmake.log" 2>&1; then
    tail -n 30 "$out/fuzz-cmake.log"
    echo "fuzz: 0 passed, ${#targets[@]} failed (build)"
    exit 1
fi

passed=0
failed=0
mkdir -p "$out/fuzz-artifacts"
for t in "${targets[@]}"; do
    corpus=$out/fuzz-corpus/$t
    mkdir -p "$corpus"
    log=$out/fuzz-$t.log
    # One process, one job: libFuzzer's own limit of 2 s an input catches hangs.
    "$out/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=2 -print_final_stats=1 \
        -artifact_prefix="$out/fuzz-artifacts/$t-" "$corpus" "$root/fuzz/corpus/$t" >"$log" 2>&1
    rc=$?
    runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$log" | tail -n 1)
    cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)
    if [ $rc -eq 0 ] && grep -q '^Done ' "$log"; then
        passed=$((passed + 1))
        echo "  ok   $t: ${runs:-?} executions in ${seconds} s, $cov, corpus $(ls "$corpus" | wc -l) inputs"
    else
        failed=$((failed + 1))
        echo "  FAIL $t (exit $rc), log $log"
        grep -E 'ERROR|SUMMARY|runtime error|^ripple|^bmp|^settings|Test unit written' "$log" | head -n 10 | sed 's/^/       | /'
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
