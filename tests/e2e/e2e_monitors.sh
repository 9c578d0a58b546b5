# Two monitors: an 800x600 primary and a 640x480 monitor to its right, the
# screens of a nested X server (Xephyr) joined by Xinerama, and beside it a
# single 800x600 screen to compare with, both inside an Xvfb of their own.
# Wine reads the monitors from Xinerama when the prefix's UseXRandR is "N",
# and only when its server starts: a case moves the prefix's server to the
# display it needs (the case names keep the one-monitor cases together).

MONITORS_SECOND_AREA=640x480+800+0
MONITORS_SECOND_POINT="1000 200"

suite_setup() {
    MONITORS_SAVED=$(mktemp -d /tmp/morva-e2e-monitors.XXXXXX)
    [ -e "$(windir)/Morvalst.txt" ] && cp -p "$(windir)/Morvalst.txt" "$MONITORS_SAVED/"
    cp "$E2E_MEDIA/Morva0001.jpg" "$E2E_MEDIA/4.mid" "$(windir)/"
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /t REG_SZ /d N /f >/dev/null 2>&1
    MONITORS_RUN_DISPLAY=$DISPLAY
    MONITORS_HOST=$(morva_xvfb_start 1600x800x24) || return 1
    export MONITORS_TWO MONITORS_ONE
    MONITORS_TWO=$(morva_xephyr_start "$MONITORS_HOST" 800x600 640x480) || return 1
    MONITORS_ONE=$(morva_xephyr_start "$MONITORS_HOST" 800x600) || return 1
    # A stand-in for the desktop on the second monitor: what the show must hide.
    convert -size 640x480 xc:'#ff00ff' "$E2E_LOGDIR/desktop.png"
    : >"$E2E_LOGDIR/.server-display"
}

suite_teardown() {
    wineserver -k 2>/dev/null
    wineserver -w
    morva_x_stop "$MONITORS_ONE"
    morva_x_stop "$MONITORS_TWO"
    morva_x_stop "$MONITORS_HOST"
    export DISPLAY=$MONITORS_RUN_DISPLAY
    wine reg delete 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /f >/dev/null 2>&1
    rm -f "$(windir)/Morvalst.txt"
    cp -p "$MONITORS_SAVED"/* "$(windir)/" 2>/dev/null
    rm -rf "$MONITORS_SAVED"
    morva_wine_use "$WINEPREFIX" "$DISPLAY"
}

# Runs the rest of the case on the display (MONITORS_ONE or MONITORS_TWO),
# restarting the prefix's server there unless it already runs there.
on_display() {
    export DISPLAY=$1
    if [ "$(cat "$E2E_LOGDIR/.server-display")" != "$1" ]; then
        wineserver -k 2>/dev/null
        wineserver -w
        morva_wine_use "$WINEPREFIX" "$1"
        echo "$1" >"$E2E_LOGDIR/.server-display"
    fi
}

stored_mode() { morva_settings "$1" Velunor; }

# Starts the show with the pointer at the given place and waits for its
# window and its first frame, which the primary shows instead of black (by
# then the pointer's first report has come as well); the last screenshot is
# $E2E_LOGDIR/start.png.
start_show_with_pointer_at() {
    xdotool mousemove "$1" "$2"
    saver_start /s
    saver_window >/dev/null || fail "no full-screen window appeared"
    for i in $(seq 1 100); do
        screenshot "$E2E_LOGDIR/start.png"
        # One more, which a frame still being put cannot have cut short.
        [ "$(brightest "$E2E_LOGDIR/start.png" 800x600+0+0)" -gt 0 ] && screenshot "$E2E_LOGDIR/start.png" && return
    done
    fail "the primary stays black"
}

# The saver's visible windows as "X,Y WxH" lines, left to right.
saver_windows() {
    local id
    for id in $(morva_xwinfind -p "$SAVER_PID"); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        echo "$X,$Y ${WIDTH}x$HEIGHT"
    done | sort -n
}

# The brightest value of any colour channel inside an area of a screenshot
# (0 to 255).
brightest() {
    convert "$1" -crop "$2" +repage -separate -append -format '%[fx:int(255*maxima+.5)]' info:
}

expect_ended_with_0() {
    saver_wait 10 || fail "$1 did not end the show"
    expect_eq "$SAVER_EXIT" 0 "exit code"
}

case_one_monitor_has_the_show_window_only() {
    on_display "$MONITORS_ONE"
    start_show_with_pointer_at 300 300
    expect_eq "$(saver_windows)" "0,0 800x600" "windows"
    xdotool key a
    expect_ended_with_0 "a key"
}

# With the water kept flat (a stored mode without drops) every frame is the
# picture, so the two runs can be compared pixel for pixel.
case_primary_shows_the_same_picture_as_a_single_monitor() {
    stored_mode 9
    on_display "$MONITORS_ONE"
    start_show_with_pointer_at 300 300
    mv "$E2E_LOGDIR/start.png" "$E2E_LOGDIR/one.png"
    xdotool key a
    expect_ended_with_0 "a key on one monitor"

    on_display "$MONITORS_TWO"
    start_show_with_pointer_at 300 300
    mv "$E2E_LOGDIR/start.png" "$E2E_LOGDIR/two.png"
    xdotool key a
    expect_ended_with_0 "a key on two monitors"

    differing=$(compare -metric AE -crop 800x600+0+0 "$E2E_LOGDIR/one.png" "$E2E_LOGDIR/two.png" null: 2>&1)
    echo "differing pixels on the primary: $differing"
    expect_eq "$differing" 0 "pixels of the primary that differ from the single-monitor show"
}

case_two_monitors_second_is_black_while_the_show_runs() {
    stored_mode 1
    on_display "$MONITORS_TWO"
    display -geometry +800+0 "$E2E_LOGDIR/desktop.png" &
    track_process $!
    await_colour "$E2E_LOGDIR/before.png" 1000 200 255,0,255 || fail "no stand-in desktop before the show"

    start_show_with_pointer_at 300 300
    expect_eq "$(saver_windows | tr '\n' ' ')" "0,0 800x600 800,0 640x480 " "windows"
    screenshot "$E2E_LOGDIR/during.png"
    expect_eq "$(brightest "$E2E_LOGDIR/during.png" "$MONITORS_SECOND_AREA")" 0 "brightest channel on the second monitor"
    [ "$(brightest "$E2E_LOGDIR/during.png" 800x600+0+0)" -gt 0 ] || fail "the primary is black"
    saver_running || fail "the show ended by itself"

    xdotool key a
    expect_ended_with_0 "a key"
    screenshot "$E2E_LOGDIR/after.png"
    expect_eq "$(screen_pixel "$E2E_LOGDIR/after.png" 1000 200)" "255,0,255" "the desktop after the show"
}

case_two_monitors_pointer_resting_on_the_second_keeps_the_show_until_it_moves() {
    on_display "$MONITORS_TWO"
    # shellcheck disable=SC2086
    start_show_with_pointer_at $MONITORS_SECOND_POINT
    saver_running || fail "the show ended with the pointer resting on the second monitor"
    xdotool mousemove 1001 200
    expect_ended_with_0 "a one-pixel move on the second monitor"
}

case_two_monitors_pointer_moving_from_the_primary_to_the_second_ends_the_show() {
    on_display "$MONITORS_TWO"
    start_show_with_pointer_at 300 300
    saver_running || fail "the show ended by itself"
    # shellcheck disable=SC2086
    xdotool mousemove $MONITORS_SECOND_POINT
    expect_ended_with_0 "a move onto the second monitor"
}

case_two_monitors_click_on_the_second_ends_the_show() {
    on_display "$MONITORS_TWO"
    # shellcheck disable=SC2086
    start_show_with_pointer_at $MONITORS_SECOND_POINT
    saver_running || fail "the show ended by itself"
    xdotool click 1
    expect_ended_with_0 "a click on the second monitor"
}

case_two_monitors_key_with_the_pointer_on_the_second_ends_the_show() {
    on_display "$MONITORS_TWO"
    # shellcheck disable=SC2086
    start_show_with_pointer_at $MONITORS_SECOND_POINT
    saver_running || fail "the show ended by itself"
    xdotool key a
    expect_ended_with_0 "a key with the pointer on the second monitor"
}
