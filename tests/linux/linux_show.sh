# velunor on private Xvfb servers: where it draws, what it shows, how it ends,
# and what it does with bad input. Each case checks several things at once.

suite_setup() {
    # An asymmetric picture (red top, blue bottom, a yellow block top left),
    # a photo, both 320x240, and the photo as the renderer's 32-bit BMP.
    convert -size 320x240 gradient:red-blue -fill yellow -draw 'rectangle 10,10 100,60' \
        -alpha off PNG24:"$LINUX_DATA/shape.png"
    convert "$ROOT/res/media/Morva0001.jpg" -resize '320x240!' -alpha off PNG24:"$LINUX_DATA/photo.png"
    convert "$LINUX_DATA/photo.png" -depth 8 rgb:- | python3 -c '
import struct, sys
w, h = 320, 240
rgb = sys.stdin.buffer.read()
rows = [b"".join(bytes((rgb[i + 2], rgb[i + 1], rgb[i], 0)) for i in range(y * w * 3, (y + 1) * w * 3, 3))
        for y in range(h)]
pixels = b"".join(reversed(rows))
head = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
sys.stdout.buffer.write(head + info + pixels)' >"$LINUX_DATA/photo.bmp"
    printf 'not a picture\n' >"$LINUX_DATA/text.jpg"
    # The shape turned a quarter left in a JPEG whose EXIF orientation (6)
    # says to turn it a quarter right for showing.
    convert "$LINUX_DATA/shape.png" -rotate -90 -quality 95 "$LINUX_DATA/turned.jpg"
    python3 - "$LINUX_DATA/turned.jpg" <<'PY'
import struct, sys
tiff = b"II*\0" + struct.pack("<IHHHIHHI", 8, 1, 0x0112, 3, 1, 6, 0, 0)
body = b"Exif\0\0" + tiff
path = sys.argv[1]
data = open(path, "rb").read()
open(path, "wb").write(data[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body + data[2:])
PY
}

case_own_window_shows_the_picture_exactly_and_closes_on_escape() {
    export DISPLAY=$(x_start 640x480x24)
    velunor_start --geometry 320x240 -mode 7 --picture "$LINUX_DATA/shape.png" --log-ticks
    wait_tick 5
    local id
    id=$(own_window) || fail "no window titled Velunor ScreenSaver"
    shot "$id" still.png
    # Still water refracts nothing: the picture, upright, to the last pixel.
    expect_eq "$(differing still.png "$LINUX_DATA/shape.png")" 0 "pixels off the picture"
    expect_eq "$(pixel still.png 50 30)" ffff00 "yellow block top left"
    xdotool key --window "$id" Escape
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 0 "exit code after Escape"

    # A JPEG shown the way its EXIF orientation says: the shape again, but
    # for the losses of JPEG.
    VELUNOR_LOG=turned velunor_start --geometry 320x240 --mode 7 --picture "$LINUX_DATA/turned.jpg" --log-ticks
    wait_tick 2 turned
    shot "$(own_window)" turned.png
    local off
    off=$(differing turned.png "$LINUX_DATA/shape.png" 10%)
    [ "$off" -lt 800 ] || fail "$off pixels off the upright shape from the turned JPEG"

    kill -TERM "$VELUNOR_PID"
    wait_end "$VELUNOR_PID"

    # Escape while the picture loads (a FIFO nobody writes to) ends it too,
    # and its decoder with it.
    mkfifo lonely.png
    VELUNOR_LOG=loading velunor_start --geometry 320x240 --picture "$CASE_DIR/lonely.png" --log-ticks
    local decoder
    decoder=$(decoder_of "$VELUNOR_PID")
    [ -n "$decoder" ] || fail "no decoder was seen"
    xdotool key --window "$(own_window)" Escape
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 0 "exit code after Escape during the load"
    expect_eq "$(cat loading.err)" "" "lines after Escape during the load"
    kill -0 "$decoder" 2>/dev/null && fail "the decoder $decoder is left"
    return 0
}

case_frame_at_tick_n_is_the_renderers_and_mode_1_moves() {
    export DISPLAY=$(x_start 640x480x24)
    velunor_start -geometry 320x240 --mode 1 --picture "$LINUX_DATA/photo.png" --hold-after 40 --log-ticks
    wait_tick 40
    local id
    id=$(own_window) || fail "no window"
    shot "$id" tick40.png
    renders_tick_40 tick40.png 320 240
    # Held, the frame comes back after the window is covered and uncovered.
    xdotool windowunmap --sync "$id" windowmap --sync "$id"
    sleep 0.3
    shot "$id" again.png
    expect_eq "$(differing again.png render40.bmp)" 0 "pixels off frame 40 after an expose"
    grep -q '^velunor: tick 41 ' velunor.err && fail "ticked on after --hold-after 40"
    xdotool key --window "$id" q
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 0 "exit code after q"
}

case_given_window_is_filled_and_followed_when_resized() {
    export DISPLAY=$(x_start 800x600x24)
    test_window_start 320x240 ff00ff
    local win=$TEST_WINDOW_ID
    test_window_start 200x100+500+400 00ff00
    local other=$TEST_WINDOW_ID
    # The settings preview's command line: --root, then the id; the id wins
    # over XSCREENSAVER_WINDOW as well. Decimal as well as hex.
    XSCREENSAVER_WINDOW=$other velunor_start --root --window-id $((win)) --mode 3 \
        --picture "$LINUX_DATA/shape.png" --log-ticks
    wait_tick 3
    shot "$win" given.png
    expect_eq "$(differing given.png "$LINUX_DATA/shape.png")" 0 "pixels off the picture in the given window"
    shot "$other" other.png
    expect_eq "$(count_color other.png 00ff00)" 20000 "untouched pixels of the other window"
    xdotool windowsize "$win" 480 360
    runs_on
    shot "$win" larger.png
    expect_eq "$(identify -format %wx%h larger.png)" 480x360 "size after the resize"
    expect_eq "$(count_color larger.png ff00ff)" 0 "unpainted pixels after the resize"
    expect_eq "$(pixel larger.png 80 50)" ffff00 "yellow block, stretched, top left"

    # Its window gone, it draws nothing more and waits a second for the
    # signal that ends it, as the daemon's hacks must: one that comes half
    # a second later still ends it by that signal. The requests already on
    # their way to the window fail without a message in the daemon's log.
    end_window_of "$win"
    sleep 0.5
    kill -TERM "$VELUNOR_PID"
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 143 "status after the window went and then SIGTERM"
    grep -v '^velunor: tick ' velunor.err && fail "messages when its window went away"

    # With no signal (its owner was killed with the window), it ends by
    # itself about a second later: status 0, no message, no shared memory.
    test_window_start 320x240 ff00ff
    win=$TEST_WINDOW_ID
    VELUNOR_LOG=orphan velunor_start --window-id "$win" --mode 1 --log-ticks
    wait_tick 3 orphan
    local pid=$VELUNOR_PID
    end_window_of "$win"
    wait_end "$pid"
    expect_eq "$END_STATUS" 0 "status when the window went with no signal"
    grep -v '^velunor: tick ' orphan.err && fail "messages when it ended without its window"
    ipcs -mp | awk -v p="$pid" '$3 == p' | grep -q . && fail "a shared-memory segment of $pid is left"
    return 0
}

case_daemon_window_from_the_environment_and_the_root_window() {
    export DISPLAY=$(x_start 800x600x24)
    test_window_start 320x240 ff00ff
    # As the daemon gives it: upper-case hex.
    XSCREENSAVER_WINDOW=$(printf '0x%X' "$TEST_WINDOW_ID") VELUNOR_LOG=env velunor_start --mode 1 --log-ticks
    wait_tick 3 env
    shot "$TEST_WINDOW_ID" env.png
    expect_eq "$(count_color env.png ff00ff)" 0 "unpainted pixels of the daemon's window"

    # The daemon's own image choice, drawn by its helper into the window's
    # size: whatever it chose, it covers the window and needs no fallback.
    # (Its stand-in image, colour bars, holds magenta.)
    test_window_start 200x150+400+300 123456
    VELUNOR_LOG=desktop velunor_start --window-id "$TEST_WINDOW_ID" --desktop --mode 5 --log-ticks
    wait_tick 3 desktop
    grep -v '^velunor: tick ' desktop.err && fail "messages with --desktop"
    shot "$TEST_WINDOW_ID" desktop.png
    expect_eq "$(count_color desktop.png 123456)" 0 "unpainted pixels with --desktop"

    export DISPLAY=$(x_start 320x240x24)
    VELUNOR_LOG=root velunor_start --root --mode 9 --picture "$LINUX_DATA/shape.png" --log-ticks
    wait_tick 3 root
    shot root root.png
    expect_eq "$(differing root.png "$LINUX_DATA/shape.png")" 0 "pixels off the picture on the root window"
}

case_signals_end_it_with_no_shared_memory_left() {
    export DISPLAY=$(x_start 1280x720x24)
    local sig pid
    for sig in TERM INT HUP; do
        # SIGHUP reaches a held show, which waits for nothing but events.
        VELUNOR_LOG=$sig velunor_start --mode 1 --log-ticks $([ $sig = HUP ] && echo --hold-after 10)
        pid=$VELUNOR_PID
        wait_tick 10 "$sig"
        ipcs -mp | awk -v p="$pid" '$3 == p' | grep -q . || fail "no shared-memory segment of $pid while it runs"
        kill -s "$sig" "$pid"
        wait_end "$pid" 1
        expect_eq "$END_STATUS" $((128 + $(kill -l "$sig"))) "SIG$sig: status (death by the signal)"
        ipcs -mp | awk -v p="$pid" '$3 == p' | grep -q . && fail "SIG$sig: a segment of $pid is left"
        grep -v '^velunor: tick ' "$CASE_DIR/$sig.err" && fail "SIG$sig: messages"
    done
    return 0
}

case_stopped_and_continued_it_keeps_its_pace() {
    export DISPLAY=$(x_start 640x480x24)
    velunor_start --mode 1 --log-ticks
    wait_tick 10
    kill -STOP "$VELUNOR_PID"
    sleep 5
    local ticks=$(grep -c '^velunor: tick ' velunor.err)
    kill -CONT "$VELUNOR_PID"
    # Enough ticks for the second after the first one past the gap.
    wait_tick $((ticks + 19))
    # The ticks of the second after the first one past the gap: 16 or 17 at
    # 60 ms, none crowded together as a burst of catch-up ticks would be.
    awk '/^velunor: tick / {print $4}' velunor.err | awk '
        prev && $1 - prev > 3000 && !start {start = $1}
        start && $1 < start + 1000 {n++; if (last && $1 - last < 25) crowded++; last = $1}
        {prev = $1}
        END {print start ? n : "nogap", crowded + 0}' >pace.txt
    cat pace.txt
    read -r n crowded <pace.txt
    [ "$n" != nogap ] || fail "no gap of the stop in the tick log"
    [ "$n" -ge 14 ] && [ "$n" -le 18 ] || fail "$n ticks in the second after the stop"
    expect_eq "$crowded" 0 "ticks less than 25 ms apart"
}

case_bad_input_gets_one_line() {
    export DISPLAY=$(x_start 640x480x24)
    local args out status
    # Wrong command lines: one line with the usage, exit code 1.
    for args in "--window-id abc" "--window-id 0x" "--window-id 0x0x10" "-window-id 0x3fffff" \
        "--mode one" "--bogus" "--geometry 0x5" "--picture"; do
        out=$("$VELUNOR" $args 2>&1 >/dev/null)
        status=$?
        echo "$args -> $status: $out"
        expect_eq "$status" 1 "exit code of '$args'"
        expect_eq "$(wc -l <<<"$out")" 1 "lines for '$args'"
        grep -q 'usage: velunor' <<<"$out" || fail "no usage for '$args'"
    done
    "$VELUNOR" --help | grep -qi 'silent' || fail "--help does not say the show is silent"
    # No X display, but a Wayland one: the one line says how to show there.
    out=$(env -u DISPLAY WAYLAND_DISPLAY=wayland-9 "$VELUNOR" 2>&1 >/dev/null)
    expect_eq "$out" "velunor: DISPLAY is not set, but WAYLAND_DISPLAY is: on Wayland, run velunor --wayland" \
        "the line without DISPLAY"

    # A picture missing or not an image: one line naming it, the shipped
    # picture, the show going on.
    local missing=$CASE_DIR/none.jpg
    XSCREENSAVER_WINDOW= VELUNOR_LOG=missing velunor_start --picture "$missing" --mode 1 --log-ticks
    local shown=$VELUNOR_PID
    VELUNOR_LOG=text velunor_start --picture "$LINUX_DATA/text.jpg" --mode 1 --log-ticks
    wait_tick 5 missing
    wait_tick 5 text
    for log in missing text; do
        grep -v '^velunor: tick ' "$log.err" >"$log.lines"
        cat "$log.lines"
        expect_eq "$(wc -l <"$log.lines")" 1 "message lines for the $log picture"
    done
    grep -q "$missing" missing.lines || fail "the message does not name $missing"
    grep -q "text.jpg" text.lines || fail "the message does not name text.jpg"
    kill -0 "$shown" && kill -0 "$VELUNOR_PID" || fail "a bad picture ended the show"

    # Without the shipped picture either: a plain dark picture under the water.
    if [ ! -e /usr/share/velunor/velunor.jpg ]; then
        mkdir -p alone && cp "$VELUNOR" alone/
        "$CASE_DIR/alone/velunor" --picture "$missing" --mode 5 --geometry 200x100 --log-ticks 2>dark.err &
        track_process $!
        wait_tick 3 dark
        expect_eq "$(grep -vc '^velunor: tick ' dark.err)" 2 "message lines without any picture"
        local id
        id=$(xwininfo -root -children | awk '/"Velunor ScreenSaver"/ && /200x100/ {print $1; exit}')
        shot "$id" dark.png
        expect_eq "$(count_color dark.png 102030)" 20000 "dark pixels"
    else
        echo "not checked: the dark picture (an installed shipped picture is found first)"
    fi
}

case_servers_without_shared_memory_or_of_other_depths() {
    # No MIT-SHM: plain images, the same picture to the pixel.
    export DISPLAY=$(x_start 640x480x24 -extension MIT-SHM)
    VELUNOR_LOG=plain velunor_start --geometry 320x240 --mode 4 --picture "$LINUX_DATA/shape.png" --log-ticks
    wait_tick 3 plain
    shot "$(own_window)" plain.png
    expect_eq "$(differing plain.png "$LINUX_DATA/shape.png")" 0 "pixels off the picture without MIT-SHM"
    ipcs -mp | awk -v p="$VELUNOR_PID" '$3 == p' | grep -q . && fail "a segment without MIT-SHM"

    # 16 bits: 5-6-5 pixels, each channel within its lost bits.
    export DISPLAY=$(x_start 640x480x16)
    VELUNOR_LOG=d16 velunor_start --geometry 320x240 --mode 4 --picture "$LINUX_DATA/shape.png" --log-ticks
    wait_tick 3 d16
    shot "$(own_window)" d16.png
    expect_eq "$(differing d16.png "$LINUX_DATA/shape.png" 3.2%)" 0 "pixels off the picture at 16 bits"

    # 8 bits: one line naming the visual, exit code 1.
    export DISPLAY=$(x_start 640x480x8)
    local out
    out=$("$VELUNOR" --mode 1 2>&1)
    expect_eq $? 1 "exit code at depth 8"
    echo "$out"
    expect_eq "$(wc -l <<<"$out")" 1 "lines at depth 8"
    grep -q 'PseudoColor of depth 8' <<<"$out" || fail "the line does not name the visual"
}

case_x_server_gone_ends_it_quietly() {
    local display
    display=$(x_start 640x480x24)
    local server
    server=$(morva_x_pid "$display")
    DISPLAY=$display velunor_start --mode 1 --log-ticks
    wait_tick 5
    kill -TERM "$server"
    wait_end "$VELUNOR_PID"
    expect_eq "$END_STATUS" 1 "exit code when the server went away"
    grep -v '^velunor: tick ' velunor.err && fail "messages when the server went away"
    return 0
}

case_pictures_beyond_the_screen_are_shown_in_the_screens_memory() {
    export DISPLAY=$(x_start 640x480x24)
    local maker=$BUILD/tests/linux/velunor_test_picture
    "$maker" "$ROOT/res/media/Morva0001.jpg" 1024x768 claim.jpg --claim 65500x65500 || fail "no lying picture"
    "$maker" "$LINUX_DATA/shape.png" 8000x6000 big.jpg || fail "no large picture"
    convert "$LINUX_DATA/shape.png" -filter Triangle -resize '640x480!' shape640.png

    # Each shown still on the root window: peak memory in kB at the third
    # tick, a screenshot.
    local name
    declare -A peak
    for name in base claim big; do
        VELUNOR_LOG=$name velunor_start --root --mode 7 --log-ticks \
            $([ $name != base ] && echo --picture "$CASE_DIR/$name.jpg")
        wait_tick 3 "$name"
        peak[$name]=$(awk '/^VmHWM/ {print $2}' "/proc/$VELUNOR_PID/status")
        shot root "$name.png"
        kill -TERM "$VELUNOR_PID"
        wait_end "$VELUNOR_PID"
        echo "$name: peak memory ${peak[$name]} kB"
    done

    # A header that claims 65500x65500: one line, the shipped picture, no
    # more memory than the shipped picture alone.
    grep -v '^velunor: tick ' claim.err >claim.lines
    expect_eq "$(wc -l <claim.lines)" 1 "lines for the lying picture"
    grep -q 'claim.jpg: its header claims 65500x65500 pixels' claim.lines || fail "the line: $(cat claim.lines)"
    [ "${peak[claim]}" -lt $((peak[base] + 8192)) ] || fail "peak memory ${peak[claim]} kB, ${peak[base]} kB without it"
    expect_eq "$(differing claim.png base.png)" 0 "pixels off the shipped picture"

    # 8000x6000 over 640x480: decoded at an eighth (1000x750, 3 MB), not
    # whole (144 MB), and shown over the screen.
    expect_eq "$(grep -vc '^velunor: tick ' big.err)" 0 "lines for the large picture"
    [ "${peak[big]}" -lt $((peak[base] + 24576)) ] || fail "peak memory ${peak[big]} kB, ${peak[base]} kB with the shipped picture"
    local error
    error=$(compare -metric RMSE big.png shape640.png null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p')
    echo "the large picture: error $error against the shape"
    awk -v e="$error" 'BEGIN { exit !(e != "" && e < 0.1) }' || fail "the large picture is not shown (error $error)"
}

case_signals_end_it_while_a_picture_is_read_and_while_the_desktop_is_grabbed() {
    export DISPLAY=$(x_start 640x480x24)
    export TMPDIR=$CASE_DIR/tmp
    mkdir "$TMPDIR"
    "$BUILD/tests/linux/velunor_test_picture" "$LINUX_DATA/shape.png" 4000x3000 big.jpg || fail "no large picture"
    # A picture that comes through a FIFO, opened once: the whole file at
    # 320 kB a second, so that it would take 10 s.
    mkfifo slow.jpg
    python3 - big.jpg slow.jpg <<'PY' &
import os, sys, time
data = open(sys.argv[1], "rb").read()
fd = os.open(sys.argv[2], os.O_WRONLY)
try:
    for at in range(0, len(data), 16384):
        os.write(fd, data[at:at + 16384])
        time.sleep(0.05)
except BrokenPipeError:
    pass
PY
    track_process $!
    local pid decoder
    VELUNOR_LOG=slow velunor_start --root --mode 1 --picture "$CASE_DIR/slow.jpg" --log-ticks
    pid=$VELUNOR_PID
    # Once its decoder reads.
    for i in $(seq 1 100); do
        decoder=$(cat "/proc/$pid/task/$pid/children" 2>/dev/null)
        [ -n "$decoder" ] && [ -n "$(ls "$TMPDIR")" ] && break
        sleep 0.02
    done
    [ -n "$decoder" ] || fail "no decoder was seen"
    grep -q '^velunor: tick ' slow.err && fail "the slow picture was read before the signal"
    kill -TERM "$pid"
    wait_end "$pid"
    expect_eq "$END_STATUS" 143 "status after SIGTERM while the picture was read"
    grep -v '^velunor: tick ' slow.err && fail "messages after SIGTERM while the picture was read"
    kill -0 $decoder 2>/dev/null && fail "the decoder $decoder is left"
    expect_eq "$(ls "$TMPDIR")" "" "files left in TMPDIR"

    # The daemon's image helper, slow and deaf to SIGTERM, with a program of
    # its own: the signal ends velunor as soon, and both are gone after it.
    mkdir helper
    printf '%s\n' '#!/bin/sh' "trap '' TERM" "echo \$\$ >$CASE_DIR/helper.pids" \
        "sleep 60 & echo \$! >>$CASE_DIR/helper.pids" 'wait' >helper/xscreensaver-getimage
    chmod +x helper/xscreensaver-getimage
    PATH=$CASE_DIR/helper:$PATH VELUNOR_LOG=grab velunor_start --root --desktop --log-ticks
    pid=$VELUNOR_PID
    local i helpers=()
    for i in $(seq 1 100); do
        [ "$(wc -l 2>/dev/null <helper.pids)" = 2 ] && break
        sleep 0.05
    done
    mapfile -t helpers <helper.pids
    [ ${#helpers[@]} -eq 2 ] || fail "the helper did not start"
    kill -TERM "$pid"
    wait_end "$pid"
    expect_eq "$END_STATUS" 143 "status after SIGTERM during the grab"
    for i in "${helpers[@]}"; do
        ps -o pid=,stat=,args= -p "$i" | grep -v ' Z' && fail "the helper's process $i is left"
    done
    ipcs -mp | awk -v p="$pid" '$3 == p' | grep -q . && fail "a shared-memory segment of $pid is left"
    grep -v '^velunor: tick ' grab.err && fail "messages after SIGTERM during the grab"
    return 0
}

case_hostile_pictures_give_the_shipped_picture_and_one_line_in_time() {
    export DISPLAY=$(x_start 640x480x24)
    export TMPDIR=$CASE_DIR/tmp
    mkdir "$TMPDIR"
    # A BMP of a few bytes that claims 16384x16384, a FIFO nobody writes to,
    # nested SVG uses that take minutes to draw.
    printf 'BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0\0\x40\0\0\0\x40\0\0\1\0\x18\0' >claim.bmp
    head -c 40 /dev/zero >>claim.bmp
    mkfifo lonely.png
    {
        printf '<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="900" height="900">'
        printf '<defs><rect id="l0" width="9" height="9"/>'
        local level
        for level in 1 2 3 4 5 6 7 8 9 10; do
            printf '<g id="l%d">' $level
            printf "<use xlink:href=\"#l$((level - 1))\"/>%.0s" 1 2 3 4 5 6 7 8 9 10
            printf '</g>'
        done
        printf '</defs><use xlink:href="#l10"/></svg>'
    } >uses.svg
    VELUNOR_LOG=base velunor_start --root --mode 7 --log-ticks
    wait_tick 2 base
    shot root base.png
    kill -TERM "$VELUNOR_PID"

    local name t0 ms
    for name in claim.bmp lonely.png uses.svg; do
        t0=$(date +%s%N)
        VELUNOR_LOG=$name velunor_start --root --mode 7 --log-ticks --picture "$CASE_DIR/$name"
        wait_tick 2 "$name"
        ms=$((($(date +%s%N) - t0) / 1000000))
        grep -v '^velunor: tick ' "$name.err" >"$name.lines"
        echo "$name: second tick after $ms ms: $(cat "$name.lines")"
        expect_eq "$(wc -l <"$name.lines")" 1 "lines for $name"
        grep -q "cannot load picture $CASE_DIR/$name: " "$name.lines" || fail "the line does not name $name"
        shot root "$name.png"
        expect_eq "$(differing "$name.png" base.png)" 0 "pixels off the shipped picture for $name"
        kill -TERM "$VELUNOR_PID"
        wait "$VELUNOR_PID"
    done
    grep -q 'which need 1024 MB to decode' claim.bmp.lines || fail "the claim is not named"
    grep -q 'nothing came from it within 2 s' lonely.png.lines || fail "the FIFO's wait is not named"
    expect_eq "$(ls "$TMPDIR")" "" "files left in TMPDIR"
}
