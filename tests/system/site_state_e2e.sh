#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The state of the site and its incidents, as the real headless program tells
# them, in a simulated site (tests/system/site_lib.sh; nothing leaves its
# namespaces):
#
#   uplink:       the uplink hangs, the access point (watched host 4, the
#                 simulator on port 23) answers: "site down ... (uplink)", one
#                 telnet restart cures it, "site up"; the hooks and the history
#                 hold one site-down and one site-back, cured by telnet.
#   access point: the uplink hangs and the access point (watched by no host:
#                 the probe sends it echoes) is silent: "(access point)"; a
#                 program action that cures nothing, then the guard pauses;
#                 for many more evaluations of the rule nothing is said again:
#                 one site-down, one rule-fired, one restarts-paused.
#   killed:       the uplink hangs, pingvard is killed (SIGKILL) during the
#                 incident: --incidents shows it open; the next start, with the
#                 uplink back, either takes it up again (pingvard.state keeps
#                 it) and ends it as the hosts answer, or ends it where the
#                 killed run last watched, marked unfinished: one incident,
#                 never left open.
#   local link:   the link towards the access point loses its carrier (the
#                 peer's end set down) while the uplink hangs: "(local link)",
#                 "This machine's link ... is down: no restart", no action;
#                 the link back, the rule resumes.
#
#   site_state_e2e.sh PINGVARD PINGVARD_APSIM
set -euo pipefail

pingvard=${1:?usage: site_state_e2e.sh PINGVARD PINGVARD_APSIM}
apsim=${2:?usage: site_state_e2e.sh PINGVARD PINGVARD_APSIM}
if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: needs root: creates network namespaces and veth pairs"
    exit 77
fi
command -v ip >/dev/null || { echo "SKIP: needs 'ip' (iproute2)"; exit 77; }

readonly net=10.212.0 interval=200 timeout=300 max_timeouts=3
# shellcheck source=tests/system/site_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/site_lib.sh"
work=$(mktemp -d /tmp/pingvard-site.XXXXXX)
chmod 755 "$work"
pids=()
trap 'site_exit "$work"/*/console.out "$work"/*/pingvard.log "$work"/*/hooks' EXIT
trap 'exit 130' INT TERM
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The hook records each event it gets as one line: kind, cause, cure, text.
cat >"$work/hook.sh" <<'HOOK'
#!/bin/sh
printf '%s|%s|%s|%s\n' "$PINGVARD_EVENT" "$PINGVARD_CAUSE" "$PINGVARD_CURED_BY" "$PINGVARD_TEXT" >>"$1/hooks"
HOOK
chmod 755 "$work/hook.sh"

# The three marked hosts, host 4 as given, the hook on every incident event.
write_ini() { # dir host4 more-entries...
    local dir=$1 host4=$2 slot
    local entries=("Constants/MaxTimeouts=$max_timeouts" "Constants/PingInterval=$interval"
        ResetHost/Hostname=192.168.168.1)
    for slot in 1 2 3; do
        entries+=("Host$slot/DisplayName=inet-$slot" "Host$slot/Hostname=$net.1$slot"
            "Host$slot/Timeout=$timeout" "Host$slot/TimeoutDoReset=1")
    done
    entries+=("Host4/DisplayName=four" "Host4/Hostname=$host4" "Host4/Timeout=$timeout"
        Host4/TimeoutDoReset=0 Hooks/Names=rec "Hook.rec/Program=$work/hook.sh" "Hook.rec/Arg1=$dir"
        "Hook.rec/Events=site-down,site-back,restarts-paused,rule-fired,action-started")
    pv_write_ini "$dir/pingvard.ini" "${entries[@]}" "${@:3}"
}
start_pingvard() { # dir
    ip netns exec "$site" "$pingvard" --headless -C "$1" >"$1/console.out" 2>"$1/console.err" &
    pingvard_pid=$!
    pids+=("$pingvard_pid")
    wait_for 10 "the site up" grep -q ' site up, 4 of 4 hosts answer$' "$1/console.out"
}
stop_pingvard() {
    kill -TERM "$pingvard_pid"
    wait "$pingvard_pid" || fail "pingvard ended with status $?"
}
hooked() { # dir kind: how many times the hook ran on it
    grep -c "^$2|" "$1/hooks" 2>/dev/null || true
}
incident_rows() { # dir state: the incidents of the last hour in that state
    "$pingvard" -C "$1" --incidents --csv --since 1h | awk -F, -v s="$2" '$1 == "incident" && $5 == s' |
        wc -l
}
history_rows() { # dir kind
    "$pingvard" -C "$1" --history --csv --since 1h | awk -F, -v k="$2" '$2 == k' | wc -l
}

run_uplink() {
    local dir=$work/uplink
    mkdir "$dir"
    write_ini "$dir" 192.168.168.1
    ip netns exec "$ap" "$apsim" --listen 192.168.168.1 --port 23 --record "$dir/apsim.record" \
        --on-reset "$(site_restart_command)" >"$dir/apsim.out" 2>&1 &
    pids+=($!)
    wait_for 5 "the simulator listening" bash -c "ip netns exec '$ap' ss -Hltn 'sport = :23' | grep -q ."
    start_pingvard "$dir"
    site_cut_uplink
    wait_for 15 "the site down for the uplink" \
        grep -q ' site down since [0-9:]* (uplink), 1 of 4 hosts answer$' "$dir/console.out"
    wait_for 15 "the site up again" bash -c "tail -n 1 '$dir/hooks' | grep -q '^site-back|'"
    # The site goes down on the evaluation that fires the rule: the tray says
    # "site down" and then "restart under way", or straight away the restart
    # when the round's start reached the console first.
    grep -qE ' tray (3 site down|1 restart under way)$' "$dir/console.out" ||
        fail "uplink: the tray never showed the site down or its restart"
    stop_pingvard
    [[ $(hooked "$dir" site-down) == 1 && $(hooked "$dir" site-back) == 1 ]] ||
        fail "uplink: not one site-down and one site-back: $(cat "$dir/hooks")"
    grep -qx 'site-down|uplink||Site down (uplink)' "$dir/hooks" || fail "uplink: $(cat "$dir/hooks")"
    grep -q '^site-back|uplink|telnet|' "$dir/hooks" ||
        fail "uplink: the site-back does not say telnet cured it: $(cat "$dir/hooks")"
    "$pingvard" -C "$dir" --history --csv --since 1h |
        grep -qE ',site-back,.*,Site back after [0-9]* s \(cured by telnet\)(,[^,]*){4}$' ||
        fail "uplink: the history's site-back does not say telnet cured it"
    [[ $(history_rows "$dir" site-down) == 1 && $(history_rows "$dir" site-back) == 1 ]] ||
        fail "uplink: the history does not hold one site-down and one site-back"
    "$pingvard" -C "$dir" --incidents --csv --since 1h >"$dir/incidents.csv"
    grep -q '^incident,[^,]*,[^,]*,[0-9]*,ended,uplink,,[^,]*,telnet,' "$dir/incidents.csv" &&
        grep -q '^step,[^,]*,[^,]*,[0-9]*,,,,,,telnet,telnet,1,' "$dir/incidents.csv" ||
        fail "uplink: --incidents does not show it cured by telnet: $(cat "$dir/incidents.csv")"
    echo "uplink run: passed"
}

run_access_point() {
    local dir=$work/access-point
    mkdir "$dir"
    write_ini "$dir" "$net.14" Recovery/Actions=note Action.note/Kind=program \
        Action.note/Program=/bin/true Action.note/Verify=1 Guard/MaxRounds=1
    ip -n "$inet" addr add "$net.14/24" dev "U$site_id"
    start_pingvard "$dir"
    ip -n "$ap" addr flush dev "A$site_id" # the device answers nothing, its link stays up
    site_cut_uplink
    wait_for 15 "the site down for the access point" \
        grep -q ' site down since [0-9:]* (access point), 0 of 4 hosts answer$' "$dir/console.out"
    wait_for 10 "the pause" grep -q '^restarts-paused|' "$dir/hooks"
    sleep 6 # some twenty more evaluations of the rule, each still holding
    grep -qx 'site-down|access-point||Site down (access point)' "$dir/hooks" ||
        fail "access point: $(cat "$dir/hooks")"
    local kind
    for kind in site-down rule-fired action-started restarts-paused; do
        [[ $(hooked "$dir" "$kind") == 1 ]] || fail "access point: $kind not once: $(cat "$dir/hooks")"
    done
    ip -n "$ap" addr add 192.168.168.1/24 dev "A$site_id"
    site_restore_uplink
    wait_for 15 "the site back" grep -q '^site-back|access-point||Site back after [0-9]* s (not cured)$' \
        "$dir/hooks"
    stop_pingvard
    [[ $(history_rows "$dir" restarts-paused) == 1 && $(history_rows "$dir" rule-fired) == 1 ]] ||
        fail "access point: the history does not hold one pause and one rule-fired"
    echo "access point run: passed"
}

run_killed() {
    local dir=$work/killed
    mkdir "$dir"
    write_ini "$dir" 192.168.168.1 Recovery/Actions=note Action.note/Kind=program \
        Action.note/Program=/bin/true Action.note/Verify=1 Guard/MaxRounds=1
    start_pingvard "$dir"
    site_cut_uplink
    wait_for 15 "the step" grep -q '^action-started|' "$dir/hooks"
    sleep 1 # a history batch is written
    kill -KILL "$pingvard_pid"
    wait "$pingvard_pid" 2>/dev/null || true
    [[ $(incident_rows "$dir" open) == 1 ]] ||
        fail "killed: --incidents does not show it open: $("$pingvard" -C "$dir" --incidents)"
    site_restore_uplink
    start_pingvard "$dir"
    sleep 1
    stop_pingvard
    local unfinished ended
    unfinished=$(incident_rows "$dir" unfinished) ended=$(incident_rows "$dir" ended)
    [[ $(incident_rows "$dir" open) == 0 && $((unfinished + ended)) == 1 ]] ||
        fail "killed: not one incident, ended: $("$pingvard" -C "$dir" --incidents)"
    ((unfinished == 0)) ||
        "$pingvard" -C "$dir" --incidents | grep -q 'unfinished: pingvard ended while the site was down$' ||
        fail "killed: the text does not say it is unfinished: $("$pingvard" -C "$dir" --incidents)"
    echo "killed run: passed"
}

run_local_link() {
    local dir=$work/local-link
    mkdir "$dir"
    write_ini "$dir" 192.168.168.1 Recovery/Actions=note Action.note/Kind=program \
        Action.note/Program=/bin/true
    start_pingvard "$dir"
    ip -n "$ap" link set "A$site_id" down # this machine's end keeps its address, loses the carrier
    site_cut_uplink
    local held="This machine's link a$site_id is down: no restart"
    wait_for 15 "the hold for the link" grep -q " status $held\$" "$dir/console.out"
    grep -q " site down since [0-9:]* (local link), 0 of 4 hosts answer; $held\$" "$dir/console.out" ||
        fail "local link: the site line does not say so"
    sleep 2
    [[ $(hooked "$dir" action-started) == 0 ]] || fail "local link: an action ran: $(cat "$dir/hooks")"
    grep -qx "site-down|local-link||Site down (local link a$site_id)" "$dir/hooks" ||
        fail "local link: $(cat "$dir/hooks")"
    ip -n "$ap" link set "A$site_id" up
    wait_for 10 "the link back" grep -q " status This machine's link a$site_id is up again\$" \
        "$dir/console.out"
    wait_for 10 "the rule resuming" grep -q '^action-started|' "$dir/hooks"
    site_restore_uplink
    wait_for 15 "the site back" grep -q '^site-back|' "$dir/hooks"
    stop_pingvard
    grep -q ": $held"$'\r$' "$dir/pingvard.log" || fail "local link: the hold is not in pingvard.log"
    echo "local link run: passed"
}

site_make "$net"
run_uplink
run_access_point
run_killed
run_local_link
echo "PASS"
