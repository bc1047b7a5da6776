#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shutdown: SIGTERM to exit of the headless program (a) with idle workers,
# (b) while a reset session is blocked in a connect nobody answers, and
# (c) while a session sits in a ReadUntil fed one byte every 200 ms.
#   bench/shutdown.sh [RUNS (default 5)]
# After a long run: the history and the metrics on (scraped every 15 s),
# SECONDS of running, then the stop, RUNS times. --day first gives the
# history a day of echoes (four hosts every 2 s, written into history.db
# beforehand: a day compressed, not lived) whose roll-up the run then does.
#   bench/shutdown.sh --after SECONDS [--day] [RUNS (default 1)]
set -euo pipefail
# shellcheck source=bench/lab_common.sh
source "$(dirname "$0")/lab_common.sh"

after=
day=0
[[ ${1:-} == --after ]] && { after=$2 && shift 2; }
[[ ${1:-} == --day ]] && { day=1 && shift; }
runs=${1:-$([[ -n $after ]] && echo 1 || echo 5)}
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

# A day of echoes before now for every host the program wrote, and the
# roll-up's marks taken back a day, as a program that ran a day left them.
fill_day() {
    sqlite3 "$1" "WITH RECURSIVE s(t) AS (SELECT (strftime('%s','now') - 86400) * 1000
                    UNION ALL SELECT t + 2000 FROM s WHERE t < (strftime('%s','now') - 10) * 1000)
                  INSERT OR IGNORE INTO sample(host, t, rtt)
                  SELECT host.id, s.t, CASE WHEN s.t % 97 = 0 THEN NULL ELSE 300 + s.t % 700 END
                  FROM host, s;
                  UPDATE meta SET value = value - 86400 WHERE key IN ('minute_done', 'hour_done');"
}

if [[ -n $after ]]; then
    lab down >/dev/null 2>&1 || true
    lab up --bin "$BUILD" --no-pingvard >/dev/null
    scrape() { while sleep 15; do curl -sf -o /dev/null http://127.0.0.1:9770/metrics || true; done; }
    ip netns exec "$SITE_NS" bash -c "$(declare -f scrape); scrape" &
    scraper=$!
    for i in $(seq "$runs"); do
        rm -rf "$work/site"
        write_ini "$work/site" Metrics/Enabled=1 Metrics/Address=127.0.0.1 Metrics/Port=9770
        if ((day)); then
            "$timer" --ready " host 4 ping=" --settle 3000 -- \
                ip netns exec "$SITE_NS" "$BUILD/app/pingvard" --headless -C "$work/site" >/dev/null
            fill_day "$work/site/history.db"
        fi
        "$timer" --ready " host 4 ping=" --settle "$((after * 1000))" --log "$work/run$i.out" -- \
            ip netns exec "$SITE_NS" "$BUILD/app/pingvard" --headless -C "$work/site" |
            sed -n 's/^sigterm_to_exit_ms=\([0-9.]*\) status=0$/\1/p'
    done | sort -g | awk '{ v[NR] = $1 } END { printf "%s %s %d\n", v[int((NR + 1) / 2)], v[NR], NR }' |
        { read -r m x n && report "after ${after} s$( ((day)) && echo ', a day of history') (history, metrics)" "$m" "$x" "$n"; }
    kill "$scraper" 2>/dev/null || true
    echo "history: $(sqlite3 "$work/site/history.db" 'SELECT count(*) FROM sample') echoes," \
        "$(du -cb "$work"/site/history.db* | tail -n 1 | cut -f1) bytes with its WAL"
    exit 0
fi

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
