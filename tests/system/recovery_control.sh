#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Manual control of the recovery actions, with a program action that records
# its event: --test-action runs one action once (exit 0 or 1, steps and the
# outcome on stdout, the password nowhere), and SIGUSR1 makes the console
# program run one round; a hundred of them within a second are one request
# (the guard's hold-off after that round merges the rest, with one line in
# pingvard.log). pingvard runs in a namespace of its own whose hosts are on
# its loopback, so nothing leaves it.
#   recovery_control.sh PINGVARD
set -euo pipefail
# shellcheck source=scripts/shell_lib.sh
source "$(dirname "$0")/../../scripts/shell_lib.sh"
pv_require_root "network namespaces"
pingvard=$1
ns=pvctl$$-$RANDOM
work=$(mktemp -d /tmp/pvcontrol.XXXXXX)
pid=''
trap '[[ -z $pid ]] || kill -KILL "$pid" 2>/dev/null; pv_ns_cleanup; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

entries=(Constants/MaxTimeouts=1000 Constants/PingInterval=200 ResetHost/Hostname=127.0.0.1)
for slot in 1 2 3 4; do
    entries+=("Host$slot/Hostname=127.0.0.$slot" "Host$slot/Timeout=100" "Host$slot/TimeoutDoReset=1")
done
pv_write_ini "$work/pingvard.ini" "${entries[@]}" Recovery/Actions=note,broken \
    Action.note/Kind=program Action.note/Program=/bin/sh Action.note/Arg1=-c \
    "Action.note/Arg2=echo \$PINGVARD_EVENT \$PINGVARD_STEP >>events" \
    Action.broken/Kind=http Action.broken/Url=http://127.0.0.1:9/ Action.broken/User=admin \
    Action.broken/Password=s3cret-pw Guard/HoldOff=5min

out=$("$pingvard" -C "$work" --test-action note) || fail "note failed: $out"
[[ $out == *"Program OK (note)"* && $(cat "$work/events") == "test 1" ]] ||
    fail "note: $out / $(cat "$work/events")"
status=0
out=$("$pingvard" -C "$work" --test-action broken 2>&1) || status=$?
((status == 1)) || fail "broken exited $status"
[[ $out == *"Unable to reset, cannot connect to 127.0.0.1"* && $out != *s3cret* ]] ||
    fail "broken: $out"
status=0
"$pingvard" -C "$work" --test-action nosuch >/dev/null 2>&1 || status=$?
((status == 1)) || fail "an unknown action exited $status"

pv_ns_add "$ns"
ip netns exec "$ns" "$pingvard" --headless -C "$work" >"$work/out" 2>&1 &
pid=$!
pv_wait_for 10 grep -q 'host 1 ping=[0-9]*ms' "$work/out" || fail "pingvard does not run: $(cat "$work/out")"
grep -q 'pingvard.ini \[Guard\] HoldOff=5min: not a number; using 180' "$work/out" ||
    fail "the invalid value was not reported: $(head -n 5 "$work/out")"
: >"$work/events"
for ((i = 0; i < 100; i++)); do
    kill -USR1 "$pid"
    sleep 0.01
done
pv_wait_for 10 grep -q 'manual 1' "$work/events" || fail "SIGUSR1 ran nothing: $(cat "$work/out")"
sleep 1 # every host answers: the round ends with its first step
[[ $(wc -l <"$work/events") -eq 1 ]] || fail "100 SIGUSR1: expected one step: $(cat "$work/events")"
grep -q ': Program OK (note)' "$work/pingvard.log" || fail "no outcome in pingvard.log"
refused=$(grep -c ': Restart refused: holding off after the last action, until ' "$work/pingvard.log" || true)
((refused <= 1)) || fail "the merged requests were logged $refused times: $(cat "$work/pingvard.log")"
kill -TERM "$pid"
wait "$pid" || fail "pingvard ended with status $?"
pid=''
! grep -rq s3cret "$work/pingvard.log" "$work/out" || fail "the password leaked"
echo "recovery control test passed"
