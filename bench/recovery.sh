#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Recovery by the plug, in the lab: from the failure report that makes the
# restart rule hold to the power cycle requested on the plug (its own record:
# "relay 0 off"), and to the hosts back (the first answer of host 1 after it).
# The plug is the only action; off time 1 s, boot delay 1 s, PingInterval
# 500 ms, MaxTimeouts 3.
#   bench/recovery.sh [ROUNDS (default 10)]
set -euo pipefail
# shellcheck source=bench/lab_common.sh
source "$(dirname "$0")/lab_common.sh"

rounds=${1:-10}
bench_work
lab down >/dev/null 2>&1 || true
export PINGVARD_LAB_REBOOT_SECONDS=1
# The guard off (HoldOff=0, MaxRounds=0): one outage after another, each acted on.
write_ini "$work" Constants/MaxTimeouts=3 Constants/PingInterval=500 Recovery/Actions=plug \
    Guard/HoldOff=0 Guard/MaxRounds=0 \
    Action.plug/Kind=http Action.plug/Preset=shelly2 Action.plug/Host=192.168.168.5 \
    Action.plug/PasswordFile=plug.secret Action.plug/OffTime=1 Action.plug/Verify=30
lab up --headless --bin "$BUILD" --plug shelly2 --ini "$work/pingvard.ini" >/dev/null
out=$LAB_STATE/pingvard.out record=$LAB_STATE/plug.record

ms_of() { date -d "$1" +%s%3N; } # a console line's ISO 8601 time
# The plug records monotonic ms: the offset to the real clock, from a status
# request whose answer curl takes a few ms before it exits (the start of
# ip netns exec and curl, tens of ms, comes before the request and is left out).
clock_offset() {
    local after mono
    ip netns exec "$SITE_NS" curl -s --digest -u admin:lab-plug-secret \
        "http://192.168.168.5/rpc/Switch.GetStatus?id=0" >/dev/null
    after=$(pv_now_ms)
    mono=$(tail -n 1 "$record" | awk '{ print $1 }')
    echo $((after - mono))
}
answered_after() { tail -n "+$(($1 + 1))" "$out" | grep -Eq ' host 1 ping=[0-9]+ms'; }
# Host 1 answered after the power cycle's status line, past line $1.
back_after() {
    tail -n "+$(($1 + 1))" "$out" | sed -n '/ status Trying to power cycle/,$p' |
        grep -Eq ' host 1 ping=[0-9]+ms'
}
offs() { grep -c 'relay 0 off' "$record" || true; }
more_offs() { (($(offs) > $1)); }

echo "recovery by the plug over $rounds outages (shelly2 plug simulator, build: $BUILD)"
pv_wait_for 20 answered_after 0 || { echo "bench: the hosts do not answer" >&2 && exit 1; }
offset=$(clock_offset)
: >"$work/requested" && : >"$work/back"
for ((i = 1; i <= rounds; i++)); do
    lines=$(wc -l <"$out") before=$(offs)
    lab cut >/dev/null
    pv_wait_for 30 more_offs "$before" || { echo "bench: no power cycle" >&2 && exit 1; }
    pv_wait_for 30 back_after "$lines" || { echo "bench: the hosts did not return" >&2 && exit 1; }
    # The failure report that fired the rule: the last failure before the step's status line.
    tail -n "+$((lines + 1))" "$out" >"$work/round"
    fired=$(sed -n '/ status Trying to power cycle/q;/ host [123] ping=- /p' "$work/round" | tail -n 1 |
        awk '{ print $1 }')
    back=$(sed -n '/ status Trying to power cycle/,$p' "$work/round" |
        grep -E ' host 1 ping=[0-9]+ms' | head -n 1 | awk '{ print $1 }')
    off=$(grep 'relay 0 off' "$record" | tail -n 1 | awk '{ print $1 }')
    echo $((off + offset - $(ms_of "$fired"))) >>"$work/requested"
    echo $(($(ms_of "$back") - $(ms_of "$fired"))) >>"$work/back"
    sleep 1
done
read -r req_median req_p95 < <(median_p95 <"$work/requested")
read -r back_median back_p95 < <(median_p95 <"$work/back")
echo "failure report -> power cycle requested on the plug: median $req_median ms (p95 $req_p95 ms)"
echo "failure report -> hosts back:                        median $back_median ms (p95 $back_p95 ms)"
