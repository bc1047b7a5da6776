# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Listener faults: hostile clients against the metrics listener. 500 idle
# connections, 500 slowloris connections (a byte every 500 ms, never ending
# the head; both reopened at once whenever the listener closes them), and a
# burst of 5000 connects. Each time a scrape is answered within 1 s, the
# echoes go on, SIGTERM during the abuse ends the program within 200 ms, and
# memory and descriptors stay bounded.

readonly LISTENER_PORT=9770
# The listener's connection cap and a few descriptors of its own.
readonly LISTENER_FD_SLACK=70

# echoes_sent NS: host 1's echoes so far, as the listener tells them.
echoes_sent() {
    ip netns exec "$1" curl -sf --max-time 5 "http://127.0.0.1:$LISTENER_PORT/metrics" |
        sed -n 's/^pingvard_echoes_sent_total{.*slot="1"} \([0-9]*\).*/\1/p'
}

echoes_moved() { (($(echoes_sent "$1") > $2)); }

# listener_abuse NAME KIND COUNT
listener_abuse() {
    local name=$1 kind=$2 count=$3 dir=$FAULT_WORK/$1 ns=pvf-http-$$-$RANDOM
    mkdir -p "$dir"
    CHECK_FAILS=""
    ns_create "$ns" || { result "$name" FAIL "namespace"; return; }
    write_ini "$dir" 3 500 127.0.0.1 127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4
    printf '[Metrics]\nEnabled=1\nAddress=127.0.0.1\nPort=%s\n' "$LISTENER_PORT" >>"$dir/pingvard.ini"
    start_pingvard "$ns" "$dir"
    local pid=$PINGVARD_PID
    if ! wait_port "$ns" "$LISTENER_PORT" || ! signals_taken "$pid"; then
        result "$name" FAIL "the listener did not start"
        return
    fi
    local hwm0 fds0 echoes0
    sleep 1
    hwm0=$(hwm_kb "$pid") fds0=$(fd_count "$pid") echoes0=$(echoes_sent "$ns")
    ip netns exec "$ns" "$HTTP_ABUSE" 127.0.0.1 "$LISTENER_PORT" "--$kind" "$count" --scrapes 5 \
        --hold 30 --timeout 10 >"$dir/abuse.txt" 2>&1 &
    local abuse=$!
    track "$abuse"
    pv_wait_for 90 grep -q '^holding' "$dir/abuse.txt"
    local hwm1 fds1 moved=no
    hwm1=$(hwm_kb "$pid") fds1=$(fd_count "$pid")
    pv_wait_for 3 echoes_moved "$ns" "${echoes0:-0}" && moved=yes
    local stop
    stop_pingvard "$pid"; stop=$STOP
    kill -TERM "$abuse" 2>/dev/null
    wait "$abuse" 2>/dev/null
    local ok worst
    ok=$(grep -c '^scrape [0-9]*: 200 ' "$dir/abuse.txt")
    worst=$(sed -n 's/^scrape [0-9]*: [0-9]* in \([0-9]*\)\..*/\1/p' "$dir/abuse.txt" | sort -n | tail -n 1)
    expect "5 scrapes answered ($ok)" eq "$ok" 5
    expect "every scrape within 1000 ms (slowest ${worst:-none} ms)" le "${worst:-99999}" 1000
    expect "echoes went on during the abuse (host 1 after $echoes0 sent: $moved)" eq "$moved" yes
    expect "exit 0 within 200 ms of SIGTERM during the abuse ($stop)" check_stop "$stop" 200
    expect "peak memory grew at most 4 MiB ($hwm0 -> $hwm1 kB)" le "$hwm1" $((hwm0 + 4096))
    expect "descriptors bounded ($fds0 -> $fds1)" le "$fds1" $((fds0 + LISTENER_FD_SLACK))
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "$(grep '^abuse:' "$dir/abuse.txt"); slowest scrape ${worst:-none} ms; stop: status ${stop% *} after ${stop#* }ms; peak ${hwm0}->${hwm1} kB; fds ${fds0}->${fds1}$CHECK_FAILS"
}

case_listener_idle() { listener_abuse listener-idle idle 500; }
case_listener_slowloris() { listener_abuse listener-slowloris slowloris 500; }
case_listener_burst() { listener_abuse listener-burst burst 5000; }
