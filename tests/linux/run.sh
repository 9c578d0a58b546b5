#!/usr/bin/env bash
# Runs the tests of velunor, the X11 program, on private X servers.
#   tests/linux/run.sh BUILD_DIR [SUITE ...]     SUITE: e.g. show for linux_show.sh
# BUILD_DIR is a native build holding velunor. Every tests/linux/linux_*.sh
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
source "$ROOT/scripts/x-env.sh"
trap morva_x_cleanup EXIT
unset DISPLAY XSCREENSAVER_WINDOW

if [ ! -x "$VELUNOR" ]; then
    echo "linux: 0 passed, 1 failed ($VELUNOR was not built)"
    exit 1
fi
logroot=${MORVA_LINUX_LOGS:-$BUILD/linux-logs}
mkdir -p "$logroot"

source "$here/../cases.sh"

runner_before_suite() {
    export LINUX_LOGDIR=$SUITE_LOGDIR
    export LINUX_DATA=$LINUX_LOGDIR/data
    mkdir -p "$LINUX_DATA"
}

run_suites linux "$here" "$logroot" "$@"
