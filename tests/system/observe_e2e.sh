#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The observers of the real headless program, in a network namespace this
# script creates and deletes (only its loopback: nothing leaves the machine):
#
#   hosts 1-3 on the loopback answer; host 4 (192.0.2.1, the only marked one)
#   has no route, so it goes down and the restart rule fires against a reset
#   host where nothing listens.
#
# Checks: the notify messages arrive in order on a NOTIFY_SOCKET this script
# listens on (READY=1 first, WATCHDOG=1, the outcome as STATUS=, STOPPING=1
# last); a hook receives the documented variables; the real Prometheus server
# scrapes /metrics and its figures agree with the history rows that
# `pingvard --history --csv` prints afterwards.
#   observe_e2e.sh PINGVARD     (root; 77 without it or without the tools)
set -euo pipefail
pingvard=$(readlink -f "${1:?usage: observe_e2e.sh PINGVARD}")

# shellcheck source=scripts/shell_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/shell_lib.sh"
pv_require_root "creates a network namespace"
pv_require_tools prometheus curl jq ip perl
readonly interval_ms=200 metrics_port=9770
ns=pvwob-$$-$RANDOM
work=$(mktemp -d /tmp/pvwob-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    pv_ns_cleanup
    [[ -n ${PINGVARD_E2E_KEEP:-} ]] || rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log "$work"/notify; do
        [[ -s $log ]] && { echo "--- $log"; tail -20 "$log"; } >&2
    done
    exit 1
}

pv_ns_add "$ns" && pv_ns_resolver "$ns" || fail "cannot create the namespace $ns"
in_ns() { ip netns exec "$ns" "$@"; }

cat >"$work/hook.sh" <<'HOOK'
#!/bin/sh
env | grep '^PINGVARD_' | sort >"$1/hook.$PINGVARD_EVENT.$$"
HOOK
chmod 755 "$work/hook.sh"
entries=(Constants/MaxTimeouts=3 "Constants/PingInterval=$interval_ms" ResetHost/Hostname=127.0.0.1)
for n in 1 2 3 4; do
    host=127.0.0.$n mark=0
    ((n == 4)) && host=192.0.2.1 mark=1
    entries+=("Host$n/Hostname=$host" "Host$n/DisplayName=Host $n" "Host$n/Timeout=300"
        "Host$n/TimeoutDoReset=$mark")
done
entries+=(Metrics/Enabled=1 Metrics/Address=127.0.0.1 "Metrics/Port=$metrics_port"
    Hooks/Names=rec "Hook.rec/Program=$work/hook.sh" "Hook.rec/Arg1=$work"
    "Hook.rec/Events=host-down,rule-fired,action-outcome")
pv_write_ini "$work/pingvard.ini" "${entries[@]}"

# The service manager's side: one line per datagram, line breaks as '|'.
perl -MIO::Socket::UNIX -MSocket -e '
    my $s = IO::Socket::UNIX->new(Type => SOCK_DGRAM, Local => $ARGV[0]) or die "$!";
    open(my $o, ">", $ARGV[1]) or die; $o->autoflush(1); print $o "listening\n";
    while (defined $s->recv(my $m, 4096)) { $m =~ s/\n/|/g; print $o "$m\n"; }' \
    "$work/notify.sock" "$work/notify" &
pids+=($!)
pv_wait_for 5 grep -qs listening "$work/notify" || fail "the notify listener did not start"

pv_prometheus_config "$work/prometheus.yml" "$metrics_port"
in_ns prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address=127.0.0.1:9090 >"$work/prometheus.log" 2>&1 &
pids+=($!)

# Not through in_ns: a function in the background is a subshell, and the
# signal must reach the program itself.
ip netns exec "$ns" env NOTIFY_SOCKET="$work/notify.sock" WATCHDOG_USEC=1000000 \
    bash -c 'export WATCHDOG_PID=$$; exec "$0" -C "$1" --headless' "$pingvard" "$work" \
    >"$work/console.log" 2>"$work/stderr.log" &
pingvard_pid=$!
pids+=("$pingvard_pid")

query() { # PROMQL [TIME] -> its value, or empty
    in_ns curl -sf http://127.0.0.1:9090/api/v1/query --data-urlencode "query=$1" \
        ${2:+--data-urlencode "time=$2"} |
        jq -r '.data.result[0].value[1] // empty'
}
outcome_hook() { compgen -G "$work/hook.action-outcome.*" >/dev/null; }
pv_wait_for 20 outcome_hook || fail "no action-outcome hook ran"
sent_so_far() { [[ -n $(query 'pingvard_echoes_sent_total{slot="4"} > 3') ]]; }
pv_wait_for 20 sent_so_far || fail "Prometheus has not scraped the program's echoes"

# Every figure from one scrape, the last before this instant: history rows may
# only add what the hosts could answer between that scrape and the stop.
at=$(date +%s.%3N)
kill -TERM "$pingvard_pid"
stopped_ms=$(pv_now_ms)
wait "$pingvard_pid" || fail "pingvard ended with status $?"
declare -A sent lost
for slot in 1 2 3 4; do
    sent[$slot]=$(query "pingvard_echoes_sent_total{slot=\"$slot\"}" "$at")
    lost[$slot]=$(query "pingvard_echoes_lost_total{slot=\"$slot\"}" "$at")
done
scraped_ms=$(query 'timestamp(pingvard_echoes_sent_total{slot="1"})' "$at" |
    awk '{ printf "%d", $1 * 1000 }')
slack=$(((stopped_ms - scraped_ms) / interval_ms + 2))

# Notify: READY first, the watchdog kept alive, the outcome as STATUS, STOPPING last.
sed -n 2p "$work/notify" | grep -qx 'READY=1' || fail "READY=1 is not the first message"
grep -qx 'WATCHDOG=1' "$work/notify" || fail "no WATCHDOG=1"
grep -q '^STATUS=' "$work/notify" || fail "no STATUS="
status=$(grep '^STATUS=' "$work/notify" | grep -v 'Trying to reset' | tail -n 1)
[[ -n $status ]] || fail "the outcome never came as STATUS="
tail -n 1 "$work/notify" | grep -qx 'STOPPING=1' || fail "STOPPING=1 is not the last message"

# The hook's variables.
down=$(cat "$work"/hook.host-down.*)
for want in PINGVARD_HOOK=rec PINGVARD_EVENT=host-down PINGVARD_HOST=192.0.2.1 \
    "PINGVARD_HOST_NAME=Host 4" PINGVARD_SLOT=4 PINGVARD_FAILURES=3; do
    grep -qx "$want" <<<"$down" || fail "host-down hook: no $want in: $down"
done
outcome=$(cat "$work"/hook.action-outcome.*)
for want in PINGVARD_EVENT=action-outcome PINGVARD_OK=0 PINGVARD_ACTION_KIND=telnet; do
    grep -qx "$want" <<<"$outcome" || fail "action-outcome hook: no $want in: $outcome"
done
grep -q '^PINGVARD_TEXT=.' <<<"$outcome" || fail "action-outcome hook: no text"
compgen -G "$work/hook.rule-fired.*" >/dev/null || fail "no rule-fired hook"

# History rows against Prometheus' figures.
"$pingvard" -C "$work" --history --csv --since 1h >"$work/history.csv" ||
    fail "pingvard --history failed"
for slot in 1 2 3 4; do
    host=127.0.0.$slot
    ((slot == 4)) && host=192.0.2.1
    rows=$(awk -F, -v h="$host" '$2 == "echo" && $3 == h' "$work/history.csv" | wc -l)
    lostrows=$(awk -F, -v h="$host" '$2 == "echo" && $3 == h && $6 == 1' "$work/history.csv" | wc -l)
    ((rows >= sent[$slot] && rows <= sent[$slot] + slack)) ||
        fail "host $slot: $rows echo rows, Prometheus counted ${sent[$slot]} (slack $slack)"
    if ((slot == 4)); then
        ((lostrows == rows && lost[$slot] == sent[$slot])) ||
            fail "host 4: $lostrows of $rows rows lost, Prometheus ${lost[$slot]} of ${sent[$slot]}"
    else
        ((lostrows == 0 && lost[$slot] == 0)) ||
            fail "host $slot: $lostrows rows and ${lost[$slot]} in Prometheus lost, not 0"
    fi
    echo "host $slot: $rows history rows, Prometheus ${sent[$slot]} sent ${lost[$slot]} lost"
done
echo "PASS: notify order, hook variables, Prometheus and history agree ($status)"
