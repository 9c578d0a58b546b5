#!/usr/bin/env bash
# Runs the end-to-end suites (tests/e2e/e2e_*.sh) against a cross build.
#   tests/e2e/run.sh BUILD_DIR [SUITE ...]     SUITE: e.g. fullscreen
# Uses WINEPREFIX and DISPLAY when the caller has set them (MORVA_E2E_READY=1),
# otherwise makes a private prefix on a private 1024x768x24 Xvfb.
# Heap checking is on for Morva.scr and the helper programs: a suite whose
# logs hold any "err:heap" line from Wine fails.
# Prints a summary line per suite and a last one for all; exits 1 on any
# failure or when no case ran.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR [SUITE ...]}" && pwd)
shift
source "$root/scripts/wine-env.sh"

workdir=
trap 'morva_wine_cleanup; [ -z "$workdir" ] || rm -rf "$workdir"' EXIT
if [ "${MORVA_E2E_READY:-0}" != 1 ]; then
    workdir=$(mktemp -d "${TMPDIR:-/tmp}/morva-e2e.XXXXXX")
    display=$(morva_xvfb_start 1024x768x24) || exit 1
    morva_wine_prefix "$workdir/prefix"
    morva_wine_use "$workdir/prefix" "$display"
    morva_wine_heapcheck "$build"
fi
export WINEDEBUG=-all,err+heap
export SCREEN_SIZE=${SCREEN_SIZE:-$(xdpyinfo 2>/dev/null | awk '/dimensions:/{print $2; exit}')}
export SCR=$build/app/Morva.scr
export HELPER=$build/tests/e2e/helper/e2e_helper.exe
export E2E_MEDIA=$root/res/media
logroot=${MORVA_E2E_LOGS:-$build/e2e-logs}
mkdir -p "$logroot"

source "$here/../cases.sh"

runner_before_suite() { export E2E_LOGDIR=$SUITE_LOGDIR; }

# Each suite's Wine runs, and the heap faults Wine reported in its logs.
total_runs=0
total_faults=0
runner_after_suite() {
    local runs faults
    runs=$(cat "$E2E_LOGDIR"/.runs 2>/dev/null | wc -l)
    faults=$(grep -rh 'err:heap' "$E2E_LOGDIR" | wc -l)
    if [ "$faults" -gt 0 ]; then
        echo "  FAIL heap check: $faults err:heap line(s) in"
        grep -rl 'err:heap' "$E2E_LOGDIR" | sed 's/^/       | /'
        SUITE_FAILED=$((SUITE_FAILED + 1))
    fi
    SUITE_NOTE=" (heap-checked: $runs runs, $faults err:heap lines)"
    total_runs=$((total_runs + runs))
    total_faults=$((total_faults + faults))
}
runner_total_note() { echo " (heap-checked: $total_runs runs, $total_faults err:heap lines)"; }

run_suites e2e "$here" "$logroot" "$@"
