# The case harness of the shell-driven suites (tests/e2e, tests/linux): the
# loop over a folder's suites (run_suites, in the runner's shell) and the
# cases of one suite (run_suite_file, in a subshell per suite). A
# suite file defines functions named case_*, its cases, and may define
# suite_setup and suite_teardown. Each case runs in a subshell with its
# output in a log of its own and fails by returning non-zero or calling fail;
# the processes it records with track_process, and whatever CASE_CLEANUP
# (a function, if set) ends, are ended after it. With CASE_DIRS=1 each case
# also gets a folder of its own, CASE_DIR, as its working directory.
# The sourcing library sets CASES_LOGDIR, the suite's log folder
# (SUITE_LOGDIR).

CASES_PASSED=0
CASES_FAILED=0

fail() {
    echo "FAILED: $*"
    exit 1
}

expect_eq() {
    [ "$1" = "$2" ] || fail "${3:-value}: expected '$2', got '$1'"
}

# Records a process the case started, to be ended after it.
track_process() {
    echo "$1" >>"$CASES_LOGDIR/.started"
}

# Ends the recorded processes: SIGTERM, newest first, then SIGKILL to any
# still there a moment later.
end_tracked() {
    [ -f "$CASES_LOGDIR/.started" ] || return 0
    local pid
    for pid in $(tac "$CASES_LOGDIR/.started"); do
        kill -TERM "$pid" 2>/dev/null
    done
    sleep 0.2
    for pid in $(cat "$CASES_LOGDIR/.started"); do
        kill -KILL "$pid" 2>/dev/null
    done
    rm -f "$CASES_LOGDIR/.started"
}

# Runs one case; prints "ok" or "FAIL" with its time, and a failure's log.
run_case() {
    local name=$1 func=$2 started result tenths took
    started=$(date +%s%N)
    if [ "${CASE_DIRS:-0}" = 1 ]; then
        export CASE_DIR=$CASES_LOGDIR/$name
        mkdir -p "$CASE_DIR"
    fi
    ( set -u; cd "${CASE_DIR:-.}" && "$func" ) >"$CASES_LOGDIR/$name.log" 2>&1
    result=$?
    if [ -n "${CASE_CLEANUP:-}" ]; then
        "$CASE_CLEANUP"
    else
        end_tracked
    fi
    tenths=$((($(date +%s%N) - started) / 100000000))
    took=$((tenths / 10)).$((tenths % 10))
    if [ $result -eq 0 ]; then
        CASES_PASSED=$((CASES_PASSED + 1))
        echo "  ok   $name (${took}s)"
    else
        CASES_FAILED=$((CASES_FAILED + 1))
        echo "  FAIL $name (${took}s)"
        sed 's/^/       | /' "$CASES_LOGDIR/$name.log" | tail -n 15
    fi
}

# Runs the suite file $1 (sourced here, so run it in a subshell) and writes
# "PASSED FAILED" to $CASES_LOGDIR/.counts.
run_suite_file() {
    if [ ! -f "$1" ]; then
        echo "  FAIL no suite file $1"
        echo "0 1" >"$CASES_LOGDIR/.counts"
        return
    fi
    source "$1"
    declare -F suite_setup >/dev/null && suite_setup
    local c
    for c in $(declare -F | awk '{print $3}' | grep '^case_'); do
        run_case "${c#case_}" "$c"
    done
    declare -F suite_teardown >/dev/null && suite_teardown
    echo "$CASES_PASSED $CASES_FAILED" >"$CASES_LOGDIR/.counts"
}

# The suites named, or else every PREFIX*.sh in DIR, one name a line.
#   suite_names DIR PREFIX [SUITE ...]
suite_names() {
    local dir=$1 prefix=$2 f s
    shift 2
    if [ $# -gt 0 ]; then
        printf '%s\n' "$@"
        return
    fi
    for f in "$dir/$prefix"*.sh; do
        s=${f##*/"$prefix"}
        echo "${s%.sh}"
    done
}

# Runs the suites of a folder one by one, each in a subshell with the
# folder's lib.sh sourced and SUITE_LOGDIR, emptied first, as its log
# folder; prints a line per case, "NAME SUITE: N passed, M failed" per suite
# and last "NAME: N passed, M failed". False when a case failed or none ran.
#   run_suites NAME DIR LOGROOT [SUITE ...]     (the files DIR/NAME_SUITE.sh)
# The runner may define
#   runner_before_suite SUITE   run before the suite
#   runner_after_suite SUITE    run after it; may add to SUITE_FAILED and
#                               set SUITE_NOTE, put at the end of its line
#   runner_total_note           prints what goes at the end of the last line
run_suites() {
    local name=$1 dir=$2 logroot=$3 suite suites passed=0 failed=0 note=
    shift 3
    mapfile -t suites < <(suite_names "$dir" "${name}_" "$@")
    for suite in "${suites[@]}"; do
        export SUITE_LOGDIR=$logroot/$suite
        rm -rf "$SUITE_LOGDIR"
        mkdir -p "$SUITE_LOGDIR"
        ! declare -F runner_before_suite >/dev/null || runner_before_suite "$suite"
        echo "$name $suite:"
        ( source "$dir/lib.sh" && run_suite_file "$dir/${name}_$suite.sh" )
        read -r SUITE_PASSED SUITE_FAILED <"$SUITE_LOGDIR/.counts" || { SUITE_PASSED=0; SUITE_FAILED=1; }
        SUITE_NOTE=
        ! declare -F runner_after_suite >/dev/null || runner_after_suite "$suite"
        echo "$name $suite: $SUITE_PASSED passed, $SUITE_FAILED failed$SUITE_NOTE"
        passed=$((passed + SUITE_PASSED))
        failed=$((failed + SUITE_FAILED))
    done
    ! declare -F runner_total_note >/dev/null || note=$(runner_total_note)
    echo "$name: $passed passed, $failed failed$note"
    [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}
