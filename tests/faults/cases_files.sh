# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# File faults: what the design promises is that monitoring and restarts go on,
# only the affected log lines are lost, and a configuration write that cannot
# be made is reported without damaging the file.

# A started program that runs reset sessions against a working simulator in NS,
# with DIR as its directory. Sets PID and APSIM_PID.
files_start() {
    local ns=$1 dir=$2
    ns_create "$ns" || return 1
    start_apsim "$ns" "$dir/apsim.rec" --on-reset true || return 1
    start_pingvard "$ns" "$dir"
}

files_finish() {
    local name=$1 measured=$2
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "$measured$CHECK_FAILS"
}

# Every line of FILE ends in CR LF and looks like "<timestamp>: <message>".
log_intact() {
    [[ ! -s $1 ]] && return 0
    ! LC_ALL=C grep -qv $'^[^:]*[0-9].*: .*\r$' "$1" && [[ $(tail -c 2 "$1" | od -An -tx1 | tr -d ' ') == 0d0a ]]
}

case_file_readonly_ini() {
    local name=file-readonly-ini dir=$FAULT_WORK/file-readonly-ini ns=pvf-roini-$$
    mkdir -p "$dir"
    CHECK_FAILS=""
    ns_create "$ns" || { result "$name" FAIL "cannot create namespace"; return; }
    write_ini "$dir" 5 100 127.0.0.1 127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4
    chmod 0444 "$dir/pingvard.ini"
    local before start status elapsed
    before=$(sha256sum <"$dir/pingvard.ini")
    start=$(now_ms)
    timeout 10 ip netns exec "$ns" "$PINGVARD" --headless -C "$dir" >"$dir/console.txt" 2>&1 </dev/null
    status=$?
    elapsed=$(($(now_ms) - start))
    expect "start-up ends with a non-zero status (got $status)" test "$status" -ne 0 -a "$status" -ne 124
    expect "the message names the file" grep -q "Unable to write to $dir/pingvard.ini" "$dir/console.txt"
    expect "the file is unchanged" eq "$(sha256sum <"$dir/pingvard.ini")" "$before"
    expect "no temporary file left" eq "$(find "$dir" -name '*pingvard.ini?*' | wc -l)" 0
    files_finish "$name" "status=$status after ${elapsed}ms: $(grep -m1 -o 'Unable to write to [^ ]*' "$dir/console.txt")"
}

case_file_log_locked() {
    local name=file-log-locked dir=$FAULT_WORK/file-log-locked
    mkdir -p "$dir"
    CHECK_FAILS=""
    write_ini "$dir" 2 100 127.0.0.1 10.255.255.1 10.255.255.2 10.255.255.3 127.0.0.1
    : >"$dir/pingvard.log"
    # Another process holds the log (flock(2), as the writer's exclusive open) for 8 s.
    flock -x "$dir/pingvard.log" sleep 8 &
    local holder=$!
    track "$holder"
    files_start pvf-loglock-$$ "$dir" || { result "$name" FAIL "setup failed"; return; }
    local pid=$PINGVARD_PID
    sleep 6
    local during sessionsDuring
    during=$(count_lines "$dir/pingvard.log" "Reset OK")
    sessionsDuring=$(grep -c "outcome=reset" "$dir/apsim.rec")
    wait "$holder"
    sleep 6
    local after sessions stop
    after=$(count_lines "$dir/pingvard.log" "Reset OK")
    sessions=$(grep -c "outcome=reset" "$dir/apsim.rec")
    stop_pingvard "$pid"; stop=$STOP
    expect "no line while the log is held" eq "$during" 0
    expect "resets went on while it was held ($sessionsDuring)" ge "$sessionsDuring" 1
    expect "lines again once it is free" ge "$after" 1
    expect "log lines intact" log_intact "$dir/pingvard.log"
    expect "clean exit ($stop)" check_stop "$stop" 1500
    files_finish "$name" "resets while held=$sessionsDuring lines while held=$during; after release: resets=$sessions lines=$after stop=${stop#* }ms"
}

case_file_comm_log_directory() {
    local name=file-comm-log-is-directory dir=$FAULT_WORK/file-comm-dir
    mkdir -p "$dir/comm.log"
    echo keep >"$dir/comm.log/keep"
    CHECK_FAILS=""
    write_ini "$dir" 2 100 127.0.0.1 10.255.255.1 10.255.255.2 10.255.255.3 127.0.0.1
    files_start pvf-commdir-$$ "$dir" || { result "$name" FAIL "setup failed"; return; }
    local pid=$PINGVARD_PID
    sleep 8
    local stop lines sessions
    stop_pingvard "$pid"; stop=$STOP
    lines=$(count_lines "$dir/pingvard.log" "Reset OK")
    sessions=$(grep -c "outcome=reset" "$dir/apsim.rec")
    expect "resets still complete and are logged" ge "$lines" 1
    expect "the directory and its content are untouched" test -f "$dir/comm.log/keep"
    expect "clean exit ($stop)" check_stop "$stop" 1500
    files_finish "$name" "resets=$sessions 'Reset OK' lines=$lines, directory kept, stop=${stop#* }ms"
}

# The working directory on a 256 kB tmpfs. Start-up on the full file system must
# fail without touching pingvard.ini; a program running on it keeps monitoring
# and restarting while it is full (lines lost whole, none half-written) and
# logs again once space is freed.
case_file_tmpfs_full() {
    local name=file-tmpfs-full dir=$FAULT_WORK/file-tmpfs
    mkdir -p "$dir"
    mount -t tmpfs -o size=256k pvf-tmpfs "$dir" || { result "$name" FAIL "cannot mount tmpfs"; return; }
    FAULT_MOUNTS+=("$dir")
    CHECK_FAILS=""
    # MaxTimeouts in hex makes the start-up load rewrite the file.
    write_ini "$dir" 0x02 100 127.0.0.1 10.255.255.1 10.255.255.2 10.255.255.3 127.0.0.1
    local before status i
    before=$(sha256sum <"$dir/pingvard.ini")
    dd if=/dev/zero of="$dir/filler" bs=4k 2>/dev/null
    ns_create pvf-tmpfs-$$ || { result "$name" FAIL "cannot create namespace"; return; }
    timeout 10 ip netns exec pvf-tmpfs-$$ "$PINGVARD" --headless -C "$dir" >"$FAULT_WORK/tmpfs-start.txt" 2>&1 </dev/null
    status=$?
    expect "start-up on a full disk fails (status $status)" test "$status" -ne 0 -a "$status" -ne 124
    expect "and says so" grep -q "Unable to write to" "$FAULT_WORK/tmpfs-start.txt"
    expect "pingvard.ini intact after the failed start" eq "$(sha256sum <"$dir/pingvard.ini")" "$before"
    # Second start on the still full file system: a file that needs no rewrite
    # (already normalised), and an event log that ends exactly at a page
    # boundary, so every further line needs a new page.
    rm -f "$dir/filler"
    write_ini "$dir" 2 100 127.0.0.1 10.255.255.1 10.255.255.2 10.255.255.3 127.0.0.1
    { for ((i = 0; i < 204; i++)); do printf '1.1.2026: old line\r\n'; done; printf '1.1.2026: 1234\r\n'; } >"$dir/pingvard.log"
    dd if=/dev/zero of="$dir/filler" bs=1k 2>/dev/null
    start_apsim pvf-tmpfs-$$ "$FAULT_WORK/tmpfs-apsim.rec" || { result "$name" FAIL "simulator"; return; }
    ip netns exec pvf-tmpfs-$$ "$PINGVARD" --headless -C "$dir" >"$FAULT_WORK/tmpfs-console.txt" 2>&1 </dev/null &
    local pid=$!
    track "$pid"
    sleep 8
    local fullLines fullSessions
    fullLines=$(count_lines "$dir/pingvard.log" ": ")
    fullSessions=$(apsim_sessions "$FAULT_WORK/tmpfs-apsim.rec")
    rm -f "$dir/filler"
    sleep 5
    local afterLines stop
    afterLines=$(count_lines "$dir/pingvard.log" ": ")
    stop_pingvard "$pid"; stop=$STOP
    expect "restarts go on while full ($fullSessions)" ge "$fullSessions" 3
    expect "no line while full ($fullLines)" eq "$fullLines" 205
    expect "log lines intact (none half-written)" log_intact "$dir/pingvard.log"
    expect "lines again after space is freed ($afterLines)" ge "$afterLines" 206
    expect "clean exit ($stop)" check_stop "$stop" 1500
    files_finish "$name" "full start: status=$status, ini intact; running while full: resets=$fullSessions lines lost=all; after freeing: lines=$((afterLines - 205)); stop=${stop#* }ms"
}

# huge_ini FILE NAMES SECTIONS: the historic sections as the start-up load
# writes them (so it rewrites nothing), an Actions= list of NAMES names and
# SECTIONS [Action.*] program sections.
huge_ini() {
    awk -v names="$2" -v sections="$3" 'BEGIN {
        print "[Constants]\nMaxTimeouts=2\nPingInterval=100"
        print "[ResetHost]\nHostname=127.0.0.1\nChallengesCount=3\nChallenge1=password:\nAnswer1=kelvarno"
        print "Challenge2=Command>\nAnswer2=reset system\nChallenge3=(y/n)?\nAnswer3=y"
        for (s = 1; s <= 4; s++)
            printf "[Host%d]\nDisplayName=h%d\nHostname=127.0.0.%d\nTimeout=200\nTimeoutDoReset=%d\n", s, s, s, s < 4
        list = "a1"
        for (i = 2; i <= names; i++) list = list ",a" i
        print "[Recovery]\nActions=" list
        for (i = 1; i <= sections; i++)
            printf "[Action.a%d]\nKind=program\nProgram=/bin/true\nArg1=--name\nArg2=a%d\nTimeLimit=5\nVerify=0\n", i, i
    }' >"$1"
    chmod 600 "$1"
}

# load_ms NS DIR: how long a load of DIR/pingvard.ini takes (--test-action of
# a name the list lacks loads every section, then ends).
load_ms() {
    local t0
    t0=$(now_ms)
    ip netns exec "$1" "$PINGVARD" -C "$2" --test-action pingvard-none >/dev/null 2>&1 </dev/null
    echo $(($(now_ms) - t0))
}

# A settings file of 10 000 [Action.*] sections behind a 400-name Actions=
# list (0.9 MB), and one with four times the sections: the load grows with the
# file, not with its square; the program monitors with it; and SIGTERM during
# the load of the larger one ends the program at once.
case_config_huge_ini() {
    local name=config-huge-ini dir=$FAULT_WORK/config-huge ns=pvf-huge-$$
    mkdir -p "$dir/small" "$dir/large"
    CHECK_FAILS=""
    huge_ini "$dir/small/pingvard.ini" 400 10000
    huge_ini "$dir/large/pingvard.ini" 400 40000
    ns_create "$ns" || { result "$name" FAIL "cannot create namespace"; return; }
    local small large i rows stop early
    small=$(load_ms "$ns" "$dir/small")
    large=$(load_ms "$ns" "$dir/large")
    start_pingvard "$ns" "$dir/small"
    for ((i = 0; i < 100; i++)); do
        grep -q " host 4 ping=[0-9]" "$dir/small/console.txt" && break
        sleep 0.05
    done
    rows=$(grep -c " host 4 ping=[0-9]" "$dir/small/console.txt")
    stop_pingvard "$PINGVARD_PID"; stop=$STOP
    start_pingvard "$ns" "$dir/large"
    signals_taken "$PINGVARD_PID"
    sleep 0.1
    stop_pingvard "$PINGVARD_PID"; early=$STOP
    expect "the 0.9 MB file loads within 3 s (${small} ms)" le "$small" 3000
    expect "four times the file, at most eight times the time (${small} -> ${large} ms)" \
        le "$large" $((8 * small + 200))
    expect "figures with the 10 000-section file ($rows)" ge "$rows" 1
    expect "clean exit ($stop)" check_stop "$stop" 1500
    expect "SIGTERM during the load ends it ($early)" check_stop "$early" 1500
    files_finish "$name" "load: 10000 sections ${small}ms, 40000 sections ${large}ms; stop=${stop#* }ms, stop during the load=${early#* }ms"
}

# A log line that fits only in part: the working directory is a small tmpfs in
# the case's own mount namespace, its pingvard.log ends six bytes before the
# end of a page and the rest of the file system is full. Every line of that
# time is lost whole (none torn, nothing half-written), the console says so
# once and the status line with it, and once more when lines are written again.
case_file_log_torn() {
    local name=file-log-torn dir=$FAULT_WORK/file-log-torn ns=pvf-torn-$$
    mkdir -p "$dir"
    ns_create "$ns" || { result "$name" FAIL "cannot create namespace"; return; }
    unshare -m --propagation private bash -c '
        for f in "$1"/lib.sh "$1"/cases_*.sh; do source "$f"; done
        trap fault_cleanup EXIT
        torn_log_inside "$2" "$3"' torn "$(dirname "${BASH_SOURCE[0]}")" "$dir" "$ns"
}

torn_log_inside() {
    local name=file-log-torn dir=$1 ns=$2 out=$FAULT_WORK/file-log-torn.console
    CHECK_FAILS=""
    mount -t tmpfs -o size=256k pvf-torn "$dir" || { result "$name" FAIL "cannot mount tmpfs"; return; }
    write_ini "$dir" 2 100 127.0.0.1 10.255.255.1 10.255.255.2 10.255.255.3 127.0.0.1
    { printf '%4088s' '' | tr ' ' o; printf '\r\n'; } >"$dir/pingvard.log"
    dd if=/dev/zero of="$dir/filler" bs=4k 2>/dev/null
    start_apsim "$ns" "$FAULT_WORK/file-log-torn.rec" --on-reset true || { result "$name" FAIL "simulator"; return; }
    ip netns exec "$ns" "$PINGVARD" --headless -C "$dir" >"$out" 2>&1 </dev/null &
    local pid=$!
    track "$pid"
    sleep 5
    local fullSize fullSessions toldFull toldAgain statusFull
    fullSize=$(stat -c %s "$dir/pingvard.log")
    fullSessions=$(apsim_sessions "$FAULT_WORK/file-log-torn.rec")
    rm -f "$dir/filler"
    sleep 4
    local lines stop
    lines=$(count_lines "$dir/pingvard.log" ": Reset OK")
    stop_pingvard "$pid"; stop=$STOP
    tail -c +4091 "$dir/pingvard.log" >"$FAULT_WORK/file-log-torn.new"
    toldFull=$(count_lines "$out" "pingvard: pingvard.log cannot be written (No space left on device)")
    toldAgain=$(count_lines "$out" "pingvard: pingvard.log is written again")
    statusFull=$(count_lines "$out" "status .*; pingvard.log cannot be written")
    expect "restarts go on while full ($fullSessions)" ge "$fullSessions" 3
    expect "nothing written while full (size $fullSize)" eq "$fullSize" 4090
    expect "every line whole (none torn)" log_intact "$FAULT_WORK/file-log-torn.new"
    expect "lines again once there is room ($lines)" ge "$lines" 1
    expect "said once on the console while full ($toldFull)" eq "$toldFull" 1
    expect "and on the status line ($statusFull)" ge "$statusFull" 1
    expect "said once when written again ($toldAgain)" eq "$toldAgain" 1
    expect "clean exit ($stop)" check_stop "$stop" 1500
    files_finish "$name" "while full: resets=$fullSessions bytes added=$((fullSize - 4090)) told=$toldFull; after freeing: lines=$lines told again=$toldAgain; stop=${stop#* }ms"
}

# history_lock_run DIR NS SECONDS: the program writing history.db while
# another program holds BEGIN EXCLUSIVE on it for SECONDS (sqlite3's own
# shell). Sets LOCK_GAP (the longest gap between two stored echoes of host 4
# around the lock, ms), LOCK_ECHOES (stored during the lock and 2 s around
# it), LOCK_EXPECTED (the echoes of that time at the period they had
# outside it), LOCK_OUTCOMES
# ("<in pingvard.log> <in history.db>"), LOCK_STOP.
history_lock_run() {
    local dir=$1 ns=$2 seconds=$3 i from to pid db=$1/history.db
    write_ini "$dir" 2 100 127.0.0.1 10.255.255.1 10.255.255.2 10.255.255.3 127.0.0.1
    start_apsim "$ns" "$dir/apsim.rec" --on-reset true || return 1
    start_pingvard "$ns" "$dir"
    pid=$PINGVARD_PID
    for ((i = 0; i < 100; i++)); do
        [[ -s $db ]] && sqlite3 "$db" 'SELECT 1 FROM sample LIMIT 1' 2>/dev/null | grep -q 1 && break
        sleep 0.1
    done
    sleep 1
    from=$(($(now_ms) - 2000))
    { echo 'BEGIN EXCLUSIVE;'; sleep "$seconds"; echo 'COMMIT;'; } | sqlite3 "$db"
    to=$(($(now_ms) + 2000))
    sleep 4 # the kept batches reach the file with the next one
    stop_pingvard "$pid"; LOCK_STOP=$STOP
    kill "$APSIM_PID" 2>/dev/null
    local host="(SELECT id FROM host WHERE address = '127.0.0.1')"
    LOCK_GAP=$(sqlite3 "$db" "SELECT max(d) / 1000 FROM (SELECT t - lag(t) OVER (ORDER BY t) AS d
        FROM sample WHERE host = $host AND t BETWEEN ${from}000 AND ${to}000)")
    LOCK_ECHOES=$(sqlite3 "$db" "SELECT count(*) FROM sample WHERE host = $host AND t BETWEEN ${from}000 AND ${to}000")
    # An echo every 100 ms and its round trip and hand-off: the period the
    # host's echoes had outside the lock's window, on this machine now.
    LOCK_EXPECTED=$(sqlite3 "$db" "WITH side(lo, hi, n) AS (
        SELECT min(t), max(t), count(*) FROM sample WHERE host = $host AND t < ${from}000
        UNION ALL SELECT min(t), max(t), count(*) FROM sample WHERE host = $host AND t > ${to}000)
        SELECT ($to - $from) * 1000 * (sum(n) - 2) / sum(hi - lo) FROM side WHERE n > 1")
    LOCK_OUTCOMES="$(count_lines "$dir/pingvard.log" ": ") $(sqlite3 "$db" "SELECT count(*) FROM event WHERE kind = 'action-outcome'")"
}

# Another program holds an exclusive lock on history.db for 5 s, then for
# 15 s: nothing is lost, neither echoes (no gap in host 4's echoes beyond a
# few of its 100 ms intervals) nor recovery events (every outcome in
# pingvard.log is also in history.db).
case_history_locked() {
    local name=history-locked ns=pvf-hlock-$$ measured="" seconds dir
    CHECK_FAILS=""
    command -v sqlite3 >/dev/null || { result "$name" FAIL "sqlite3 missing (scripts/deps.sh)"; return; }
    ns_create "$ns" || { result "$name" FAIL "cannot create namespace"; return; }
    for seconds in 5 15; do
        dir=$FAULT_WORK/history-locked-$seconds
        mkdir -p "$dir"
        history_lock_run "$dir" "$ns" "$seconds" || { result "$name" FAIL "setup failed"; return; }
        expect "no gap in the echoes of a ${seconds} s lock (${LOCK_GAP} ms)" le "${LOCK_GAP:-99999}" 1000
        expect "the echoes of a ${seconds} s lock stored ($LOCK_ECHOES of $LOCK_EXPECTED)" \
            ge "$LOCK_ECHOES" $((LOCK_EXPECTED * 9 / 10))
        expect "every outcome of a ${seconds} s lock stored (log, history: $LOCK_OUTCOMES)" \
            eq "${LOCK_OUTCOMES% *}" "${LOCK_OUTCOMES#* }"
        expect "clean exit ($LOCK_STOP)" check_stop "$LOCK_STOP" 1500
        measured+="lock ${seconds}s: longest gap=${LOCK_GAP}ms echoes=$LOCK_ECHOES/$LOCK_EXPECTED outcomes(log history)=$LOCK_OUTCOMES stop=${LOCK_STOP#* }ms; "
    done
    files_finish "$name" "${measured%; }"
}
