#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end test of the headless program in a simulated site.
#
#   headless_e2e.sh PINGVARD PINGVARD_APSIM
#
# Builds three network namespaces of its own and deletes them again, also when
# a check fails or the test is interrupted:
#
#   inet: 10.211.0.11-13 (the three marked hosts) --uplink-- site: pingvard --headless
#   ap:   192.168.168.1 (watched host 4, unmarked; pingvard-apsim on port 23) --lan-- site
#
# Run 1: every host answers, then the uplink is cut; after MaxTimeouts failed
# rounds the simulator must confirm the three answers of the default script,
# pingvard.log must gain exactly one "Reset OK" line and the console must show
# it. Run 2: the simulator refuses the connection; the log and the console must
# show the connect failure. Nothing is sent outside these namespaces.
#
# Environment: PINGVARD_E2E_KEEP=1 keeps the working directory for inspection.
# Prints the peak RSS (VmHWM) of the headless program in each run.
set -euo pipefail

pingvard=${1:?usage: headless_e2e.sh PINGVARD PINGVARD_APSIM}
apsim=${2:?usage: headless_e2e.sh PINGVARD PINGVARD_APSIM}

# shellcheck source=tests/system/site_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/site_lib.sh"
pv_require_root "creates network namespaces and veth pairs"
pv_require_tools ip ss

readonly ping_interval=200 echo_timeout=300 max_timeouts=3
# Bound on one shutdown: each worker its echo time-out, a session 1000 ms, plus slack.
readonly shutdown_bound_ms=$((4 * echo_timeout + 1000 + 1000))

work=$(mktemp -d /tmp/pingvard-e2e.XXXXXX)
pids=()

trap 'site_exit "$work"/*/*' EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

all_hosts_answer() {
    local console=$1 slot
    for slot in 1 2 3 4; do
        grep -q "host $slot ping=[0-9]*ms " "$console" || return 1
    done
}

# answering_after LINE FILE: host 1 answered after line LINE of the console output.
answering_after() { tail -n "+$(($1 + 1))" "$2" | grep -q 'host 1 ping=[0-9]*ms '; }

sleep_ms() { sleep "$(($1 / 1000)).$(printf %03d $(($1 % 1000)))"; }

log_lines() { grep -c -- "$2" "$1/pingvard.log" 2>/dev/null || true; }
has_log_line() { [[ $(log_lines "$1" "$2") -ge 1 ]]; }

start_apsim() {
    local dir=$1
    shift
    ip netns exec "$ap" "$apsim" --listen 192.168.168.1 --port 23 --record "$dir/apsim.record" "$@" \
        >"$dir/apsim.out" 2>"$dir/apsim.err" &
    apsim_pid=$!
    pids+=("$apsim_pid")
}

start_pingvard() {
    local dir=$1
    ip netns exec "$site" "$pingvard" --headless -C "$dir" >"$dir/console.out" 2>"$dir/console.err" &
    pingvard_pid=$!
    pids+=("$pingvard_pid")
    wait_for 10 "every watched host answering" all_hosts_answer "$dir/console.out"
}


# Ends pingvard with SIGTERM: exit status 0 within the shutdown bound.
stop_pingvard() {
    local dir=$1 label=$2
    local rss
    rss=$(awk '/^VmHWM:/ {print $2}' "/proc/$pingvard_pid/status")
    echo "$label: peak RSS (VmHWM) of pingvard --headless: ${rss} kB"
    local start status=0
    start=$(pv_now_ms)
    kill -TERM "$pingvard_pid"
    wait "$pingvard_pid" || status=$?
    local took=$(($(pv_now_ms) - start))
    echo "$label: SIGTERM to exit: ${took} ms, exit status $status"
    ((status == 0)) || fail "$label: pingvard exited with status $status after SIGTERM"
    ((took <= shutdown_bound_ms)) || fail "$label: shutdown took ${took} ms (bound ${shutdown_bound_ms} ms)"
    [[ ! -s $dir/console.err ]] || fail "$label: pingvard wrote to stderr: $(cat "$dir/console.err")"
}

stop_apsim() {
    kill -TERM "$apsim_pid"
    wait "$apsim_pid" || true
}

run_reset_ok() {
    local dir=$work/reset-ok
    mkdir "$dir"
    site_write_ini "$dir/pingvard.ini" 10.211.0 "$max_timeouts" "$ping_interval" "$echo_timeout"
    # Like a restarted access point: the link comes back, no second reset follows.
    start_apsim "$dir" --on-reset "$(site_restart_command)"
    wait_for 5 "the simulator listening" \
        bash -c "ip netns exec '$ap' ss -Hltn 'sport = :23' | grep -q ."
    start_pingvard "$dir"

    site_cut_uplink
    wait_for 15 "\"Reset OK\" in pingvard.log" has_log_line "$dir" ': Reset OK'
    wait_for 5 "the uplink back after the restart" site_uplink_up
    local restored_at
    restored_at=$(wc -l <"$dir/console.out")

    wait_for 5 "the simulator's session record" grep -q ' outcome=' "$dir/apsim.record"
    # The device's own word: its console read every answer and restarted.
    grep -q ' outcome=reset ' "$dir/apsim.record" || fail "simulator did not record a reset"
    for answer in 'answer1=ok:[0-9]*:[0-9]*:kelvarno ' 'answer2=ok:[0-9]*:[0-9]*:reset%20system ' \
        'answer3=ok:[0-9]*:[0-9]*:y '; do
        grep -q "$answer" "$dir/apsim.record" || fail "simulator record lacks $answer"
    done
    grep -q ' status Trying to reset\.\.\.$' "$dir/console.out" || fail "console: no \"Trying to reset...\""
    grep -q ' tray 1 restart under way$' "$dir/console.out" || fail "console: tray never showed the restart"
    grep -q ' status Reset OK - .' "$dir/console.out" || fail "console: no \"Reset OK - <time>\""
    # The log line is "<timestamp>: Reset OK" with CR LF.
    grep -q $'^[^:].*: Reset OK\r$' "$dir/pingvard.log" || fail "pingvard.log line malformed"

    wait_for 10 "every host answering again" answering_after "$restored_at" "$dir/console.out"
    # Down until the hosts answer, whatever the restart's outcome; then normal.
    wait_for 5 "the tray back to normal" grep -q ' tray 0 normal$' "$dir/console.out"
    grep -q ' site down since [0-9:]* (uplink), ' "$dir/console.out" ||
        fail "console: no site line for the outage"
    sleep_ms $((max_timeouts * (ping_interval + echo_timeout)))
    local count
    count=$(log_lines "$dir" ': Reset OK')
    ((count == 1)) || fail "pingvard.log has $count \"Reset OK\" lines, expected exactly 1"
    [[ $(wc -l <"$dir/pingvard.log") -eq 1 ]] || fail "pingvard.log has other lines: $(cat -v "$dir/pingvard.log")"
    [[ -s $dir/comm.log ]] || fail "no comm.log transcript"

    stop_pingvard "$dir" "reset OK run"
    stop_apsim
    echo "reset OK run: passed"
}

run_refused() {
    local dir=$work/refused
    mkdir "$dir"
    site_write_ini "$dir/pingvard.ini" 10.211.0 "$max_timeouts" "$ping_interval" "$echo_timeout"
    start_apsim "$dir" --mode refuse
    start_pingvard "$dir"

    site_cut_uplink
    local text='Unable to reset, cannot connect to 192.168.168.1'
    wait_for 15 "\"$text\" in pingvard.log" has_log_line "$dir" ": $text"
    site_restore_uplink
    grep -q $'^[^:].*: '"$text"$'\r$' "$dir/pingvard.log" || fail "pingvard.log line malformed"
    grep -q " status $text\$" "$dir/console.out" || fail "console: no \"$text\""
    grep -q ' tray 2 restart failed$' "$dir/console.out" || fail "console: tray did not show the failure"
    [[ ! -e $dir/comm.log ]] || fail "comm.log exists although nothing was connected"
    [[ ! -s $dir/apsim.record ]] || fail "the refusing simulator recorded a session"

    stop_pingvard "$dir" "refused run"
    stop_apsim
    echo "refused run: passed"
}

site_make 10.211.0
run_reset_ok
site_restore_uplink
run_refused
echo "PASS"
