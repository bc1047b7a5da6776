# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Shared by the lab benchmarks (sourced): a lab of their own, helpers to run
# commands in its namespaces, and the statistics. The constants are for the
# benchmarks that source this.
# shellcheck disable=SC2034
#
# PINGVARD_BUILD: the build directory (default build/release, else build/dev).

BENCH_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly BENCH_SRC
# shellcheck source=scripts/shell_lib.sh
source "$BENCH_SRC/scripts/shell_lib.sh"
export PINGVARD_LAB_NAME=${PINGVARD_LAB_NAME:-pvbench}
readonly LAB_STATE=/run/pingvard-lab/$PINGVARD_LAB_NAME
readonly SITE_NS=$PINGVARD_LAB_NAME-site
readonly REF_SOURCE=192.168.168.11 # the reference tools ping from here
readonly LAB_HOSTS=(pool.ntp.org www.yahoo.com www.geant.org)
readonly LAB_ALL_HOSTS=(pool.ntp.org www.yahoo.com www.geant.org 192.168.168.1)

find_build() {
    local dir
    for dir in "${PINGVARD_BUILD:-}" "$BENCH_SRC/build/release" "$BENCH_SRC/build/dev"; do
        [[ -n $dir && -x $dir/lab/echo_responder ]] && {
            echo "$dir"
            return
        }
    done
    echo "bench: no build (cmake --preset release && cmake --build --preset release)" >&2
    exit 1
}

[[ $(id -u) -eq 0 ]] || {
    echo "bench: needs root (network namespaces)" >&2
    exit 1
}
BUILD=$(readlink -f "$(find_build)")
readonly BUILD

lab() { "$BENCH_SRC/lab/lab" "$@"; }
# Not for background jobs whose pid matters: "site cmd &" forks a subshell, so
# $! would name the subshell; use ip netns exec directly there.
site() { ip netns exec "$SITE_NS" "$@"; }

# bench_needs PROGRAM...: ends the benchmark unless each is built ($BUILD/PROGRAM).
bench_needs() {
    local program
    for program; do
        [[ -x $BUILD/$program ]] || { echo "bench: no $BUILD/$program" >&2 && exit 1; }
    done
}

# What a benchmark leaves at its end, however it ends: its lab goes down and
# its directory ($work, when bench_work made one) goes.
bench_end() {
    lab down >/dev/null 2>&1 || true
    [[ -z ${work:-} ]] || rm -rf "$work"
}
# bench_work: $work, a directory of this run, removed at the end.
work=
bench_work() {
    work=$(mktemp -d)
    trap bench_end EXIT
}

# Brings the benchmark's own lab up without pingvard (the benchmark starts it)
# and always takes it down again.
bench_lab_up() {
    trap bench_end EXIT
    lab down >/dev/null 2>&1 || true
    lab up --bin "$BUILD" --no-pingvard "$@" >/dev/null
}

responder_counts() { # prints "flow SRC DST requests=N dropped=N" lines
    local log=$LAB_STATE/responder.log before
    before=$(wc -l <"$log")
    kill -USR1 "$(cat "$LAB_STATE/responder.pid")"
    sleep 0.3
    tail -n +"$((before + 1))" "$log" | grep '^flow '
}

# "median p95" of the numbers on stdin ("-" and blank lines skipped).
median_p95() {
    grep -E '^[0-9.]+$' | sort -g | awk '{ v[NR] = $1 }
        END { if (NR == 0) { print "- -"; exit }
              m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
              i = int(0.95 * NR + 0.999999); if (i < 1) i = 1
              printf "%.2f %.2f\n", m, v[i] }'
}

# A pingvard.ini in DIR: the defaults, with KEY=VALUE overrides per section
# given as "Section/Key=Value" arguments.
write_ini() {
    local dir=$1
    shift
    mkdir -p "$dir"
    pv_write_ini "$dir/pingvard.ini" "$@"
}
