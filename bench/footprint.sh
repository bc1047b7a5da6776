#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Footprint: the headless program with its default configuration (four hosts,
# 2000 ms) beside fping -l -p 2000 on the same four hosts, run side by side
# for the same time: peak resident memory and CPU seconds of each. The program
# runs twice: with the history (its default) and the metrics listener on,
# scraped every 15 s as Prometheus would, and with both off.
#   bench/footprint.sh [SECONDS (default 600)]
set -euo pipefail
# shellcheck source=bench/lab_common.sh
source "$(dirname "$0")/lab_common.sh"

seconds=${1:-600}
bench_needs app/pingvard
bench_work
bench_lab_up

write_ini "$work/on" Metrics/Enabled=1 Metrics/Address=127.0.0.1 Metrics/Port=9770
write_ini "$work/off" History/Enabled=0
ip netns exec "$SITE_NS" "$BUILD/app/pingvard" --headless -C "$work/on" >"$work/on.out" 2>&1 &
pingvard=$!
ip netns exec "$SITE_NS" "$BUILD/app/pingvard" --headless -C "$work/off" >"$work/pingvard.out" 2>&1 &
plain=$!
ip netns exec "$SITE_NS" bash -c 'while sleep 15; do curl -sf -o /dev/null http://127.0.0.1:9770/metrics; done' &
scraper=$!
ip netns exec "$SITE_NS" fping -l -p 2000 -S $REF_SOURCE "${LAB_ALL_HOSTS[@]}" >/dev/null 2>&1 &
fping=$!
sleep "$seconds"

ticks=$(getconf CLK_TCK)
usage() { # peak RSS in KiB and CPU seconds of a live process
    local hwm cpu
    hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$1/status")
    cpu=$(awk -v t="$ticks" '{ sub(/^.*\) /, ""); printf "%.2f", ($12 + $13) / t }' "/proc/$1/stat")
    echo "$hwm $cpu"
}
read -r phwm pcpu < <(usage $pingvard)
read -r ohwm ocpu < <(usage $plain)
read -r fhwm fcpu < <(usage $fping)
kill -TERM $pingvard $plain $fping $scraper
wait $pingvard || true
wait $plain || true
wait $scraper 2>/dev/null || true
wait $fping 2>/dev/null || true

echo "footprint over $seconds s, four hosts every 2000 ms (build: $BUILD)"
printf '%-26s %-16s %-12s\n' program "peak RSS" "CPU seconds"
printf '%-26s %-16s %-12s\n' "pingvard, history+metrics" "$(awk -v k="$phwm" 'BEGIN { printf "%.2f MiB", k / 1024 }')" "$pcpu"
printf '%-26s %-16s %-12s\n' "pingvard, both off" "$(awk -v k="$ohwm" 'BEGIN { printf "%.2f MiB", k / 1024 }')" "$ocpu"
printf '%-26s %-16s %-12s\n' "fping -l -p 2000" "$(awk -v k="$fhwm" 'BEGIN { printf "%.2f MiB", k / 1024 }')" "$fcpu"
echo "pingvard status lines: $(grep -c ' host ' "$work/pingvard.out") row changes"
echo "history: $(stat -c %s "$work/on/history.db" 2>/dev/null || echo 0) bytes in history.db" \
    "($(du -cb "$work"/on/history.db* 2>/dev/null | tail -n 1 | cut -f1) with its WAL)"
