#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Round-trip accuracy: for each added delay, the median and 95th percentile of
# the program's RoundTripMs beside iputils ping and fping, all measured at the
# same time against the same three lab hosts.
#   bench/rtt_accuracy.sh [ECHOES_PER_HOST (default 100)] [DELAYS_MS (default "1 20 100")]
# Under load: the program itself (history on, four loopback hosts every
# 200 ms) beside iputils ping to the same address, with N busy loops running
# beside them; the program's median and 90th percentile from history.db, in
# ms with three decimals.
#   bench/rtt_accuracy.sh --load N [ECHOES_PER_HOST (default 100)]
set -euo pipefail
# shellcheck source=bench/lab_common.sh
source "$(dirname "$0")/lab_common.sh"

# "median p90" of the numbers on stdin.
median_p90() {
    sort -g | awk '{ v[NR] = $1 }
        END { if (NR == 0) { print "- -"; exit }
              m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
              i = int(0.9 * NR + 0.999999)
              printf "%.3f %.3f %d\n", m, v[i], NR }'
}

if [[ ${1:-} == --load ]]; then
    loops=$2
    count=${3:-100}
    bench_needs app/pingvard
    bench_work
    ns=${PINGVARD_LAB_NAME}-rtt
    busy=()
    rtt_end() {
        for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null || true; done
        pv_ns_delete "$ns"
        bench_end
    }
    trap rtt_end EXIT
    pv_ns_delete "$ns"
    pv_ns_add "$ns"
    for _ in $(seq "$loops"); do
        bash -c 'while :; do :; done' &
        busy+=($!)
    done
    write_ini "$work/site" Host1/Hostname=127.0.0.1 Host2/Hostname=127.0.0.2 \
        Host3/Hostname=127.0.0.3 Host4/Hostname=127.0.0.4 Constants/PingInterval=200
    ip netns exec "$ns" "$BUILD/app/pingvard" --headless -C "$work/site" >"$work/pv.out" 2>&1 &
    pingvard=$!
    ip netns exec "$ns" ping -n -c "$count" -i 0.2 127.0.0.1 |
        sed -n 's/.*time=\([0-9.]*\) ms.*/\1/p' >"$work/ping.txt"
    # The program has sent about as many; its last batch reaches the file at the stop.
    kill -TERM $pingvard
    wait $pingvard || true
    sqlite3 "$work/site/history.db" \
        "SELECT rtt / 1000.0 FROM sample JOIN host ON host.id = sample.host
         WHERE host.address = '127.0.0.1' AND rtt IS NOT NULL" >"$work/pv.txt"
    read -r pm pp pn < <(median_p90 <"$work/pv.txt")
    read -r im ip in < <(median_p90 <"$work/ping.txt")
    echo "round trips to 127.0.0.1 with $loops busy loops on $(nproc) cores, 200 ms apart (build: $BUILD)"
    printf '%-34s %-10s %-10s %s\n' "" "median" "p90" "echoes"
    printf '%-34s %-10s %-10s %s\n' "pingvard (history.db)" "$pm ms" "$pp ms" "$pn"
    printf '%-34s %-10s %-10s %s\n' "iputils ping, same run" "$im ms" "$ip ms" "$in"
    exit 0
fi

count=${1:-100}
delays=${2:-1 20 100}
bench_work
bench_lab_up

echo "round trips, $count echoes per host and tool, 200 ms apart, 3 hosts (build: $BUILD)"
printf '%-9s %-22s %-22s %-22s\n' "delay" "pingvard median/p95" "iputils ping" "fping"
for delay in $delays; do
    lab delay "$delay" >/dev/null
    rm -f "$work"/*.txt
    for host in "${LAB_HOSTS[@]}"; do
        site "$BUILD/bench/rtt_probe" --count "$count" --interval 200 "$host" >"$work/pv-$host.txt" &
        site ping -n -c "$count" -i 0.2 -I $REF_SOURCE "$host" 2>&1 |
            sed -n 's/.*time=\([0-9.]*\) ms.*/\1/p' >"$work/ping-$host.txt" &
    done
    site fping -q -C "$count" -p 200 -S $REF_SOURCE "${LAB_HOSTS[@]}" 2>&1 |
        cut -d: -f2 | tr ' ' '\n' >"$work/fping.txt"
    wait
    read -r pvm pvp < <(cat "$work"/pv-*.txt | median_p95)
    read -r pim pip < <(cat "$work"/ping-*.txt | median_p95)
    read -r fm fp < <(median_p95 <"$work/fping.txt")
    printf '%-9s %-22s %-22s %-22s\n' "$delay ms" "$pvm / $pvp" "$pim / $pip" "$fm / $fp"
done
