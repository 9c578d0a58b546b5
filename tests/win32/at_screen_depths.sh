#!/usr/bin/env bash
# Runs a Win32 test program on screens of each other depth Xvfb offers (16,
# 15 and 8 bits; the suite itself runs at 24), each on its own Xvfb, with the
# Wine prefix of the caller, through the runner that fails a run with heap
# damage.
#   at_screen_depths.sh TEST_EXE GTEST_FILTER
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:?usage: at_screen_depths.sh TEST_EXE GTEST_FILTER}
filter=${2:-*}
source "$root/scripts/wine-env.sh"
[ -n "${WINEPREFIX:-}" ] || { echo "at_screen_depths: WINEPREFIX is not set" >&2; exit 1; }

trap morva_wine_cleanup EXIT

status=0
for depth in 16 15 8; do
    display=$(morva_xvfb_start "1024x768x$depth") || exit 1
    echo "== screen depth $depth ($display)"
    DISPLAY=$display timeout 120 "$root/scripts/wine-test-run.sh" "$exe" --gtest_brief=1 --gtest_filter="$filter" </dev/null || status=1
done
exit $status
