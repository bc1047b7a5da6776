#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End to end against a real telnet daemon: the headless program restarts an
# access point played by a Debian telnet daemon with a console program on its
# pseudo-terminal (tools/telnet_device.sh, tools/ap_console.sh), again and
# again, and every restart must be confirmed in the console's own record, not
# only as "Reset OK" in pingvard.log.
#
#   device_e2e.sh inetutils|busybox PINGVARD [CYCLES (default 5)]
#
# Builds three network namespaces of its own and deletes them again, also when
# a check fails or the test is interrupted:
#
#   inet: 10.212.0.11-13 (the three marked hosts) --uplink-- site: pingvard --headless
#   ap:   192.168.168.1 (watched host 4, unmarked; the telnet daemon on port 23) --lan-- site
#
# Each cycle cuts the uplink; after MaxTimeouts failed rounds pingvard telnets
# to the device; the console's confirmation restarts the device, which brings
# the uplink back. Nothing is sent outside these namespaces.
#
# Environment: PINGVARD_E2E_KEEP=1 keeps the working directory for inspection.
set -euo pipefail

kind=${1:?usage: device_e2e.sh inetutils|busybox PINGVARD [CYCLES]}
pingvard=${2:?usage: device_e2e.sh inetutils|busybox PINGVARD [CYCLES]}
cycles=${3:-5}
tools=$(cd "$(dirname "$0")/../../tools" && pwd)

# shellcheck source=tests/system/site_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/site_lib.sh"
pv_require_root "creates network namespaces and veth pairs"
pv_require_tools ip ss
"$tools/telnet_device.sh" --check "$kind" ||
    pv_skip "the $kind telnet daemon is not installed (scripts/deps.sh installs it)"

readonly ping_interval=200 echo_timeout=300 max_timeouts=3

work=$(mktemp -d /tmp/pingvard-device.XXXXXX)
record=$work/console.record
pids=()

trap 'site_exit "$work"/* "$work"/device/*' EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL ($kind): $*" >&2
    exit 1
}

count() { grep -c -- "$2" "$1" 2>/dev/null || true; }
confirmations() { count "$record" ' event=confirmed '; }
resets_logged() { count "$work/pingvard.log" ': Reset OK'; }
at_least() { (($("$1") >= $2)); }
listening() { ip netns exec "$ap" ss -Hltn 'sport = :23' | grep -q .; }
all_hosts_answer() {
    local slot
    for slot in 1 2 3 4; do
        tail -n "+$(($1 + 1))" "$work/console.out" | grep -q "host $slot ping=[0-9]*ms " || return 1
    done
}

site_make 10.212.0
site_write_ini "$work/pingvard.ini" 10.212.0 "$max_timeouts" "$ping_interval" "$echo_timeout"
: >"$record"
ip netns exec "$ap" "$tools/telnet_device.sh" "$kind" 192.168.168.1 23 "$work/device" "$record" \
    --on-reset "$(site_restart_command)" >"$work/device.out" 2>&1 &
pids+=($!)
wait_for 5 "the $kind daemon listening" listening
ip netns exec "$site" "$pingvard" --headless -C "$work" >"$work/console.out" 2>"$work/console.err" &
pingvard_pid=$!
pids+=("$pingvard_pid")
wait_for 10 "every watched host answering" all_hosts_answer 0

started=$(pv_now_ms)
for ((cycle = 1; cycle <= cycles; cycle++)); do
    site_cut_uplink
    wait_for 20 "confirmation $cycle in the console's record" at_least confirmations "$cycle"
    wait_for 5 "the uplink back after restart $cycle" site_uplink_up
    wait_for 10 "\"Reset OK\" $cycle in pingvard.log" at_least resets_logged "$cycle"
    mark=$(wc -l <"$work/console.out")
    wait_for 10 "every host answering after restart $cycle" all_hosts_answer "$mark"
    (($(confirmations) == cycle)) || fail "cycle $cycle: the console confirmed $(confirmations) restarts"
    (($(resets_logged) == cycle)) || fail "cycle $cycle: pingvard.log has $(resets_logged) \"Reset OK\""
    (($(count "$work/comm.log" '^Step #') == 3)) || fail "cycle $cycle: comm.log lacks the three steps"
    # The console's farewell reaches comm.log only when the daemon passes it on
    # before it hangs up; inetutils sometimes drops it as the console exits.
    farewell=", no farewell received"
    grep -q 'System is restarting' "$work/comm.log" && farewell=", farewell in comm.log"
    echo "$kind cycle $cycle: confirmed at the device, Reset OK logged$farewell"
done
took=$(($(pv_now_ms) - started))

lines=$(wc -l <"$work/pingvard.log")
((lines == cycles)) || fail "pingvard.log has other lines: $(cat -v "$work/pingvard.log")"
kill -TERM "$pingvard_pid"
status=0
wait "$pingvard_pid" || status=$?
((status == 0)) || fail "pingvard exited with status $status after SIGTERM"
[[ ! -s $work/console.err ]] || fail "pingvard wrote to stderr: $(cat "$work/console.err")"
echo "PASS: $kind: $cycles of $cycles restarts confirmed at the device ($took ms for the cycles)"
