# The settings dialog, its About box and the home-page button, driven from
# another process by tests/e2e/dialog/dialog_driver.exe as a user would, with
# the web browser played by tests/e2e/dialog/recorder.exe.

DIALOG_PROGRAMS=${SCR%/app/Morva.scr}/tests/e2e/dialog
ADDRESS="http://www.velunor.example/"
BROWSER_KEY='HKCR\htmlfile\shell\open\command'
# The stand-in browser, at a path without blanks and at one with them.
PLAIN_BROWSER='C:\Rec\recorder.exe'
SPACED_BROWSER='C:\Program Files\Rec\recorder.exe'
export MORVA_RECORD='C:\Rec\record.txt'

record_file() { echo "$WINEPREFIX/drive_c/Rec/record.txt"; }

suite_setup() {
    mkdir -p "$WINEPREFIX/drive_c/Rec" "$WINEPREFIX/drive_c/Program Files/Rec"
    cp "$DIALOG_PROGRAMS/recorder.exe" "$WINEPREFIX/drive_c/Rec/"
    cp "$DIALOG_PROGRAMS/recorder.exe" "$WINEPREFIX/drive_c/Program Files/Rec/"
}

suite_teardown() {
    rm -f "$(settings_file)"
    rm -rf "$WINEPREFIX/drive_c/Rec" "$WINEPREFIX/drive_c/Program Files/Rec"
    wine reg delete "$BROWSER_KEY" /f >/dev/null 2>&1
    wine reg delete 'HKCU\Software\Wine\AppDefaults\Morva.scr' /f >/dev/null 2>&1
}

# Writes the settings file; arguments are printf format pieces.
store_settings() { printf "$1" >"$(settings_file)"; }
settings_bytes() { od -An -c "$(settings_file)" | tr -s ' \n' ' '; }
expect_settings() {
    local want
    want=$(printf "$1" | od -An -c | tr -s ' \n' ' ')
    [ -f "$(settings_file)" ] || fail "the settings file is gone"
    expect_eq "$(settings_bytes)" "$want" "settings file"
}

# Whether a window rectangle "x,y,width,height" is centred, to the pixel, in
# another one (by default the screen: no taskbar, the work area is the screen).
expect_centred() {
    local x y w h ox=0 oy=0 ow=${SCREEN_SIZE%x*} oh=${SCREEN_SIZE#*x}
    IFS=, read -r x y w h <<<"$1"
    [ -z "${3:-}" ] || IFS=, read -r ox oy ow oh <<<"$3"
    expect_eq "$x,$y" "$((ox + (ow - w) / 2)),$((oy + (oh - h) / 2))" "$2 position (${w}x$h in ${ow}x$oh at $ox,$oy)"
}

close_with_exit_0() {
    saver_wait 10 || fail "${1:-the dialog} did not end the program"
    expect_eq "$SAVER_EXIT" 0 "exit code"
}

case_dialog_opens_captioned_with_empty_label_and_focus_on_home_page() {
    rm -f "$(settings_file)"
    open_dialog
    drive state rect
    expect_centred "$(reported rect)" "settings dialog"
    expect_eq "$(reported first_caption)" "Velunor ScreenSaver" "caption when first shown"
    expect_eq "$(reported caption)" "Velunor ScreenSaver" "caption"
    expect_eq "$(reported label)" "" "label 1011"
    expect_eq "$(reported foreground)" 1 "dialog is the active window"
    expect_eq "$(reported focus)" 1008 "focused control"
    expect_eq "$(reported entries)" "Mode 1 and Mode 2|Mode 1|Mode 2" "mode list"
    expect_eq "$(reported tab_order)" "1008,1009,1003,1015" "tab order"
    # No settings file: mode 0.
    expect_eq "$(reported selection_text)" "Mode 1 and Mode 2" "selection"
    drive click 1009
    close_with_exit_0 Quit
    [ ! -e "$(settings_file)" ] || fail "Quit created a settings file"
}

case_list_shows_the_stored_mode_and_quit_stores_nothing() {
    for stored in 2 5 0; do
        store_settings "carried\r\n$stored"
        open_dialog
        drive state
        case $stored in
        2) expect_eq "$(reported selection_text)" "Mode 2" "selection for 2" ;;
        0) expect_eq "$(reported selection_text)" "Mode 1 and Mode 2" "selection for 0" ;;
        5) expect_eq "$(reported selection)" -1 "selection for 5" ;;
        esac
        drive select 1 click 1009
        close_with_exit_0 Quit
        expect_settings "carried\r\n$stored"
    done
}

case_save_stores_the_chosen_mode_and_closes() {
    store_settings "abc\r\n2"
    open_dialog
    drive select 1 click 1015
    close_with_exit_0 Save
    expect_settings "abc\r\n1"
}

case_save_without_a_choice_stores_minus_one_after_the_carried_text() {
    store_settings "carried text\r\n5"
    open_dialog
    drive click 1015
    close_with_exit_0 Save
    expect_settings "carried text\r\n-1"
}

case_esc_and_the_close_command_store_nothing() {
    store_settings "x\r\n2"
    open_dialog
    saver_window >/dev/null || fail "the dialog is not on the screen"
    drive select 0
    xdotool key Escape
    close_with_exit_0 Esc
    expect_settings "x\r\n2"

    open_dialog
    drive select 0 syscommand F060
    close_with_exit_0 "the Close command"
    expect_settings "x\r\n2"
}

case_saving_without_a_settings_file_creates_none() {
    rm -f "$(settings_file)"
    open_dialog
    drive select 2 click 1015
    close_with_exit_0 Save
    [ ! -e "$(settings_file)" ] || fail "Save created $(settings_file)"
}

case_about_box_opens_from_the_system_menu_and_the_dialog_goes_on() {
    store_settings "\r\n0"
    open_dialog
    drive select 2 state rect
    local before setup_rect
    before=$(grep -E '^(caption|label|focus|selection|entries|visible)=' "$DRIVEN" | tail -n 6)
    setup_rect=$(reported rect)
    for command in 10 1F; do
        drive syscommand "$command" about || fail "command 0x$command opened no About box"
        expect_eq "$(reported about_texts)" "Saver Version 1.0|Copyright (C) Velunor|OK" \
            "About box texts"
        expect_eq "$(reported about_default)" 1 "About box default button"
        # Centred over its owner, the settings dialog.
        expect_centred "$(reported about_rect)" "About box" "$setup_rect"
        # Modal over the settings dialog: owned by it, which takes no input.
        expect_eq "$(reported about_owner_is_setup)" 1 "About box owner"
        expect_eq "$(reported setup_enabled)" 0 "settings dialog enabled under the About box"
        saver_running || fail "the program ended under the About box"
        case $command in
        10) drive about_close ok ;;
        1F) drive about_close esc ;;
        esac
        drive state
        local after
        after=$(grep -E '^(caption|label|focus|selection|entries|visible)=' "$DRIVEN" | tail -n 6)
        expect_eq "$after" "$before" "settings dialog after the About box"
    done
    drive click 1015
    close_with_exit_0 Save
    expect_settings "\r\n2"
}

# Points the browser key at a command, presses the home-page button and
# leaves the dialog open (Windows NT family). RECORDED is what the stand-in
# browser received, empty when nothing was started.
press_home_page() {
    rm -f "$(record_file)"
    open_dialog
    drive click 1008 || fail "the home-page button is not there"
    # The button's handler, WinExec included, has run when the click returns.
    local i
    for i in $(seq 1 "${1:-40}"); do
        [ -s "$(record_file)" ] && break
        sleep 0.05
    done
    RECORDED=$(tr -d '\r' <"$(record_file)" 2>/dev/null)
    saver_running || fail "the program ended after the home-page button"
    drive state
    expect_eq "$(reported visible)" 1 "dialog visible after the home-page button"
    drive click 1009
    close_with_exit_0 Quit
}

set_browser() {
    wine reg add "$BROWSER_KEY" /ve /t "${2:-REG_SZ}" /d "$1" /f >/dev/null 2>&1 || fail "reg add failed"
}

case_home_page_appends_the_address_to_the_browser_command() {
    set_browser "$PLAIN_BROWSER "
    press_home_page 200
    expect_eq "$RECORDED" "$PLAIN_BROWSER $ADDRESS" "command ending in a blank"

    set_browser "\"$SPACED_BROWSER\""
    press_home_page 200
    expect_eq "$RECORDED" "\"$SPACED_BROWSER\"$ADDRESS" "command ending in a quote"

    set_browser "\"$SPACED_BROWSER\" -url \"%1\""
    press_home_page 200
    expect_eq "$RECORDED" "\"$SPACED_BROWSER\" -url \"%1\"$ADDRESS" "command with %1"
}

case_home_page_starts_nothing_without_a_usable_command() {
    wine reg delete "$BROWSER_KEY" /f >/dev/null 2>&1
    press_home_page
    expect_eq "$RECORDED" "" "started with the key missing"

    # The value's bytes are a command, but not as text.
    local hex
    hex=$(printf '%s ' "$PLAIN_BROWSER" | od -An -tx1 | tr -d ' \n')00
    set_browser "$hex" REG_BINARY
    press_home_page
    expect_eq "$RECORDED" "" "started from a binary value"

    # 300 characters do not fit the 256-byte buffer; 240 do, but not with
    # the address after them.
    local length
    for length in 300 240; do
        set_browser "$PLAIN_BROWSER $(head -c $((length - ${#PLAIN_BROWSER} - 1)) /dev/zero | tr '\0' x)"
        press_home_page
        expect_eq "$RECORDED" "" "started a $length-character command"
    done
}

case_home_page_on_the_windows_95_family_closes_the_dialog_first() {
    wine reg add 'HKCU\Software\Wine\AppDefaults\Morva.scr' /v Version /t REG_SZ /d win98 /f >/dev/null 2>&1
    set_browser "$PLAIN_BROWSER "
    rm -f "$(record_file)"
    open_dialog
    drive click 1008 closed 5000
    wine reg delete 'HKCU\Software\Wine\AppDefaults\Morva.scr' /f >/dev/null 2>&1
    expect_eq "$(reported dialog_closed)" 1 "dialog closed"
    close_with_exit_0 "the home-page button"
    local i
    for i in $(seq 1 200); do
        [ -s "$(record_file)" ] && break
        sleep 0.05
    done
    expect_eq "$(tr -d '\r' <"$(record_file)" 2>/dev/null)" "$PLAIN_BROWSER $ADDRESS" "browser command"
}
