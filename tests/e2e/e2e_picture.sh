# The picture on the screen: the capture file the show writes at each start,
# the picture stretched over screens of other shapes and depths, upright, and
# the desktop standing in for a missing picture. The stored mode 2 drops
# small cones at the centre: the centre shows that the show paints, and the
# picture far from it stays still.

suite_setup() {
    PICTURE_SAVED=$(mktemp -d /tmp/morva-e2e-picture.XXXXXX)
    local f
    for f in Morva0001.jpg Morvalst.txt; do
        [ -e "$(windir)/$f" ] && cp -p "$(windir)/$f" "$PICTURE_SAVED/"
    done
    morva_settings 2 Velunor
    cp "$E2E_MEDIA/4.mid" "$(windir)/"
    # 800 x 600, a quadrant each of red, green, blue and yellow.
    convert -size 400x300 xc:'#ff0000' xc:'#00ff00' +append \
        \( -size 400x300 xc:'#0000ff' xc:'#ffff00' +append \) -append \
        -quality 95 "$E2E_LOGDIR/quadrants.jpg"
}

suite_teardown() {
    rm -f "$(windir)/Morva0001.jpg" "$(windir)/Morvalst.txt"
    cp -p "$PICTURE_SAVED"/* "$(windir)/" 2>/dev/null
    rm -rf "$PICTURE_SAVED"
}

capture() { echo "$(tempdir)/cTempPicture.bmp"; }

u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
u16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }

# Checks the capture file's size and header against a screen of WxH at the
# given bits per pixel.
expect_capture() {
    local width=$1 height=$2 bits=$3 file row image
    file=$(capture)
    row=$(((width * bits + 31) / 32 * 4))
    image=$((row * height))
    expect_eq "$(stat -c %s "$file")" $((image + 54)) "capture file size"
    expect_eq "$(head -c 2 "$file")" "BM" "bfType"
    expect_eq "$(u32 "$file" 2)" $((image + 54)) "bfSize"
    expect_eq "$(u32 "$file" 6)" 0 "reserved"
    expect_eq "$(u32 "$file" 10)" 54 "bfOffBits"
    expect_eq "$(u32 "$file" 14)" 40 "biSize"
    expect_eq "$(u32 "$file" 18)" "$width" "biWidth"
    expect_eq "$(u32 "$file" 22)" "$height" "biHeight"
    expect_eq "$(u16 "$file" 26)" 1 "biPlanes"
    expect_eq "$(u16 "$file" 28)" "$bits" "biBitCount"
    expect_eq "$(u32 "$file" 30)" 0 "biCompression"
    expect_eq "$(u32 "$file" 34)" "$image" "biSizeImage"
    local offset
    for offset in 38 42 46 50; do
        expect_eq "$(u32 "$file" $offset)" 0 "header field at $offset"
    done
}

# Moves the rest of the case to a private Xvfb of the given geometry, and
# back when it ends. The prefix's server is restarted by morva_wine_use, so
# that Wine takes the new screen and its own programs' output stays out of
# the show's log and its heap check.
use_screen() {
    wineserver -k 2>/dev/null
    wineserver -w
    local display suite_display=$DISPLAY
    display=$(morva_xvfb_start "$1") || fail "no Xvfb for $1"
    OWN_XVFB_PID=$(morva_x_pid "$display")
    morva_wine_use "$WINEPREFIX" "$display"
    trap 'wineserver -k 2>/dev/null; wineserver -w; kill "$OWN_XVFB_PID" 2>/dev/null
          morva_wine_use "$WINEPREFIX" '"$suite_display" EXIT
}

show_picture() {
    cp "$1" "$(windir)/Morva0001.jpg"
}

# Starts the show, waits for its window, and takes screenshots,
# $E2E_LOGDIR/$1-1.png and $1-2.png, until their centres differ, which they
# do only if the show paints its frames over the screen.
start_show_and_shoot() {
    saver_start /s
    saver_window >/dev/null || fail "no full-screen window appeared"
    saver_painting "$1" || fail "the show did not paint ripples"
    saver_running || fail "the show ended by itself"
}

end_show() {
    xdotool key a
    saver_wait 10 || fail "the show did not end on a key"
}

# Fails unless the screenshot's pixel at x,y is within 48 of r,g,b in each
# channel (JPEG blurs colours a little).
expect_colour() {
    local file=$1 x=$2 y=$3 want=$4 got
    got=$(screen_pixel "$file" "$x" "$y")
    local IFS=,
    # shellcheck disable=SC2206
    local g=($got) w=($want) i
    for i in 0 1 2; do
        local d=$((g[i] - w[i]))
        [ ${d#-} -le 48 ] || fail "pixel $x,$y is $got, expected about $want"
    done
}

case_capture_at_depth_24_holds_32_bits() {
    show_picture "$E2E_LOGDIR/quadrants.jpg"
    start_show_and_shoot depth24
    end_show
    read -r width height < <(tr x ' ' <<<"$SCREEN_SIZE")
    expect_capture "$width" "$height" 32
    [ "$SCREEN_SIZE" != 1024x768 ] || expect_eq "$(stat -c %s "$(capture)")" 3145782 "capture size at 1024x768"
    # Bottom row first: the file opens on the blue bottom-left of the picture.
    local b g r
    read -r b g r _ < <(od -An -tu1 -j 54 -N4 "$(capture)")
    [ "$r" -lt 64 ] && [ "$g" -lt 64 ] && [ "$b" -gt 192 ] ||
        fail "the first stored pixel is $r,$g,$b, not the picture's bottom-left blue"
}

case_capture_at_depth_16_holds_16_bits() {
    use_screen 1024x768x16
    show_picture "$E2E_LOGDIR/quadrants.jpg"
    start_show_and_shoot depth16
    end_show
    expect_capture 1024 768 16
    expect_eq "$(stat -c %s "$(capture)")" 1572918 "capture size"
    expect_colour "$E2E_LOGDIR/depth16-2.png" 20 20 255,0,0
    expect_colour "$E2E_LOGDIR/depth16-2.png" 1003 747 255,255,0
}

case_picture_of_another_shape_fills_the_screen_upright() {
    use_screen 1280x1024x24
    show_picture "$E2E_LOGDIR/quadrants.jpg"
    start_show_and_shoot shape
    end_show
    local shot=$E2E_LOGDIR/shape-2.png
    # The show's frames cover the whole screen, upright, to the corners.
    expect_colour "$shot" 0 0 255,0,0
    expect_colour "$shot" 1279 0 0,255,0
    expect_colour "$shot" 0 1023 0,0,255
    expect_colour "$shot" 1279 1023 255,255,0
    # The capture holds the picture as drawn, before any ripple: 800 x 600
    # stretched to 1280 x 1024 puts the quadrants' meeting point at the
    # screen's centre, which an even scale would not; its corners show no
    # border.
    cp "$(capture)" "$E2E_LOGDIR/shape-capture.bmp"
    local drawn=$E2E_LOGDIR/shape-capture.bmp
    expect_colour "$drawn" 0 0 255,0,0
    expect_colour "$drawn" 1279 0 0,255,0
    expect_colour "$drawn" 0 1023 0,0,255
    expect_colour "$drawn" 1279 1023 255,255,0
    expect_colour "$drawn" 630 502 255,0,0
    expect_colour "$drawn" 650 502 0,255,0
    expect_colour "$drawn" 630 522 0,0,255
    expect_colour "$drawn" 650 522 255,255,0
    expect_capture 1280 1024 32
}

case_each_start_leaves_a_temporary_name_and_rewrites_the_capture() {
    show_picture "$E2E_LOGDIR/quadrants.jpg"
    local before
    names() { find "$(tempdir)" -maxdepth 1 -name '~ex*' -size 0 | wc -l; }
    head -c 5000000 /dev/zero | tr '\0' 'x' >"$(capture)"
    before=$(names)
    saver_start /s
    saver_window >/dev/null || fail "no full-screen window appeared"
    end_show
    expect_eq "$(names)" $((before + 1)) "empty ~ex files after one start"
    read -r width height < <(tr x ' ' <<<"$SCREEN_SIZE")
    expect_capture "$width" "$height" 32
    head -c 5000000 /dev/zero | tr '\0' 'x' >"$(capture)"
    saver_start /s
    saver_window >/dev/null || fail "no full-screen window appeared the second time"
    end_show
    expect_eq "$(names)" $((before + 2)) "empty ~ex files after two starts"
    expect_capture "$width" "$height" 32
}

case_without_picture_the_desktop_is_shown() {
    rm -f "$(windir)/Morva0001.jpg"
    count_run e2e_helper.exe
    wine "$HELPER" desktop 6000 >"$E2E_LOGDIR/desktop.out" 2>&1 &
    local helper=$!
    morva_xwinfind -w 20 -n 'Morva test desktop' >/dev/null ||
        fail "the test desktop did not appear"
    await_colour "$E2E_LOGDIR/desktop-0.png" 150 100 224,32,192 || fail "the test desktop is not painted"
    start_show_and_shoot desktop
    end_show
    wait "$helper"
    local shot=$E2E_LOGDIR/desktop-2.png
    expect_colour "$shot" 150 100 224,32,192
    expect_colour "$shot" 299 179 224,32,192
    expect_colour "$shot" 99 100 32,112,48
    expect_colour "$shot" 150 79 32,112,48
    expect_colour "$shot" 150 181 32,112,48
    read -r width height < <(tr x ' ' <<<"$SCREEN_SIZE")
    expect_colour "$shot" 150 $((height - 100)) 32,112,48
    expect_colour "$shot" $((width - 150)) 100 32,112,48
    expect_colour "$shot" $((width - 3)) $((height - 3)) 32,112,48
}
