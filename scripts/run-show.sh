#!/usr/bin/env bash
# Builds Morva.scr and runs it under Wine with the default picture and tune.
#   scripts/run-show.sh [SWITCH]     SWITCH: /s (default), /c, /p
#   scripts/run-show.sh --linux [OPTIONS]   the native X11 program instead
# On the user's X display when there is one; otherwise on a private Xvfb,
# where it saves a screenshot of the running show and ends it.
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
    "$root/scripts/build.sh" native || exit 1
    velunor=$out/native/x11/velunor
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        echo "run-show: velunor on $DISPLAY (Escape or q closes its window)"
        exec "$velunor" "$@"
    fi
    source "$root/scripts/wine-env.sh"
    trap morva_wine_cleanup EXIT
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
switch=${1:-/s}

"$root/scripts/setup.sh" || exit 1
"$root/scripts/build.sh" win || exit 1
source "$root/scripts/wine-env.sh"
trap morva_wine_cleanup EXIT

headless=1
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    headless=0
else
    DISPLAY=$(morva_xvfb_start 1280x720x24) || exit 1
    export DISPLAY
fi
prefix=${MORVA_WINEPREFIX:-$out/show-prefix}
morva_wine_prefix "$prefix"
windows=$(morva_windir)
cp "$root/res/media/Morva0001.jpg" "$root/res/media/4.mid" "$windows/"
[ -f "$windows/Morvalst.txt" ] || printf '\r\n0' >"$windows/Morvalst.txt"

scr=$out/win/app/Morva.scr
if [ "$switch" = /p ]; then
    wine "$out/win/tests/e2e/helper/e2e_helper.exe" host "$(winepath -w "$scr")" destroy
    exit $?
fi
if [ $headless -eq 0 ]; then
    echo "run-show: Morva.scr $switch on $DISPLAY (a key or the mouse ends the show)"
    wine "$scr" "$switch"
    exit $?
fi

wine "$scr" "$switch" &
pid=$!
sleep 8
shot=$out/show.png
import -window root "$shot"
xdotool key Escape
wait $pid
echo "run-show: Morva.scr $switch ran on a private Xvfb (exit code $?); screenshot: $shot"
