#!/usr/bin/env bash
# Runs one cross-built test program under Wine; ctest calls it as the
# emulator of the cross build. Where the test run turned heap checking on
# (scripts/wine-env.sh, morva_wine_heapcheck), Wine reports a write into freed
# memory or past a block as "err:heap" lines on standard error: a run with
# any of them fails, whatever the program itself reported.
# MORVA_HEAPCHECK_LOG, when set, gets one line per run: the program and the
# number of such lines.
case ,${WINEDEBUG:=-all}, in
*,err+heap,*) ;;
*) WINEDEBUG=$WINEDEBUG,err+heap ;;
esac
export WINEDEBUG

errors=$(mktemp) || exit 1
trap 'rm -f "$errors"' EXIT
wine "$@" 2>"$errors"
rc=$?
cat "$errors" >&2
faults=$(grep -c 'err:heap' "$errors")
if [ -n "${MORVA_HEAPCHECK_LOG:-}" ]; then
    echo "${1##*/} $faults" >>"$MORVA_HEAPCHECK_LOG"
fi
if [ "$faults" -gt 0 ]; then
    echo "heap check: $faults err:heap line(s) from ${1##*/}" >&2
    [ "$rc" -ne 0 ] || rc=1
fi
exit "$rc"
