#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start: exec of the headless program to its first echo request on the wire,
# less the designed first wait (PingInterval, here 100 ms, the least), RUNS
# times in a namespace of its own with four loopback hosts; the history on
# (the default). Prints the median and the maximum. The runs start from a
# complete pingvard.ini; the first start of a short one, which writes each
# missing key into the file (a file replaced and synced per key), is timed
# once beside them.
#   bench/start.sh [RUNS (default 20)]
set -euo pipefail
# shellcheck source=bench/lab_common.sh
source "$(dirname "$0")/lab_common.sh"

runs=${1:-20}
interval=100
bench_needs app/pingvard bench/start_timer
bench_work
ns=${PINGVARD_LAB_NAME}-start
start_end() {
    pv_ns_delete "$ns"
    bench_end
}
trap start_end EXIT
pv_ns_delete "$ns"
pv_ns_add "$ns"
write_ini "$work/first" Host1/Hostname=127.0.0.1 Host2/Hostname=127.0.0.2 \
    Host3/Hostname=127.0.0.3 Host4/Hostname=127.0.0.4 Constants/PingInterval=$interval
first=$(ip netns exec "$ns" "$BUILD/bench/start_timer" -- "$BUILD/app/pingvard" --headless -C "$work/first" |
    sed -n 's/^exec_to_first_echo_ms=//p')
for _ in $(seq "$runs"); do
    rm -rf "$work/site"
    mkdir "$work/site"
    cp -p "$work/first/pingvard.ini" "$work/site/"
    ip netns exec "$ns" "$BUILD/bench/start_timer" -- "$BUILD/app/pingvard" --headless -C "$work/site" |
        sed -n 's/^exec_to_first_echo_ms=//p'
done | sort -g | awk -v w=$interval '{ v[NR] = $1 - w }
    END { printf "exec -> first echo, less the first wait of %d ms: median %.1f ms, max %.1f ms (%d runs)\n",
                 w, (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2, v[NR], NR }'
awk -v f="$first" -v w=$interval 'BEGIN { printf "first start of a short pingvard.ini, less the wait: %.1f ms\n", f - w }'
echo "(build: $BUILD, load average $(cut -d' ' -f1-3 /proc/loadavg))"
