#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The checks of service_check.sh, run by systemd inside the container, where
# the pingvard package is installed and /var/lib/pingvard/pingvard.ini watches
# 127.0.0.1 only.
#   service_check_inside.sh RESULT_DIR   (writes RESULT_DIR/log and RESULT_DIR/status)
set -uo pipefail
out=$1
exec >"$out/log" 2>&1
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
finish() {
    echo "$failures" >"$out/status"
    exit 0
}
now_ms() { date +%s%3N; }
# wait_for SECONDS DESCRIPTION COMMAND...: polls COMMAND every 100 ms.
wait_for() {
    local deadline=$(($(now_ms) + $1 * 1000)) what=$2
    shift 2
    until "$@"; do
        (($(now_ms) < deadline)) || { fail "timed out waiting for $what" && return 1; }
        sleep 0.1
    done
}
main_pid() { systemctl show -p MainPID --value pingvard.service; }
journal() { journalctl -q -u pingvard.service -o cat; }
# pings_since LINES [HOST]: the host answered after the first LINES journal lines.
pings_since() { journal | tail -n "+$(($1 + 1))" | grep -Eq " host ${2:-1} ping=[0-9]+ms "; }
reset_logged() { grep -q ': Reset OK' /var/lib/pingvard/pingvard.log 2>/dev/null; }
echo_answers() { sysctl -q -w "net.ipv4.icmp_echo_ignore_all=$((1 - $1))"; }

echo "security: $(systemd-analyze security pingvard.service 2>&1 | grep 'Overall exposure')"

# The access point: the simulator on port 23 of the loopback, unconfined.
systemd-run --quiet --unit=pv-apsim --property=Type=exec /usr/bin/pingvard-apsim \
    --listen 127.0.0.1 --port 23 --record /run/pv-apsim.record
# Type=notify: start returns once READY=1 has arrived.
systemctl start pingvard.service || { fail "pingvard.service does not start (no READY=1?)" && finish; }
echo "ready: $(systemctl show -p ActiveState --value pingvard.service), watchdog" \
    "$(systemctl show -p WatchdogUSec --value pingvard.service)"
wait_for 10 "pings in the journal" pings_since 0 || finish
wait_for 5 "host 2, watched by name, answering" pings_since 0 2
pid=$(main_pid)
echo "running as $(ps -o user= -p "$pid"); $(grep -E '^(CapEff|NoNewPrivs|Seccomp):' "/proc/$pid/status" |
    tr -s '\t\n' '  ')"
[[ $(ps -o user= -p "$pid") == pingvard ]] || fail "not running as pingvard"
grep -q '^CapEff:[[:space:]]*0000000000002000$' "/proc/$pid/status" || fail "effective capabilities are not CAP_NET_RAW alone"
grep -q '^Seccomp:[[:space:]]*2$' "/proc/$pid/status" || fail "no system call filter"
# The metrics module loads under the unit's restrictions and serves.
scraped() { curl -sf --max-time 2 http://127.0.0.1:9770/metrics | grep -q '^pingvard_build_info{'; }
wait_for 5 "a scrape of /metrics" scraped && echo "metrics: $(grep -c prometheus-cpp "/proc/$pid/maps") mappings of prometheus-cpp"
journal | grep -q 'Metrics not served' && fail "$(journal | grep 'Metrics not served')"

# Every host stops answering: after MaxTimeouts rounds the service telnets to
# the access point, which must hear the whole script.
echo_answers 0
wait_for 15 '"Reset OK" in /var/lib/pingvard/pingvard.log' reset_logged &&
    echo "restart of the access point: $(tail -n 1 /var/lib/pingvard/pingvard.log | tr -d '\r')"
echo_answers 1
# The site's state leads the line, then the outcome of the last step.
status_line() { systemctl status --no-pager pingvard.service 2>&1 | grep -E '^ +Status: "Site [^;]+; Reset OK - '; }
if wait_for 5 '"Site ...; Reset OK - ..." as the status systemctl shows' status_line; then
    echo "systemctl status: $(status_line | sed 's/^ *//')"
else
    echo "systemctl status: $(systemctl status --no-pager pingvard.service 2>&1 | grep -E '^ +Status:')"
fi
grep -q ' answers=3 ' /run/pv-apsim.record || fail "the simulator did not get three answers: $(cat /run/pv-apsim.record)"

# A reload reads pingvard.ini again; the service stays the same process.
lines=$(journal | wc -l)
pid=$(main_pid)
reloaded() { journal | tail -n "+$((lines + 1))" | grep -q 'pingvard: reloaded /var/lib/pingvard/pingvard.ini'; }
systemctl reload pingvard.service || fail "systemctl reload failed"
wait_for 5 "the reload in the journal" reloaded &&
    echo "reloaded: $(systemctl show -p ActiveState --value pingvard.service), same pid"
[[ $(main_pid) == "$pid" ]] || fail "the reload started another process"
grep -q '^\[Guard\]' /var/lib/pingvard/pingvard.state || fail "no guard state in pingvard.state"

# A crash: systemd restarts the service, which pings again.
lines=$(journal | wc -l)
kill -KILL "$pid"
wait_for 15 "a restarted service" bash -c "[[ \$(systemctl show -p MainPID --value pingvard.service) != 0 &&
    \$(systemctl show -p MainPID --value pingvard.service) != $pid ]]" &&
    wait_for 10 "pings after the restart" pings_since "$lines" &&
    echo "restarted after SIGKILL: NRestarts=$(systemctl show -p NRestarts --value pingvard.service)"

# A stop runs the exit command and ends well within TimeoutStopSec.
start=$(now_ms)
systemctl stop pingvard.service
echo "stop: $(($(now_ms) - start)) ms, result $(systemctl show -p Result --value pingvard.service)," \
    "exit status $(systemctl show -p ExecMainStatus --value pingvard.service)"
[[ $(systemctl show -p Result --value pingvard.service) == success ]] || fail "the stop did not end cleanly"

# Removing the package stops a running service and purging forgets it.
systemctl enable --quiet --now pingvard.service
dpkg --purge pingvard >/dev/null 2>&1 || fail "dpkg --purge failed"
[[ $(systemctl is-active pingvard.service) != active ]] || fail "the service runs on after the package is gone"
[[ ! -e /var/lib/pingvard && ! -e /etc/systemd/system/multi-user.target.wants/pingvard.service ]] ||
    fail "purge left the state directory or the enablement"
echo "purged: service $(systemctl is-active pingvard.service), no state directory, not enabled"

finish
