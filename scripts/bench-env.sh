# Sourced by the benchmarks (scripts/bench-*.sh), with "wine" by those of
# Morva.scr: the source tree, the build a benchmark measures, a scratch
# folder, private X servers (scripts/x-env.sh), the Wine environment when
# asked (scripts/wine-env.sh), and the line that says what machine measured.
# At exit every X and Wine server the benchmark started ends and the
# scratch folder goes. The variables shared with the benchmarks, and the
# settings they read from the environment, are named MORVA_BENCH_*.
#   MORVA_BENCH_ROOT          the source tree
#   bench_build DIR USAGE     sets MORVA_BENCH_BUILD to DIR made absolute;
#                             without DIR prints USAGE and exits
#   bench_work NAME           makes MORVA_BENCH_WORK, a scratch folder; a
#                             function bench_cleanup, where the benchmark
#                             defines one, runs first at exit
#   bench_machine [wine]      prints "CPU: MODEL, N CPUs", and Wine's
#                             version when asked
MORVA_BENCH_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ "${1:-}" = wine ]; then
    source "$MORVA_BENCH_ROOT/scripts/wine-env.sh"
else
    source "$MORVA_BENCH_ROOT/scripts/x-env.sh"
fi

bench_build() {
    if [ -z "${1:-}" ] || ! MORVA_BENCH_BUILD=$(cd "$1" && pwd); then
        echo "usage: $2" >&2
        exit 1
    fi
}

MORVA_BENCH_WORK=
bench_work() {
    MORVA_BENCH_WORK=$(mktemp -d "${TMPDIR:-/tmp}/morva-bench-$1.XXXXXX") || exit 1
}

bench_exit() {
    ! declare -F bench_cleanup >/dev/null || bench_cleanup
    ! declare -F morva_wine_cleanup >/dev/null || morva_wine_cleanup
    morva_x_cleanup
    [ -z "$MORVA_BENCH_WORK" ] || rm -rf "$MORVA_BENCH_WORK"
}
trap bench_exit EXIT

bench_machine() {
    echo "CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs${1:+; Wine $(wine --version 2>/dev/null)}"
}
