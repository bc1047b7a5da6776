# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Listener faults: hostile clients against the metrics listener. 500 idle
# connections, 500 slowloris connections (a byte every 500 ms, never ending
# the head; both reopened at once whenever the listener closes them), and a
# burst of 5000 connects. Each time a scrape is answered within 1 s, the
# echoes go on, SIGTERM during the abuse ends the program within 200 ms, and
# memory and descriptors stay bounded. And the metrics module: loaded only
# with metrics on; when it is missing, one line and monitoring goes on.

readonly LISTENER_PORT=9770
# The listener's connection cap and a few descriptors of its own.
readonly LISTENER_FD_SLACK=70

# echoes_recorded DIR: the echoes the history holds so far (read beside the
# listener, not through it).
echoes_recorded() { "$PINGVARD" -C "$1" --history --since 1h --csv 2>/dev/null | grep -c ',echo,'; }
echoes_moved() { (($(echoes_recorded "$1") > $2)); }

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
    hwm0=$(hwm_kb "$pid") fds0=$(fd_count "$pid") echoes0=$(echoes_recorded "$dir")
    ip netns exec "$ns" "$HTTP_ABUSE" 127.0.0.1 "$LISTENER_PORT" "--$kind" "$count" --scrapes 5 \
        --hold 30 --timeout 10 >"$dir/abuse.txt" 2>&1 &
    local abuse=$!
    track "$abuse"
    pv_wait_for 90 grep -q '^holding' "$dir/abuse.txt"
    local hwm1 fds1 moved=no
    hwm1=$(hwm_kb "$pid") fds1=$(fd_count "$pid")
    # The history writes its batches about every second.
    pv_wait_for 5 echoes_moved "$dir" "$((${echoes0:-0} + 4))" && moved=yes
    local stop
    stop_pingvard "$pid"; stop=$STOP
    kill -TERM "$abuse" 2>/dev/null
    wait "$abuse" 2>/dev/null
    local ok worst
    # "scrape 3 /metrics: 200 in 0.4 ms (... bytes)"
    ok=$(grep -c '^scrape [0-9]* [^:]*: 200 ' "$dir/abuse.txt")
    worst=$(sed -n 's/^scrape [0-9]* [^:]*: [0-9]* in \([0-9]*\)\..*/\1/p' "$dir/abuse.txt" | sort -n | tail -n 1)
    expect "5 scrapes answered ($ok)" eq "$ok" 5
    expect "every scrape within 1000 ms (slowest ${worst:-none} ms)" le "${worst:-99999}" 1000
    expect "echoes went on during the abuse (after $echoes0 recorded: $moved)" eq "$moved" yes
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

# maps PID PATTERN: whether the process has a file matching PATTERN mapped.
maps() { grep -q -- "$2" "/proc/$1/maps" 2>/dev/null; }

# The metrics module: mapped only with metrics on; a program whose module is
# missing says so in one line and monitors on, and ends cleanly.
case_listener_module_missing() {
    local name=listener-module-missing dir=$FAULT_WORK/listener-module ns=pvf-httpm-$$
    mkdir -p "$dir/off" "$dir/bin"
    CHECK_FAILS=""
    ns_create "$ns" || { result "$name" FAIL "namespace"; return; }
    write_ini "$dir" 3 200 127.0.0.1 127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4
    cp "$dir/pingvard.ini" "$dir/off/pingvard.ini"
    printf '[Metrics]\nEnabled=1\nAddress=127.0.0.1\nPort=%s\n' "$LISTENER_PORT" >>"$dir/pingvard.ini"
    local off=no on=no stop
    start_pingvard "$ns" "$dir/off"
    signals_taken "$PINGVARD_PID" && sleep 0.5
    maps "$PINGVARD_PID" prometheus-cpp || off=yes
    stop_pingvard "$PINGVARD_PID"
    start_pingvard "$ns" "$dir"
    wait_port "$ns" "$LISTENER_PORT" && maps "$PINGVARD_PID" pingvard-metrics.so &&
        maps "$PINGVARD_PID" prometheus-cpp && on=yes
    stop_pingvard "$PINGVARD_PID"
    # The same program away from its module: nothing beside it, no
    # ../lib/pingvard below its directory.
    cp "$PINGVARD" "$dir/bin/pingvard"
    ip netns exec "$ns" "$dir/bin/pingvard" --headless -C "$dir" >"$dir/console.txt" 2>&1 </dev/null &
    local pid=$!
    track "$pid"
    signals_taken "$pid"
    pv_wait_for 5 grep -q " host 4 " "$dir/console.txt"
    stop_pingvard "$pid"; stop=$STOP
    local lines
    lines=$(grep -c '^pingvard: Metrics not served: pingvard-metrics.so is not installed' "$dir/console.txt")
    expect "no metrics library mapped with metrics off" eq "$off" yes
    expect "the module and prometheus-cpp mapped with metrics on" eq "$on" yes
    expect "one line for the missing module ($lines)" eq "$lines" 1
    expect "monitoring went on" grep -q " host 4 " "$dir/console.txt"
    expect "exit 0 within 200 ms of SIGTERM ($stop)" check_stop "$stop" 200
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "$(grep -m1 'Metrics not served' "$dir/console.txt"); stop: status ${stop% *} after ${stop#* }ms$CHECK_FAILS"
}
