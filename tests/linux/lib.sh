# Shared pieces of the velunor suites: private X servers, the program started
# in the background with its standard error kept, screenshots and pixel
# checks; the cases run on tests/cases.sh, each in a folder of its own.
# run.sh sources scripts/x-env.sh (the X servers and the window finder) and
# sets VELUNOR, BUILD, ROOT, LINUX_LOGDIR and LINUX_DATA before a suite is
# sourced.

source "$(dirname "${BASH_SOURCE[0]}")/../cases.sh"
CASES_LOGDIR=$LINUX_LOGDIR
CASE_DIRS=1
TEST_WINDOW=$BUILD/tests/linux/velunor_test_window
declare -A TEST_WINDOW_PIDS

# Starts an Xvfb of WxHxD on a free display, with any more arguments, and
# prints the display name.
x_start() {
    local spec=$1 display
    shift
    display=$(morva_xvfb_start "$spec" "$@") || return 1
    track_process "$(morva_x_pid "$display")"
    echo "$display"
}

# Starts velunor with the arguments given; VELUNOR_PID is its process, its
# standard error goes to $CASE_DIR/${VELUNOR_LOG:-velunor}.err.
velunor_start() {
    "$VELUNOR" "$@" 2>"$CASE_DIR/${VELUNOR_LOG:-velunor}.err" &
    VELUNOR_PID=$!
    track_process "$VELUNOR_PID"
}

# Waits up to 10 s for N lines matching PATTERN in FILE (of the case).
wait_lines() {
    local n=$1 pattern=$2 file=$CASE_DIR/$3 i
    for i in $(seq 1 200); do
        [ "$(grep -c -- "$pattern" "$file" 2>/dev/null)" -ge "$n" ] && return 0
        sleep 0.05
    done
    fail "no $n lines '$pattern' in $3"
}

# Waits up to 10 s for the tick line N in a log (velunor.err by default);
# with OUTPUT, the tick line of that output (--wayland names it last).
#   wait_tick N [LOG [OUTPUT]]
wait_tick() {
    local pattern="^velunor: tick $1 "
    [ -z "${3:-}" ] || pattern+="[0-9]* $3\$"
    wait_lines 1 "$pattern" "${2:-velunor}.err"
}

# Waits for three more tick lines in a log, of OUTPUT if given: the show
# runs on.
#   runs_on [LOG [OUTPUT]]
runs_on() {
    local log=${1:-velunor} output=${2:-}
    wait_tick $(($(grep -c "^velunor: tick .*${output:+ $output}\$" "$CASE_DIR/$log.err") + 3)) "$log" "$output"
}

# A process ended, or left with its exit status only.
ended() {
    local state
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)
    [ -z "$state" ] || [ "$state" = Z ]
}

# Waits up to $2 seconds (3 by default) for the process $1 to end; for a
# child of the case END_STATUS is its exit status.
wait_end() {
    local pid=$1 limit=${2:-3} i
    for i in $(seq 1 $((limit * 20))); do
        ended "$pid" && break
        sleep 0.05
    done
    ended "$pid" || fail "process $pid still runs after $limit s"
    wait "$pid" 2>/dev/null
    END_STATUS=$?
}

# Waits up to 5 s for the picture decoder that process PID started; prints
# its process id, or nothing.
decoder_of() {
    local i decoder
    for i in $(seq 1 100); do
        decoder=$(cat "/proc/$1/task/$1/children" 2>/dev/null)
        [ -n "$decoder" ] && break
        sleep 0.05
    done
    echo $decoder
}

# The id of the visible window titled "Velunor ScreenSaver", waiting up to 5 s.
own_window() {
    local id
    id=$(morva_xwinfind -w 5 -n "Velunor ScreenSaver" | head -n 1)
    [ -n "$id" ] && echo "$id"
}

# Starts the test window WxH[+X+Y] filled with RRGGBB; TEST_WINDOW_ID is its id.
test_window_start() {
    local out i
    out=$(mktemp "$CASE_DIR/window.XXXXXX")
    "$TEST_WINDOW" "$1" "$2" >"$out" &
    local pid=$!
    track_process $pid
    for i in $(seq 1 100); do
        TEST_WINDOW_ID=$(head -n 1 "$out")
        [ -n "$TEST_WINDOW_ID" ] && { TEST_WINDOW_PIDS[$TEST_WINDOW_ID]=$pid; return 0; }
        sleep 0.05
    done
    fail "the test window did not appear"
}

# Ends the test window with id $1 (its process).
end_window_of() {
    local pid=${TEST_WINDOW_PIDS[$1]:-}
    [ -n "$pid" ] || fail "no test window $1"
    kill -TERM "$pid"
    wait "$pid" 2>/dev/null
}

# The size of window $1 as WxH.
window_size() {
    xwininfo -id "$1" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}'
}

shot() {
    import -window "$1" "$2" || fail "no screenshot of window $1"
}

# Pixels that differ between two images of the same size.
differing() {
    compare -metric AE ${3:+-fuzz "$3"} "$1" "$2" null: 2>&1 | sed 's/ .*//'
}

# The screenshot SHOT of a show of mode 1 over the suite's photo, held at
# tick 40 on WxH pixels, is ripple-render's frame 40 (render40.bmp), and its
# water moved the photo.
#   renders_tick_40 SHOT W H
renders_tick_40() {
    "$BUILD/tools/ripple-render/ripple-render" --width "$2" --height "$3" --setting 1 --ticks 40 \
        --input "$LINUX_DATA/photo.bmp" --output render40.bmp || fail "ripple-render failed"
    expect_eq "$(differing "$1" render40.bmp)" 0 "pixels off the renderer's frame 40"
    local moved
    moved=$(differing "$1" "$LINUX_DATA/photo.png")
    [ "$moved" -gt 10000 ] || fail "mode 1 moved only $moved pixels by tick 40"
}

# The colour at X,Y as rrggbb.
pixel() {
    convert "$1" -format "%[hex:p{$2,$3}]" info: | tr 'A-F' 'a-f' | cut -c1-6
}

# How many pixels of an image have the colour RRGGBB: every other pixel
# made transparent, the opaque ones counted (black and white included).
count_color() {
    convert "$1" -alpha off +transparent "#$2" -alpha extract -format '%[fx:round(mean*w*h)]' info:
}
