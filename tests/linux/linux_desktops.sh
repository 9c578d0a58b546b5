# velunor --wayland on KDE's and GNOME's own compositors, headless: KWin
# 5.27 (layer-shell, its fake input, its screenshot interface) and GNOME
# Shell 43 (full-screen windows, its remote-desktop input, its screenshot
# interface, Mutter's idle monitor), each run as an unprivileged user with
# buses of its own; and the idle watcher (--idle) on both. Each case checks
# several things at once.

source "$(dirname "${BASH_SOURCE[0]}")/wayland_lib.sh"

suite_setup() {
    convert -size 64x48 xc:'#3366cc' PNG24:"$LINUX_DATA/blue.png"
    # A photo at the physical size of a 320x240 output at scale 1.25, and
    # as the renderer's input.
    convert "$ROOT/res/media/Morva0001.jpg" -resize '400x300!' -alpha off PNG24:"$LINUX_DATA/photo.png"
    convert "$LINUX_DATA/photo.png" -alpha set -define bmp:format=bmp4 "$LINUX_DATA/photo.bmp"
}

suite_teardown() {
    morva_wayland_cleanup
}

# A screenshot of a KWin output of PIXELS shows it bare: black, but for the
# pointer where it is.
bare() {
    [ "$(count_color "$1" 000000)" -ge $(($2 - 32 * 32)) ] || fail "$1 is not bare"
}

# SIGTERM ends the program of the case (a show, or a watcher and its show)
# by the signal, and the screenshot FILE (KWin's only) shows the output
# bare; then the same program started again ends with 1 once COMPOSITOR (a
# process) is killed, without a line.
#   signal_then_compositor_gone COMPOSITOR [FILE] -- VELUNOR_ARGS...
signal_then_compositor_gone() {
    local compositor=$1 file=
    shift
    [ "$1" = -- ] || { file=$1; shift; }
    shift
    kill -TERM "$VELUNOR_PID"
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 143 "status after SIGTERM"
    if [ -n "$file" ]; then
        kwin_shot Virtual-0 "$file"
        bare "$file" $((480 * 270))
    fi
    VELUNOR_LOG=gone velunor_start "$@" --log-ticks
    wait_lines 1 '^velunor: \(tick 2\|waiting\) ' gone.err
    kill -KILL "$compositor"
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 1 "status when the compositor went away"
    messages gone | grep -v '^velunor: \(waiting\|idle\|awake\|the compositor has no layer-shell\)' | grep . &&
        fail "messages when the compositor went away"
    return 0
}

# Ends the show that runs with INPUT (an input step) and expects status 0.
ends_with() {
    input "$@"
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 0 "status after $*"
}

case_kwin_covers_both_outputs_hides_the_pointer_and_ends_on_input_or_a_signal() {
    kwin_start 480x270 2
    input_start kwin
    # The pointer is shown once it moved (Adwaita's), and then hidden over
    # the show; a new device's first motions may be lost.
    local i
    for i in $(seq 1 50); do
        input move 1 1
        kwin_shot Virtual-0 pointer.ppm
        kwin_shot Virtual-1 pointer1.ppm
        [ $(($(count_color pointer.ppm 000000) + $(count_color pointer1.ppm 000000))) -lt $((2 * 480 * 270)) ] && break
    done
    [ "$i" -lt 50 ] || fail "no pointer to be seen"
    velunor_start --wayland --mode 7 --picture "$LINUX_DATA/blue.png" --log-ticks
    wait_output_tick 3 Virtual-0
    wait_output_tick 3 Virtual-1
    local out
    for out in Virtual-0 Virtual-1; do
        kwin_shot "$out" "$out.ppm"
        expect_eq "$(identify -format %wx%h "$out.ppm")" 480x270 "size of $out"
        all_of "$out.ppm" 3366cc
    done
    messages | grep . && fail "messages"
    ends_with key 30

    # The key that started it, held and let go, does not end it; another does.
    input press 28
    VELUNOR_LOG=held velunor_start --wayland --mode 1 --log-ticks
    wait_output_tick 1 Virtual-0 held
    input release 28
    runs_on held Virtual-0
    ends_with key 48
    # The pointer arriving over it is not a move; moving it is, and a button.
    VELUNOR_LOG=moved velunor_start --wayland --mode 1 --log-ticks
    wait_output_tick 1 Virtual-1 moved
    input move 0 0
    runs_on moved Virtual-1
    ends_with move 3 0
    VELUNOR_LOG=click velunor_start --wayland --mode 1 --log-ticks
    wait_output_tick 1 Virtual-1 click
    ends_with click

    VELUNOR_LOG=term velunor_start --wayland --mode 1 --log-ticks
    wait_output_tick 2 Virtual-0 term
    signal_then_compositor_gone "$KWIN_PID" after.ppm -- --wayland --mode 1
}

case_kwin_at_scale_1_25_draws_the_renderers_frame_at_its_physical_pixels_16_7_times_a_second() {
    # 320x240 at 1.25: 400x300 pixels, a buffer of exactly that size
    # through the fractional scale, or the frame would be scaled.
    kwin_start 320x240 1 1.25
    velunor_start --wayland --mode 1 --picture "$LINUX_DATA/photo.png" --hold-after 40 --log-ticks
    wait_output_tick 40 Virtual-0
    kwin_shot Virtual-0 tick40.ppm
    expect_eq "$(identify -format %wx%h tick40.ppm)" 400x300 "physical size"
    renders_tick_40 tick40.ppm 400 300
    paced velunor Virtual-0
    grep -q '^velunor: tick 41 ' velunor.err && fail "ticked on after --hold-after 40"
    messages | grep . && fail "messages"
    return 0
}

case_gnome_covers_each_monitor_above_the_top_bar_from_the_overview_and_ends_on_input() {
    gnome_start 640x360 480x360
    input_start gnome
    input move 100 100
    # Below the top bar, whose words are white too.
    gnome_shot 640x300+0+60 pointer.png
    [ "$(count_color pointer.png ffffff)" -gt 0 ] || fail "no pointer to be seen"
    # Started over the overview: closed, and each window covers its monitor,
    # the top bar and the pointer too.
    morva_gnome_overview true
    velunor_start --wayland --mode 7 --picture "$LINUX_DATA/blue.png" --log-ticks
    local outputs
    outputs=$(outputs_ticked 3 2)
    expect_eq "$(morva_gnome_overview)" false "the overview"
    # Mutter tells a window that the pointer is over it when the window
    # appears, or else (now and then) at the pointer's next event: here one
    # that stays where it is, which does not end the show.
    input move 0 0
    runs_on velunor
    gnome_shot 640x360+0+0 first.png
    all_of first.png 3366cc "the first monitor"
    gnome_shot 480x360+640+0 second.png
    all_of second.png 3366cc "the second monitor"
    messages >lines.txt
    expect_eq "$(wc -l <lines.txt)" 1 "lines without layer-shell"
    ends_with key 30

    # Mode 1 moves at its pace on both.
    input press 28
    VELUNOR_LOG=held velunor_start --wayland --mode 1 --log-ticks
    outputs_ticked 1 2 held >/dev/null
    input release 28
    local out
    for out in $(outputs_ticked 30 2 held); do
        paced held "$out"
    done
    ends_with key 48
    VELUNOR_LOG=moved velunor_start --wayland --mode 1 --log-ticks
    outputs_ticked 2 2 moved >/dev/null
    input move 0 0
    runs_on moved
    ends_with move 3 0
    VELUNOR_LOG=click velunor_start --wayland --mode 1 --log-ticks
    outputs_ticked 2 2 click >/dev/null
    ends_with click

    # The overview opened under it takes the keyboard: it ends rather than
    # be shown in small.
    VELUNOR_LOG=overview velunor_start --wayland --mode 1 --log-ticks
    outputs_ticked 2 2 overview >/dev/null
    morva_gnome_overview true
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 0 "status after the overview opened"
    morva_gnome_overview false

    VELUNOR_LOG=term velunor_start --wayland --mode 1 --log-ticks
    outputs_ticked 2 2 term >/dev/null
    signal_then_compositor_gone "$GNOME_PID" -- --wayland --mode 1
}

# The watcher of the case (velunor.err) after a show: still there, holding
# no more than 12 MB and no thread of the water.
waits_lean() {
    ended "$VELUNOR_PID" && fail "the watcher ended with its show"
    local rss threads
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$VELUNOR_PID/status")
    threads=$(ls "/proc/$VELUNOR_PID/task" | wc -l)
    echo "waiting: $rss kB resident, $threads threads"
    [ "$rss" -le 12288 ] || fail "the watcher holds $rss kB between shows"
    # GIO's D-Bus has threads of its own: two where it is used.
    [ "$threads" -le "$1" ] || fail "the watcher keeps $threads threads between shows"
}

# The watcher's Nth show starts no sooner than SECONDS after the time
# AFTER (ms): the idle time is counted from the last input.
idle_since() {
    local started
    wait_lines "$1" '^velunor: idle ' velunor.err
    started=$(log_time "$1" '^velunor: idle ')
    [ "$started" -ge $(($2 + 1900)) ] || fail "show $1 started $((started - $2)) ms after input"
}

# Input every second, five times, as someone working: no show meanwhile.
busy() {
    local shows i
    shows=$(grep -c '^velunor: idle ' "$CASE_DIR/velunor.err")
    for i in 1 2 3 4 5; do
        sleep 1
        input move 1 0
    done
    expect_eq "$(grep -c '^velunor: idle ' "$CASE_DIR/velunor.err")" "$shows" "shows while input came every second"
}

case_kwin_watcher_shows_when_idle_again_after_each_show_and_not_while_inhibited_or_busy() {
    local status out
    for out in 0 -5 abc 86401 ''; do
        out=$("$VELUNOR" --wayland --idle "$out" 2>&1)
        status=$?
        expect_eq "$status" 2 "status with a bad idle time"
        expect_eq "$(wc -l <<<"$out")" 1 "lines with a bad idle time"
    done
    "$VELUNOR" --idle 5 2>/dev/null
    expect_eq "$?" 2 "status of --idle without --wayland"

    kwin_start 480x270 2
    input_start kwin
    # Two threads for each output's water, which go with the show.
    velunor_start --wayland --idle 2 --mode 7 --threads 2 --picture "$LINUX_DATA/blue.png" --log-ticks
    wait_lines 1 "(ext-idle-notify)" velunor.err
    wait_output_tick 2 Virtual-0
    wait_output_tick 2 Virtual-1
    [ "$(ls "/proc/$VELUNOR_PID/task" | wc -l)" -ge 3 ] || fail "the water has no threads of its own"
    kwin_shot Virtual-1 shown.ppm
    all_of shown.ppm 3366cc "the second output"
    # A key ends the show, not the watcher, which lets go of all of it.
    input key 30
    wait_lines 1 '^velunor: awake ' velunor.err
    waits_lean 1
    kwin_shot Virtual-1 awake.ppm
    bare awake.ppm $((480 * 270))
    idle_since 2 "$(log_time 1 '^velunor: awake ')"
    wait_lines 2 "^velunor: tick 2 .* Virtual-0$" velunor.err

    input key 30
    wait_lines 2 '^velunor: awake ' velunor.err
    busy
    # A window holding an idle inhibitor keeps it away; the show comes once
    # it is gone.
    morva_desktop_spawn "${XDG_RUNTIME_DIR%/run}" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" -- "$TEST_KWIN" inhibit \
        >inhibitor.out 2>&1
    local inhibitor=$MORVA_DESKTOP_PID
    track_process "$inhibitor"
    wait_lines 1 '^ready$' inhibitor.out
    sleep 4
    expect_eq "$(grep -c '^velunor: idle ' velunor.err)" 2 "shows while an idle inhibitor was shown"
    kill -TERM "$inhibitor"
    wait_lines 3 '^velunor: idle ' velunor.err

    # SIGTERM ends the watcher and its show by the signal.
    wait_output_tick 2 Virtual-0
    signal_then_compositor_gone "$KWIN_PID" term.ppm -- --wayland --idle 60
}

case_gnome_watcher_shows_when_idle_again_after_each_show_and_not_while_inhibited_or_busy() {
    gnome_start 640x360 480x360
    input_start gnome
    velunor_start --wayland --idle 2 --mode 7 --picture "$LINUX_DATA/blue.png" --log-ticks
    outputs_ticked 2 2 >/dev/null
    wait_lines 1 "(GNOME.s idle monitor)" velunor.err
    gnome_shot 480x360+640+0 shown.png
    all_of shown.png 3366cc "the second monitor"
    input key 30
    wait_lines 1 '^velunor: awake ' velunor.err
    waits_lean 3
    idle_since 2 "$(log_time 1 '^velunor: awake ')"
    outputs_ticked 2 2 >/dev/null

    input key 30
    wait_lines 2 '^velunor: awake ' velunor.err
    busy
    # An application's inhibitor in the session manager (here a stand-in)
    # keeps it away: Mutter's idle monitor holds back while one is there.
    "$TEST_DBUS" session-manager >inhibitor.out 2>&1 &
    local inhibitor=$!
    track_process "$inhibitor"
    wait_lines 1 '^ready$' inhibitor.out
    sleep 4
    expect_eq "$(grep -c '^velunor: idle ' velunor.err)" 2 "shows while the session manager had an inhibitor"
    kill -USR1 "$inhibitor"
    wait_lines 1 '^released$' inhibitor.out
    wait_lines 3 '^velunor: idle ' velunor.err

    outputs_ticked 2 2 >/dev/null
    signal_then_compositor_gone "$GNOME_PID" -- --wayland --idle 60
}
