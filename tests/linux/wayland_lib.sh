# Shared pieces of the Wayland suite (linux_wayland.sh), sourced after
# lib.sh: headless compositors for a case (scripts/wayland-env.sh),
# screenshots of their outputs, the suite's virtual pointer, and the lines
# a show logged.

source "$ROOT/scripts/wayland-env.sh"
TEST_POINTER=$BUILD/tests/linux/velunor_test_pointer

# A headless sway whose first output, HEADLESS-1, is WxH, for this case;
# SWAY_PID is its process.
sway_start() {
    morva_sway_start "${1:-1280x720}" "$CASE_DIR/sway.log" || fail "sway did not start (see sway.log)"
    SWAY_PID=$MORVA_SWAY_PID
    track_process "$SWAY_PID"
}

# swaymsg with its answer in the case's log; fails when sway refuses.
sway_do() {
    swaymsg "$@" >>"$CASE_DIR/swaymsg.log" 2>&1 || fail "swaymsg $* failed"
}

# A headless weston of WxH with its desktop shell, for this case.
weston_start() {
    morva_weston_start "$1" "$CASE_DIR/weston.log" || fail "weston did not start (see weston.log)"
    track_process "$MORVA_WESTON_PID"
}

# What sway shows on an output that nothing covers.
BARE=3f3f3f

# A screenshot of sway's output NAME as a PPM file.
output_shot() {
    grim -t ppm -o "$1" "$2" || fail "no screenshot of $1"
}

# A screenshot of weston's only output (its debug protocol).
weston_shot() {
    local taken
    rm -f wayland-screenshot-*.png
    weston-screenshooter || fail "no screenshot from weston"
    taken=$(ls wayland-screenshot-*.png 2>/dev/null | head -n 1)
    [ -n "$taken" ] || fail "weston wrote no screenshot"
    mv "$taken" "$1"
}

# Runs the suite's virtual pointer through its steps (see test_pointer.cpp).
pointer() {
    "$TEST_POINTER" "$@" || fail "the virtual pointer failed: $*"
}

# Waits up to 10 s for the tick line N of output NAME in a log (velunor.err
# by default).
wait_output_tick() {
    wait_tick "$1" "${3:-velunor}" "$2"
}

# Waits up to 10 s for output NAME to be covered by COLOUR (rrggbb): PIXELS
# of that colour in its screenshot.
wait_covered() {
    local i
    for i in $(seq 1 100); do
        output_shot "$1" covered.ppm
        [ "$(count_color covered.ppm "$2")" = "$3" ] && return 0
        sleep 0.1
    done
    fail "$1 is not covered by #$2"
}

# The lines of a log other than its ticks.
messages() {
    grep -v '^velunor: tick ' "$CASE_DIR/${1:-velunor}.err"
}
