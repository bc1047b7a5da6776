#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Round-trip accuracy: for each added delay, the median and 95th percentile of
# the program's RoundTripMs beside iputils ping and fping, all measured at the
# same time against the same three lab hosts.
#   bench/rtt_accuracy.sh [ECHOES_PER_HOST (default 100)] [DELAYS_MS (default "1 20 100")]
set -euo pipefail
# shellcheck source=bench/lab_common.sh
source "$(dirname "$0")/lab_common.sh"

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
