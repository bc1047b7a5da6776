#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Recovery in the lab, with exact counts:
#   escalation: the access point accepts telnet but never shows its prompt, so
#     the telnet step fails and the plug power-cycles it; the hosts return and
#     the guard resets (a second outage is acted on although MaxRounds=1).
#   guard: a dead line that no restart cures, over a compressed day: exactly
#     MaxRounds rounds, spaced by the doubling hold-off; then silence; then
#     "Restarts resumed" when the line returns.
#   recovery_lab_test.sh BUILD_DIR escalation|guard
set -euo pipefail
# shellcheck source=scripts/shell_lib.sh
source "$(dirname "$0")/../../scripts/shell_lib.sh"
pv_require_root "network namespaces"

build=$1 case=$2
lab=$(cd "$(dirname "$0")/../.." && pwd)/lab/lab
export PINGVARD_LAB_NAME=pvr$$ PINGVARD_LAB_REBOOT_SECONDS=2
state=/run/pingvard-lab/$PINGVARD_LAB_NAME
work=$(mktemp -d /tmp/pvrecovery.XXXXXX)
trap '"$lab" down >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

log() { cat "$state/site/pingvard.log" 2>/dev/null || true; }
fail() {
    echo "FAIL: $*" >&2
    "$lab" status >&2 || true
    log >&2
    exit 1
}
count() { grep -c -- "$1" "${2:-$state/site/pingvard.log}" 2>/dev/null || true; }
answered() { grep -Eq " host 1 ping=[0-9]+ms" <(tail -n "${1:-50}" "$state/pingvard.out"); }
expect() { # expect TEXT N [FILE]
    local n
    n=$(count "$1" "${3:-}")
    [[ $n -eq $2 ]] || fail "expected $2 of '$1', found $n"
}

# outcome_then_back SECONDS TEXT WHAT FAILURE: TEXT reaches pingvard.log within
# SECONDS (else FAILURE), then the hosts answer again after WHAT within 30 s.
outcome_then_back() {
    pv_wait_for "$1" grep -qs -- "$2" "$state/site/pingvard.log" || fail "$4"
    local lines
    lines=$(wc -l <"$state/pingvard.out")
    pv_wait_for 30 answered "+$lines" || fail "the hosts did not return after $3"
}

# Slots 1-3 are the lab's Internet hosts (marked), slot 4 the access point.
site_ini() {
    local entries=(Constants/MaxTimeouts=3 Constants/PingInterval=500 ResetHost/Hostname=192.168.168.1)
    local names=(pool.ntp.org www.yahoo.com www.geant.org 192.168.168.1) slot
    for slot in 1 2 3 4; do
        entries+=("Host$slot/Hostname=${names[slot - 1]}" "Host$slot/DisplayName=h$slot"
            "Host$slot/Timeout=400" "Host$slot/TimeoutDoReset=$((slot < 4 ? 1 : 0))")
    done
    pv_write_ini "$work/pingvard.ini" "${entries[@]}" "$@"
}

case $case in
escalation)
    site_ini Recovery/Actions=telnet,plug Guard/HoldOff=0 Guard/MaxRounds=1 Guard/Window=3600 \
        Action.telnet/Kind=telnet Action.telnet/TimeLimit=3 Action.telnet/Verify=5 \
        Action.plug/Kind=http Action.plug/Preset=shelly2 Action.plug/Host=192.168.168.5 \
        Action.plug/PasswordFile=plug.secret Action.plug/OffTime=1 Action.plug/Verify=30
    "$lab" up --headless --bin "$build" --plug shelly2 --ini "$work/pingvard.ini" \
        -- --mode never-prompt >/dev/null
    pv_wait_for 20 answered || fail "the hosts do not answer"
    "$lab" cut >/dev/null
    outcome_then_back 40 ': Power cycle OK (plug)' "the power cycle" "no power cycle"
    expect 'Unable to reset' 1
    expect 'relay 0 off' 1 "$state/plug.record"
    expect 'relay 0 on' 1 "$state/plug.record"
    # The guard has reset: a second outage is acted on, now by the healthy console.
    sleep 1
    "$lab" cut >/dev/null
    outcome_then_back 30 ': Reset OK' "the restart" "the guard did not reset: no second round"
    expect 'Power cycle OK' 1
    expect 'Restarts paused' 0
    ;;
guard)
    # Hold-offs of 2, 4 and 8 s after rounds 1 to 3 (1 s, doubled as each
    # round ends uncured); a day of 30 s.
    site_ini Recovery/Actions=telnet Guard/HoldOff=1 Guard/MaxRounds=3 Guard/Window=30 \
        Guard/BackOff=1
    "$lab" up --headless --bin "$build" --ini "$work/pingvard.ini" >/dev/null
    pv_wait_for 20 answered || fail "the hosts do not answer"
    start=$(pv_now_ms)
    "$lab" cut --hard >/dev/null
    pv_wait_for 40 grep -qs 'Restarts paused, 3 rounds within 30 s' "$state/site/pingvard.log" ||
        fail "the guard did not pause"
    paused=$(($(pv_now_ms) - start))
    # Silence until shortly before the first round leaves the window.
    sleep $((paused < 27000 ? (28000 - paused) / 1000 : 1))
    expect 'apsim v=1' 3 "$state/apsim.record"
    expect ': Reset OK' 3
    expect 'Restarts paused' 1
    mapfile -t at < <(sed -n 's/.* accepted_mono_ms=\([0-9]*\).*/\1/p' "$state/apsim.record")
    first=$((at[1] - at[0])) second=$((at[2] - at[1]))
    # The hold-off after round 2 is twice that after round 1: 2 s more.
    ((second >= first + 1500)) || fail "no back-off: rounds ${first} ms, then ${second} ms apart"
    "$lab" restore >/dev/null
    pv_wait_for 20 grep -qs ': Restarts resumed' "$state/site/pingvard.log" ||
        fail "no resume when the line returned"
    expect 'apsim v=1' 3 "$state/apsim.record"
    ;;
*) fail "unknown case $case" ;;
esac
echo "recovery lab test ($case) passed"
