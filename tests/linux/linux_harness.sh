# The shell harness every suite stands on: the X servers of scripts/x-env.sh
# and the suite loop of tests/cases.sh, checked with servers of its own and
# a folder of made-up suites.

case_x_servers_started_together_get_their_own_displays_and_processes() {
    local i display pid displays=()
    # Started at the same moment, as parallel runs on one machine would.
    for i in 1 2 3; do
        morva_xvfb_start 320x240x24 >"server$i" &
    done
    wait
    for i in 1 2 3; do
        display=$(cat "server$i")
        [ -n "$display" ] || fail "server $i did not start"
        pid=$(morva_x_pid "$display")
        track_process "$pid"
        displays+=("$display")
        expect_eq "$(readlink "/proc/$pid/exe")" "$(readlink -f "$(command -v Xvfb)")" "program of $display"
        DISPLAY=$display xdpyinfo | grep -q 'dimensions: *320x240 ' || fail "$display is not the 320x240 server"
    done
    expect_eq "$(printf '%s\n' "${displays[@]}" | sort -u | wc -l)" 3 "distinct displays among ${displays[*]}"

    morva_x_stop "${displays[0]}"
    kill -0 "$(morva_x_pid "${displays[0]}")" 2>/dev/null && fail "${displays[0]} still runs after morva_x_stop"
    DISPLAY=${displays[1]} xdpyinfo >/dev/null || fail "stopping one server ended another"

    # A server that cannot start fails the start at once and leaves no pipe.
    local t0=$SECONDS
    morva_xvfb_start 320x240x24 -no-such-option >/dev/null 2>&1 && fail "a server with a bad option started"
    [ $((SECONDS - t0)) -lt 10 ] || fail "the failed start took $((SECONDS - t0)) s"
    expect_eq "$(ls "$MORVA_X_SERVERS".* 2>/dev/null)" "" "pipes left"
}

# A folder of suites for run_suites: "mixed" passes one case and fails one,
# "empty" has none, "good" passes one.
make_suites() {
    mkdir -p suites
    printf '%s\n' 'source "$ROOT/tests/cases.sh"' 'CASES_LOGDIR=$SUITE_LOGDIR' 'CASE_DIRS=0' >suites/lib.sh
    printf '%s\n' 'case_passes() { true; }' 'case_fails() { fail "on purpose"; }' >suites/made_mixed.sh
    : >suites/made_empty.sh
    printf '%s\n' 'case_passes() { echo "in $SUITE_LOGDIR"; }' >suites/made_good.sh
}

# Runs run_suites in a subshell with the hooks given as code; prints its
# output and its status last.
suites_run() {
    local hooks=$1
    shift
    (
        source "$ROOT/tests/cases.sh"
        # This suite's own cases and the runner's hooks are not the made-up
        # suites'.
        unset -f $(declare -F | awk '{print $3}' | grep '^case_') suite_setup suite_teardown \
            runner_before_suite runner_after_suite runner_total_note
        eval "$hooks"
        run_suites made "$CASE_DIR/suites" "$CASE_DIR/logs" "$@"
        echo "status $?"
    ) 2>&1
}

case_suite_loop_counts_every_suite_and_fails_on_a_failure_or_no_case() {
    make_suites
    local out
    out=$(suites_run '')
    echo "$out"
    grep -qx 'made empty: 0 passed, 0 failed' <<<"$out" || fail "no line of the empty suite"
    grep -qx 'made good: 1 passed, 0 failed' <<<"$out" || fail "no line of the good suite"
    grep -qx 'made mixed: 1 passed, 1 failed' <<<"$out" || fail "no line of the mixed suite"
    grep -q '^  FAIL fails ' <<<"$out" || fail "the failing case is not named"
    grep -q 'FAILED: on purpose' <<<"$out" || fail "the failing case's log is not shown"
    expect_eq "$(tail -n 2 <<<"$out" | tr '\n' '|')" "made: 2 passed, 1 failed|status 1|" "last lines"
    grep -qx "in $CASE_DIR/logs/good" logs/good/passes.log || fail "the case did not run in its suite's log folder"

    expect_eq "$(suites_run '' good | tail -n 2 | tr '\n' '|')" "made: 1 passed, 0 failed|status 0|" "the good suite alone"
    expect_eq "$(suites_run '' empty | tail -n 2 | tr '\n' '|')" "made: 0 passed, 0 failed|status 1|" "no case"
    expect_eq "$(suites_run '' none | grep -c 'FAIL no suite file')" 1 "a suite without a file"

    # The runner's hooks: a failure and a note added after a suite, and a
    # note on the last line.
    out=$(suites_run 'runner_after_suite() { SUITE_FAILED=$((SUITE_FAILED + 1)); SUITE_NOTE=" (checked $1)"; }
        runner_total_note() { echo " (all checked)"; }' good)
    echo "$out"
    grep -qx 'made good: 1 passed, 1 failed (checked good)' <<<"$out" || fail "the after-suite hook was not applied"
    expect_eq "$(tail -n 2 <<<"$out" | tr '\n' '|')" "made: 1 passed, 1 failed (all checked)|status 1|" "with the hooks"
}
