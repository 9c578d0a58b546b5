# velunor as XScreenSaver runs it, from its Debian package: the package is
# built with CPack and unpacked into a scratch root, which the daemon's and
# the settings app's processes see over /usr (an overlay in a mount namespace
# of their own), as if it were installed; nothing of the system changes.
# Then Debian's own daemon and settings app run on private X servers. The
# daemon runs no display mode as root, so it runs as a system user made for
# this suite, with a home of its own.

suite_setup() {
    DAEMON_USER=velxss$$
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$DAEMON_USER" ||
        { echo "cannot make the user $DAEMON_USER"; DAEMON_USER=; }
    DAEMON_DIR=$(mktemp -d /tmp/velunor-daemon.XXXXXX)
    chmod 755 "$DAEMON_DIR"
    PACKAGE_ROOT=$DAEMON_DIR/root
    rm -f "$BUILD"/velunor_*.deb
    if cmake --build "$BUILD" --target package >"$LINUX_DATA/package.log" 2>&1; then
        PACKAGE_DEB=$(ls "$BUILD"/velunor_*_*.deb 2>/dev/null | head -n 1)
        [ -n "$PACKAGE_DEB" ] && dpkg -x "$PACKAGE_DEB" "$PACKAGE_ROOT"
    fi
    convert "$ROOT/res/media/Morva0001.jpg" -filter Triangle -resize '800x600!' "$LINUX_DATA/picture-800x600.png"
    convert "$ROOT/res/media/Morva0001.jpg" -filter Triangle -resize '640x480!' "$LINUX_DATA/picture-640x480.png"
    export DAEMON_USER DAEMON_DIR PACKAGE_ROOT PACKAGE_DEB
}

suite_teardown() {
    [ -n "$DAEMON_USER" ] && userdel "$DAEMON_USER"
    rm -rf "$DAEMON_DIR"
}

# A home for the daemon in this case, with settings that blank at once on
# request and never on their own, and one display mode: the line a user adds
# for velunor, with the arguments given.
daemon_home() {
    DAEMON_HOME=$DAEMON_DIR/home-${CASE_DIR##*/}
    mkdir -p "$DAEMON_HOME"
    printf '%s\n' 'mode: one' 'selected: 0' 'timeout: 1:00:00' 'cycle: 1:00:00' 'lock: False' 'fade: False' \
        'unfade: False' 'splash: False' 'dpmsEnabled: False' 'programs: \' >"$DAEMON_HOME/.xscreensaver"
    printf '  "Velunor"  velunor %s  \\n\\\n\n' "$*" >>"$DAEMON_HOME/.xscreensaver"
    chown -R "$DAEMON_USER:" "$DAEMON_HOME"
}

# Runs a command as the daemon's user on DISPLAY, with a bare environment.
as_user() {
    runuser -u "$DAEMON_USER" -- env -i HOME="$DAEMON_HOME" USER="$DAEMON_USER" PATH=/usr/bin:/bin \
        DISPLAY="$DISPLAY" NO_AT_BRIDGE=1 "$@"
}

# Runs a command as as_user does, with the package over /usr.
as_user_installed() {
    unshare -m sh -c 'mount -t overlay velunor -o "lowerdir=$1/usr:/usr" /usr && shift && exec "$@"' \
        sh "$PACKAGE_ROOT" runuser -u "$DAEMON_USER" -- env -i HOME="$DAEMON_HOME" USER="$DAEMON_USER" \
        PATH=/usr/bin:/bin DISPLAY="$DISPLAY" NO_AT_BRIDGE=1 "$@"
}

# Starts the daemon on DISPLAY and waits up to 10 s until it answers.
daemon_start() {
    [ -n "$DAEMON_USER" ] || fail "no user for the daemon"
    [ -f "$PACKAGE_ROOT/usr/libexec/xscreensaver/velunor" ] || fail "no package (see $LINUX_DATA/package.log)"
    trap daemon_end EXIT
    as_user_installed xscreensaver --no-splash --log "$DAEMON_HOME/xscreensaver.log" >"$CASE_DIR/daemon.out" 2>&1 &
    DAEMON_PID=$!
    local i
    for i in $(seq 1 50); do
        as_user xscreensaver-command -time >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    fail "the daemon does not answer"
}

# Asks the daemon to exit, keeps its log, and ends whatever of the case's
# user is still running (that user runs nothing else).
daemon_end() {
    as_user xscreensaver-command -exit >/dev/null 2>&1
    local i pid
    for i in $(seq 1 40); do
        kill -0 "$DAEMON_PID" 2>/dev/null || break
        sleep 0.05
    done
    cp "$DAEMON_HOME/xscreensaver.log" "$CASE_DIR/" 2>/dev/null
    for pid in $(pgrep -u "$DAEMON_USER"); do
        kill -TERM "$pid" 2>/dev/null
    done
}

# "PID WINDOW" of every velunor the daemon's log says it forked, in order.
daemon_forks() {
    sed -n 's/.*forked "[^"]*velunor[^"]*" in pid \([0-9]*\) on window \(0x[0-9A-Fa-f]*\).*/\1 \2/p' \
        "$DAEMON_HOME/xscreensaver.log"
}

# Waits up to 10 s for N velunor processes forked by the daemon.
wait_forks() {
    local n=$1 i
    for i in $(seq 1 100); do
        [ "$(daemon_forks | wc -l)" -ge "$n" ] && return 0
        sleep 0.1
    done
    fail "the daemon forked $(daemon_forks | wc -l) velunor, not $n"
}

# Starts the daemon, blanks the screen and waits for N velunor processes.
daemon_blank() {
    daemon_start
    as_user xscreensaver-command -activate >/dev/null || fail "no activation"
    wait_forks "$1"
}

# Starts an Xvfb of HOST_SIZE with a Xephyr of the screens given inside it,
# side by side and joined by Xinerama; prints the Xephyr's display.
nested_display() {
    local host display
    host=$(x_start "$1x24") || return 1
    shift
    display=$(morva_xephyr_start "$host" "$@") || return 1
    track_process "$(morva_x_pid "$display")"
    echo "$display"
}

# A preview, process PID, ends within 3 s of WHEN and leaves no shared
# memory behind.
#   preview_ends PID WHEN WHOSE
preview_ends() {
    wait_end "$1"
    ipcs -mp | awk -v p="$1" '$3 == p' | grep -q . && fail "a shared-memory segment of $3 is left"
    return 0
}

# The command line of a process, its arguments separated by spaces.
cmdline() { tr '\0' ' ' <"/proc/$1/cmdline" | sed 's/ $//'; }

# How far a part of a screenshot is from a picture of that size, as the
# root mean square of the differences over full scale (0 to 1).
region_error() {
    local shot=$1 crop=$2 picture=$3 part
    part=$(mktemp --suffix=.png "$CASE_DIR/part.XXXXXX")
    convert "$shot" -crop "$crop" +repage "$part"
    compare -metric RMSE "$part" "$picture" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p'
}

# The picture stretched over WxH, against the screenshot's region: far below
# a black screen or the daemon's red warning (0.5 and more), above the
# bilinear filters' difference (0.02) and a ring of the first drop (0.05).
expect_picture() {
    local shot=$1 crop=$2 picture=$3 what=$4 error
    error=$(region_error "$shot" "$crop" "$picture")
    [ -n "$error" ] || fail "$what: no comparison of $crop"
    echo "$what: error $error"
    awk -v e="$error" 'BEGIN { exit !(e < 0.1) }' || fail "$what does not show the picture (error $error)"
}

case_daemon_resizes_its_window_and_keeps_the_program() {
    DISPLAY=$(nested_display 1700x1300 800x600) || fail "no Xephyr"
    export DISPLAY
    daemon_home --root --hold-after 2 --log-ticks
    daemon_blank 1
    local pid window i size
    read -r pid window < <(daemon_forks)
    # The screen grows: the daemon resizes the same window and keeps the
    # program, which stretches the picture anew over the new size.
    xrandr -s 1024x768 || fail "xrandr cannot resize the screen"
    for i in $(seq 1 50); do
        size=$(window_size "$window")
        [ "$size" = 1024x768 ] && break
        sleep 0.1
    done
    expect_eq "$size" 1024x768 "the daemon's window after the resize"
    sleep 1
    ended "$pid" && fail "velunor ended on the resize"
    expect_eq "$(daemon_forks | wc -l)" 1 "velunor processes forked"
    shot root screen.png
    convert "$ROOT/res/media/Morva0001.jpg" -filter Triangle -resize '1024x768!' picture.png
    expect_picture screen.png 1024x768+0+0 picture.png "the grown screen"
}

case_desktop_picture_is_the_daemons_grab_of_the_screen() {
    DISPLAY=$(x_start 800x600x24) || fail "no Xvfb"
    export DISPLAY
    # A desktop unlike the shipped picture: red to blue, a yellow block.
    convert -size 800x600 gradient:red-blue -fill yellow -draw 'rectangle 40,40 300,200' -alpha off \
        PNG24:desktop.png
    display -window root desktop.png 2>/dev/null
    shot root before.png
    expect_eq "$(pixel before.png 100 100)" ffff00 "the desktop's background"
    daemon_home --root --desktop --hold-after 2 --log-ticks
    printf '%s\n' 'grabDesktopImages: True' 'chooseRandomImages: False' >>"$DAEMON_HOME/.xscreensaver"
    daemon_blank 1
    for i in $(seq 1 100); do
        grep -q '^velunor: tick 2 ' "$DAEMON_HOME/xscreensaver.log" && break
        sleep 0.1
    done
    shot root screen.png
    expect_picture screen.png 800x600+0+0 desktop.png "the screen with --desktop"
}

case_package_installs_into_a_scratch_root() {
    local deb=$PACKAGE_DEB
    [ -n "$deb" ] || { tail -n 20 "$LINUX_DATA/package.log"; fail "no velunor_*.deb in $BUILD"; }
    expect_eq "$(dpkg-deb -f "$deb" Package)" velunor "package name"
    expect_eq "$(dpkg-deb -f "$deb" Recommends)" xscreensaver "recommended"
    # The dependencies are the libraries dpkg-shlibdeps found, with versions.
    local depends lib
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for lib in libc6 libx11-6 libxext6 libgdk-pixbuf-2.0-0 libglib2.0-0 libwayland-client0 libjpeg62-turbo libpng16-16 \
        libtiff6 libgif7; do
        grep -Eq "(^|, )$lib( \\(>= [^)]*\\))?(,|$)" <<<"$depends" || fail "$lib is not in Depends: $depends"
    done
    # Files only, no maintainer scripts: nothing of XScreenSaver's is edited.
    dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -Evx '\./|\./control|\./md5sums' &&
        fail "control files beyond control and md5sums"

    local root=$PACKAGE_ROOT
    expect_eq "$(cd "$root" && find . -type f | sort | tr '\n' ' ')" \
        "./usr/lib/systemd/user/velunor.service ./usr/libexec/velunor/velunor-decode ./usr/libexec/xscreensaver/velunor ./usr/share/man/man6/velunor.6x.gz ./usr/share/velunor/velunor.jpg ./usr/share/xscreensaver/config/velunor.xml " \
        "files"
    expect_eq "$(stat -c %a "$root/usr/libexec/xscreensaver/velunor")" 755 "program mode"
    expect_eq "$(stat -c %a "$root/usr/libexec/velunor/velunor-decode")" 755 "decoder mode"
    # On the PATH too, for Wayland's idle daemons: a link that resolves
    # within the package.
    expect_eq "$(readlink "$root/usr/bin/velunor")" ../libexec/xscreensaver/velunor "link in /usr/bin"
    [ -x "$root/usr/bin/velunor" ] || fail "/usr/bin/velunor does not lead to the program"
    local f
    for f in usr/lib/systemd/user/velunor.service usr/share/man/man6/velunor.6x.gz usr/share/velunor/velunor.jpg \
        usr/share/xscreensaver/config/velunor.xml; do
        expect_eq "$(stat -c %a "$root/$f")" 644 "mode of $f"
    done
    cmp -s "$root/usr/share/velunor/velunor.jpg" "$ROOT/res/media/Morva0001.jpg" || fail "velunor.jpg is not the picture"
    # The program looks for its picture where the package puts it.
    grep -aq '/usr/share/velunor' "$root/usr/libexec/xscreensaver/velunor" ||
        fail "the program does not look in /usr/share/velunor"
    # And for its decoder where the package puts it.
    grep -aq '/usr/libexec/velunor/velunor-decode' "$root/usr/libexec/xscreensaver/velunor" ||
        fail "the program does not look in /usr/libexec/velunor"
    # The watcher's unit runs the packaged program with options it takes:
    # without a compositor that is status 1, not the 2 of a bad command line.
    local command
    command=$(sed -n 's/^ExecStart=//p' "$root/usr/lib/systemd/user/velunor.service")
    expect_eq "${command%% *}" /usr/bin/velunor "the unit's program"
    env -u WAYLAND_DISPLAY -u WAYLAND_SOCKET "$root${command%% *}" ${command#* } 2>/dev/null
    expect_eq "$?" 1 "status of the unit's command without a compositor"
    grep -qx 'WantedBy=graphical-session.target' "$root/usr/lib/systemd/user/velunor.service" ||
        fail "the unit is not wanted by the graphical session"
    # The settings app's case shows that it reads velunor.xml; here it
    # must be well-formed, and the manual page must render without a warning.
    xmllint --noout "$root/usr/share/xscreensaver/config/velunor.xml" || fail "velunor.xml is not well-formed"
    zcat "$root/usr/share/man/man6/velunor.6x.gz" >velunor.6x || fail "the manual page is not gzip"
    MANWIDTH=80 man --warnings -l velunor.6x >man.txt 2>man.err || fail "man cannot show it"
    grep -q -- '--window-id' man.txt && grep -q -- '--wayland' man.txt || fail "the manual page lacks options"
    [ -s man.err ] && { cat man.err; fail "man warns"; }

    # apt would install it here: every dependency resolves.
    apt-get -s install "$deb" >apt.txt 2>&1 || { tail -n 5 apt.txt; fail "apt-get -s install failed"; }
    grep -q '^Inst velunor ' apt.txt || fail "apt would not install velunor"
}

case_daemon_runs_one_per_monitor_and_ends_them() {
    DISPLAY=$(nested_display 1600x800 800x600 640x480) || fail "no Xephyr"
    export DISPLAY
    # The water after two ticks: the first drop's ring, the rest the picture.
    daemon_home --root --hold-after 2 --log-ticks
    daemon_blank 2
    local pids=() windows=() pid window n
    while read -r pid window; do
        pids+=("$pid")
        windows+=("$window")
    done < <(daemon_forks)
    [ "${pids[0]}" != "${pids[1]}" ] && [ "${windows[0]}" != "${windows[1]}" ] ||
        fail "not a process and window per monitor: ${pids[*]} ${windows[*]}"
    for n in 0 1; do
        pid=${pids[$n]}
        ended "$pid" && fail "velunor $pid on monitor $n ended: $(grep -v 'tick' "$DAEMON_HOME/xscreensaver.log" | tail -n 3)"
        expect_eq "$(cmdline "$pid")" "velunor --root --hold-after 2 --log-ticks" "command line"
        tr '\0' '\n' <"/proc/$pid/environ" | grep -qix "XSCREENSAVER_WINDOW=${windows[$n]}" ||
            fail "XSCREENSAVER_WINDOW of $pid is not ${windows[$n]}"
    done
    for n in $(seq 1 100); do
        [ "$(grep -c '^velunor: tick 2 ' "$DAEMON_HOME/xscreensaver.log")" -ge 2 ] && break
        sleep 0.1
    done
    expect_eq "$(grep -c '^velunor: tick 2 ' "$DAEMON_HOME/xscreensaver.log")" 2 "velunor reaching tick 2"
    shot root screen.png
    expect_picture screen.png 800x600+0+0 "$LINUX_DATA/picture-800x600.png" "the left monitor"
    expect_picture screen.png 640x480+800+0 "$LINUX_DATA/picture-640x480.png" "the right monitor"

    as_user xscreensaver-command -deactivate >/dev/null || fail "no deactivation"
    for pid in "${pids[@]}"; do
        wait_end "$pid" 2
        ipcs -mp | awk -v p="$pid" '$3 == p' | grep -q . && fail "a shared-memory segment of $pid is left"
    done
    grep -Eq 'velunor.*(crashed|exited unexpectedly|terminated with signal)' "$DAEMON_HOME/xscreensaver.log" &&
        fail "the daemon saw a crash: $(grep -E 'crashed|unexpectedly|terminated' "$DAEMON_HOME/xscreensaver.log")"
    return 0
}

# The mean colour of a part of an image as "r g b" (0 to 1).
mean_colour() {
    convert "$1" ${2:+-crop "$2" +repage} -resize '1x1!' -format '%[fx:r] %[fx:g] %[fx:b]' info:
}

# The water moves a picture's pixels about but keeps its colours: a preview
# whose mean colour is within 0.1 of the picture's in every channel, and
# that changes from one moment to the next, shows the running show.
expect_show() {
    local shot=$1 later=$2 picture=$3 what=$4 colour
    colour="$(mean_colour "$shot") $(mean_colour "$picture")"
    echo "$what: mean colour $colour"
    awk -v c="$colour" 'BEGIN { split(c, v, " "); for (i = 1; i <= 3; i++) if (v[i] - v[i + 3] > 0.1 || v[i + 3] - v[i] > 0.1) exit 1 }' ||
        fail "$what does not have the picture's colours"
    [ "$(differing "$shot" "$later")" -gt 1000 ] || fail "$what does not move"
}

# Starts the settings app and waits up to 15 s for the preview it runs;
# their pids in APP and PREVIEW.
settings_start() {
    as_user_installed xscreensaver-settings >settings.out 2>&1 &
    local started=$! i
    track_process "$started"
    for i in $(seq 1 150); do
        PREVIEW=$(pgrep -u "$DAEMON_USER" -f '^velunor ' | head -n 1)
        APP=$(pgrep -u "$DAEMON_USER" -f '^xscreensaver-settings' | head -n 1)
        [ -n "$PREVIEW" ] && [ -n "$APP" ] && return 0
        kill -0 "$started" 2>/dev/null || break
        sleep 0.1
    done
    cat settings.out
    fail "no preview started"
}

case_settings_preview_runs_it_in_its_window() {
    DISPLAY=$(x_start 1024x768x24) || fail "no Xvfb"
    export DISPLAY
    # Options the settings description does not know are left off the
    # preview's command; the mode and the picture file are kept.
    daemon_home --root --log-ticks --mode 2 --picture /usr/share/velunor/velunor.jpg
    daemon_start
    settings_start
    local pid=$PREVIEW i window args
    # The command as velunor.xml rebuilds it, the preview's window appended.
    args=$(cmdline "$pid")
    echo "preview: $args"
    window=${args##* --window-id }
    expect_eq "$args" "velunor --root --mode 2 --picture /usr/share/velunor/velunor.jpg --window-id $window" \
        "preview command"
    tr '\0' '\n' <"/proc/$pid/environ" | grep -qix "XSCREENSAVER_WINDOW=$window" ||
        fail "XSCREENSAVER_WINDOW is not $window"
    grep -i 'velunor' settings.out && fail "the settings app complains about velunor"

    local size
    size=$(window_size "$window")
    echo "preview window: $size"
    sleep 1
    shot "$window" preview.png
    sleep 0.5
    shot "$window" preview-later.png
    convert "$ROOT/res/media/Morva0001.jpg" -filter Triangle -resize "$size!" picture.png
    expect_show preview.png preview-later.png picture.png "the preview"

    # The dialog made larger: the preview grows, the same program follows.
    local dialog bigger
    dialog=$(morva_xwinfind -w 5 -n "XScreenSaver: Velunor Settings" | head -n 1)
    [ -n "$dialog" ] || fail "no settings window"
    xdotool windowsize "$dialog" 1024 768
    for i in $(seq 1 50); do
        bigger=$(window_size "$window")
        [ "$bigger" != "$size" ] && break
        sleep 0.1
    done
    echo "preview window after the resize: $bigger"
    [ "$bigger" != "$size" ] || fail "the preview did not grow"
    sleep 1
    ended "$pid" && fail "the preview ended on the resize"
    expect_eq "$(pgrep -u "$DAEMON_USER" -f '^velunor ' | tr '\n' ' ')" "$pid " "preview processes"
    shot "$window" grown.png
    sleep 0.5
    shot "$window" grown-later.png
    convert "$ROOT/res/media/Morva0001.jpg" -filter Triangle -resize "$bigger!" picture-grown.png
    expect_show grown.png grown-later.png picture-grown.png "the grown preview"

    # Quitting the settings app ends the preview: it waits for the program.
    xdotool key --window "$dialog" ctrl+q 2>/dev/null
    preview_ends "$pid" "the settings app quit" "the preview"
}

case_settings_app_killed_ends_its_preview() {
    DISPLAY=$(x_start 800x600x24) || fail "no Xvfb"
    export DISPLAY
    daemon_home --root --mode 2
    daemon_start
    settings_start
    # Its preview window goes with it, and the program, which no signal
    # reaches then, ends by itself.
    sleep 1
    kill -KILL "$APP"
    preview_ends "$PREVIEW" "the settings app was killed" "the killed app's preview"
}

# The ```sh blocks of a Markdown file that hold the text $2.
doc_blocks() {
    awk -v word="$2" '
        /^```/ && inside { if (index(block, word)) printf "%s", block; inside = 0; next }
        /^```sh$/ { inside = 1; block = ""; next }
        inside { block = block $0 "\n" }' "$1"
}

case_the_docs_commands_add_it_with_and_without_a_settings_file_and_remove_it() {
    DISPLAY=$(x_start 800x600x24) || fail "no Xvfb"
    export DISPLAY
    # As docs/linux.md and the README give them, the same in both.
    local add remove
    add=$(doc_blocks "$ROOT/docs/linux.md" app-defaults/XScreenSaver)
    remove=$(doc_blocks "$ROOT/docs/linux.md" '{:a;')
    [ -n "$add" ] && [ -n "$remove" ] || fail "no commands to add or remove it in docs/linux.md"
    expect_eq "$(doc_blocks "$ROOT/README.md" app-defaults/XScreenSaver)" "$add" "the README's commands to add it"
    expect_eq "$(doc_blocks "$ROOT/README.md" '{:a;')" "$remove" "the README's command to remove it"
    # Handed to the user's shell on its input: the case's folder may be one
    # the user cannot enter (a clone in root's home).
    printf '%s\n' "$add" >add.sh
    printf '%s\n' "$remove" >remove.sh

    # A new user, without ~/.xscreensaver: the file starts with the whole
    # system list, velunor first; a second run changes nothing.
    DAEMON_HOME=$DAEMON_DIR/home-new
    mkdir -p "$DAEMON_HOME"
    chown "$DAEMON_USER:" "$DAEMON_HOME"
    as_user sh <add.sh || fail "the commands failed for a new user"
    cp "$DAEMON_HOME/.xscreensaver" new.xscreensaver
    as_user sh <add.sh
    cmp -s "$DAEMON_HOME/.xscreensaver" new.xscreensaver || fail "a second run changed the file"
    expect_eq "$(sed -n 2p new.xscreensaver)" '  "Velunor"  velunor --root  \n\' "the list's first entry"
    local stock
    stock=$(grep -c 'n\\$' new.xscreensaver)
    [ "$stock" -gt 100 ] || fail "only $stock entries in the new user's list"
    blank_with_the_first "a new user's"

    # A user with a file of his own: velunor put first, the rest as it was.
    DAEMON_HOME=$DAEMON_DIR/home-own
    mkdir -p "$DAEMON_HOME"
    printf '%s\n' 'mode: one' 'selected: 1' 'lock: False' 'fade: False' 'programs: \' \
        '  "Qix" qix --root  \n\' '  "Maze" maze --root  \n' 'dpmsEnabled: False' >"$DAEMON_HOME/.xscreensaver"
    cp "$DAEMON_HOME/.xscreensaver" own.before
    chown -R "$DAEMON_USER:" "$DAEMON_HOME"
    as_user sh <add.sh || fail "the commands failed for a user with a file"
    diff own.before "$DAEMON_HOME/.xscreensaver" >own.diff
    expect_eq "$(cat own.diff)" '5a6
>   "Velunor"  velunor --root  \n\' "the change to the user's file"
    blank_with_the_first "the user's own"

    # Removed again, also as the settings app may have saved it: without
    # its label and broken in two at a space. The file is as it was.
    cp "$DAEMON_HOME/.xscreensaver" own.added
    { sed -n '1,5p' own.added
      printf '\t\t\t\tvelunor --root --mode 2 --picture\t      \\\n\t\t\t\t  /home/u/long/path/beach.jpg \\n\\\n'
      sed -n '6,$p' own.added; } >"$DAEMON_HOME/.xscreensaver"
    [ "$(grep -c velunor "$DAEMON_HOME/.xscreensaver")" = 2 ] || fail "no settings app's line to remove"
    as_user sh <remove.sh || fail "the command to remove it failed"
    diff own.before "$DAEMON_HOME/.xscreensaver" || fail "the file is not as it was after the removal"
}

# Starts the daemon with the user's file, blanks the screen with the first
# display mode of the list and expects velunor to run in it and show.
blank_with_the_first() {
    daemon_start
    as_user xscreensaver-command -select 1 >/dev/null || fail "$1 file: no -select 1"
    wait_forks 1
    local pid
    read -r pid _ < <(daemon_forks)
    expect_eq "$(cmdline "$pid")" "velunor --root" "$1 file: the program blanking the screen"
    sleep 1
    ended "$pid" && fail "$1 file: velunor ended: $(tail -n 3 "$DAEMON_HOME/xscreensaver.log")"
    daemon_end
    trap - EXIT
}
