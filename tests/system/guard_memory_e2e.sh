#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The restart guard across kills of the program, against a real telnet
# daemon: an outage that no restart cures (the uplink stays cut), the headless
# program killed with SIGKILL and started again three times, and never more
# than MaxRounds sessions at the device's console within the guard's window,
# as the console's own record counts them.
#
#   guard_memory_e2e.sh inetutils|busybox PINGVARD
#
# The site of device_e2e.sh (three namespaces of its own, deleted again also
# when a check fails); nothing is sent outside them.
set -euo pipefail

kind=${1:?usage: guard_memory_e2e.sh inetutils|busybox PINGVARD}
pingvard=${2:?usage: guard_memory_e2e.sh inetutils|busybox PINGVARD}
tools=$(cd "$(dirname "$0")/../../tools" && pwd)

if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: needs root: creates network namespaces and veth pairs"
    exit 77
fi
for tool in ip ss; do
    command -v "$tool" >/dev/null || { echo "SKIP: needs '$tool' (iproute2)"; exit 77; }
done
"$tools/telnet_device.sh" --check "$kind" || {
    echo "SKIP: the $kind telnet daemon is not installed (scripts/deps.sh installs it)"
    exit 77
}

# Two rounds within 40 s, a second of hold-off between them, no back-off.
readonly max_rounds=2 window=40

# shellcheck source=tests/system/site_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/site_lib.sh"
work=$(mktemp -d /tmp/pingvard-guard.XXXXXX)
record=$work/console.record
pids=()

trap 'site_exit "$work"/* "$work"/device/*' EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL ($kind): $*" >&2
    exit 1
}

count() { grep -c -- "$2" "$1" 2>/dev/null || true; }
sessions() { count "$record" ' event=started '; }
confirmations() { count "$record" ' event=confirmed '; }
at_least() { (($("$1") >= $2)); }
listening() { ip netns exec "$ap" ss -Hltn 'sport = :23' | grep -q .; }
answering() { grep -q "host 1 ping=[0-9]*ms " "$work/console.out"; }

start_pingvard() {
    ip netns exec "$site" "$pingvard" --headless -C "$work" >>"$work/console.out" \
        2>>"$work/console.err" &
    pingvard_pid=$!
    pids+=("$pingvard_pid")
}

kill_pingvard() {
    kill -KILL "$pingvard_pid"
    wait "$pingvard_pid" 2>/dev/null || true
}

site_make 10.214.0
site_write_ini "$work/pingvard.ini" 10.214.0 2 200 300 Guard/HoldOff=1 \
    "Guard/MaxRounds=$max_rounds" "Guard/Window=$window" Guard/BackOff=0
: >"$record"
# No --on-reset: the device restarts, and the uplink stays dead.
ip netns exec "$ap" "$tools/telnet_device.sh" "$kind" 192.168.168.1 23 "$work/device" "$record" \
    >"$work/device.out" 2>&1 &
pids+=($!)
wait_for 5 "the $kind daemon listening" listening
start_pingvard
wait_for 10 "the hosts answering" answering

started=$(pv_now_ms)
site_cut_uplink
wait_for 10 "the first restart at the device" at_least confirmations 1
kill_pingvard # 1: right after the first round
start_pingvard
wait_for 10 "the second restart at the device" at_least confirmations 2
kill_pingvard # 2: right after the second round, which used up the window
start_pingvard
sleep 4
kill_pingvard # 3
start_pingvard
sleep 4
took=$(($(pv_now_ms) - started))
((took < window * 1000)) || fail "the checks took ${took} ms, longer than the window"

(($(sessions) <= max_rounds)) || fail "$(sessions) sessions at the device within the window"
(($(confirmations) == max_rounds)) || fail "$(confirmations) restarts confirmed, not $max_rounds"
grep -q ": Restarts paused, $max_rounds rounds within $window s" "$work/pingvard.log" ||
    fail "no pause in pingvard.log: $(cat "$work/pingvard.log")"
kill -TERM "$pingvard_pid"
status=0
wait "$pingvard_pid" || status=$?
((status == 0)) || fail "pingvard exited with status $status after SIGTERM"
[[ ! -s $work/console.err ]] || fail "pingvard wrote to stderr: $(cat "$work/console.err")"
echo "PASS: $kind: $(confirmations) of at most $max_rounds restarts in ${took} ms, across three kills"
