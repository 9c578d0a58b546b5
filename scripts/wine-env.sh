# Sourced by the run, test and benchmark scripts of Morva.scr: a private
# 32-bit Wine prefix on a private X display (scripts/x-env.sh, sourced here,
# starts the servers), made once per run.
#
#   morva_wine_prefix DIR         makes a prefix in DIR (wineboot, no window
#                                 manager quirks) unless it exists
#   morva_wine_use DIR DISPLAY    exports WINEPREFIX and DISPLAY for wine and
#                                 keeps a server running for the prefix
#   morva_wine_heapcheck BUILD    turns on Windows' heap checking in the
#                                 current prefix for Morva.scr and every test
#                                 and helper program of a cross build
#   morva_wine_cleanup            stops every Wine and X server this shell
#                                 started
#   morva_wine_audio_on           turns the audio drivers back on, for a run
#                                 on the user's display
#   morva_media [PICTURE [TUNE]]  puts the show's picture and tune (the
#                                 project's, or the files given) into the
#                                 prefix's Windows directory
#   morva_settings MODE [LINE]    writes the prefix's settings file: its
#                                 first line (empty by default), then MODE
#
# Wine notes that shape this: with no window manager, X11 "Managed" windows
# stall 2 s on destruction and get no deactivation messages, so the prefix
# turns managing off; the mono and gecko installers are disabled so that
# nothing asks questions, and the audio drivers, so that tests and headless
# runs print no noise and play nothing.

source "$(dirname "${BASH_SOURCE[0]}")/x-env.sh"

export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
MORVA_WINE_NO_INSTALLERS="mscoree,mshtml="
export WINEDLLOVERRIDES="$MORVA_WINE_NO_INSTALLERS;winealsa.drv,winepulse.drv,wineoss.drv=d"

morva_wine_audio_on() { export WINEDLLOVERRIDES=$MORVA_WINE_NO_INSTALLERS; }

MORVA_WINE_PREFIXES=()

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

MORVA_MEDIA=$(cd "$(dirname "${BASH_SOURCE[0]}")/../res/media" && pwd)
morva_media() {
    cp "${1:-$MORVA_MEDIA/Morva0001.jpg}" "$(morva_windir)/Morva0001.jpg" &&
        cp "${2:-$MORVA_MEDIA/4.mid}" "$(morva_windir)/4.mid"
}

# The program keeps the first line as it is and reads the mode after the
# line break, which is CR LF as the program itself writes it.
morva_settings() { printf '%s\r\n%s' "${2:-}" "$1" >"$(morva_windir)/Morvalst.txt"; }

morva_wine_cleanup() {
    local dir
    for dir in "${MORVA_WINE_PREFIXES[@]}"; do
        WINEPREFIX=$dir wineserver -k 2>/dev/null || true
    done
    morva_x_cleanup
    MORVA_WINE_PREFIXES=()
}
