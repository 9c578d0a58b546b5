# Shared pieces of the end-to-end suites: start Morva.scr under Wine as the
# screen-saver machinery would, wait for its window, send input with xdotool,
# take screenshots; the cases run on tests/cases.sh. run.sh sources
# scripts/wine-env.sh (with scripts/x-env.sh, whose window finder is the one
# every search here uses) and sets SCR, HELPER, WINEPREFIX, DISPLAY and
# E2E_LOGDIR before a suite is sourced.

source "$(dirname "${BASH_SOURCE[0]}")/../cases.sh"
CASES_LOGDIR=$E2E_LOGDIR
# Every case ends with no saver left running.
CASE_CLEANUP=saver_kill_all

windir() { echo "$WINEPREFIX/drive_c/windows"; }
tempdir() { echo "$WINEPREFIX/drive_c/users/$(id -un)/Temp"; }

# Counts one run of a heap-checked program (Morva.scr or a helper). Their
# standard error goes to the suite's logs, where run.sh looks for Wine's
# heap faults.
count_run() {
    echo "$1" >>"$E2E_LOGDIR/.runs"
}

# Starts the saver with the given arguments; SAVER_PID is its process.
saver_start() {
    count_run Morva.scr
    wine "$SCR" "$@" >>"$E2E_LOGDIR/saver.out" 2>&1 &
    SAVER_PID=$!
    track_process "$SAVER_PID"
}

# Waits for a visible window of the saver; prints its X window id.
saver_window() {
    local timeout=${1:-20} id
    id=$(morva_xwinfind -w "$timeout" -p "$SAVER_PID" | head -n 1)
    [ -n "$id" ] || return 1
    echo "$id"
}

# Waits up to $1 seconds for the saver to end and sets SAVER_EXIT to its
# exit code. Fails (leaving it running) when it does not end in time.
saver_wait() {
    local seconds=${1:-10} i
    for i in $(seq 1 $((seconds * 20))); do
        if ! kill -0 "$SAVER_PID" 2>/dev/null; then
            wait "$SAVER_PID"
            SAVER_EXIT=$?
            return 0
        fi
        sleep 0.05
    done
    return 1
}

saver_running() { kill -0 "$SAVER_PID" 2>/dev/null; }

# Savers of this prefix, however they were started (the preview host starts
# its own); other runs on the same machine are left alone.
saver_pids() { morva_prefix_pids -f 'Morva\.scr'; }

saver_kill_all() {
    local pids i pid
    if [ -f "$CASES_LOGDIR/.started" ]; then
        while read -r pid; do
            kill "$pid" 2>/dev/null
        done <"$CASES_LOGDIR/.started"
        rm -f "$CASES_LOGDIR/.started"
    fi
    pids=$(saver_pids)
    [ -n "$pids" ] || return 0
    kill $pids 2>/dev/null
    for i in $(seq 1 40); do
        [ -n "$(saver_pids)" ] || return 0
        sleep 0.05
    done
    kill -9 $(saver_pids) 2>/dev/null
    return 0
}

# The colour of one screen pixel as "r,g,b" (0-255).
screen_pixel() {
    local file=$1 x=$2 y=$3
    convert "$file" -format "%[fx:int(255*p{$x,$y}.r+.5)],%[fx:int(255*p{$x,$y}.g+.5)],%[fx:int(255*p{$x,$y}.b+.5)]" info:
}

screenshot() { import -window root "$1"; }

# Takes screenshots of the root (or WINDOW) into FILE until its pixel X,Y is
# R,G,B, for at most about 20 s.   await_colour FILE X Y R,G,B [WINDOW]
await_colour() {
    local i
    for i in $(seq 1 100); do
        import -window "${5:-root}" "$1"
        [ "$(screen_pixel "$1" "$2" "$3")" = "$4" ] && return 0
    done
    return 1
}

# Waits up to about 20 s for the show to paint moving water: screenshots
# $E2E_LOGDIR/NAME-1.png, then NAME-2.png until the 200x200 square around X,Y
# (the screen's centre by default) differs.   saver_painting NAME [X Y]
saver_painting() {
    local one=$E2E_LOGDIR/$1-1.png two=$E2E_LOGDIR/$1-2.png x=${2:-} y=${3:-} i changed
    [ -n "$x" ] || read -r x y < <(xdpyinfo | awk -F'[ x]+' '/dimensions:/{print int($3 / 2), int($4 / 2); exit}')
    screenshot "$one"
    for i in $(seq 1 100); do
        screenshot "$two"
        changed=$(compare -metric AE -crop 200x200+$((x - 100))+$((y - 100)) "$one" "$two" null: 2>&1)
        [ "${changed%% *}" -gt 1000 ] 2>/dev/null && return 0
    done
    echo "the centre changed in $changed pixels only"
    return 1
}

settings_file() { echo "$(windir)/Morvalst.txt"; }

# The settings dialog, driven by tests/e2e/dialog/dialog_driver.exe. DRIVEN
# collects the driver's key=value reports of every step.
DIALOG_DRIVER=${SCR%/app/Morva.scr}/tests/e2e/dialog/dialog_driver.exe

# Starts the saver for configuration and waits for its dialog.
open_dialog() {
    saver_start /c
    DRIVEN=$E2E_LOGDIR/driven.$$.txt
    : >"$DRIVEN"
    drive wait || fail "no settings dialog appeared"
}

# Runs driver steps; their reports go to DRIVEN and the log.
drive() {
    local out=$E2E_LOGDIR/drive.$$.txt result
    # To a file, not a pipe: a Wine server started here would keep a pipe open.
    count_run dialog_driver.exe
    wine "$DIALOG_DRIVER" "$@" >"$out" 2>>"$E2E_LOGDIR/driver.err" </dev/null
    result=$?
    tr -d '\r' <"$out" | tee -a "$DRIVEN"
    return $result
}

# The last reported value of a key.
reported() { grep "^$1=" "$DRIVEN" | tail -n 1 | cut -d= -f2-; }
