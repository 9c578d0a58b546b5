# velunor --wayland on headless compositors: sway (layer-shell, screencopy,
# virtual input) run as an unprivileged user, and weston's desktop shell
# (no layer-shell: the full-screen windows). Each case checks several
# things at once.

source "$(dirname "${BASH_SOURCE[0]}")/wayland_lib.sh"

suite_setup() {
    convert -size 64x48 xc:'#3366cc' PNG24:"$LINUX_DATA/blue.png"
    # Photos exactly at an output's size: shown pixel for pixel, and as the
    # renderer's input.
    convert "$ROOT/res/media/Morva0001.jpg" -resize '320x240!' -alpha off PNG24:"$LINUX_DATA/photo.png"
    convert "$LINUX_DATA/photo.png" -alpha set -define bmp:format=bmp4 "$LINUX_DATA/photo.bmp"
    convert "$ROOT/res/media/Morva0001.jpg" -resize '1280x720!' -alpha off PNG24:"$LINUX_DATA/photo720.png"
}

suite_teardown() {
    morva_wayland_cleanup
}

case_outputs_of_different_sizes_a_new_one_a_new_mode_and_scale_2_are_covered() {
    sway_start 1280x720
    sway_do create_output
    sway_do output HEADLESS-2 mode 800x600 pos 1280 0
    velunor_start --wayland --mode 7 --picture "$LINUX_DATA/blue.png" --log-ticks
    wait_output_tick 3 HEADLESS-1
    wait_output_tick 3 HEADLESS-2
    local name size
    for name in HEADLESS-1:1280x720 HEADLESS-2:800x600; do
        size=${name#*:}
        name=${name%:*}
        output_shot "$name" "$name.ppm"
        expect_eq "$(identify -format %wx%h "$name.ppm")" "$size" "size of $name"
        expect_eq "$(count_color "$name.ppm" 3366cc)" $((${size%x*} * ${size#*x})) "blue pixels of $name"
    done

    # An output made while it runs is covered.
    sway_do create_output
    wait_output_tick 1 HEADLESS-3
    output_shot HEADLESS-3 new.ppm
    local pixels
    pixels=$(identify -format '%[fx:w*h]' new.ppm)
    expect_eq "$(count_color new.ppm 3366cc)" "$pixels" "blue pixels of the new output"

    # A new mode: the show at the new size.
    sway_do output HEADLESS-2 mode 1024x768
    runs_on velunor HEADLESS-2
    output_shot HEADLESS-2 mode.ppm
    expect_eq "$(identify -format %wx%h mode.ppm)" 1024x768 "size of HEADLESS-2 after its new mode"
    expect_eq "$(count_color mode.ppm 3366cc)" $((1024 * 768)) "blue pixels after the new mode"
    messages | grep . && fail "messages"

    # Scale 2: buffers at the physical pixels, so a photo of exactly that
    # size is shown exactly, before and after the change.
    kill -TERM "$VELUNOR_PID"
    wait_end "$VELUNOR_PID"
    VELUNOR_LOG=photo velunor_start --wayland --mode 7 --picture "$LINUX_DATA/photo720.png" --log-ticks
    wait_output_tick 2 HEADLESS-1 photo
    output_shot HEADLESS-1 scale1.ppm
    expect_eq "$(differing scale1.ppm "$LINUX_DATA/photo720.png")" 0 "pixels off the photo at scale 1"
    sway_do output HEADLESS-1 scale 2
    runs_on photo HEADLESS-1
    output_shot HEADLESS-1 scale2.ppm
    expect_eq "$(identify -format %wx%h scale2.ppm)" 1280x720 "physical size at scale 2"
    expect_eq "$(differing scale2.ppm "$LINUX_DATA/photo720.png")" 0 "pixels off the photo at scale 2"
}

case_outputs_are_black_while_the_picture_loads_and_input_or_the_compositor_gone_then_end_it() {
    sway_start 640x480
    sway_do create_output
    sway_do output HEADLESS-2 mode 320x240 pos 640 0
    export TMPDIR=$CASE_DIR/tmp
    mkdir "$TMPDIR"
    # Pictures through FIFOs that have no writer: lonely.png gets none, and
    # its decoder waits for it for 2 s.
    mkfifo slow.png lonely.png
    velunor_start --wayland --mode 7 --picture "$CASE_DIR/slow.png" --log-ticks
    # Black, where a bare output is grey, until the test writes the picture;
    # then the picture, read once for both sizes.
    wait_covered HEADLESS-1 000000 $((640 * 480))
    wait_covered HEADLESS-2 000000 $((320 * 240))
    grep -q '^velunor: tick ' velunor.err && fail "ticked before the picture came"
    cat "$LINUX_DATA/blue.png" >slow.png
    wait_covered HEADLESS-1 3366cc $((640 * 480))
    wait_covered HEADLESS-2 3366cc $((320 * 240))
    messages | grep . && fail "messages"
    kill -TERM "$VELUNOR_PID"
    wait_end "$VELUNOR_PID"

    local how decoder status
    for how in key watcher compositor; do
        VELUNOR_LOG=$how velunor_start --wayland $([ $how = watcher ] && echo --idle 1) --mode 7 \
            --picture "$CASE_DIR/lonely.png" --log-ticks
        decoder=$(decoder_of "$VELUNOR_PID")
        [ -n "$decoder" ] || fail "no decoder was seen ($how)"
        # A key once its surface is there, and so its keyboard.
        [ $how = compositor ] || { wait_covered HEADLESS-1 000000 $((640 * 480)) && wtype -s 300 x; }
        case $how in
        key) status=0 ;;
        watcher)
            # The watcher's show ends and takes its decoder along; the
            # watcher's next show gives the picture up at the decoder's
            # deadline, says so, and shows the shipped one.
            wait_lines 1 '^velunor: awake ' watcher.err
            kill -0 "$decoder" 2>/dev/null && fail "the decoder $decoder is left after the watcher's show"
            messages watcher >first.txt
            wait_tick 2 watcher
            grep -q "^velunor: cannot load picture $CASE_DIR/lonely.png: " watcher.err ||
                fail "no line for the picture given up"
            kill -TERM "$VELUNOR_PID"
            status=143 ;;
        compositor)
            kill -KILL "$SWAY_PID"
            status=1 ;;
        esac
        wait_end "$VELUNOR_PID"
        expect_eq "$END_STATUS" $status "status ($how during the load)"
        [ $how = watcher ] || messages $how >first.txt
        grep -v '^velunor: \(waiting\|idle\|awake\) ' first.txt | grep . && fail "messages ($how): the load ended first"
        kill -0 "$decoder" 2>/dev/null && fail "the decoder $decoder is left ($how)"
        expect_eq "$(ls "$TMPDIR")" "" "files left in TMPDIR ($how)"
    done
}

case_keys_end_it_with_0_but_not_keys_held_before_or_a_release_alone() {
    sway_start 640x480
    # A key pressed before the show and let go once it runs, as the Enter
    # of the command that started it.
    wtype -P a -s 1500 -p a &
    local typist=$!
    sleep 0.3
    velunor_start --wayland --mode 1 --log-ticks
    wait_output_tick 1 HEADLESS-1
    wait "$typist"
    runs_on velunor HEADLESS-1
    wtype -s 300 -p b
    runs_on velunor HEADLESS-1
    wtype -s 300 x
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 0 "status after a key press"
    messages | grep . && fail "messages"
    # Its surface gone, the output shows what lay below it: sway's grey.
    output_shot HEADLESS-1 after.ppm
    expect_eq "$(count_color after.ppm $BARE)" $((640 * 480)) "pixels of the bare output"
}

case_the_pointer_ends_it_by_moving_a_button_or_a_scroll_but_not_by_arriving() {
    sway_start 640x480
    pointer to 100 100 640 480
    velunor_start --wayland --mode 1 --log-ticks
    wait_output_tick 1 HEADLESS-1
    # One pointer device throughout: a new one would show itself to the
    # show by where it is, not by a motion. It arrives over the show and a
    # motion to where it already is follows: the show goes on; then it
    # moves by two pixels.
    "$TEST_POINTER" wait 300 to 100 100 640 480 wait 1200 move 2 0 &
    sleep 0.9
    ended "$VELUNOR_PID" && fail "the show ended when the pointer arrived"
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 0 "status after a motion"

    local step
    for step in click "scroll 5"; do
        VELUNOR_LOG=${step% *} velunor_start --wayland --mode 1 --log-ticks
        wait_output_tick 1 HEADLESS-1 "${step% *}"
        pointer wait 300 $step
        wait_end "$VELUNOR_PID"
        expect_eq "$END_STATUS" 0 "status after a $step"
        messages "${step% *}" | grep . && fail "messages"
    done
    return 0
}

case_frame_at_tick_n_is_the_renderers_and_mode_1_moves() {
    sway_start 320x240
    velunor_start --wayland --mode 1 --picture "$LINUX_DATA/photo.png" --hold-after 40 --log-ticks
    wait_output_tick 40 HEADLESS-1
    output_shot HEADLESS-1 tick40.ppm
    renders_tick_40 tick40.ppm 320 240
    paced velunor HEADLESS-1
    grep -q '^velunor: tick 41 ' velunor.err && fail "ticked on after --hold-after 40"
    return 0
}

case_desktop_puts_the_outputs_own_contents_under_water() {
    sway_start 320x240
    # What the output shows: the photo, still, drawn by a first show.
    VELUNOR_LOG=below velunor_start --wayland --mode 7 --picture "$LINUX_DATA/photo.png" --log-ticks
    wait_output_tick 2 HEADLESS-1 below
    local below=$VELUNOR_PID
    velunor_start --wayland --desktop --mode 1 --hold-after 20 --log-ticks
    # sway stacks the second show's surface below the first one's.
    wait_output_tick 1 HEADLESS-1
    kill -TERM "$below"
    wait_output_tick 20 HEADLESS-1
    output_shot HEADLESS-1 desktop.ppm
    "$BUILD/tools/ripple-render/ripple-render" --width 320 --height 240 --setting 1 --ticks 20 \
        --input "$LINUX_DATA/photo.bmp" --output render20.bmp || fail "ripple-render failed"
    expect_eq "$(differing desktop.ppm render20.bmp)" 0 "pixels off the copied contents under water at tick 20"
    messages | grep . && fail "messages with --desktop"
    return 0
}

case_idle_daemon_starts_it_a_key_ends_it_and_it_starts_again() {
    sway_start 640x480
    # The timeout's command records the show's process id, as the README's
    # line does, and here its status too; the backstop waits a little, so
    # that the status is the show's own.
    cat >start.sh <<START
#!/bin/sh
( "$VELUNOR" --wayland --mode 1 --log-ticks 2>>"$CASE_DIR/velunor.err" &
  echo \$! >>"$CASE_DIR/pids"
  echo \$! >"$CASE_DIR/velunor.pid"
  wait \$!
  echo \$? >>"$CASE_DIR/statuses" ) &
START
    chmod +x start.sh
    swayidle -d timeout 1 "$CASE_DIR/start.sh" resume "sleep 0.5; kill \$(cat '$CASE_DIR/velunor.pid')" \
        >swayidle.log 2>&1 &
    track_process $!
    wait_output_tick 2 HEADLESS-1
    expect_eq "$(wc -l <pids)" 1 "shows started by the first idle time"
    wtype -s 300 x
    local i
    for i in $(seq 1 60); do [ -s statuses ] && break; sleep 0.05; done
    expect_eq "$(cat statuses 2>/dev/null)" 0 "status of the first show after a key"
    for i in $(seq 1 100); do [ "$(wc -l <pids)" -ge 2 ] && break; sleep 0.05; done
    expect_eq "$(wc -l <pids)" 2 "shows started after the second idle time"
    local second
    second=$(tail -n 1 pids)
    for i in $(seq 1 100); do
        [ "$(grep -c '^velunor: tick 2 ' velunor.err)" -ge 2 ] && break
        sleep 0.05
    done
    expect_eq "$(grep -c '^velunor: tick 2 ' velunor.err)" 2 "shows that ticked"
    ended "$second" && fail "the second show ended"
    kill -TERM "$second"
    return 0
}

case_weston_without_layer_shell_gets_full_screen_windows() {
    weston_start 640x480
    velunor_start --wayland --mode 7 --picture "$LINUX_DATA/blue.png" --log-ticks
    wait_output_tick 5 '[^ ]*'
    # The desktop shell fades the screen in after its start.
    local i blue
    for i in $(seq 1 25); do
        weston_shot window.png
        blue=$(count_color window.png 3366cc)
        [ "$blue" = $((640 * 480)) ] && break
        sleep 0.2
    done
    expect_eq "$blue" $((640 * 480)) "blue pixels over weston's output"
    messages >lines.txt
    cat lines.txt
    expect_eq "$(wc -l <lines.txt)" 1 "lines without layer-shell"
    grep -q 'layer-shell' lines.txt || fail "the line does not name layer-shell"
    kill -TERM "$VELUNOR_PID"
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 143 "status after SIGTERM"

    # No screencopy there either: the shipped picture, and a line saying so.
    VELUNOR_LOG=desktop velunor_start --wayland --desktop --mode 7 --log-ticks
    wait_output_tick 3 '[^ ]*' desktop
    messages desktop >desktop.txt
    cat desktop.txt
    expect_eq "$(wc -l <desktop.txt)" 2 "lines without layer-shell and screencopy"
    grep -q 'screencopy' desktop.txt || fail "no line names screencopy"
    weston_shot shipped.png
    # The shipped picture as the X11 program shows it at that size: the same
    # decode and stretch, to the last pixel.
    export DISPLAY=$(x_start 640x480x24)
    VELUNOR_LOG=x11 velunor_start --geometry 640x480 --mode 7 --log-ticks
    wait_tick 2 x11
    shot "$(own_window)" expected.png
    expect_eq "$(differing shipped.png expected.png)" 0 "pixels off the shipped picture"

    # No idle protocol and no GNOME on a session bus: the watcher cannot
    # know when to show, and says so.
    local out
    out=$(env -u DBUS_SESSION_BUS_ADDRESS "$VELUNOR" --wayland --idle 5 2>&1)
    expect_eq "$?" 1 "status of the watcher without an idle time"
    grep -q 'idle time' <<<"$out" || fail "no line about the idle time: $out"
}

case_ends_by_signal_and_when_the_compositor_goes_and_refuses_bad_starts() {
    sway_start 640x480
    velunor_start --wayland --mode 1 --log-ticks
    wait_output_tick 5 HEADLESS-1
    kill -TERM "$VELUNOR_PID"
    wait_end "$VELUNOR_PID" 1
    expect_eq "$END_STATUS" 143 "status after SIGTERM"
    messages | grep . && fail "messages after SIGTERM"
    output_shot HEADLESS-1 after.ppm
    expect_eq "$(count_color after.ppm $BARE)" $((640 * 480)) "pixels of the bare output after SIGTERM"

    # The compositor killed under it: exit 1, no line.
    VELUNOR_LOG=gone velunor_start --wayland --mode 1 --log-ticks
    wait_output_tick 5 HEADLESS-1 gone
    kill -KILL "$SWAY_PID"
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 1 "status when the compositor went away"
    messages gone | grep . && fail "messages when the compositor went away"

    # No compositor, and X windows asked for with --wayland: one line, 1.
    local out status how
    for how in "WAYLAND_DISPLAY=" "WAYLAND_DISPLAY=velunor-none" "--root" "-window-id 0x400E22"; do
        case $how in
        WAYLAND_DISPLAY=*) out=$(env "$how" "$VELUNOR" --wayland 2>&1) ;;
        *) out=$("$VELUNOR" --wayland $how 2>&1) ;;
        esac
        status=$?
        echo "$how -> $status: $out"
        expect_eq "$status" 1 "status with $how"
        expect_eq "$(wc -l <<<"$out")" 1 "lines with $how"
    done
}
