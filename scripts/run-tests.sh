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

declare -a summary=()
status=0
suite_started=0

# Appends the time since the suite started to its summary line.
timed() {
    summary[-1]+=" [$(($(date +%s) - suite_started)) s]"
}

# Reads ctest's closing line from a log and records "suite: N passed, M failed",
# followed by any note given.
record_ctest() {
    local suite=$1 log=$2 rc=$3 note=${4:-} line total failed
    line=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        summary+=("$suite: 0 passed, 1 failed (ctest ran no test)")
        status=1
        return
    fi
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    failed=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    summary+=("$suite: $((total - failed)) passed, $failed failed$note")
    if [ "$rc" -ne 0 ] || [ "$failed" -ne 0 ] || [ "$total" -eq 0 ]; then
        status=1
    fi
}

run_ctest() {
    local suite=$1 dir=$2; shift 2
    echo "== $suite"
    suite_started=$(date +%s)
    local log=$out/$suite.ctest.log
    ctest --test-dir "$dir" --output-on-failure "$@" 2>&1 | tee "$log"
    record_ctest "$suite" "$log" "${PIPESTATUS[0]}" "${SUITE_NOTE:-}"
}

echo "== build"
if ! "$root/scripts/build.sh" all; then
    echo "build: FAILED"
    exit 1
fi

run_ctest native "$out/native" -j 2
timed
run_ctest sanitizers "$out/asan" -j 2
timed

echo "== fuzz"
suite_started=$(date +%s)
"$root/scripts/fuzz.sh" 2>&1 | tee "$out/fuzz.log"
fuzz_rc=${PIPESTATUS[0]}
line=$(grep -E '^fuzz: [0-9]+ passed' "$out/fuzz.log" | tail -n 1)
summary+=("${line:-fuzz: 0 passed, 1 failed (no target ran)}")
timed
[ "$fuzz_rc" -eq 0 ] && [ -n "$line" ] || status=1

echo "== linux"
suite_started=$(date +%s)
"$root/tests/linux/run.sh" "$out/native" 2>&1 | tee "$out/linux.log"
linux_rc=${PIPESTATUS[0]}
line=$(grep -E '^linux: [0-9]+ passed' "$out/linux.log" | tail -n 1)
summary+=("${line:-linux: 0 passed, 1 failed (no case ran)}")
timed
[ "$linux_rc" -eq 0 ] && [ -n "$line" ] || status=1

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
SUITE_NOTE=" (heap-checked)"
run_ctest win32 "$out/win" -j 1
runs=$(wc -l <"$MORVA_HEAPCHECK_LOG")
faults=$(awk '{n += $2} END {print n + 0}' "$MORVA_HEAPCHECK_LOG")
summary[-1]=${summary[-1]/(heap-checked)/(heap-checked: $runs runs, $faults err:heap lines)}
[ "$runs" -gt 0 ] || { summary[-1]+=" NO HEAP-CHECKED RUN"; status=1; }
[ "$faults" -eq 0 ] || status=1
timed
unset MORVA_HEAPCHECK_LOG SUITE_NOTE

echo "== e2e"
suite_started=$(date +%s)
MORVA_E2E_READY=1 "$root/tests/e2e/run.sh" "$out/win" 2>&1 | tee "$out/e2e.log"
e2e_rc=${PIPESTATUS[0]}
line=$(grep -E '^e2e: [0-9]+ passed' "$out/e2e.log" | tail -n 1)
summary+=("${line:-e2e: 0 passed, 1 failed (no case ran)}")
timed
[ "$e2e_rc" -eq 0 ] && [ -n "$line" ] || status=1

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
