# The installer's round trip: a silent install puts Morva.scr, the picture,
# the tune and a settings file in place and registers the uninstaller; the
# installed saver shows the picture and stores its settings from the first
# run; a silent uninstall removes what was installed and keeps the settings
# file, which is never removed.

UNINST_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelunorScreenSaver'
SETUP=$(ls "${SCR%/app/Morva.scr}"/installer/VelunorScreenSaver-*-Setup.exe 2>/dev/null | head -n 1)
INSTALLED_FILES=(system32/Morva.scr Morva0001.jpg 4.mid)

program_dir() { echo "$WINEPREFIX/drive_c/Program Files/Velunor ScreenSaver"; }

# Other suites share the prefix: keep what they put into the Windows
# directory and give it back afterwards.
suite_setup() {
    E2E_KEPT=$(mktemp -d)
    cp -p "$(windir)/Morva0001.jpg" "$(windir)/4.mid" "$(settings_file)" "$E2E_KEPT/" 2>/dev/null
    uninstall_quietly
    rm -f "$(settings_file)" "$(windir)/Morva0001.jpg" "$(windir)/4.mid"
}

suite_teardown() {
    uninstall_quietly
    rm -f "$(settings_file)"
    cp -p "$E2E_KEPT"/* "$(windir)/" 2>/dev/null
    rm -rf "$E2E_KEPT"
}

# Each case starts from a prefix without the product and without a settings
# file.
start_clean() {
    uninstall_quietly || fail "the previous install did not go:" $LEFT
    rm -f "$(settings_file)"
}

install_silently() {
    [ -n "$SETUP" ] || fail "no installer in the build (target installer)"
    wine "$SETUP" /S || fail "the installer failed: exit code $?"
}

# The value of one registry value of the uninstall key, or nothing.
uninst_value() {
    wine reg query "$UNINST_KEY" /v "$1" 2>/dev/null | tr -d '\r' |
        awk -v name="$1" '$1 == name { sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]+/, ""); print; exit }'
}

uninst_key_exists() { wine reg query "$UNINST_KEY" >/dev/null 2>&1; }

# What an uninstall removes and is still there, one a line.
left_installed() {
    local f
    for f in "${INSTALLED_FILES[@]}"; do
        [ -e "$(windir)/$f" ] && echo "$f"
    done
    [ -e "$(program_dir)" ] && echo "the program folder"
    uninst_key_exists && echo "the uninstall key"
}

# The uninstaller copies itself away and returns at once; the copy does the
# work. Waits up to 20 s for everything to be gone; LEFT says what was not.
wait_uninstalled() {
    local end=$((SECONDS + 20))
    while :; do
        LEFT=$(left_installed)
        [ -z "$LEFT" ] && return 0
        [ $SECONDS -ge $end ] && return 1
        sleep 0.2
    done
}

uninstall_quietly() {
    [ -e "$(program_dir)/Uninstall.exe" ] || return 0
    wine "$(program_dir)/Uninstall.exe" /S
    wait_uninstalled
}

# The Linux path of a Windows path in the prefix.
unix_path() { winepath -u "$1" 2>/dev/null; }

case_silent_install_places_the_files_and_registers_the_uninstaller() {
    start_clean
    install_silently
    cmp "$(windir)/system32/Morva.scr" "$SCR" || fail "system32\\Morva.scr is not the built program"
    cmp "$(windir)/Morva0001.jpg" "$E2E_MEDIA/Morva0001.jpg" || fail "the picture in the Windows directory"
    cmp "$(windir)/4.mid" "$E2E_MEDIA/4.mid" || fail "the tune in the Windows directory"
    expect_eq "$(od -An -c "$(settings_file)" | tr -s ' ')" ' \r \n 0' "new settings file"

    expect_eq "$(uninst_value DisplayName)" "Velunor ScreenSaver" "DisplayName"
    expect_eq "$(uninst_value DisplayVersion)" "1.0" "DisplayVersion"
    expect_eq "$(uninst_value Publisher)" "Velunor" "Publisher"
    expect_eq "$(uninst_value DisplayIcon)" 'C:\windows\system32\Morva.scr,0' "DisplayIcon"
    uninstall=$(uninst_value UninstallString)
    quiet=$(uninst_value QuietUninstallString)
    expect_eq "$quiet" "$uninstall /S" "QuietUninstallString"
    program=${uninstall#\"}
    program=${program%\"}
    [ -f "$(unix_path "$program")" ] || fail "UninstallString names no file: $uninstall"
}

case_existing_settings_file_is_kept_by_install_and_uninstall() {
    start_clean
    printf 'abc\r\n2' >"$(settings_file)"
    install_silently
    expect_eq "$(cat "$(settings_file)")" $'abc\r\n2' "settings file after install"
    uninstall_quietly || fail "the uninstall did not finish"
    expect_eq "$(cat "$(settings_file)")" $'abc\r\n2' "settings file after uninstall"
}

case_installed_saver_shows_the_picture() {
    start_clean
    install_silently
    SCR='C:\windows\system32\Morva.scr'
    saver_start /s
    saver_window >/dev/null || fail "no full-screen window from the installed saver"
    saver_painting installed-show || fail "the installed show does not paint"
    xdotool key a
    saver_wait 10 || fail "the installed show did not end on a key"
    expect_eq "$SAVER_EXIT" 0 "exit code"

    # Ripples move the picture's pixels about, so compare loosely: most of
    # the screen matches the picture stretched over it, which neither the
    # desktop nor a flipped picture does.
    convert "$E2E_MEDIA/Morva0001.jpg" -resize "${SCREEN_SIZE}!" "$E2E_LOGDIR/picture-on-screen.png"
    differing=$(compare -metric AE -fuzz 20% "$E2E_LOGDIR/installed-show-2.png" "$E2E_LOGDIR/picture-on-screen.png" \
        null: 2>&1)
    pixels=$((${SCREEN_SIZE%x*} * ${SCREEN_SIZE#*x}))
    echo "pixels off the picture: $differing of $pixels"
    [ "${differing%% *}" -lt $((pixels * 3 / 10)) ] 2>/dev/null ||
        fail "the show does not show the picture ($differing of $pixels pixels differ)"
}

case_installed_settings_store_a_mode_at_first_save() {
    start_clean
    install_silently
    SCR='C:\windows\system32\Morva.scr'
    open_dialog
    drive select 2 click 1015 closed 10000
    expect_eq "$(reported dialog_closed)" 1 "Save closed the dialog"
    saver_wait 10 || fail "the settings dialog did not end"
    expect_eq "$(od -An -c "$(settings_file)" | tr -s ' ')" ' \r \n 2' "settings file after Save"
}

case_silent_uninstall_leaves_nothing_but_the_settings() {
    start_clean
    install_silently
    printf '\r\n1' >"$(settings_file)"
    # As a management tool would: the registered quiet command line.
    quiet=$(uninst_value QuietUninstallString)
    program=${quiet%\" /S}
    program=${program#\"}
    [ "$quiet" = "\"$program\" /S" ] || fail "QuietUninstallString: $quiet"
    # The uninstaller that started the silent copy may still be ending when
    # the copy deletes its file, as on a busy machine: another one, running
    # in place and waiting at its first page, keeps the file in use for a
    # while.
    wine "$program" '_?=C:\nowhere' >/dev/null 2>&1 &
    local holder=$!
    track_process $holder
    morva_xwinfind -w 20 -p $holder >/dev/null || fail "the uninstaller run in place showed no window"
    wine "$program" /S || fail "the uninstaller failed: exit code $?"
    # The tune is the last file deleted before the uninstaller's own.
    local end=$((SECONDS + 20))
    while [ -e "$(windir)/4.mid" ] && [ $SECONDS -lt $end ]; do
        sleep 0.2
    done
    sleep 1
    [ -e "$(program_dir)/Uninstall.exe" ] || fail "the uninstaller's file went while in use"
    kill $holder
    wait_uninstalled || fail "still there 20 s after the uninstall:" $LEFT
    for f in "${INSTALLED_FILES[@]}"; do
        [ ! -e "$(windir)/$f" ] || fail "$f is left"
    done
    [ ! -e "$(program_dir)" ] || fail "the program folder is left"
    ! uninst_key_exists || fail "the uninstall key is left"
    expect_eq "$(cat "$(settings_file)")" $'\r\n1' "settings file after uninstall"
}
