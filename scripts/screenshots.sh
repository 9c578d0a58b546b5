#!/usr/bin/env bash
# Takes the screenshots in docs/ from the running program, under Wine on a
# private 1024x768x24 Xvfb with the default picture and tune installed into a
# private prefix.
#   scripts/screenshots.sh [SHOT ...]     (default: every shot)
# A shot is a function shot_<name> writing docs/<name>.png, with "-" in the
# name written as "_" in the function; add one and list it in ALL_SHOTS.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MORVA_BUILD_DIR:-$root/build}
export MORVA_BUILD_DIR=$out
docs=$root/docs
win=$out/win
scr=$win/app/Morva.scr

ALL_SHOTS=(show-mode1 show-mode2 show-two-monitors preview settings-dialog about-box wayland-two-outputs)

# The full-screen show with the given effect mode, a few seconds in, while
# the drops still fall and the first rings have spread.
show_in_mode() {
    local mode=$1 file=$2 pid
    morva_settings "$mode"
    wine "$scr" /s &
    pid=$!
    morva_xwinfind -w 30 -p "$pid" >/dev/null
    sleep 4
    import -window root "$file"
    xdotool key Escape
    wait "$pid"
}

shot_show_mode1() { show_in_mode 1 "$docs/show-mode1.png"; }
shot_show_mode2() { show_in_mode 2 "$docs/show-mode2.png"; }

# The show in mode 1 on two monitors, an 800x600 primary and a 640x480
# monitor to its right: the screens of a nested X server joined by Xinerama,
# which Wine reads as monitors with its XRandR use off. The prefix's server
# moves there for the shot and back after it. The part of the picture that
# lies on no monitor is drawn light grey.
shot_show_two_monitors() {
    local host two status=0
    host=$(morva_xvfb_start 1600x800x24) || return 1
    two=$(morva_xephyr_start "$host" 800x600 640x480) || { morva_x_stop "$host"; return 1; }
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -k 2>/dev/null
    wineserver -w
    (
        export DISPLAY=$two
        xdotool mousemove 400 300
        show_in_mode 1 "$out/show-two-monitors.png"
        wineserver -k 2>/dev/null
        wineserver -w
    ) || status=1
    wine reg delete 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /f >/dev/null 2>&1
    morva_x_stop "$two"
    morva_x_stop "$host"
    [ $status -eq 0 ] || return 1
    convert "$out/show-two-monitors.png" -fill '#d8d8d8' -draw 'rectangle 800,480 1439,599' \
        "$docs/show-two-monitors.png"
}

# velunor --wayland on headless sway with two outputs, a 960x540 one and a
# 640x480 one to its right, in mode 0 at tick 50, as the first rings spread;
# the part of the layout that lies on no output is drawn light grey. Shown
# at half its size with 256 colours, to keep the file small.
shot_wayland_two_outputs() {
    "$root/scripts/build.sh" native velunor >/dev/null || return 1
    local shot=$out/wayland-two-outputs.png
    rm -f "$shot"
    (
        source "$root/scripts/wayland-env.sh"
        trap morva_wayland_cleanup EXIT
        morva_sway_start 960x540 "$out/screenshots-sway.log" || exit 1
        swaymsg create_output >/dev/null && swaymsg output HEADLESS-2 mode 640x480 pos 960 0 >/dev/null || exit 1
        local log=$out/screenshots-velunor.log i
        "$out/native/velunor/velunor" --wayland --hold-after 50 --log-ticks 2>"$log" &
        for i in $(seq 1 200); do
            [ "$(grep -c '^velunor: tick 50 ' "$log")" -ge 2 ] && break
            sleep 0.05
        done
        grim -t png "$shot"
        kill %1
    )
    [ -f "$shot" ] || return 1
    convert "$shot" -background '#d8d8d8' -flatten -fill '#d8d8d8' -draw 'rectangle 960,480 1599,539' \
        -resize 50% -colors 256 PNG8:"$docs/wayland-two-outputs.png"
}

# The preview at the size of the display settings' monitor picture, scaled up
# twice for the page. It runs in a host window of its own process: a preview
# drawn by another process does not reach the screen under Wine.
shot_preview() {
    local pid
    wine "$win/tests/e2e/helper/preview_host.exe" 152 112 3000 &
    pid=$!
    morva_xwinfind -w 30 -n "Preview host" >/dev/null
    sleep 1
    import -window root -crop 152x112+0+0 +repage -filter point -resize 200% "$docs/preview.png"
    wait "$pid"
}

# Runs the settings dialog's automation; prints its key=value lines. Through
# a file: a Wine program started on the way would hold a pipe open.
drive_dialog() {
    local report=$out/screenshots-driver.txt
    wine "$win/tests/e2e/dialog/dialog_driver.exe" "$@" >"$report" 2>/dev/null </dev/null
    tr -d '\r' <"$report"
}

# Saves the screen inside a rectangle given as "x,y,width,height".
crop_screen() {
    local x y w h
    IFS=, read -r x y w h <<<"$1"
    import -window root -crop "${w}x$h+$x+$y" +repage "$2"
}

# The settings dialog as it opens with mode 0 stored, focus on the home-page
# button, cropped to its window.
shot_settings_dialog() {
    local pid rect
    morva_settings 0
    wine "$scr" /c &
    pid=$!
    rect=$(drive_dialog wait activate rect | sed -n 's/^rect=//p')
    [ -n "$rect" ] || { kill "$pid"; return 1; }
    sleep 0.5
    crop_screen "$rect" "$docs/settings-dialog.png"
    drive_dialog click 1009 >/dev/null
    wait "$pid"
}

# The About box, opened from the settings dialog's system menu.
shot_about_box() {
    local pid rect
    morva_settings 0
    wine "$scr" /c &
    pid=$!
    rect=$(drive_dialog wait syscommand 10 about activate | sed -n 's/^about_rect=//p')
    [ -n "$rect" ] || { kill "$pid"; return 1; }
    sleep 0.5
    crop_screen "$rect" "$docs/about-box.png"
    drive_dialog about_close ok click 1009 >/dev/null
    wait "$pid"
}

# Wine reads its own fonts (MS Sans Serif, Marlett for the caption buttons)
# from the prefix's Fonts folder; Debian's Wine does not find them where
# fonts-wine puts them, so dialogs would fall back to another face and show
# letters on their caption buttons.
shots=("$@")
[ ${#shots[@]} -gt 0 ] || shots=("${ALL_SHOTS[@]}")
for s in "${shots[@]}"; do
    declare -F "shot_${s//-/_}" >/dev/null || { echo "screenshots: no shot $s" >&2; exit 2; }
done

"$root/scripts/setup.sh" || exit 1
"$root/scripts/build.sh" win || exit 1
source "$root/scripts/wine-env.sh"
trap morva_wine_cleanup EXIT
DISPLAY=$(morva_xvfb_start 1024x768x24) || exit 1
export DISPLAY
morva_wine_prefix "$out/screenshots-prefix"
morva_media
mkdir -p "$docs"

for s in "${shots[@]}"; do
    "shot_${s//-/_}" || { echo "screenshots: $s failed" >&2; exit 1; }
    echo "screenshots: docs/$s.png"
done
