#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The listener under abuse: the headless program with [Metrics] and the status
# page ([Web]) on one listener, in a network namespace of its own (its
# loopback only), against 500 idle connections, 500 slowloris connections and
# a burst of 5000 connects held open (bench/http_abuse.cpp). For each: the
# times of /metrics, the page and /api/history, taken in turn, beside a
# reference request of the same run; the echoes the program reported while
# the abuse went on; SIGTERM to exit while it goes on; the program's peak RSS
# and descriptors.
#   bench/listener.sh [SCRAPES (default 6)] [IDLE SLOWLORIS BURST (default 500 500 5000; 0 skips)]
# SCRAPE_TIMEOUT: seconds a scrape may take before it counts as failed (60).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/shell_lib.sh
source "$here/../scripts/shell_lib.sh"

scrapes=${1:-6} idle=${2:-500} slow=${3:-500} burst=${4:-5000}
[[ $(id -u) -eq 0 ]] || { echo "bench: needs root (network namespaces)" >&2 && exit 1; }
build=${PINGVARD_BUILD:-$here/../build/release}
[[ -x $build/app/pingvard && -x $build/bench/http_abuse ]] ||
    { echo "bench: no $build/app/pingvard or $build/bench/http_abuse" >&2 && exit 1; }
build=$(readlink -f "$build")
ns=pvlisten-$$
work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    pv_ns_cleanup
    rm -rf "$work"
}
trap cleanup EXIT
pv_ns_add "$ns"
pv_ns_resolver "$ns"

entries=(Constants/PingInterval=1000 Metrics/Enabled=1 Metrics/Address=127.0.0.1 Metrics/Port=9770
    Web/Enabled=1 Web/Address=127.0.0.1 Web/Port=9770)
paths=(--path /metrics --path / --path '/api/history?host=127.0.0.1&since=24h')
for n in 1 2 3 4; do entries+=("Host$n/Hostname=127.0.0.$n" "Host$n/TimeoutDoReset=0"); done

# run KIND COUNT: one program, one abuse; prints the figures' line.
run() {
    local kind=$1 count=$2 dir=$work/$1 pid abuse fds0 fds1 t0 stop from to echoes expected
    ((count > 0)) || return 0
    mkdir -p "$dir"
    pv_write_ini "$dir/pingvard.ini" "${entries[@]}"
    ip netns exec "$ns" "$build/app/pingvard" --headless -C "$dir" >"$dir/console.txt" 2>&1 &
    pid=$!
    pids+=("$pid")
    pv_wait_for 10 ip netns exec "$ns" curl -sf -o /dev/null http://127.0.0.1:9770/metrics ||
        { echo "bench: no /metrics" >&2 && return 1; }
    pv_wait_for 10 ip netns exec "$ns" curl -sf -o /dev/null \
        'http://127.0.0.1:9770/api/history?host=127.0.0.1&since=24h' ||
        { echo "bench: no history" >&2 && return 1; }
    fds0=$(ls "/proc/$pid/fd" | wc -l)
    from=$(pv_now_ms)
    ip netns exec "$ns" "$build/bench/http_abuse" 127.0.0.1 9770 "--$kind" "$count" \
        --scrapes "$scrapes" "${paths[@]}" --hold 30 --timeout "${SCRAPE_TIMEOUT:-60}" \
        >"$dir/abuse.txt" 2>&1 &
    abuse=$!
    pids+=("$abuse")
    pv_wait_for 900 grep -qs '^holding' "$dir/abuse.txt" || true
    fds1=$(ls "/proc/$pid/fd" | wc -l)
    sleep 10 # the echoes go on while the abuse is held
    hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    to=$(pv_now_ms)
    t0=$(pv_now_ms)
    kill -TERM "$pid"
    wait "$pid" || true
    stop=$(($(pv_now_ms) - t0))
    kill -TERM "$abuse" 2>/dev/null || true
    wait "$abuse" || true
    # Four hosts at 1 s: about four echoes a second while the abuse went on,
    # as history.db recorded them.
    echoes=$(sqlite3 "$dir/history.db" "SELECT count(*) FROM sample WHERE t >= $from * 1000
        AND t < $to * 1000" 2>/dev/null || echo '?')
    expected=$(((to - from) * 4 / 1000))
    local summary
    summary=$(grep '^scrapes=' "$dir/abuse.txt" || echo "scrapes=0 (no summary)")
    printf '%-10s %5s  %s  sigterm_ms=%s peak_rss_kib=%s fds=%s->%s echoes=%s/%s\n' "$kind" \
        "$count" "$summary" "$stop" "$hwm" "$fds0" "$fds1" "$echoes" "$expected"
    grep '^  /' "$dir/abuse.txt" | sed 's/^/  /' || true
    grep '^scrape [0-9]' "$dir/abuse.txt" | sed 's/^/    /'
}

echo "listener under abuse, $scrapes scrapes each (build: $build)"
run idle "$idle"
run slowloris "$slow"
run burst "$burst"
