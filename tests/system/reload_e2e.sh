#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SIGHUP to the headless program: pingvard.ini is read again and a changed
# PingInterval changes the echo rate at the hosts, while a recovery action
# runs; the program lives on, the service manager hears RELOADING=1 then
# READY=1, and the action's processes never outlive the program, whether it
# ends by SIGTERM or by SIGKILL.
#
#   reload_e2e.sh PINGVARD
#
# The site of device_e2e.sh (namespaces of its own, deleted again also when a
# check fails); nothing is sent outside them.
set -euo pipefail

pingvard=${1:?usage: reload_e2e.sh PINGVARD}
if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: needs root: creates network namespaces and veth pairs"
    exit 77
fi
for tool in ip jq perl; do
    command -v "$tool" >/dev/null || { echo "SKIP: needs '$tool'"; exit 77; }
done

# shellcheck source=tests/system/site_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/site_lib.sh"
work=$(mktemp -d /tmp/pingvard-reload.XXXXXX)
pids=()
trap 'site_exit "$work"/console.* "$work"/notify "$work"/family "$work"/pingvard.log' EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The action: a program that starts one of its own and waits, both pids noted.
ini() {
    site_write_ini "$work/pingvard.ini" 10.215.0 5 "$1" 300 Recovery/Actions=hold \
        Action.hold/Kind=program Action.hold/Program=/bin/sh Action.hold/Arg1=-c \
        "Action.hold/Arg2=echo \$\$ >>$work/family; sleep 300 & echo \$! >>$work/family; wait"
}
# Echo requests the three Internet hosts received within SECONDS.
echoes_within() {
    local before after
    before=$(ip -n "$inet" -s -j link show "U$site_id" | jq '.[0].stats64.rx.packets')
    sleep "$1"
    after=$(ip -n "$inet" -s -j link show "U$site_id" | jq '.[0].stats64.rx.packets')
    echo $((after - before))
}
family_noted() { [[ $(wc -l <"$work/family" 2>/dev/null || echo 0) -ge 2 ]]; }
family_gone() {
    local pid
    while read -r pid; do
        [[ ! -e /proc/$pid ]] || [[ $(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) == Z ]] ||
            return 1
    done <"$work/family"
}
answering() { tail -n "+$(($1 + 1))" "$work/console.out" | grep -q "host 1 ping=[0-9]*ms "; }
start_pingvard() {
    : >"$work/family"
    local mark
    mark=$(wc -l <"$work/console.out" 2>/dev/null || echo 0)
    ip netns exec "$site" env NOTIFY_SOCKET="$work/notify.sock" \
        "$pingvard" --headless -C "$work" >>"$work/console.out" 2>>"$work/console.err" &
    pingvard_pid=$!
    pids+=("$pingvard_pid")
    wait_for 10 "the hosts answering" answering "$mark"
    kill -USR1 "$pingvard_pid"
    wait_for 5 "the action running" family_noted
}

# The service manager's side: one line per datagram.
perl -MIO::Socket::UNIX -MSocket -e '
    my $s = IO::Socket::UNIX->new(Type => SOCK_DGRAM, Local => $ARGV[0]) or die "$!";
    open(my $o, ">", $ARGV[1]) or die; $o->autoflush(1); print $o "listening\n";
    while (defined $s->recv(my $m, 4096)) { $m =~ s/\n/|/g; print $o "$m\n"; }' \
    "$work/notify.sock" "$work/notify" &
pids+=($!)
wait_for 5 "the notify listener" grep -qs listening "$work/notify"

site_make 10.215.0
ini 1000
start_pingvard
slow=$(echoes_within 3)
ini 250
kill -HUP "$pingvard_pid"
wait_for 5 "the reload said" grep -q "pingvard: reloaded $work/pingvard.ini" "$work/console.err"
sleep 1.5 # a pause under way keeps its length
fast=$(echoes_within 3)
((fast * 10 >= slow * 25)) || fail "echoes in 3 s: $slow before the reload, $fast after"
kill -0 "$pingvard_pid" 2>/dev/null || fail "SIGHUP ended the program"
family_noted && ! family_gone || fail "the reload ended the running action"
grep -qx 'RELOADING=1' "$work/notify" || fail "no RELOADING=1: $(cat "$work/notify")"
[[ $(sed -n '/^RELOADING=1$/,$p' "$work/notify" | grep -cx 'READY=1') -ge 1 ]] ||
    fail "no READY=1 after RELOADING=1: $(cat "$work/notify")"
kill -TERM "$pingvard_pid"
status=0
wait "$pingvard_pid" || status=$?
((status == 0)) || fail "pingvard exited with status $status after SIGTERM"
wait_for 3 "the action's processes gone after SIGTERM" family_gone

start_pingvard
kill -KILL "$pingvard_pid"
wait "$pingvard_pid" 2>/dev/null || true
wait_for 3 "the action's processes gone after SIGKILL" family_gone
grep -v 'reloaded' "$work/console.err" | grep -q . && fail "stderr: $(cat "$work/console.err")"
echo "PASS: echoes in 3 s: $slow at 1000 ms, $fast after the reload to 250 ms; nothing outlived the program"
