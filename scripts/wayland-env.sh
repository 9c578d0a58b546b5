# Sourced by the Wayland tests and benchmarks: headless compositors, each in
# a private runtime folder of its own.
#
#   morva_sway_start WxH LOG     starts sway with its first output,
#                                HEADLESS-1, of WxH, as an unprivileged user
#                                (sway refuses root); exports XDG_RUNTIME_DIR,
#                                WAYLAND_DISPLAY and SWAYSOCK once it listens;
#                                MORVA_SWAY_PID is its process. False when it
#                                does not start within 10 s.
#   morva_weston_start WxH LOG   starts weston's headless backend with its
#                                desktop shell (and its screenshot protocol),
#                                as root; exports XDG_RUNTIME_DIR and
#                                WAYLAND_DISPLAY; MORVA_WESTON_PID
#   morva_wayland_cleanup        ends the compositors started here that
#                                still run and removes their folders
#
# sway runs on wlroots' headless backend with its pixman renderer and no
# input devices; with DISPLAY or WAYLAND_DISPLAY set it would pick another
# backend, so it starts with a bare environment. Clients run as root reach
# its socket all the same.

MORVA_SWAY_USER=65534
# "dir FOLDER" and "pid PID START" of each compositor started: a private
# file, because they are usually started in subshells.
MORVA_WAYLAND_LIST=$(mktemp "${TMPDIR:-/tmp}/morva-wayland.XXXXXX")

# When process $1 started (clock ticks after boot): a process that later
# gets the id of one that ended has another start.
morva_wayland_started() {
    sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | awk '{print $20}'
}

# Records a compositor just started, process $1.
morva_wayland_record() {
    echo "pid $1 $(morva_wayland_started "$1")" >>"$MORVA_WAYLAND_LIST"
}

# A private folder, short enough for the socket paths in it.
morva_wayland_dir() {
    local dir
    dir=$(mktemp -d /tmp/morva-wl.XXXXXX) || return 1
    echo "dir $dir" >>"$MORVA_WAYLAND_LIST"
    echo "$dir"
}

# Waits up to 10 s for a socket matching NAME in folder DIR; prints its name.
morva_wayland_socket() {
    local dir=$1 name=$2 i socket
    for i in $(seq 1 200); do
        socket=$(find "$dir" -maxdepth 1 -type s -name "$name" -printf '%f\n' 2>/dev/null | head -n 1)
        [ -n "$socket" ] && { echo "$socket"; return 0; }
        sleep 0.05
    done
    return 1
}

morva_sway_start() {
    local size=$1 log=$2 dir display ipc
    dir=$(morva_wayland_dir) || return 1
    mkdir -p "$dir/run" "$dir/home"
    printf '%s\n' 'xwayland disable' "output HEADLESS-1 mode $size pos 0 0" >"$dir/home/config"
    chown -R "$MORVA_SWAY_USER:$MORVA_SWAY_USER" "$dir"
    chmod 755 "$dir"
    chmod 700 "$dir/run"
    env -i PATH=/usr/bin:/bin HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" WLR_BACKENDS=headless \
        WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        setpriv --reuid="$MORVA_SWAY_USER" --regid="$MORVA_SWAY_USER" --clear-groups \
        sway -c "$dir/home/config" >"$log" 2>&1 &
    MORVA_SWAY_PID=$!
    morva_wayland_record "$MORVA_SWAY_PID"
    display=$(morva_wayland_socket "$dir/run" 'wayland-*') &&
        ipc=$(morva_wayland_socket "$dir/run" 'sway-ipc.*') || return 1
    export XDG_RUNTIME_DIR=$dir/run WAYLAND_DISPLAY=$display SWAYSOCK=$dir/run/$ipc
    unset DISPLAY
}

morva_weston_start() {
    local size=$1 log=$2 dir display
    dir=$(morva_wayland_dir) || return 1
    env -i PATH=/usr/bin:/bin HOME="$dir" XDG_RUNTIME_DIR="$dir" weston --backend=headless-backend.so \
        --use-pixman --width="${size%x*}" --height="${size#*x}" --shell=desktop-shell.so --socket=wayland-1 \
        --no-config --debug >"$log" 2>&1 &
    MORVA_WESTON_PID=$!
    morva_wayland_record "$MORVA_WESTON_PID"
    display=$(morva_wayland_socket "$dir" 'wayland-1') || return 1
    export XDG_RUNTIME_DIR=$dir WAYLAND_DISPLAY=$display
    unset DISPLAY
}

morva_wayland_cleanup() {
    [ -f "$MORVA_WAYLAND_LIST" ] || return 0
    local kind what started
    while read -r kind what started; do
        [ "$kind" = pid ] && [ -n "$started" ] && [ "$(morva_wayland_started "$what")" = "$started" ] &&
            kill "$what" 2>/dev/null
    done <"$MORVA_WAYLAND_LIST"
    sleep 0.1
    while read -r kind what; do
        [ "$kind" = dir ] && rm -rf "$what"
    done <"$MORVA_WAYLAND_LIST"
    rm -f "$MORVA_WAYLAND_LIST"
}
