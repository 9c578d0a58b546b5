# Sourced by the run, test and benchmark scripts: private X servers and what
# the scripts read of them.
#
#   morva_x_start PROGRAM ARGS...     starts an X server on a display it picks
#                                     itself; prints the display once the
#                                     server accepts clients
#   morva_xvfb_start WxHxD [ARGS...]  an Xvfb with one screen of that size
#   morva_xephyr_start HOST SCREEN... a Xephyr on display HOST with the
#                                     screens given (e.g. 800x600 640x480,
#                                     left to right, joined by Xinerama)
#   morva_x_pid DISPLAY               the process of a server started here
#   morva_x_stop DISPLAY              ends a server started here
#   morva_x_cleanup                   ends every server this shell started
#   morva_xwinfind ARGS               finds visible windows of the display
#                                     (scripts/xwinfind.c, built on first use)
#   morva_cpu_ticks PID               clock ticks a process has used
#
# Servers get -displayfd: the server itself takes the first display whose
# sockets it can bind and only then writes the number, so no other run can
# take the display between a look and a start. Xvfb's own Xinerama puts
# every screen at the origin; Xephyr's puts them side by side, which is why
# several monitors are Xephyr screens inside an Xvfb.

# "PID DISPLAY" of each server started, newest last: a file, because the
# servers are usually started in command substitutions (subshells).
MORVA_X_SERVERS=$(mktemp "${TMPDIR:-/tmp}/morva-x.XXXXXX")

morva_x_start() {
    local program=$1 fifo=$MORVA_X_SERVERS.$BASHPID pid display=
    shift
    rm -f "$fifo"
    mkfifo "$fifo" || return 1
    "$program" -displayfd 3 "$@" 3>"$fifo" >/dev/null 2>&1 &
    pid=$!
    # A server that dies first closes the pipe: the read ends empty.
    read -r -t 30 display <"$fifo"
    rm -f "$fifo"
    if [ -z "$display" ]; then
        kill "$pid" 2>/dev/null
        echo "x-env: $program did not start" >&2
        return 1
    fi
    echo "$pid :$display" >>"$MORVA_X_SERVERS"
    echo ":$display"
}

morva_xvfb_start() {
    local spec=${1:-1024x768x24}
    shift
    morva_x_start Xvfb -screen 0 "$spec" -nolisten tcp -noreset "$@"
}

morva_xephyr_start() {
    local host=$1 screen args=()
    shift
    for screen in "$@"; do
        args+=(-screen "$screen")
    done
    [ $# -gt 1 ] && args+=(+xinerama)
    DISPLAY=$host morva_x_start Xephyr "${args[@]}" -ac -nolisten tcp -noreset
}

# A display number is reused once its server is gone, so the newest record
# of the display is the one.
morva_x_pid() {
    awk -v d="$1" '$2 == d {pid = $1} END {if (pid) print pid}' "$MORVA_X_SERVERS" 2>/dev/null
}

# Whether PID is still a server started here, not a process that got the
# number of one that ended.
morva_x_running() {
    tr '\0' ' ' 2>/dev/null <"/proc/$1/cmdline" | grep -q -- ' -displayfd 3 '
}

morva_x_stop() {
    local pid i
    pid=$(morva_x_pid "$1")
    [ -n "$pid" ] && morva_x_running "$pid" || return 0
    kill "$pid" 2>/dev/null
    for i in $(seq 1 40); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    return 0
}

morva_x_cleanup() {
    local pid display
    if [ -f "$MORVA_X_SERVERS" ]; then
        while read -r pid display; do
            morva_x_running "$pid" && kill "$pid" 2>/dev/null
        done <"$MORVA_X_SERVERS"
    fi
    rm -f "$MORVA_X_SERVERS" "$MORVA_X_SERVERS".*
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

# Clock ticks (user and system) a process has used, from /proc; 0 when it
# is gone.
morva_cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
