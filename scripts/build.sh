#!/usr/bin/env bash
# Builds the native tree (platform-free code, tests, tools) and the cross tree
# (Morva.scr, Win32 tests, Windows tools).
#   scripts/build.sh [native|win|asan|all] [TARGET ...]
# (default: native and win); with targets, only those and what they need.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MORVA_BUILD_DIR:-$root/build}
jobs=${MORVA_JOBS:-$(nproc)}
what=${1:-default}
targets=()
for t in "${@:2}"; do
    targets+=(--target "$t")
done

configure_and_build() {
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log" >&2; return 1; }
    # What is left out for want of a library, said on the terminal.
    sed -n 's/^-- \(Not built: .*\)/build.sh: \1/p' "$dir.configure.log" >&2
    cmake --build "$dir" -j "$jobs" "${targets[@]}"
}

mkdir -p "$out"
case $what in
native|default|all) configure_and_build "$out/native" -DCMAKE_BUILD_TYPE=Release ;;
esac
case $what in
asan|all) configure_and_build "$out/asan" -DCMAKE_BUILD_TYPE=Debug -DMORVA_SANITIZE=ON ;;
esac
case $what in
win|default|all) configure_and_build "$out/win" -DCMAKE_BUILD_TYPE=Release \
                     -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw32.cmake" ;;
esac
