#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Loss figure: the PL column of the headless program beside fping's loss, both
# pinging the three lab hosts at the same time while the lab drops a share of
# the echoes. The echo responder's own count per source/destination pair is
# the truth both are compared with.
#   bench/loss_accuracy.sh [ECHOES (default 400)] [PERCENT (default 25)] [even|random (default even)]
set -euo pipefail
# shellcheck source=bench/lab_common.sh
source "$(dirname "$0")/lab_common.sh"

count=${1:-400} percent=${2:-25} mode=${3:-even}
bench_needs app/pingvard
bench_work
bench_lab_up
lab loss "$percent" "$mode" >/dev/null

# 50 ms between echoes, 300 ms time-out, and no restart however many are lost.
write_ini "$work/site" Constants/MaxTimeouts=1000000 Constants/PingInterval=50 \
    Host1/Timeout=300 Host2/Timeout=300 Host3/Timeout=300
ip netns exec "$SITE_NS" "$BUILD/app/pingvard" --headless -C "$work/site" >"$work/pingvard.out" 2>&1 &
pingvard=$!
# fping at about the program's pace: 50 ms + 0.25 x 300 ms per echo.
site fping -q -c "$count" -p 125 -t 300 -S $REF_SOURCE "${LAB_HOSTS[@]}" >"$work/fping.out" 2>&1 || true

# Let the program reach the count too, then stop it and read the truth.
pingvard_echoes() { responder_counts | awk '$2 == "192.168.168.10" { split($4, r, "="); print r[2] }' | sort -n | head -1; }
for _ in $(seq 120); do
    (($(pingvard_echoes || echo 0) >= count)) && break
    sleep 1
done
kill -TERM $pingvard && wait $pingvard || true
responder_counts >"$work/truth"

echo "loss: $percent % ($mode), program at 50 ms + 300 ms time-out, fping -p 125 -t 300 (build: $BUILD)"
printf '%-15s %-32s %-32s\n' host "pingvard: echoes true PL" "fping: echoes true loss"
ip_of() { awk -v n="$1" '$2 == n { print $1 }' "/etc/netns/$SITE_NS/hosts"; }
for i in 1 2 3; do
    host=${LAB_HOSTS[$((i - 1))]} ip=$(ip_of "${LAB_HOSTS[$((i - 1))]}")
    read -r pe pd < <(awk -v d="$ip" '$2 == "192.168.168.10" && $3 == d { split($4, r, "="); split($5, x, "="); print r[2], x[2] }' "$work/truth")
    read -r fe fd < <(awk -v d="$ip" '$2 == "192.168.168.11" && $3 == d { split($4, r, "="); split($5, x, "="); print r[2], x[2] }' "$work/truth")
    pl=$(grep " host $i " "$work/pingvard.out" | tail -1 | sed -n 's/.* pl=\([^ ]*\).*/\1/p')
    floss=$(grep "^$host " "$work/fping.out" | sed -n 's/.*%loss = [0-9]*\/[0-9]*\/\([0-9]*%\).*/\1/p')
    printf '%-15s %-32s %-32s\n' "$host" "$pe $(awk -v a="$pd" -v b="$pe" 'BEGIN { printf "%.1f%%", 100 * a / b }') $pl" \
        "$fe $(awk -v a="$fd" -v b="$fe" 'BEGIN { printf "%.1f%%", 100 * a / b }') $floss"
done
