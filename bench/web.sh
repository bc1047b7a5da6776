#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The status page on 90 days of four hosts: the time to answer the page's
# files, /api/status and /api/history (1 h, 24 h, 7 d, 90 d) over REQUESTS
# requests each (fresh connections, one after another), the page's weight,
# beside a /metrics scrape of the same listener and the history window's open
# on the same data (bench/history_window_bench.cpp writes it; its times are
# moved to end now, so the page's spans cover it). The headless program runs
# in a network namespace of its own: the four hosts are addresses of its
# loopback, so nothing leaves it. With SHOTS, the page is also photographed
# (tests/system/web_browser.py; Chromium and its driver) into SHOTS.
#   bench/web.sh [REQUESTS (default 50)] [SHOTS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/shell_lib.sh
source "$here/../scripts/shell_lib.sh"

requests=${1:-50} shots=${2:-}
[[ $(id -u) -eq 0 ]] || { echo "bench: needs root (network namespaces)" >&2 && exit 1; }
build=${PINGVARD_BUILD:-$here/../build/release}
for program in app/pingvard bench/history_window_bench; do
    [[ -x $build/$program ]] || { echo "bench: no $build/$program" >&2 && exit 1; }
done
command -v sqlite3 >/dev/null || { echo "bench: needs sqlite3" >&2 && exit 1; }
build=$(readlink -f "$build")
ns=pvweb-$$
work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    pv_ns_cleanup
    rm -rf "$work"
}
trap cleanup EXIT
in_ns() { ip netns exec "$ns" "$@"; }

echo "status page on 90 days of 4 hosts, $requests requests each (build: $build)"
QT_QPA_PLATFORM=offscreen "$build/bench/history_window_bench" "$work/window.png" --dir "$work" \
    --runs 5 >"$work/window.txt" 2>&1 || { cat "$work/window.txt" && exit 1; }
window=$(sed -n 's/^open [0-9]*: \([0-9]*\) ms.*/\1/p' "$work/window.txt" | sort -n |
    awk '{ v[NR] = $1 } END { printf "median %d ms, max %d ms", v[int((NR + 1) / 2)], v[NR] }')

# The data ends at the benchmark's fixed instant: move it to now (minutes in
# seconds, echoes in microseconds, events and marks in milliseconds; twice,
# so that no key meets another on the way).
last=$(sqlite3 "$work/history.db" 'SELECT max(t) FROM sample')
shift_ms=$(($(pv_now_ms) - last / 1000))
far=100000000000
sqlite3 "$work/history.db" "
    UPDATE minute SET t = t + $far; UPDATE minute SET t = t - $far + $shift_ms / 1000;
    UPDATE hour SET t = t + $far; UPDATE hour SET t = t - $far + $shift_ms / 1000;
    UPDATE sample SET t = t + $far * 1000000; UPDATE sample SET t = t - $far * 1000000 + $shift_ms * 1000;
    UPDATE event SET t = t + $shift_ms;
    UPDATE meta SET value = value + $shift_ms WHERE key IN ('minute_done', 'hour_done');"
# The benchmark writes minutes only; the store rolls hours up from the echoes
# as it goes, so a file of 90 days has them as well: made from the minutes.
sqlite3 "$work/history.db" "
    INSERT OR REPLACE INTO hour(host, t, n, lost, lo, med, hi)
        SELECT host, t / 3600 * 3600, sum(n), sum(lost), min(lo), CAST(avg(med) AS INTEGER), max(hi)
        FROM minute GROUP BY host, t / 3600;
    INSERT OR REPLACE INTO meta VALUES('hour_done',
        (SELECT value / 3600000 * 3600000 FROM meta WHERE key = 'minute_done'));"
mapfile -t hosts < <(sqlite3 "$work/history.db" 'SELECT address FROM host ORDER BY id')
mapfile -t names < <(sqlite3 "$work/history.db" 'SELECT name FROM host ORDER BY id')

pv_ns_add "$ns"
entries=(Constants/PingInterval=2000 Constants/MaxTimeouts=1000 ResetHost/Hostname=127.0.0.1
    Guard/MaxRounds=0 Web/Enabled=1 Web/Port=9770 Metrics/Enabled=1 Metrics/Port=9770)
for n in 1 2 3 4; do
    ip -n "$ns" addr add "${hosts[n - 1]}/32" dev lo
    entries+=("Host$n/Hostname=${hosts[n - 1]}" "Host$n/DisplayName=${names[n - 1]}"
        "Host$n/TimeoutDoReset=1")
done
pv_write_ini "$work/pingvard.ini" "${entries[@]}"
ip netns exec "$ns" "$build/app/pingvard" --headless -C "$work" >"$work/console.txt" 2>&1 &
pingvard_pid=$!
pids+=("$pingvard_pid")
pv_wait_for 10 in_ns curl -sf -o /dev/null http://127.0.0.1:9770/api/status ||
    { echo "bench: no status page" >&2 && exit 1; }
sleep 2 # the first copy of the monitor's state

# measure PATH: "p50 p95 max bytes" of REQUESTS answers, in ms.
measure() {
    local i answers
    answers=$(for ((i = 0; i < requests; i++)); do
        in_ns curl -s -o /dev/null -w '%{http_code} %{time_total} %{size_download}\n' \
            "http://127.0.0.1:9770$1"
    done)
    sort -g -k2,2 <<<"$answers" | awk '$1 != 200 { bad++ } { t[NR] = $2 * 1000; b = $3 }
        END { printf "%6.1f %6.1f %6.1f %8d%s", t[int(NR * 0.5 + 0.5)], t[int(NR * 0.95 + 0.5)],
              t[NR], b, bad ? "  (" bad " not 200)" : "" }'
}
printf '%-34s %6s %6s %6s %8s\n' "request" "p50_ms" "p95_ms" "max_ms" "bytes"
weight=0
for path in / /app.js /style.css /icon.svg; do
    line=$(measure "$path")
    weight=$((weight + $(awk '{ print $4 }' <<<"$line")))
    printf '%-34s %s\n' "$path" "$line"
done
for path in /api/status /api/incidents /metrics; do
    printf '%-34s %s\n' "$path" "$(measure "$path")"
done
for since in 1h 24h 7d 30d 90d; do
    path="/api/history?host=${hosts[0]}&since=$since"
    printf '%-34s %s\n' "/api/history since=$since" "$(measure "$path")"
done
first=0
for host in "${hosts[@]}"; do
    first=$((first + $(in_ns curl -s "http://127.0.0.1:9770/api/history?host=$host&since=1h" | wc -c)))
done
first=$((first + $(in_ns curl -s http://127.0.0.1:9770/api/status | wc -c)))
first=$((first + $(in_ns curl -s http://127.0.0.1:9770/api/incidents | wc -c)))
echo "page weight: $weight bytes (its four files), first load with its JSON: $((weight + first)) bytes"
echo "history window, same data: open to first complete paint $window"
for since in 7d 90d; do
    in_ns curl -s "http://127.0.0.1:9770/api/history?host=${hosts[0]}&since=$since" |
        jq -r --arg s "$since" '"/api/history since=\($s): \(.points | length) points of \(.bucketMs / 60000) min, \(.resolution)s read"'
done
if [[ -n $shots ]]; then
    mkdir -p "$shots"
    names_list=$(IFS=,; echo "${names[*]}")
    in_ns /usr/bin/python3 "$here/../tests/system/web_browser.py" http://127.0.0.1:9770/ \
        "$names_list" "$shots" - - 24h
fi
kill -TERM "$pingvard_pid"
wait "$pingvard_pid" || echo "bench: pingvard ended with status $?" >&2
