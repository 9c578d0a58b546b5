#!/usr/bin/env bash
# Runs the tests of velunor, the X11 program, on private X servers.
#   tests/linux/run.sh BUILD_DIR [SUITE ...]     SUITE: e.g. show for linux_show.sh
# BUILD_DIR is a native build holding velunor/velunor. Every tests/linux/linux_*.sh
# is a suite: its functions named case_* are the cases, each run in a
# subshell with lib.sh loaded and the variables below set; a suite may define
# suite_setup and suite_teardown. A case fails by returning non-zero or
# calling fail; whatever it started through lib.sh is ended after it.
#   VELUNOR  the program     BUILD  the build dir     ROOT  the source tree
#   LINUX_DATA  a folder of the suite's own for files shared by its cases
# Prints one line per case, a summary line per suite and a last one,
# "linux: N passed, M failed"; exits 1 on any failure or when no case ran.
set -u
here=$(cd "$(dirname "$0")" && pwd)
export ROOT=$(cd "$here/../.." && pwd)
export BUILD=$(cd "${1:?usage: run.sh BUILD_DIR [SUITE ...]}" && pwd)
shift
export VELUNOR=$BUILD/velunor/velunor
source "$ROOT/scripts/wine-env.sh"
trap morva_wine_cleanup EXIT
unset DISPLAY XSCREENSAVER_WINDOW

if [ ! -x "$VELUNOR" ]; then
    echo "linux: 0 passed, 1 failed ($VELUNOR was not built)"
    exit 1
fi
logroot=${MORVA_LINUX_LOGS:-$BUILD/linux-logs}
mkdir -p "$logroot"

source "$here/../cases.sh"
mapfile -t suites < <(suite_names "$here" linux_ "$@")

total_passed=0
total_failed=0
for suite in "${suites[@]}"; do
    export LINUX_LOGDIR=$logroot/$suite
    export LINUX_DATA=$LINUX_LOGDIR/data
    rm -rf "$LINUX_LOGDIR"
    mkdir -p "$LINUX_DATA"
    echo "linux $suite:"
    ( source "$here/lib.sh" && run_suite_file "$here/linux_$suite.sh" )
    read -r passed failed <"$LINUX_LOGDIR/.counts" || { passed=0; failed=1; }
    echo "linux $suite: $passed passed, $failed failed"
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
done
echo "linux: $total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ] && [ "$total_passed" -gt 0 ]
