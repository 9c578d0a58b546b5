# Shared pieces of the Wayland suite (linux_wayland.sh), sourced after
# lib.sh: headless compositors (sway as an unprivileged user, since it
# refuses root; weston as root), screenshots of their outputs, the suite's
# virtual pointer, and the end of a show.

TEST_POINTER=$BUILD/tests/linux/velunor_test_pointer
# sway's user: the runtime folder and home are its own.
SWAY_USER=65534
WAYLAND_DIRS=$LINUX_DATA/compositor-dirs

# A private runtime folder for a compositor, kept short: socket paths have a
# limit. Removed by wayland_dirs_remove.
wayland_dir() {
    local dir
    dir=$(mktemp -d /tmp/velunor-wl.XXXXXX) || return 1
    echo "$dir" >>"$WAYLAND_DIRS"
    echo "$dir"
}

wayland_dirs_remove() {
    [ -f "$WAYLAND_DIRS" ] && xargs -r rm -rf <"$WAYLAND_DIRS"
    rm -f "$WAYLAND_DIRS"
}

# Points the case at the compositor whose runtime folder is $1: exports
# XDG_RUNTIME_DIR and WAYLAND_DISPLAY once its socket is there (10 s).
wayland_use() {
    local run=$1 i socket
    for i in $(seq 1 200); do
        socket=$(find "$run" -maxdepth 1 -type s -name 'wayland-*' -printf '%f\n' 2>/dev/null | head -n 1)
        [ -n "$socket" ] && break
        sleep 0.05
    done
    [ -n "$socket" ] || fail "no compositor socket in $run"
    export XDG_RUNTIME_DIR=$run WAYLAND_DISPLAY=$socket
    unset DISPLAY
}

# Starts a headless sway whose first output, HEADLESS-1, is WxH; exports
# WAYLAND_DISPLAY, XDG_RUNTIME_DIR and SWAYSOCK. SWAY_PID is its process.
sway_start() {
    local size=${1:-1280x720} dir i
    dir=$(wayland_dir) || fail "no folder for sway"
    mkdir -p "$dir/run" "$dir/home"
    printf '%s\n' 'xwayland disable' "output HEADLESS-1 mode $size pos 0 0" >"$dir/home/config"
    chown -R "$SWAY_USER:$SWAY_USER" "$dir"
    chmod 755 "$dir"
    chmod 700 "$dir/run"
    env -i PATH=/usr/bin:/bin HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" WLR_BACKENDS=headless \
        WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        setpriv --reuid="$SWAY_USER" --regid="$SWAY_USER" --clear-groups sway -c "$dir/home/config" \
        >"$CASE_DIR/sway.log" 2>&1 &
    SWAY_PID=$!
    track_process "$SWAY_PID"
    wayland_use "$dir/run"
    for i in $(seq 1 200); do
        SWAYSOCK=$(find "$dir/run" -maxdepth 1 -type s -name 'sway-ipc.*' | head -n 1)
        [ -n "$SWAYSOCK" ] && break
        sleep 0.05
    done
    [ -n "$SWAYSOCK" ] || fail "sway did not start (see sway.log)"
    export SWAYSOCK
}

# swaymsg with its answer in the case's log; fails when sway refuses.
sway_do() {
    swaymsg "$@" >>"$CASE_DIR/swaymsg.log" 2>&1 || fail "swaymsg $* failed"
}

# Starts a headless weston of WxH with its desktop shell; exports
# WAYLAND_DISPLAY and XDG_RUNTIME_DIR.
weston_start() {
    local dir
    dir=$(wayland_dir) || fail "no folder for weston"
    env -i PATH=/usr/bin:/bin HOME="$dir" XDG_RUNTIME_DIR="$dir" weston --backend=headless-backend.so \
        --use-pixman --width="${1%x*}" --height="${1#*x}" --shell=desktop-shell.so --socket=wayland-1 --no-config \
        --debug >"$CASE_DIR/weston.log" 2>&1 &
    track_process $!
    wayland_use "$dir"
}

# A screenshot of sway's output NAME as a PPM file.
output_shot() {
    grim -t ppm -o "$1" "$2" || fail "no screenshot of $1"
}

# A screenshot of weston's only output (its debug protocol).
weston_shot() {
    local taken
    rm -f wayland-screenshot-*.png
    weston-screenshooter || fail "no screenshot from weston"
    taken=$(ls wayland-screenshot-*.png 2>/dev/null | head -n 1)
    [ -n "$taken" ] || fail "weston wrote no screenshot"
    mv "$taken" "$1"
}

# Runs the suite's virtual pointer through its steps (see test_pointer.cpp).
pointer() {
    "$TEST_POINTER" "$@" || fail "the virtual pointer failed: $*"
}

# Waits up to 10 s for the tick line N of output NAME in a log (velunor.err
# by default).
wait_output_tick() {
    local n=$1 name=$2 log=$CASE_DIR/${3:-velunor}.err i
    for i in $(seq 1 200); do
        grep -q "^velunor: tick $n [0-9]* $name\$" "$log" 2>/dev/null && return 0
        sleep 0.05
    done
    fail "no tick $n of $name in $log"
}

# The lines of a log other than its ticks.
messages() {
    grep -v '^velunor: tick ' "$CASE_DIR/${1:-velunor}.err"
}

# A process ended, or left with its exit status only.
ended() {
    local state
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)
    [ -z "$state" ] || [ "$state" = Z ]
}

# Waits up to $2 seconds (3 by default) for the process $1, a child of the
# case, to end; END_STATUS is its exit status.
wait_end() {
    local pid=$1 limit=${2:-3} i
    for i in $(seq 1 $((limit * 20))); do
        ended "$pid" && break
        sleep 0.05
    done
    ended "$pid" || fail "process $pid still runs after $limit s"
    wait "$pid"
    END_STATUS=$?
}

# Fails when the process $1 has ended.
expect_running() {
    ended "$1" && fail "${2:-the show} ended"
    return 0
}
