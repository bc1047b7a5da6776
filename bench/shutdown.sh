#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shutdown: SIGTERM to exit of the headless program (a) with idle workers,
# (b) while a reset session is blocked in a connect nobody answers, and
# (c) while a session sits in a ReadUntil fed one byte every 200 ms.
#   bench/shutdown.sh [RUNS (default 5)]
set -euo pipefail
# shellcheck source=bench/lab_common.sh
source "$(dirname "$0")/lab_common.sh"

runs=${1:-5}
bench_needs app/pingvard
bench_work
timer=$BUILD/bench/shutdown_timer

# time_runs READY SETTLE_MS INI-ENTRY...: prints "median max" of the runs
time_runs() {
    local ready=$1 settle=$2 i
    shift 2
    for i in $(seq "$runs"); do
        rm -rf "$work/site"
        write_ini "$work/site" "$@"
        "$timer" --ready "$ready" --settle "$settle" --log "$work/run$i.out" -- \
            ip netns exec "$SITE_NS" "$BUILD/app/pingvard" --headless -C "$work/site" |
            sed -n 's/^sigterm_to_exit_ms=\([0-9.]*\) status=0$/\1/p'
    done | sort -g | awk '{ v[NR] = $1 } END { printf "%s %s %d\n", v[int((NR + 1) / 2)], v[NR], NR }'
}

report() { printf '%-46s median %6s ms  max %6s ms  (%s runs exiting 0)\n' "$1" "$2" "$3" "$4"; }

lab down >/dev/null 2>&1 || true
lab up --bin "$BUILD" --no-pingvard >/dev/null
read -r m x n < <(time_runs " host 4 ping=" 500 Constants/MaxTimeouts=5)
report "(a) idle workers" "$m" "$x" "$n"

# The hosts and the reset host sit behind a hung uplink: SYNs vanish.
lab cut >/dev/null
read -r m x n < <(time_runs "status Trying to reset..." 1000 Constants/MaxTimeouts=1 \
    Constants/PingInterval=100 ResetHost/Hostname=192.0.2.10 Host1/Timeout=300 Host2/Timeout=300 \
    Host3/Timeout=300)
report "(b) session blocked in connect" "$m" "$x" "$n"

lab down >/dev/null
lab up --bin "$BUILD" --no-pingvard -- --mode trickle >/dev/null
lab cut >/dev/null
read -r m x n < <(time_runs "status Trying to reset..." 1500 Constants/MaxTimeouts=1 \
    Constants/PingInterval=100 Host1/Timeout=300 Host2/Timeout=300 Host3/Timeout=300)
report "(c) session in a trickling ReadUntil" "$m" "$x" "$n"
