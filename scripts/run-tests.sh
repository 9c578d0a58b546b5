#!/usr/bin/env bash
# Builds everything and runs every test suite:
#   native       platform-free unit tests (GoogleTest under ctest)
#   sanitizers   the same, built with AddressSanitizer and UBSan
#   fuzz         the libFuzzer targets of fuzz/, 20 s each (scripts/fuzz.sh)
#   linux        velunor, the native program, on private Xvfb servers and
#                headless Wayland compositors
#   win32        the cross-built unit and Windows tests, under Wine
#   e2e          Morva.scr driven end to end under Wine on Xvfb
# Wine's heap checking is on for Morva.scr and every test program in the
# win32 and e2e suites: a run that damages its heap fails its suite.
# Installs what is missing first (as root). Prints one summary line per
# suite and exits non-zero when any suite fails or runs no test.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MORVA_BUILD_DIR:-$root/build}
export MORVA_BUILD_DIR=$out

"$root/scripts/setup.sh" || exit 1
started=$(date +%s)

summary=()
status=0

# Runs one suite: its output to the screen and to a log, its summary line,
# "SUITE: N passed, M failed ...", with the suite's time to the summary.
#   run_suite SUITE NOTHING_RAN COMMAND...
# For ctest the counts come from its closing line; any other command prints
# the suite's line itself. NOTHING_RAN says why a suite without that line
# failed. A function note_SUITE, where defined, prints what goes after the
# counts and fails the suite by failing.
run_suite() {
    local suite=$1 nothing=$2 started=$SECONDS log line rc total failed note=
    shift 2
    echo "== $suite"
    log=$out/$suite.log
    [ "$1" = ctest ] && log=$out/$suite.ctest.log
    "$@" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    if [ "$1" = ctest ]; then
        line=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
        if [ -n "$line" ]; then
            total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
            failed=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$line")
            line="$suite: $((total - failed)) passed, $failed failed"
            [ "$failed" -eq 0 ] && [ "$total" -gt 0 ] || rc=1
        fi
    else
        line=$(grep -E "^$suite: [0-9]+ passed" "$log" | tail -n 1)
    fi
    [ -n "$line" ] || { line="$suite: 0 passed, 1 failed ($nothing)"; rc=1; }
    if declare -F "note_$suite" >/dev/null; then
        note=$("note_$suite") || rc=1
    fi
    summary+=("$line$note [$((SECONDS - started)) s]")
    [ "$rc" -eq 0 ] || status=1
}

# The win32 line says how many runs scripts/wine-test-run.sh heap-checked; a
# run with damage, or no checked run at all, fails the suite.
note_win32() {
    local runs faults
    runs=$(wc -l <"$MORVA_HEAPCHECK_LOG")
    faults=$(awk '{n += $2} END {print n + 0}' "$MORVA_HEAPCHECK_LOG")
    echo -n " (heap-checked: $runs runs, $faults err:heap lines)"
    [ "$runs" -gt 0 ] || { echo -n " NO HEAP-CHECKED RUN"; return 1; }
    [ "$faults" -eq 0 ]
}

echo "== build"
if ! "$root/scripts/build.sh" all; then
    echo "build: FAILED"
    exit 1
fi

run_suite native "ctest ran no test" ctest --test-dir "$out/native" --output-on-failure -j 2
run_suite sanitizers "ctest ran no test" ctest --test-dir "$out/asan" --output-on-failure -j 2
run_suite fuzz "no target ran" "$root/scripts/fuzz.sh"
run_suite linux "no case ran" "$root/tests/linux/run.sh" "$out/native"

source "$root/scripts/wine-env.sh"
trap morva_wine_cleanup EXIT
display=$(morva_xvfb_start 1024x768x24) || exit 1
rm -rf "$out/wine-prefix"
morva_wine_prefix "$out/wine-prefix"
morva_wine_use "$out/wine-prefix" "$display"
morva_wine_heapcheck "$out/win"
export WINEDEBUG=-all,err+heap

# Windows tests open windows; one at a time, so none takes another's focus.
# scripts/wine-test-run.sh fails a program whose heap was damaged and logs
# each run.
export MORVA_HEAPCHECK_LOG=$out/win32.heapcheck.log
: >"$MORVA_HEAPCHECK_LOG"
run_suite win32 "ctest ran no test" ctest --test-dir "$out/win" --output-on-failure -j 1
unset MORVA_HEAPCHECK_LOG

run_suite e2e "no case ran" env MORVA_E2E_READY=1 "$root/tests/e2e/run.sh" "$out/win"

echo
echo "== summary ($(($(date +%s) - started)) s)"
all_passed=0
all_failed=0
for line in "${summary[@]}"; do
    echo "$line"
    read -r p f < <(sed -E 's/^[^:]+: ([0-9]+) passed, ([0-9]+) failed.*/\1 \2/' <<<"$line")
    all_passed=$((all_passed + p))
    all_failed=$((all_failed + f))
done
echo "total: $all_passed passed, $all_failed failed"
[ $status -eq 0 ] && echo "all suites passed" || echo "SOME SUITES FAILED"
exit $status
