# Bad input around the show: whatever stands under the names of the picture,
# the tune, the settings file and the capture file, and whatever the
# registry holds for the browser, the show starts, runs, ends on a key with
# exit code 0, shows no other window (no error box, no crash dialog) and
# leaves the settings file as it was unless Save was pressed.
# Each case logs what the program did (log lines "did: ...").
#
# Root under Wine ignores permission bits (a read-only settings file is
# written all the same), so "unreadable" and "locked" are made with
# tests/e2e/robustness/locker.exe, which holds a file open with no sharing:
# every other open of it fails, for root as for anyone.

ROBUST_PROGRAMS=${SCR%/app/Morva.scr}/tests/e2e
LOCKER=$ROBUST_PROGRAMS/robustness/locker.exe
BROWSER_KEY='HKCR\htmlfile\shell\open\command'
SETTINGS_KEPT="kept line\r\n1"

picture_file() { echo "$(windir)/Morva0001.jpg"; }
music_file() { echo "$(windir)/4.mid"; }
capture_file() { echo "$(tempdir)/cTempPicture.bmp"; }

suite_setup() {
    mkdir -p "$(tempdir)"
    # A valid JPEG of 10000 x 10000, one colour, made once (ImageMagick needs
    # about 800 MB and 10 s for it; the file is small).
    BIG_JPEG=$E2E_LOGDIR/big.jpg
    [ -s "$BIG_JPEG" ] || convert -size 10000x10000 xc:'#2080c0' -quality 80 "$BIG_JPEG"
    restore_media
}

suite_teardown() {
    restore_media
    rm -f "$(settings_file)"
    wine reg delete "$BROWSER_KEY" /f >/dev/null 2>&1
}

restore_media() {
    rm -rf "$(picture_file)" "$(music_file)" "$(capture_file)"
    cp "$E2E_MEDIA/Morva0001.jpg" "$E2E_MEDIA/4.mid" "$(windir)/"
    chmod -R u+w "$(tempdir)" 2>/dev/null
    rm -rf "$(capture_file)"
    printf "$SETTINGS_KEPT" >"$(settings_file)"
}

random_bytes() { head -c "$1" /dev/urandom; }

# Holds $1 open with no sharing for $2 ms; returns once it is held.
lock_file() {
    local out=$E2E_LOGDIR/locker.$$.out i
    count_run locker.exe
    wine "$LOCKER" "$(winepath -w "$1")" "$2" >"$out" 2>>"$E2E_LOGDIR/locker.err" </dev/null &
    track_process $!
    for i in $(seq 1 100); do
        grep -q '^locked=' "$out" 2>/dev/null && break
        sleep 0.1
    done
    grep -q '^locked=1' "$out" || fail "the locker could not hold $1: $(cat "$out")"
}

# Visible windows that belong to a program, one id a line: Wine's desktop
# and the root's children carry no process id.
visible_windows() { morva_xwinfind -P | sort; }

# The colour of the screen's top-left pixel: the border of the display image,
# which the ripple never touches, so it is the show's picture there.
corner_colour() {
    screenshot "$E2E_LOGDIR/corner.png"
    screen_pixel "$E2E_LOGDIR/corner.png" 0 0
}

# Runs the show for a while and ends it on a key; what it showed goes to the
# log. $1 describes the input.
show_survives() {
    local what=$1 before window windows started
    before=$(visible_windows)
    started=$(date +%s%N)
    saver_start /s
    window=$(saver_window 60) || fail "$what: no full-screen window"
    echo "did: $what: window after $((($(date +%s%N) - started) / 1000000)) ms"
    sleep 2
    saver_running || fail "$what: the show ended by itself"
    windows=$(comm -13 <(echo "$before") <(visible_windows))
    [ "$windows" = "$window" ] ||
        fail "$what: other windows appeared: $(for w in $windows; do xdotool getwindowname "$w"; done | tr '\n' '|')"
    SHOWN_CORNER=$(corner_colour)
    echo "did: $what: top-left pixel $SHOWN_CORNER"
    xdotool key a
    saver_wait 15 || fail "$what: a key did not end the show"
    expect_eq "$SAVER_EXIT" 0 "$what: exit code"
}

expect_settings_kept() {
    local want
    want=$(printf "$SETTINGS_KEPT" | od -An -c)
    expect_eq "$(od -An -c "$(settings_file)")" "$want" "settings file after $1"
}

case_picture_file_bad() {
    restore_media
    local jpg
    jpg=$(picture_file)
    : >"$jpg"
    show_survives "empty picture file"
    head -c "$(($(stat -c %s "$E2E_MEDIA/Morva0001.jpg") / 2))" "$E2E_MEDIA/Morva0001.jpg" >"$jpg"
    show_survives "picture truncated half-way"
    random_bytes 65536 >"$jpg"
    show_survives "picture of random bytes"
    convert -size 64x48 xc:'#c03020' "png:$jpg"
    show_survives "PNG named .jpg"
    convert -size 64x48 xc:'#c03020' "bmp3:$jpg"
    show_survives "BMP named .jpg"
    rm -f "$jpg"
    mkdir "$jpg"
    show_survives "directory named Morva0001.jpg"
    rmdir "$jpg"
    cp "$E2E_MEDIA/Morva0001.jpg" "$jpg"
    lock_file "$jpg" 30000
    show_survives "picture held open without sharing"
    expect_settings_kept "bad pictures"
}

case_picture_of_10000_by_10000() {
    restore_media
    cp "$BIG_JPEG" "$(picture_file)"
    show_survives "valid JPEG of 10000 x 10000"
    expect_settings_kept "a large picture"
}

case_music_file_bad() {
    restore_media
    local mid
    mid=$(music_file)
    : >"$mid"
    show_survives "empty music file"
    random_bytes 4096 >"$mid"
    show_survives "music of random bytes"
    # A header claiming 4 GB of header, 65535 tracks and division 0, then one
    # track whose length runs past the end of the file.
    printf 'MThd\xff\xff\xff\xff\x00\x01\xff\xff\x00\x00MTrk\x7f\xff\xff\xff\x00\x90\x3c\x40' >"$mid"
    show_survives "MIDI with absurd header fields"
    rm -f "$mid"
    mkdir "$mid"
    show_survives "directory named 4.mid"
    rmdir "$mid"
    expect_settings_kept "bad music"
}

# The settings file's content before the show and after: unchanged.
settings_case() {
    local what=$1 before
    before=$(md5sum <"$(settings_file)")
    show_survives "$what"
    expect_eq "$(md5sum <"$(settings_file)")" "$before" "settings file after $what"
}

case_settings_file_bad() {
    restore_media
    : >"$(settings_file)"
    settings_case "empty settings file"
    random_bytes 1048576 >"$(settings_file)"
    settings_case "settings file of 1 MB random bytes"
    head -c 4096 /dev/zero >"$(settings_file)"
    settings_case "settings file of NUL bytes"
    printf '\r\n' >"$(settings_file)"
    settings_case "settings file of CR LF only"
}

# Two frames half a second apart, compared at the centre: how many pixels
# changed.
centre_changes() {
    screenshot "$E2E_LOGDIR/a.png"
    sleep 0.5
    screenshot "$E2E_LOGDIR/b.png"
    local changed
    changed=$(compare -metric AE -crop 200x200+412+284 "$E2E_LOGDIR/a.png" "$E2E_LOGDIR/b.png" null: 2>&1)
    echo "${changed%% *}"
}

case_settings_mode_out_of_32_bit_range_gives_a_show_without_drops() {
    restore_media
    # Read like atol, saturated: 99999999999 is INT32_MAX, neither mode 1
    # nor mode 2, so no drop falls; mode 1 for contrast.
    for stored in 99999999999 1; do
        printf "x\r\n$stored" >"$(settings_file)"
        saver_start /s
        saver_window 30 >/dev/null || fail "mode $stored: no full-screen window"
        sleep 1
        local changed
        changed=$(centre_changes)
        echo "did: stored mode $stored: $changed centre pixels changed in 0.5 s"
        case $stored in
        1) [ "$changed" -gt 1000 ] || fail "mode 1 dropped nothing ($changed pixels)" ;;
        *) expect_eq "$changed" 0 "centre pixels changed with mode $stored" ;;
        esac
        xdotool key a
        saver_wait 15 || fail "mode $stored: a key did not end the show"
        expect_eq "$SAVER_EXIT" 0 "mode $stored: exit code"
        expect_eq "$(tr -d '\r' <"$(settings_file)")" "x
$stored" "settings file"
    done
}

case_save_into_a_locked_settings_file_keeps_the_old_content() {
    restore_media
    printf "$SETTINGS_KEPT" >"$(settings_file)"
    lock_file "$(settings_file)" 15000
    open_dialog
    drive select 2 click 1015
    saver_wait 10 || fail "Save did not close the dialog"
    expect_eq "$SAVER_EXIT" 0 "exit code"
    echo "did: Save with the settings file held open: dialog closed, exit code 0"
    expect_settings_kept "Save into a locked file"
    # And once the lock is gone, Save stores.
    saver_kill_all
    open_dialog
    drive select 2 click 1015
    saver_wait 10 || fail "Save did not close the dialog"
    expect_eq "$(tr -d '\r' <"$(settings_file)")" "kept line
2" "settings file after Save"
}

# The show's picture is a one-colour picture file; fails unless the corner
# of the last show was that colour (JPEG and the screen depth allow a little).
expect_picture_shown() {
    local what=$1 r g b
    IFS=, read -r r g b <<<"$SHOWN_CORNER"
    [ $(((r - 192) * (r - 192) + (g - 128) * (g - 128) + (b - 64) * (b - 64))) -le 48 ] ||
        fail "$what: the show did not show its picture (corner $SHOWN_CORNER, wanted about 192,128,64)"
}

case_capture_file_not_writable_shows_the_picture() {
    restore_media
    convert -size 64x48 xc:'#c08040' -quality 95 "$(picture_file)"
    mkdir -p "$(capture_file)"
    show_survives "directory named cTempPicture.bmp"
    expect_picture_shown "directory named cTempPicture.bmp"
    rmdir "$(capture_file)"
    # A capture of another colour left read-only: root writes it all the
    # same under Wine, and the show ripples the new capture.
    convert -size 1024x768 xc:'#20c040' -type TrueColor "bmp3:$(capture_file)"
    chmod 444 "$(capture_file)"
    show_survives "read-only cTempPicture.bmp holding a green picture"
    expect_picture_shown "read-only cTempPicture.bmp"
    chmod 644 "$(capture_file)"
    # Held open by another program: neither written nor read back.
    lock_file "$(capture_file)" 30000
    show_survives "cTempPicture.bmp held open without sharing"
    expect_picture_shown "cTempPicture.bmp held open"
    expect_settings_kept "bad captures"
}

# Puts back a value of HKCU\Environment as `reg query` printed it: type on
# the first line, data on the second; nothing means there was none.
restore_environment() {
    local name=$1 type data
    type=$(head -n 1 <<<"$2")
    data=$(tail -n +2 <<<"$2")
    if [ -n "$type" ]; then
        wine reg add 'HKCU\Environment' /v "$name" /t "$type" /d "$data" /f >/dev/null 2>&1
    else
        wine reg delete 'HKCU\Environment' /v "$name" /f >/dev/null 2>&1
    fi
}

case_no_temporary_path_shows_the_picture_and_writes_nothing_at_the_root() {
    restore_media
    convert -size 64x48 xc:'#c08040' -quality 95 "$(picture_file)"
    # GetTempPathA fails when TMP names a path longer than its buffer.
    local long name kept=()
    long="C:\\$(head -c 300 /dev/zero | tr '\0' x)"
    for name in TMP TEMP; do
        kept+=("$(wine reg query 'HKCU\Environment' /v $name 2>/dev/null | tr -d '\r' | awk -v n=$name '$1 == n {print $2; $1 = $2 = ""; sub(/^ +/, ""); print}')")
    done
    # The case runs in a subshell: whatever ends it puts the values back.
    trap 'restore_environment TMP "${kept[0]}"; restore_environment TEMP "${kept[1]}"; rm -f /cTempPicture.bmp "$WINEPREFIX/drive_c/cTempPicture.bmp"' EXIT
    wine reg add 'HKCU\Environment' /v TMP /t REG_SZ /d "$long" /f >/dev/null 2>&1 || fail "reg add TMP"
    wine reg add 'HKCU\Environment' /v TEMP /t REG_SZ /d "$long" /f >/dev/null 2>&1 || fail "reg add TEMP"
    rm -f /cTempPicture.bmp "$WINEPREFIX/drive_c/cTempPicture.bmp"
    local names
    names=$(ls "$(tempdir)" | grep -c '^~ex')
    show_survives "temporary path longer than MAX_PATH"
    local leftover
    leftover=$(ls /cTempPicture.bmp "$WINEPREFIX/drive_c/cTempPicture.bmp" 2>/dev/null)
    # A show that found its temporary directory leaves a new "~ex" file there.
    expect_eq "$(ls "$(tempdir)" | grep -c '^~ex')" "$names" "temporary names made without a temporary path"
    expect_picture_shown "no temporary path"
    [ -z "$leftover" ] || fail "a capture was written at a drive root: $leftover"
}

# Presses the home-page button with the browser key as given: the dialog
# stays, nothing else appears, Quit ends with 0.
home_page_with() {
    local what=$1 before windows
    before=$(visible_windows)
    open_dialog
    drive click 1008 sleep 500 state || fail "$what: the home-page button is not there"
    saver_running || fail "$what: the program ended"
    grep -qx 'visible=1' "$DRIVEN" || fail "$what: the dialog is gone"
    windows=$(comm -13 <(echo "$before") <(visible_windows) | wc -l)
    expect_eq "$windows" 1 "$what: visible windows besides the dialog's"
    drive click 1009
    saver_wait 10 || fail "$what: Quit did not end the program"
    expect_eq "$SAVER_EXIT" 0 "$what: exit code"
    echo "did: browser command $what: dialog stayed, no other window, exit code 0"
}

case_browser_command_bad() {
    restore_media
    wine reg delete "$BROWSER_KEY" /f >/dev/null 2>&1
    home_page_with "key missing"
    wine reg add "$BROWSER_KEY" /ve /t REG_SZ /d "" /f >/dev/null 2>&1 || fail "reg add"
    home_page_with "empty value"
    wine reg add "$BROWSER_KEY" /ve /t REG_DWORD /d 12345 /f >/dev/null 2>&1 || fail "reg add"
    home_page_with "REG_DWORD value"
    wine reg add "$BROWSER_KEY" /ve /t REG_SZ /d "C:\\nothere.exe $(head -c 286 /dev/zero | tr '\0' x)" /f \
        >/dev/null 2>&1 || fail "reg add"
    home_page_with "of 300 characters"
    wine reg delete "$BROWSER_KEY" /f >/dev/null 2>&1
    expect_settings_kept "bad browser commands"
}
