# Sourced by the benchmarks (scripts/bench-*.sh): the source tree as root
# and the Wine environment, the build a benchmark measures, a scratch folder,
# and the line that says what machine measured. At exit every Wine and X
# server the benchmark started ends and the scratch folder goes.
#   bench_build DIR USAGE     sets build to DIR made absolute; without DIR
#                             prints USAGE and exits
#   bench_work NAME           makes work, a scratch folder; a function
#                             bench_cleanup, where the benchmark defines
#                             one, runs first at exit
#   bench_machine [wine]      prints "CPU: MODEL, N CPUs", and Wine's
#                             version when asked
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/wine-env.sh"

bench_build() {
    if [ -z "${1:-}" ] || ! build=$(cd "$1" && pwd); then
        echo "usage: $2" >&2
        exit 1
    fi
}

work=
bench_work() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/morva-bench-$1.XXXXXX") || exit 1
}

bench_exit() {
    ! declare -F bench_cleanup >/dev/null || bench_cleanup
    morva_wine_cleanup
    [ -z "$work" ] || rm -rf "$work"
}
trap bench_exit EXIT

bench_machine() {
    echo "CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs${1:+; Wine $(wine --version 2>/dev/null)}"
}
