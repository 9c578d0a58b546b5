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

# Waits up to 10 s for tick N of COUNT outputs in a log (velunor.err by
# default), for compositors that do not name their outputs; prints their
# names.
#   outputs_ticked N COUNT [LOG]
outputs_ticked() {
    local n=$1 count=$2 log=$CASE_DIR/${3:-velunor}.err i names
    for i in $(seq 1 200); do
        names=$(awk -v n="$n" '$1 == "velunor:" && $2 == "tick" && $3 == n {print $5}' "$log" 2>/dev/null | sort -u)
        [ "$(grep -c . <<<"$names")" -ge "$count" ] && { echo $names; return 0; }
        sleep 0.05
    done
    fail "no tick $n of $count outputs in $log"
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

# The ticks of OUTPUT in a log, a line with their rate; fails on a gap under
# 30 ms: the show keeps 60 ms a tick (16.7 a second), and a tick up to half
# a period late leaves the next one due in time, never a burst.
paced() {
    awk -v out="$2" '/^velunor: tick / && $5 == out {
             if (last) {gap = $4 - last; sum += gap; n++; if (gap < 30) crowded++} last = $4}
         END {printf "%s: %.1f ticks/s, %d gaps under 30 ms\n", out, 1000 * n / sum, crowded; exit crowded > 0}' \
        "$CASE_DIR/$1.err" || fail "ticks less than 30 ms apart"
}

# The lines of a log other than its ticks.
messages() {
    grep -v '^velunor: tick ' "$CASE_DIR/${1:-velunor}.err"
}

# KDE's and GNOME's compositors (linux_desktops.sh), each with its own buses.
TEST_DBUS=$BUILD/tests/linux/velunor_test_dbus
TEST_KWIN=$BUILD/tests/linux/velunor_test_kwin

# KWin's virtual backend with COUNT outputs of WxH at SCALE; KWIN_PID.
kwin_start() {
    morva_kwin_start "$1" "$2" "${3:-1}" "$CASE_DIR/kwin.log" || fail "KWin did not start (see kwin.log)"
    KWIN_PID=$MORVA_KWIN_PID
    track_process "$KWIN_PID"
    local bus
    for bus in $MORVA_DESKTOP_BUSES; do track_process "$bus"; done
}

# GNOME Shell with monitors of WxH and WxH side by side; GNOME_PID.
gnome_start() {
    morva_gnome_start "$CASE_DIR/gnome-shell.log" "$1" "$2" || fail "GNOME Shell did not start (see gnome-shell.log)"
    GNOME_PID=$MORVA_GNOME_PID
    track_process "$GNOME_PID"
    local bus
    for bus in $MORVA_DESKTOP_BUSES; do track_process "$bus"; done
}

# KWin's screenshot of OUTPUT (at its physical pixels, with the pointer).
kwin_shot() {
    "$TEST_DBUS" kwin-shot "$1" "$2" || fail "no screenshot of $1"
}

# GNOME Shell's screenshot of monitor WxH+X+Y (with the pointer).
gnome_shot() {
    "$TEST_DBUS" gnome-shot "$CASE_DIR/screen.png" || fail "no screenshot from GNOME Shell"
    convert "$CASE_DIR/screen.png" -crop "$1" +repage "$2" || fail "no monitor $1 in the screenshot"
}

# The monotonic time in the Nth line matching PATTERN of the show's log
# (the last word of "velunor: idle MS" and the like).
log_time() {
    grep -- "$2" "$CASE_DIR/${3:-velunor}.err" | sed -n "$1p" | awk '{print $NF}'
}

# The compositor's input for the case: KWin's fake input (run as its user,
# as KWin offers it to no other) or a remote-desktop session of GNOME's.
# Steps go through a FIFO; each is done once the helper says so.
#   input_start kwin|gnome     input STEP (key CODE, press CODE, release
#                              CODE, move DX DY, click)
input_start() {
    mkfifo "$CASE_DIR/input.fifo"
    exec 7<>"$CASE_DIR/input.fifo"
    if [ "$1" = kwin ]; then
        morva_desktop_spawn "${XDG_RUNTIME_DIR%/run}" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" -- "$TEST_KWIN" input \
            <"$CASE_DIR/input.fifo" >"$CASE_DIR/input.out" 2>&1
        track_process "$MORVA_DESKTOP_PID"
    else
        "$TEST_DBUS" gnome-input <"$CASE_DIR/input.fifo" >"$CASE_DIR/input.out" 2>&1 &
        track_process $!
    fi
    wait_lines 1 '^ready$' input.out
}

input() {
    local done
    done=$(grep -c '^done$' "$CASE_DIR/input.out")
    echo "$*" >&7
    wait_lines $((done + 1)) '^done$' input.out
}

# All of an image is one colour RRGGBB.
all_of() {
    expect_eq "$(count_color "$1" "$2")" "$(identify -format '%[fx:w*h]' "$1")" "${3:-$1}: pixels of #$2"
}
