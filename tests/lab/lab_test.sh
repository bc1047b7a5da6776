#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The lab demo end to end: up with the real defaults, a cut uplink makes
# pingvard restart the access point exactly once (the restart cures the cut),
# and down leaves nothing behind, also after a crash that lost the state.
#   lab_test.sh BUILD_DIR
set -euo pipefail
# shellcheck source=scripts/shell_lib.sh
source "$(dirname "$0")/../../scripts/shell_lib.sh"
pv_require_root "network namespaces"

build=$1
lab=$(cd "$(dirname "$0")/../.." && pwd)/lab/lab
export PINGVARD_LAB_NAME=pvt$$ PINGVARD_LAB_REBOOT_SECONDS=2
state=/run/pingvard-lab/$PINGVARD_LAB_NAME
site_hosts=/etc/netns/$PINGVARD_LAB_NAME-site/hosts
trap '"$lab" down >/dev/null 2>&1 || true' EXIT

fail() {
    echo "FAIL: $*" >&2
    "$lab" status >&2 || true
    exit 1
}
answered() { grep -Eq " host $1 ping=[0-9]+ms" <(tail -n "${2:-1000}" "$state/pingvard.out"); }
records() { grep -c '^apsim v=1' "$state/apsim.record" || true; }
restarted() { (($(records) >= 1)); }

"$lab" up --headless --bin "$build" >/dev/null

# The program wrote its defaults; the lab's names must be exactly those.
for slot in 1 2 3; do
    name=$(sed -n "/^\[Host$slot\]/,/^\[/s/^Hostname=//p" "$state/site/pingvard.ini")
    grep -qw -- "$name" "$site_hosts" || fail "default host $slot ($name) not in the lab's hosts file"
done
pv_wait_for 20 answered 1 && pv_wait_for 5 answered 3 || fail "the watched hosts do not answer"

"$lab" cut >/dev/null
pv_wait_for 60 restarted || fail "no restart within 60 s of the cut"
grep -q ' answers=3 answer1=ok:[^ ]* answer2=ok:[^ ]* answer3=ok:' "$state/apsim.record" ||
    fail "the simulator did not get the default script: $(cat "$state/apsim.record")"
pv_wait_for 10 grep -q ': Reset OK' "$state/site/pingvard.log" || fail "no Reset OK in pingvard.log"
lines=$(wc -l <"$state/pingvard.out")
pv_wait_for 20 answered 1 "+$lines" || fail "the hosts never came back after the restart"
sleep 3
[[ $(records) -eq 1 ]] || fail "expected one restart, the simulator recorded $(records)"

pids=$(cat "$state"/*.pid 2>/dev/null || true)
"$lab" down >/dev/null

left() {
    ip netns list | grep -q "^$PINGVARD_LAB_NAME-" && echo "namespaces"
    [[ -e /etc/netns/$PINGVARD_LAB_NAME-site ]] && echo "/etc/netns entry"
    [[ -e $state ]] && echo "state directory"
    for pid in $pids; do # a killed child of a busy parent may linger as a zombie
        [[ -e /proc/$pid && $(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null) != Z ]] &&
            echo "process $pid: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
    done
    true
}
[[ -z $(left) ]] || fail "down left: $(left)"

# A crashed demo: the simulator killed and the state directory gone.
"$lab" up --no-pingvard --bin "$build" >/dev/null
pids=$(cat "$state"/*.pid)
kill -KILL "$(cat "$state/apsim.pid")"
rm -rf "$state"
"$lab" down >/dev/null
[[ -z $(left) ]] || fail "down after a crash left: $(left)"
echo "lab test passed"
