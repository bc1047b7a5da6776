#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Dry runs write nothing: --test-action, --test-notify and --history leave the program
# directory byte for byte as it was (no normalised pingvard.ini, no
# pingvard.state, no history.db-shm or -wal), also with a short pingvard.ini
# that a start would rewrite whole. pingvard runs in a namespace of its own
# whose hosts are on its loopback, so nothing leaves it.
#   dry_runs.sh PINGVARD
set -euo pipefail
[[ $(id -u) -eq 0 ]] || {
    echo "SKIP: needs root (network namespaces)"
    exit 77
}
pingvard=$1
# shellcheck source=scripts/shell_lib.sh
source "$(dirname "$0")/../../scripts/shell_lib.sh"
ns=pvdry$$-$RANDOM
work=$(mktemp -d /tmp/pvdry.XXXXXX)
dir=$work/run
pid=''
trap '[[ -z $pid ]] || kill -KILL "$pid" 2>/dev/null; pv_ns_cleanup; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# Every entry of the directory: name, size, mode, modification time, bytes.
snapshot() {
    (cd "$dir" && stat -c '%n %s %a %.9Y' . ./* && sha256sum ./*)
}

mkdir "$dir"
entries=(Constants/MaxTimeouts=1000 Constants/PingInterval=200 ResetHost/Hostname=127.0.0.1)
for slot in 1 2 3 4; do
    entries+=("Host$slot/Hostname=127.0.0.$slot" "Host$slot/Timeout=100")
done
pv_write_ini "$dir/pingvard.ini" "${entries[@]}"
pv_ns_add "$ns"
# A history to read: the program's own, written while it ran.
ip netns exec "$ns" "$pingvard" --headless -C "$dir" >"$work/out" 2>&1 &
pid=$!
pv_wait_for 10 grep -q 'host 4 ping=[0-9]*ms' "$work/out" || fail "pingvard does not run: $(cat "$work/out")"
sleep 2 # a history batch is written
kill -TERM "$pid"
wait "$pid" || fail "pingvard ended with status $?"
pid=''
[[ -s $dir/history.db ]] || fail "no history was written"

# A short file, as an operator writes it; a start would normalise it whole.
pv_write_ini "$dir/pingvard.ini" Constants/MaxTimeouts=3 ResetHost/Hostname=127.0.0.1 \
    Recovery/Actions=nothing Action.nothing/Kind=program Action.nothing/Program=/bin/true \
    Notify/Channels=hook Notify.hook/Kind=webhook Notify.hook/Url=http://127.0.0.1:19201/x
before=$(snapshot)
sleep 0.05 # a write now would show in the times
ip netns exec "$ns" "$pingvard" -C "$dir" --test-action nothing >"$work/test-nothing" 2>&1 ||
    fail "--test-action nothing: $(cat "$work/test-nothing")"
status=0
ip netns exec "$ns" "$pingvard" -C "$dir" --test-action telnet >"$work/test-telnet" 2>&1 || status=$?
((status == 1)) || fail "--test-action telnet with nothing on port 23 exited $status"
status=0
ip netns exec "$ns" "$pingvard" -C "$dir" --test-notify hook >"$work/test-hook" 2>&1 || status=$?
((status == 1)) && grep -q '^Not delivered: cannot connect to 127.0.0.1:19201' "$work/test-hook" ||
    fail "--test-notify hook with nothing on its port exited $status: $(cat "$work/test-hook")"
ip netns exec "$ns" "$pingvard" -C "$dir" --history >"$work/history" 2>&1 ||
    fail "--history: $(cat "$work/history")"
grep -q '127.0.0.4' "$work/history" || fail "--history shows no host: $(cat "$work/history")"
ip netns exec "$ns" "$pingvard" -C "$dir" --history 127.0.0.1 --csv >"$work/csv" 2>&1 ||
    fail "--history --csv: $(cat "$work/csv")"
# --incidents too.
ip netns exec "$ns" "$pingvard" -C "$dir" --incidents >"$work/incidents" 2>&1 ||
    fail "--incidents: $(cat "$work/incidents")"
# The run recorded the time it watched, and every host answered all along.
grep -q '^Uptime while watched: 100% last 24 h' "$work/incidents" ||
    fail "--incidents shows no watched time: $(cat "$work/incidents")"
ip netns exec "$ns" "$pingvard" -C "$dir" --incidents --since 1h --csv >"$work/incidents-csv" 2>&1 ||
    fail "--incidents --csv: $(cat "$work/incidents-csv")"
after=$(snapshot)
[[ $after == "$before" ]] || fail "a dry run changed the directory: $(diff <(echo "$before") <(echo "$after"))"
echo "dry runs: the directory is byte for byte as it was ($(wc -l <<<"$before") entries checked)"
