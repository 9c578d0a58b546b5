# Sourced by the run and test scripts: a private 32-bit Wine prefix on a
# private Xvfb display, made once per run.
#
#   morva_xvfb_start WxHxD        starts an Xvfb; prints its display name
#   morva_wine_prefix DIR         makes a prefix in DIR (wineboot, no window
#                                 manager quirks) unless it exists
#   morva_wine_use DIR DISPLAY    exports WINEPREFIX and DISPLAY for wine and
#                                 keeps a server running for the prefix
#   morva_wine_heapcheck BUILD    turns on Windows' heap checking in the
#                                 current prefix for Morva.scr and every test
#                                 and helper program of a cross build
#   morva_wine_cleanup            stops every server this shell started
#   morva_wine_audio_on           turns the audio drivers back on, for a run
#                                 on the user's display
#   morva_xwinfind ARGS           finds visible windows of the display
#                                 (scripts/xwinfind.c, built on first use)
#
# Wine notes that shape this: with no window manager, X11 "Managed" windows
# stall 2 s on destruction and get no deactivation messages, so the prefix
# turns managing off; the mono and gecko installers are disabled so that
# nothing asks questions, and the audio drivers, so that tests and headless
# runs print no noise and play nothing.

export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
MORVA_WINE_NO_INSTALLERS="mscoree,mshtml="
export WINEDLLOVERRIDES="$MORVA_WINE_NO_INSTALLERS;winealsa.drv,winepulse.drv,wineoss.drv=d"

morva_wine_audio_on() { export WINEDLLOVERRIDES=$MORVA_WINE_NO_INSTALLERS; }

MORVA_WINE_PREFIXES=()
# Xvfb is usually started in a command substitution, a subshell, so its
# process id goes to a file of this shell ($$ is the same in subshells).
MORVA_XVFB_PIDFILE=/tmp/morva-xvfb.$$

morva_xvfb_start() {
    morva_x_start Xvfb -screen 0 "${1:-1024x768x24}" -nolisten tcp -noreset
}

# Starts the X server "$1" on the first free display, with the display as
# its first argument and the rest after it; prints the display once the
# server listens.
morva_x_start() {
    local program=$1 n pid i
    shift
    for n in $(seq 90 199); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        "$program" ":$n" "$@" >/dev/null 2>&1 &
        pid=$!
        for i in $(seq 1 100); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        if [ -e "/tmp/.X11-unix/X$n" ]; then
            echo "$pid" >>"$MORVA_XVFB_PIDFILE"
            echo ":$n"
            return 0
        fi
    done
    echo "wine-env: no free X display for $program" >&2
    return 1
}

morva_wine_use() {
    export WINEPREFIX=$1
    export DISPLAY=$2
    # A server kept alive between programs saves about a second a start.
    # The first program starts Wine's own background processes, which then
    # live as long as the server: start them here, on this display and away
    # from the pipes of a test runner that would wait for them to close.
    wineserver -p
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1
}

morva_wine_prefix() {
    local dir=$1
    export WINEPREFIX=$dir
    if [ ! -f "$dir/system.reg" ]; then
        mkdir -p "$dir"
        wineboot -i >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        # An empty debugger command: a crashing program ends at once (exit
        # code 5) instead of waiting in winedbg until a test times out.
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d '' /f >/dev/null 2>&1
        wineserver -w
    fi
    # Debian's Wine looks for fonts-wine's files in a folder that does not
    # resolve; without them "MS Sans Serif" falls back to another face and
    # the caption buttons show letters.
    local font
    for font in /usr/share/wine/fonts/*; do
        [ -e "$dir/drive_c/windows/Fonts/${font##*/}" ] || ln -s "$font" "$dir/drive_c/windows/Fonts/"
    done
    MORVA_WINE_PREFIXES+=("$dir")
}

# Heap checking through the images' global flags, for Morva.scr (under its
# own and its installed name) and every program a cross build's tests run.
# 0xf0: tail and free checking, parameter checking, and the whole heap
# validated on every heap call. A write into freed memory or past a block
# then shows as an "err:heap" line on the program's standard error when
# WINEDEBUG lets err+heap through. The cross-built copies of the platform-
# free tests (tests/native, also run under AddressSanitizer natively) make
# hundreds of thousands of allocations, which whole-heap validation at every
# call slows tenfold: they get 0x70, the same checks without that, and every
# test program validates all its heaps once more after its last test.
morva_wine_heapcheck() {
    local build=$1 reg=$WINEPREFIX/heapcheck.reg path name flags
    {
        printf 'REGEDIT4\n\n'
        for path in Morva.scr $(find "$build/tests" -name '*.exe' -not -path '*/CMakeFiles/*' | sort); do
            name=${path##*/}
            flags=000000f0
            case $path in */tests/native/*) flags=00000070 ;; esac
            printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\%s]\n' "$name"
            printf '"GlobalFlag"=dword:%s\n\n' "$flags"
        done
    } >"$reg"
    # Wine maps the Unix root to drive Z:.
    wine regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1
}

# Every window search of the tests and scripts goes through this finder:
# xdotool's search ends with an X error, printing no window, whenever a
# window goes away while it walks the tree, as Wine's windows do at any time.
#   morva_xwinfind [-w SECONDS] -p PID | -P | -n NAME
# See scripts/xwinfind.c. It is built natively into the build directory the
# first time and again when its source changes.
MORVA_XWINFIND_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/xwinfind.c
morva_xwinfind() {
    local bin=${MORVA_BUILD_DIR:-${MORVA_XWINFIND_SRC%/scripts/*}/build}/xwinfind/xwinfind
    if [ ! -x "$bin" ] || [ "$MORVA_XWINFIND_SRC" -nt "$bin" ]; then
        mkdir -p "${bin%/*}"
        # Under a temporary name: another run may be starting the same file.
        cc -O2 -Wall -o "$bin.$BASHPID" "$MORVA_XWINFIND_SRC" -lX11 &&
            mv -f "$bin.$BASHPID" "$bin" || return 2
    fi
    "$bin" "$@"
}

# The processes pgrep finds with the arguments given that run in the
# current prefix; other runs on the same machine are left out.
morva_prefix_pids() {
    local pid
    for pid in $(pgrep "$@"); do
        { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
}

# The prefix's Windows and temporary directories, as Linux paths.
morva_windir() { echo "$WINEPREFIX/drive_c/windows"; }
morva_tempdir() {
    local user
    user=$(id -un)
    echo "$WINEPREFIX/drive_c/users/$user/Temp"
}

morva_wine_cleanup() {
    local dir pid
    for dir in "${MORVA_WINE_PREFIXES[@]}"; do
        WINEPREFIX=$dir wineserver -k 2>/dev/null || true
    done
    if [ -f "$MORVA_XVFB_PIDFILE" ]; then
        while read -r pid; do
            kill "$pid" 2>/dev/null || true
        done <"$MORVA_XVFB_PIDFILE"
        rm -f "$MORVA_XVFB_PIDFILE"
    fi
    MORVA_WINE_PREFIXES=()
}

# Nested X servers for more than one monitor. Xvfb's own Xinerama puts every
# screen at the origin; Xephyr's puts them side by side, and Wine reads them
# as monitors when the prefix's "X11 Driver" value UseXRandR is "N".
#   morva_xephyr_start HOST SCREEN...   starts Xephyr on display HOST with
#                                       the screens (e.g. 800x600 640x480,
#                                       left to right); prints its display
#   morva_x_stop DISPLAY                ends an X server started here
#   morva_x_pid DISPLAY                 prints the process of an X server
#   morva_cpu_ticks PID                 clock ticks a process has used
morva_xephyr_start() {
    local host=$1 screen args=()
    shift
    for screen in "$@"; do
        args+=(-screen "$screen")
    done
    [ $# -gt 1 ] && args+=(+xinerama)
    DISPLAY=$host morva_x_start Xephyr "${args[@]}" -ac -nolisten tcp -noreset
}

morva_x_pid() { tr -d ' ' <"/tmp/.X${1#:}-lock" 2>/dev/null; }

# Clock ticks (user and system) a process has used, from /proc; 0 when it
# is gone.
morva_cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

morva_x_stop() {
    local pid i
    pid=$(morva_x_pid "$1")
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null
    for i in $(seq 1 40); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    [ -f "$MORVA_XVFB_PIDFILE" ] && sed -i "/^$pid\$/d" "$MORVA_XVFB_PIDFILE"
    return 0
}
