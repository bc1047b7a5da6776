# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Process faults: SIGTERM in each phase of a reset session, SIGKILL while the
# start-up load rewrites pingvard.ini, and name resolution failing everywhere.

# term_phase NAME SETTLE-SECONDS [nft-drop] apsim-options...: starts a reset
# session against the simulator, waits until it is in the wanted phase, sends
# SIGTERM and measures how long the exit takes. Bound: the session's 1000 ms
# plus one echo time-out (200 ms) plus process start-up of the check itself.
term_phase() {
    local name=$1 settle=$2 dir=$FAULT_WORK/$1 ns=pvf-term-$$-$RANDOM
    shift 2
    mkdir -p "$dir"
    CHECK_FAILS=""
    ns_create "$ns" || { result "$name" FAIL "namespace"; return; }
    if [[ ${1:-} == nft-drop ]]; then
        # The connect is never answered: every SYN to port 23 is dropped.
        shift
        ip netns exec "$ns" nft add table inet pvf &&
            ip netns exec "$ns" nft add chain inet pvf out '{ type filter hook output priority 0; }' &&
            ip netns exec "$ns" nft add rule inet pvf out tcp dport 23 drop ||
            { result "$name" FAIL "nft"; return; }
    fi
    write_ini "$dir" 2 100 127.0.0.1 10.255.255.1 10.255.255.2 10.255.255.3 127.0.0.1
    start_apsim "$ns" "$dir/apsim.rec" "$@" || { result "$name" FAIL "simulator"; return; }
    start_pingvard "$ns" "$dir"
    local pid=$PINGVARD_PID
    sleep "$settle"
    local status=running
    grep -q "status Trying to reset" "$dir/console.txt" && status=session-started
    local stop
    stop_pingvard "$pid"; stop=$STOP
    expect "a session was running ($status)" eq "$status" session-started
    expect "exit 0 within 1300 ms ($stop)" check_stop "$stop" 1300
    expect "log lines intact" log_intact "$dir/pingvard.log"
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "stop: status ${stop% *} after ${stop#* }ms$CHECK_FAILS"
}

case_term_connecting() { term_phase term-while-connecting 2 nft-drop; }
case_term_waiting() { term_phase term-waiting-for-prompt 2 --mode never-prompt; }
case_term_mid_script() { term_phase term-mid-script 2 --mode stop-after=1; }
case_term_trickle() { term_phase term-during-trickle 3 --mode trickle --trickle-interval 50; }
case_term_flood() { term_phase term-during-flood 2 --mode flood; }
case_term_split() { term_phase term-during-split-bytes 1 --mode split-bytes; }

# SIGTERM at random moments while sessions run back to back against a working
# simulator: whatever phase it hits, the exit is clean and bounded, and the
# event log never holds a broken line. The moments count from when the program
# handles SIGTERM itself (see signals_taken).
case_term_random() {
    local name=term-random-moments runs=${TERM_RUNS:-10} dir=$FAULT_WORK/term-random ns=pvf-termr-$$
    mkdir -p "$dir"
    CHECK_FAILS=""
    ns_create "$ns" || { result "$name" FAIL "namespace"; return; }
    write_ini "$dir" 2 20 127.0.0.1 10.255.255.1 10.255.255.2 10.255.255.3 127.0.0.1
    start_apsim "$ns" "$dir/apsim.rec" --mode split-bytes --split-pause 2 || { result "$name" FAIL "simulator"; return; }
    local i worst=0 bad=0 stop ms
    for ((i = 0; i < runs; i++)); do
        start_pingvard "$ns" "$dir"
        signals_taken "$PINGVARD_PID" || bad=$((bad + 1))
        sleep "0.$((RANDOM % 10))$((RANDOM % 10))"
        sleep $((RANDOM % 2))
        stop_pingvard "$PINGVARD_PID"; stop=$STOP
        ms=${stop#* }
        ((ms > worst)) && worst=$ms
        [[ ${stop% *} == 0 ]] || bad=$((bad + 1))
    done
    expect "every exit status 0 ($bad not)" eq "$bad" 0
    expect "slowest exit within 1300 ms ($worst)" le "$worst" 1300
    expect "log lines intact" log_intact "$dir/pingvard.log"
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "$runs runs, sessions=$(apsim_sessions "$dir/apsim.rec") lines=$(count_lines "$dir/pingvard.log" ": ") slowest exit=${worst}ms$CHECK_FAILS"
}

# SIGKILL at random moments of the start-up load, which rewrites pingvard.ini
# entry by entry: the file is every time a whole version (each line an old or a
# new one, no line missing or cut), and the next start works.
case_kill_during_save() {
    local name=kill-during-ini-write runs=${KILL_RUNS:-20} dir=$FAULT_WORK/kill-save ns=pvf-kill-$$
    mkdir -p "$dir"
    CHECK_FAILS=""
    ns_create "$ns" || { result "$name" FAIL "namespace"; return; }
    # Values the load rewrites in another form (hex numbers, flag 5), so old and
    # new versions of a line differ.
    write_ini "$dir" '0x0A' '$64' 127.0.0.1 10.255.255.1 10.255.255.2 10.255.255.3 127.0.0.1 '$C8'
    sed -i 's/TimeoutDoReset=1/TimeoutDoReset=5/' "$dir/pingvard.ini"
    cp "$dir/pingvard.ini" "$FAULT_WORK/ini-original"
    # Every line a load may leave: the original ones and their normalised forms.
    {
        cat "$FAULT_WORK/ini-original"
        printf 'MaxTimeouts=10\nPingInterval=100\nTimeout=200\nTimeoutDoReset=1\n'
    } >"$FAULT_WORK/ini-variants"
    local i broken=0 leftovers=0 delay
    for ((i = 0; i < runs; i++)); do
        cp "$FAULT_WORK/ini-original" "$dir/pingvard.ini"
        chmod 0600 "$dir/pingvard.ini"
        ip netns exec "$ns" "$PINGVARD" --headless -C "$dir" >/dev/null 2>&1 </dev/null &
        local pid=$!
        track "$pid"
        delay=$((RANDOM % 40))
        sleep "0.0$((delay / 10))$((delay % 10))"
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        if ! ini_lines_ok "$dir/pingvard.ini"; then
            broken=$((broken + 1))
            cp "$dir/pingvard.ini" "$FAULT_WORK/ini-broken-$i"
        fi
        find "$dir" -maxdepth 1 -type f ! -name pingvard.ini ! -name '*.log' -printf '%f %m\n' >>"$FAULT_WORK/kill-save-leftovers"
        leftovers=$((leftovers + $(find "$dir" -maxdepth 1 -type f ! -name pingvard.ini ! -name '*.log' | wc -l)))
        find "$dir" -maxdepth 1 -type f ! -name pingvard.ini -delete
    done
    expect "every killed write left a whole file ($broken broken)" eq "$broken" 0
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "$runs kills at 0-40 ms: broken files=$broken, temporary files left=$leftovers$CHECK_FAILS"
}

# Each line is one of the known variants, every section is there, and every
# key of the original appears once per section.
ini_lines_ok() {
    local file=$1
    [[ -s $file ]] || return 1
    ! grep -vxFf "$FAULT_WORK/ini-variants" "$file" | grep -q . || return 1
    [[ $(grep -c '^\[' "$file") == $(grep -c '^\[' "$FAULT_WORK/ini-original") ]] || return 1
    [[ $(grep -c '=' "$file") == $(grep -c '=' "$FAULT_WORK/ini-original") ]]
}

# Every name fails to resolve (resolver on a loopback port where nothing
# listens): start-up must not hang, pings fail and count, and the reset session
# reports the connect failure with the configured name.
case_resolve_failing() {
    local name=resolve-failing dir=$FAULT_WORK/resolve ns=pvf-dns-$$
    mkdir -p "$dir"
    CHECK_FAILS=""
    ns_create "$ns" || { result "$name" FAIL "namespace"; return; }
    ns_resolver "$ns"
    write_ini "$dir" 2 100 ap.pingvard.invalid h1.pingvard.invalid h2.pingvard.invalid h3.pingvard.invalid h4.pingvard.invalid
    local t0
    t0=$(now_ms)
    start_pingvard "$ns" "$dir"
    local pid=$PINGVARD_PID i up=0
    for ((i = 0; i < 100; i++)); do
        grep -q " host 4 " "$dir/console.txt" && { up=$(($(now_ms) - t0)); break; }
        sleep 0.05
    done
    sleep 8
    local stop lines
    stop_pingvard "$pid"; stop=$STOP
    lines=$(count_lines "$dir/pingvard.log" "Unable to reset, cannot connect to ap.pingvard.invalid")
    expect "first figures within 5 s (${up} ms)" test "$up" -gt 0
    expect "connect failures logged with the name" ge "$lines" 1
    expect "no other outcome" eq "$(count_lines "$dir/pingvard.log" ": ")" "$lines"
    expect "clean exit ($stop)" check_stop "$stop" 1500
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "first figures after ${up}ms, connect-failure lines=$lines, stop=${stop#* }ms$CHECK_FAILS"
}
