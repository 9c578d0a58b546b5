# The full-screen show and the command-line dispatch, driven like the
# screen-saver machinery and a user would.

suite_setup() {
    cp "$E2E_MEDIA/Morva0001.jpg" "$E2E_MEDIA/4.mid" "$(windir)/"
}

# Starts the show and waits until its window covers the screen and its
# ticks paint: by then the pointer's first report has come as well.
start_show() {
    saver_start "${1:-/s}"
    SHOW_WINDOW=$(saver_window) || fail "no full-screen window appeared"
    saver_painting start || fail "the show does not paint"
    saver_running || fail "the show ended by itself"
}

# The window covers the screen; a key, Alt, Escape or a button ends the show.
case_window_covers_the_screen_and_input_ends_show_with_exit_code_0() {
    for input in "key a" "key alt" "key Escape" "click 3"; do
        start_show
        eval "$(xdotool getwindowgeometry --shell "$SHOW_WINDOW")"
        expect_eq "$X,$Y ${WIDTH}x$HEIGHT" "0,0 $SCREEN_SIZE" "the window's place"
        xdotool $input
        saver_wait 10 || fail "$input did not end the show"
        expect_eq "$SAVER_EXIT" 0 "$input: exit code"
    done
}

case_first_mouse_report_keeps_show_and_movement_ends_it() {
    xdotool mousemove 300 300
    start_show
    xdotool mousemove 301 300
    saver_wait 10 || fail "a one-pixel move did not end the show"
    expect_eq "$SAVER_EXIT" 0 "exit code"
}

case_losing_activation_ends_show() {
    start_show
    count_run e2e_helper.exe
    wine "$HELPER" activate 1500 >/dev/null 2>>"$E2E_LOGDIR/helper.err" &
    saver_wait 15 || fail "activating another window did not end the show"
    expect_eq "$SAVER_EXIT" 0 "exit code"
    wait
}

case_second_show_ends_at_once_and_leaves_the_first() {
    start_show
    first=$SAVER_PID
    saver_start /s
    saver_wait 10 || fail "the second show did not end at once"
    expect_eq "$SAVER_EXIT" 0 "second instance exit code"
    SAVER_PID=$first
    saver_running || fail "the first show was disturbed"
    xdotool key space
    saver_wait 10 || fail "the first show did not end on a key"
    expect_eq "$SAVER_EXIT" 0 "first instance exit code"
}

case_upper_case_and_unknown_switches_start_the_show() {
    for switch in /S /P /C /a; do
        start_show "$switch"
        xdotool key a
        saver_wait 10 || fail "$switch: no full-screen show to end"
        expect_eq "$SAVER_EXIT" 0 "$switch exit code"
    done
}

# Drops fall at the centre during the first 199 ticks, so the frames there
# go on changing; a show that did not tick would not.
case_show_animates_while_drops_fall() {
    start_show
    saver_painting frame || fail "the centre stopped changing"
    xdotool key a
    saver_wait 10 || fail "the show did not end"
}

case_preview_attaches_to_the_host_and_ends_with_it() {
    count_run e2e_helper.exe
    count_run Morva.scr
    out=$(wine "$HELPER" host "$(winepath -w "$SCR")" destroy 2>>"$E2E_LOGDIR/helper.err" | tr -d '\r')
    echo "$out"
    grep -qx "child_rect=0,0,$(grep -o 'host_client=[0-9x]*' <<<"$out" | cut -d= -f2 | tr x ,)" <<<"$out" ||
        fail "the preview does not fill the host's client area"
    grep -qx "child_owner_is_saver=1" <<<"$out" || fail "the child is not the saver's"
    grep -qx "child_style_child=1" <<<"$out" || fail "the preview is not a child window"
    grep -qx "saver_running_before_end=1" <<<"$out" || fail "the preview ended by itself"
    grep -qx "saver_ended=1" <<<"$out" || fail "the preview did not end with its host window"
    grep -qx "saver_exit_code=0" <<<"$out" || fail "the preview's exit code"
}

case_preview_ends_when_the_host_process_dies() {
    count_run e2e_helper.exe
    count_run Morva.scr
    wine "$HELPER" host "$(winepath -w "$SCR")" abandon >"$E2E_LOGDIR/abandon.out" 2>&1
    grep -q "child_rect=0,0" "$E2E_LOGDIR/abandon.out" || fail "no preview child was attached"
    for i in $(seq 1 100); do
        [ -n "$(saver_pids)" ] || return 0
        sleep 0.1
    done
    fail "the preview outlived its host by 10 s"
}

# The route of scripts/run-show.sh /p: the preview drawn in a captioned
# window of the preview host's own process, kept until the user closes it.
case_preview_host_window_shows_the_preview_until_closed() {
    local host id
    count_run preview_host.exe
    wine "${HELPER%/*}/preview_host.exe" --window 152 112 >>"$E2E_LOGDIR/preview_host.out" 2>&1 &
    host=$!
    track_process "$host"
    id=$(morva_xwinfind -w 20 -n Preview | head -n 1)
    [ -n "$id" ] || fail "no preview window appeared"
    eval "$(xdotool getwindowgeometry --shell "$id")"
    # Black around the tile's drop and rings; an empty host would be white.
    await_colour "$E2E_LOGDIR/preview-window.png" 10 $((HEIGHT - 10)) 0,0,0 "$id" || fail "the preview's corner is not black"
    kill -0 "$host" 2>/dev/null || fail "the preview window closed by itself"
    xdotool mousemove $((X + WIDTH - 10)) $((Y + 9)) click 1
    for i in $(seq 1 100); do
        kill -0 "$host" 2>/dev/null || break
        sleep 0.05
    done
    kill -0 "$host" 2>/dev/null && fail "the close button did not end the preview host"
    wait "$host"
    expect_eq $? 0 "preview host exit code"
}

case_preview_without_a_usable_window_ends_at_once() {
    for args in "/p" "/p 0" "/p 12345" "/p xyz"; do
        # shellcheck disable=SC2086
        saver_start $args
        saver_wait 10 || fail "'$args' did not end"
        expect_eq "$SAVER_EXIT" 0 "'$args' exit code"
    done
}

case_settings_switches_open_the_dialog_only() {
    for args in "" "/c" "/c:1234" "/pc"; do
        # shellcheck disable=SC2086
        saver_start $args
        dialog=$(saver_window) || fail "'$args': no settings dialog"
        name=$(xdotool getwindowname "$dialog")
        expect_eq "$name" "Velunor ScreenSaver" "'$args' dialog caption"
        # On a busy machine the dialog may show before it has the keyboard
        # focus; a key that reached nothing is pressed again.
        for try in 1 2 3; do
            xdotool key Escape
            saver_wait 4 && break
        done
        saver_running && fail "'$args': Esc did not close the dialog"
        expect_eq "$SAVER_EXIT" 0 "'$args' exit code"
    done
}

# The show's calls of SetDIBitsToDevice (two a tick) in its relay trace.
paint_calls() { grep -c 'Call gdi32\.SetDIBitsToDevice' "$1"; }

# Waits up to 20 s for 20 more paints in the trace.
await_paints() {
    local want=$(($(paint_calls "$1") + 20)) i
    for i in $(seq 1 200); do
        [ "$(paint_calls "$1")" -ge "$want" ] && return 0
        sleep 0.1
    done
    return 1
}

# The helper reports the display's state to the show as Windows would, into
# the show's own process. A relay trace of the show's SetDIBitsToDevice,
# mciSendCommandA and timer calls tells what it did meanwhile.
case_show_rests_while_the_display_is_off() {
    local trace=$E2E_LOGDIR/display-relay.txt out=$E2E_LOGDIR/display.out
    local timer='Call user32\.(Set|Kill)Timer\([0-9a-f]*,00000001'
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
        /d 'gdi32.SetDIBitsToDevice;winmm.mciSendCommandA;user32.SetTimer;user32.KillTimer' /f >/dev/null 2>&1
    count_run Morva.scr
    WINEDEBUG=$WINEDEBUG,+relay wine "$SCR" /s >/dev/null 2>"$trace" &
    SAVER_PID=$!
    track_process "$SAVER_PID"
    saver_window >/dev/null || fail "no full-screen window appeared"
    await_paints "$trace" || fail "the show does not paint"

    count_run e2e_helper.exe
    timeout 20 wine "$HELPER" display off >"$out" 2>>"$E2E_LOGDIR/helper.err"
    grep -q '^result=1' "$out" || fail "the show did not take the report: $(tr -d '\r' <"$out")"
    at_rest=$(wc -l <"$trace")
    saver_running || fail "the show ended while the display was off"
    head -n "$at_rest" "$trace" | grep -E "$timer" | tail -n 1 | grep -q KillTimer || fail "the timer was not stopped"
    head -n "$at_rest" "$trace" | grep 'Call winmm\.mciSendCommandA' | tail -n 1 | grep -q ',00000808,' ||
        fail "the tune was not stopped"

    count_run e2e_helper.exe
    timeout 20 wine "$HELPER" display on >"$out" 2>>"$E2E_LOGDIR/helper.err"
    grep -q '^result=1' "$out" || fail "the show did not take the report: $(tr -d '\r' <"$out")"
    tail -n +"$((at_rest + 1))" "$trace" | grep 'Call winmm\.mciSendCommandA' | head -n 1 | grep -q ',00000806,' ||
        fail "the tune did not go on"
    await_paints "$trace" || fail "the show did not go on painting"
    # The timer started again, and from its stop to then nothing was painted.
    timer=$timer awk '$0 ~ ENVIRON["timer"] { resting = /KillTimer/; starts += /SetTimer/ }
        /Call gdi32\.SetDIBitsToDevice/ { painted += resting }
        END { exit !(starts == 2 && !painted) }' "$trace" || fail "the show painted while resting, or did not wake"

    xdotool key a
    saver_wait 10 || fail "a key did not end the show"
    expect_eq "$SAVER_EXIT" 0 "exit code"
    wine reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1
}
