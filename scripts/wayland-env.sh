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
#   morva_kwin_start WxH COUNT SCALE LOG
#                                starts KWin's virtual backend with COUNT
#                                outputs of WxH at SCALE, and a session bus
#                                of its own, as an unprivileged user; exports
#                                XDG_RUNTIME_DIR, WAYLAND_DISPLAY and
#                                DBUS_SESSION_BUS_ADDRESS once it listens;
#                                MORVA_KWIN_PID, and MORVA_DESKTOP_BUSES
#                                its bus; MORVA_DESKTOP_USER its user
#   morva_gnome_start LOG WxH... starts GNOME Shell headless with a virtual
#                                monitor of each size, side by side, with
#                                session and system buses of its own, as an
#                                unprivileged user; exports the same once
#                                the shell is on the bus, with its overview
#                                closed and no banners; MORVA_GNOME_PID,
#                                MORVA_DESKTOP_BUSES
#   morva_wayland_cleanup        ends the compositors started here that
#                                still run and removes their folders
#
# sway runs on wlroots' headless backend with its pixman renderer and no
# input devices; with DISPLAY or WAYLAND_DISPLAY set it would pick another
# backend, so it starts with a bare environment. Clients run as root reach
# its socket all the same.

MORVA_SWAY_USER=65534
MORVA_DESKTOP_USER=$MORVA_SWAY_USER
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

# Starts a command in the background as the desktops' user, with a bare
# environment and the folder DIR's runtime folder and home; the caller's
# redirections apply to it, its standard input too (a command put in the
# background alone would read /dev/null). MORVA_DESKTOP_PID is its process.
#   morva_desktop_spawn DIR [VAR=VALUE...] -- COMMAND...
morva_desktop_spawn() {
    local dir=$1 vars=()
    shift
    while [ "$1" != -- ]; do vars+=("$1"); shift; done
    shift
    env -i PATH=/usr/bin:/bin HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" "${vars[@]}" \
        setpriv --reuid="$MORVA_DESKTOP_USER" --regid="$MORVA_DESKTOP_USER" --clear-groups "$@" <&0 &
    MORVA_DESKTOP_PID=$!
}

# A private folder for a desktop, MORVA_DESKTOP_DIR (run/ mode 700 and
# home/, owned by its user), with a message bus of each TYPE given
# (session: run/bus, where clients look by default; system:
# run/system_bus) that lets every user in, as the tests' clients are root;
# the buses start no services. MORVA_DESKTOP_BUSES are their processes.
morva_desktop_dir() {
    local dir type socket
    dir=$(morva_wayland_dir) || return 1
    mkdir -p "$dir/run" "$dir/home"
    for type in "$@"; do
        cat >"$dir/$type.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>$type</type>
  <listen>unix:path=$(morva_bus_socket "$dir" "$type")</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
    done
    chown -R "$MORVA_DESKTOP_USER:$MORVA_DESKTOP_USER" "$dir"
    chmod 755 "$dir"
    chmod 700 "$dir/run"
    MORVA_DESKTOP_DIR=$dir
    MORVA_DESKTOP_BUSES=
    for type in "$@"; do
        morva_desktop_spawn "$dir" -- dbus-daemon --config-file="$dir/$type.conf" --nofork >"$dir/$type.log" 2>&1
        morva_wayland_record "$MORVA_DESKTOP_PID"
        MORVA_DESKTOP_BUSES+=" $MORVA_DESKTOP_PID"
    done
    for type in "$@"; do
        socket=$(morva_bus_socket "$dir" "$type")
        morva_wayland_socket "${socket%/*}" "${socket##*/}" >/dev/null || return 1
    done
}

# Where the bus of TYPE of the desktop folder DIR listens.
morva_bus_socket() {
    if [ "$2" = session ]; then echo "$1/run/bus"; else echo "$1/run/${2}_bus"; fi
}

morva_kwin_start() {
    local size=$1 count=$2 scale=$3 log=$4 dir display
    morva_desktop_dir session || return 1
    dir=$MORVA_DESKTOP_DIR
    # Debian's binary carries a file capability that a container's bounding
    # set may lack, and then it cannot be run at all; a plain copy has none.
    # KWin knows itself by its name.
    mkdir -p "$dir/bin"
    cp /usr/bin/kwin_wayland "$dir/bin/kwin_wayland"
    # Its input and screenshots for the tests; the pointer of the one theme
    # there is, GNOME's, so that a screenshot shows one.
    morva_desktop_spawn "$dir" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/run/bus" KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 \
        KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 XCURSOR_THEME=Adwaita -- "$dir/bin/kwin_wayland" --virtual \
        --width "${size%x*}" --height "${size#*x}" --output-count "$count" --scale "$scale" --socket wayland-1 \
        --no-lockscreen --no-global-shortcuts --no-kactivities >"$log" 2>&1
    MORVA_KWIN_PID=$MORVA_DESKTOP_PID
    morva_wayland_record "$MORVA_KWIN_PID"
    display=$(morva_wayland_socket "$dir/run" 'wayland-1') || return 1
    export XDG_RUNTIME_DIR=$dir/run WAYLAND_DISPLAY=$display DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/run/bus
    unset DISPLAY
    # Ready once its screenshot interface answers.
    local i
    for i in $(seq 1 200); do
        gdbus introspect --session -d org.kde.KWin -o /org/kde/KWin/ScreenShot2 >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}

morva_gnome_start() {
    local log=$1 dir display i size monitors=()
    shift
    for size in "$@"; do monitors+=(--virtual-monitor "$size"); done
    morva_desktop_dir session system || return 1
    dir=$MORVA_DESKTOP_DIR
    # Banners (the lock screen needs a display manager) would cover part of
    # an output: the settings come from a file instead of dconf's service.
    mkdir -p "$dir/home/.config/glib-2.0/settings"
    printf '%s\n' '[org/gnome/desktop/notifications]' 'show-banners=false' \
        >"$dir/home/.config/glib-2.0/settings/keyfile"
    chown -R "$MORVA_DESKTOP_USER:$MORVA_DESKTOP_USER" "$dir/home"
    morva_desktop_spawn "$dir" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/run/bus" \
        DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/run/system_bus" GSETTINGS_BACKEND=keyfile -- \
        gnome-shell --headless --wayland --no-x11 --wayland-display=wayland-1 "${monitors[@]}" >"$log" 2>&1
    MORVA_GNOME_PID=$MORVA_DESKTOP_PID
    morva_wayland_record "$MORVA_GNOME_PID"
    display=$(morva_wayland_socket "$dir/run" 'wayland-1') || return 1
    export XDG_RUNTIME_DIR=$dir/run WAYLAND_DISPLAY=$display DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/run/bus
    unset DISPLAY
    # Its start ends in its overview, which is closed here.
    for i in $(seq 1 300); do
        grep -q 'GNOME Shell started' "$log" && break
        sleep 0.05
    done
    for i in $(seq 1 100); do
        [ "$(morva_gnome_overview)" = false ] && return 0
        morva_gnome_overview false
        sleep 0.05
    done
    return 1
}

# The overview's state (true or false; nothing while the shell is not on
# the bus), or with an argument that state set.
morva_gnome_overview() {
    if [ $# -gt 0 ]; then
        gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.freedesktop.DBus.Properties.Set \
            org.gnome.Shell OverviewActive "<$1>" >/dev/null 2>&1
    else
        gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.freedesktop.DBus.Properties.Get \
            org.gnome.Shell OverviewActive 2>/dev/null | sed -n 's/^(<\(true\|false\)>,)$/\1/p'
    fi
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
