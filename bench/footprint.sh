#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Footprint: the headless program with four hosts every 2000 ms beside
# fping -l -p 2000 on the same four hosts, all run side by side for the same
# time, in three configurations: the defaults (the history on, no metrics);
# the history off; everything on (the history, the metrics listener scraped
# every 15 s as Prometheus would, an ssh and an http action configured). For
# each: peak resident memory, proportional and private dirty memory at the
# end, the shared libraries mapped, and the CPU time on the scheduler's clock
# (each thread's run time in /proc/PID/task/*/schedstat, in ns: the 10 ms
# clock ticks of /proc/PID/stat are too coarse for figures of 0.1 s).
#   bench/footprint.sh [SECONDS (default 600)]
set -euo pipefail
# shellcheck source=bench/lab_common.sh
source "$(dirname "$0")/lab_common.sh"

seconds=${1:-600}
bench_needs app/pingvard
bench_work
bench_lab_up

write_ini "$work/defaults"
write_ini "$work/off" History/Enabled=0
write_ini "$work/all" Metrics/Enabled=1 Metrics/Address=127.0.0.1 Metrics/Port=9770 \
    Recovery/Actions=router,plug Action.router/Kind=ssh Action.router/Host=192.168.168.1 \
    Action.router/User=admin Action.router/Password=secret Action.plug/Kind=http \
    Action.plug/Preset=shelly1 Action.plug/Host=192.168.168.5
declare -A pids
for config in defaults off all; do
    ip netns exec "$SITE_NS" "$BUILD/app/pingvard" --headless -C "$work/$config" >"$work/$config.out" 2>&1 &
    pids[$config]=$!
done
ip netns exec "$SITE_NS" bash -c 'while sleep 15; do curl -sf -o /dev/null http://127.0.0.1:9770/metrics; done' &
scraper=$!
ip netns exec "$SITE_NS" fping -l -p 2000 -S "$REF_SOURCE" "${LAB_ALL_HOSTS[@]}" >/dev/null 2>&1 &
pids[fping]=$!
sleep "$seconds"

mib() { awk -v k="$1" 'BEGIN { printf "%.2f", k / 1024 }'; }
usage() { # peak RSS, PSS and private dirty in MiB, libraries, CPU seconds of a live process
    local hwm pss dirty libs cpu
    hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$1/status")
    pss=$(awk '/^Pss:/ { print $2 }' "/proc/$1/smaps_rollup")
    dirty=$(awk '/^Private_Dirty:/ { print $2 }' "/proc/$1/smaps_rollup")
    libs=$(awk '$6 ~ /\.so/ { print $6 }' "/proc/$1/maps" | sort -u | wc -l)
    cpu=$(cat "/proc/$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%.1f", ns / 1e6 }')
    echo "$(mib "$hwm") $(mib "$pss") $(mib "$dirty") $libs $cpu"
}
declare -A figures
for name in defaults off all fping; do
    figures[$name]=$(usage "${pids[$name]}")
done
resident() { # the resident set at the end: anonymous (the program's own) + file-backed (shared) MiB
    awk '/^RssAnon:/ { a = $2 } /^RssFile:/ { f = $2 } END { printf "%.2f + %.2f MiB", a / 1024, f / 1024 }' "/proc/$1/status"
}
resident_split="defaults $(resident "${pids[defaults]}"), fping $(resident "${pids[fping]}")"
echo "libraries mapped with everything on:" \
    "$(awk '$6 ~ /\.so/ { n = $6; sub(/.*\//, "", n); print n }' "/proc/${pids[all]}/maps" | sort -u | tr '\n' ' ')"
kill -TERM "${pids[@]}" $scraper
for pid in "${pids[@]}" $scraper; do wait "$pid" 2>/dev/null || true; done

echo "footprint over $seconds s, four hosts every 2000 ms (build: $BUILD, load average $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%-36s %9s %9s %9s %5s %9s %8s\n' program "peak RSS" PSS "priv.dirty" libs "CPU ms" "× fping"
read -r fping_hwm _ _ _ fping_cpu <<<"${figures[fping]}"
row() {
    local hwm pss dirty libs cpu
    read -r hwm pss dirty libs cpu <<<"${figures[$2]}"
    printf '%-36s %5s MiB %5s MiB %6s MiB %5s %9s %8s\n' "$1" "$hwm" "$pss" "$dirty" "$libs" "$cpu" \
        "$(awk -v a="$cpu" -v b="$fping_cpu" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
}
row "pingvard, defaults (history on)" defaults
row "pingvard, history off" off
row "pingvard, everything on" all
row "fping -l -p 2000" fping
echo "peak RSS of the defaults: $(awk -v a="$(cut -d' ' -f1 <<<"${figures[defaults]}")" -v b="$fping_hwm" \
    'BEGIN { printf "%.2f", a / b }')× fping's"
echo "resident at the end, anonymous + file-backed: $resident_split"
echo "pingvard status lines: $(grep -c ' host ' "$work/defaults.out") row changes"
echo "history: $(stat -c %s "$work/defaults/history.db" 2>/dev/null || echo 0) bytes in history.db" \
    "($(du -cb "$work"/defaults/history.db* 2>/dev/null | tail -n 1 | cut -f1) with its WAL)"
