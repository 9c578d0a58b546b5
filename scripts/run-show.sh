#!/usr/bin/env bash
# Builds what one switch of Morva.scr needs and runs it under Wine, with the
# default picture and tune (or the given ones) in the Windows directory of a
# private prefix (build/show-prefix).
#   scripts/run-show.sh [/s|/p|/c] [--picture FILE] [--tune FILE]
#   scripts/run-show.sh --linux [OPTIONS]   the native X11 program instead
#     /s  the full-screen show (default)
#     /p  the preview, in a window of the preview host program: under Wine a
#         preview drawn by another process never reaches the screen
#     /c  the settings dialog
# On the user's X display it runs there until it is closed (the show: a key
# or the mouse), with Wine's audio drivers on so that the tune plays.
# Without one it runs on a private Xvfb with the audio drivers off, saves a
# screenshot of what ran as build/show-s.png, show-p.png or show-c.png, ends
# it and says where the screenshot is.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MORVA_BUILD_DIR:-$root/build}
export MORVA_BUILD_DIR=$out

# --linux [OPTIONS]: the native X11 program, velunor, instead of the Windows
# show: in a window of its own on the user's display (Escape or q closes it),
# or on a private Xvfb for a few seconds with a screenshot to
# build/show-linux.png. Further options go to velunor.
if [ "${1:-}" = --linux ]; then
    shift
    "$root/scripts/setup.sh" || exit 1
    "$root/scripts/build.sh" native velunor || exit 1
    velunor=$out/native/velunor/velunor
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        echo "run-show: velunor on $DISPLAY (Escape or q closes its window)"
        exec "$velunor" "$@"
    fi
    source "$root/scripts/x-env.sh"
    trap morva_x_cleanup EXIT
    rm -f "$out/show-linux.png"
    DISPLAY=$(morva_xvfb_start 1280x720x24) || exit 1
    export DISPLAY
    "$velunor" "$@" &
    pid=$!
    sleep 6
    import -window root "$out/show-linux.png"
    kill -TERM $pid
    wait $pid
    echo "run-show: velunor ran on a private Xvfb (ended by SIGTERM: status $?); screenshot: $out/show-linux.png"
    exit 0
fi
usage="usage: scripts/run-show.sh [/s|/p|/c] [--picture FILE] [--tune FILE]"

switch=/s
picture=$root/res/media/Morva0001.jpg
tune=$root/res/media/4.mid
while [ $# -gt 0 ]; do
    case $1 in
    /s|/p|/c) switch=$1 ;;
    --picture|--tune)
        [ $# -ge 2 ] && [ -f "$2" ] || { echo "run-show: $1 needs a file" >&2; exit 2; }
        if [ "$1" = --picture ]; then picture=$(realpath "$2"); else tune=$(realpath "$2"); fi
        shift ;;
    *) echo "$usage" >&2; exit 2 ;;
    esac
    shift
done

"$root/scripts/setup.sh" || exit 1
headless=1
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    headless=0
fi

# Only the programs this run starts: Morva.scr, or the preview host, which
# runs the saver's preview in its own process; the dialog's automation for
# the screenshot of the settings dialog.
case $switch in
/p) targets=(preview_host) ;;
/c) targets=(Morva); [ $headless -eq 1 ] && targets+=(dialog_driver) ;;
*) targets=(Morva) ;;
esac
"$root/scripts/build.sh" win "${targets[@]}" || exit 1

source "$root/scripts/wine-env.sh"
trap morva_wine_cleanup EXIT
shot=$out/show-${switch#/}.png
# Earlier runs wrote every screenshot to one file; it no longer tells what ran.
rm -f "$out/show.png"
if [ $headless -eq 1 ]; then
    rm -f "$shot"
    DISPLAY=$(morva_xvfb_start 1280x720x24) || exit 1
    export DISPLAY
else
    morva_wine_audio_on
fi
morva_wine_prefix "${MORVA_WINEPREFIX:-$out/show-prefix}"
morva_media "$picture" "$tune"
[ -f "$(morva_windir)/Morvalst.txt" ] || morva_settings 0

scr=$out/win/app/Morva.scr
preview_host=$out/win/tests/e2e/helper/preview_host.exe
# The preview at the size of the display settings' monitor picture.
preview_size=(152 112)

if [ $headless -eq 0 ]; then
    case $switch in
    /s) echo "run-show: Morva.scr /s on $DISPLAY (a key or the mouse ends the show)"
        wine "$scr" /s ;;
    /p) echo "run-show: the preview of Morva.scr on $DISPLAY, in a window titled \"Preview\" (close it to end)"
        wine "$preview_host" --window "${preview_size[@]}" ;;
    /c) echo "run-show: Morva.scr /c on $DISPLAY (Quit or the close button ends it)"
        wine "$scr" /c ;;
    esac
    exit $?
fi

# Runs the settings dialog's automation; prints its key=value lines. Through
# a file: a Wine program started on the way would hold a pipe open.
drive_dialog() {
    local report=$out/run-show-driver.txt
    wine "$out/win/tests/e2e/dialog/dialog_driver.exe" "$@" >"$report" 2>/dev/null </dev/null
    tr -d '\r' <"$report"
}

status=0
case $switch in
/s)
    wine "$scr" /s &
    pid=$!
    # A few seconds in: the drops still fall and the first rings have spread.
    morva_xwinfind -w 20 -p "$pid" >/dev/null
    sleep 4
    import -window root "$shot"
    xdotool key Escape
    wait "$pid" || status=$? ;;
/p)
    wine "$preview_host" --window "${preview_size[@]}" 4000 &
    pid=$!
    wid=$(morva_xwinfind -w 20 -n Preview | head -n 1)
    sleep 1
    [ -n "$wid" ] && import -window "$wid" "$shot"
    wait "$pid" || status=$? ;;
/c)
    wine "$scr" /c &
    pid=$!
    rect=$(drive_dialog wait activate rect | sed -n 's/^rect=//p')
    if [ -n "$rect" ]; then
        sleep 0.5
        IFS=, read -r x y w h <<<"$rect"
        import -window root -crop "${w}x$h+$x+$y" +repage "$shot"
        drive_dialog click 1009 >/dev/null
    else
        kill "$pid"
    fi
    wait "$pid" || status=$? ;;
esac

echo "run-show: Morva.scr $switch ran on a private Xvfb (exit code $status)"
if [ ! -s "$shot" ]; then
    echo "run-show: no screenshot was taken" >&2
    exit 1
fi
echo "run-show: screenshot: $shot"
exit $status
