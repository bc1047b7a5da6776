# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Shared helpers of the fault-injection cases. Sourced by run.sh; every case runs
# in network namespaces it creates here, and everything it creates (namespaces,
# processes, mounts, per-namespace resolver files) is recorded and removed by
# fault_cleanup, which run.sh calls from an EXIT trap, so a failing or
# interrupted case leaves nothing behind. Nothing is sent outside this machine:
# a namespace has only its own loopback unless a case adds a veth pair between
# two namespaces of its own.

# shellcheck source=scripts/shell_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/shell_lib.sh"

FAULT_PIDS=()
FAULT_MOUNTS=()
FAULT_FILES=()

fault_cleanup() {
    local pid mnt f
    for pid in "${FAULT_PIDS[@]}"; do
        kill -KILL "$pid" 2>/dev/null
    done
    for pid in "${FAULT_PIDS[@]}"; do
        wait "$pid" 2>/dev/null
    done
    for mnt in "${FAULT_MOUNTS[@]}"; do
        umount -l "$mnt" 2>/dev/null
    done
    pv_ns_cleanup
    for f in "${FAULT_FILES[@]}"; do
        rm -rf "$f"
    done
    FAULT_PIDS=() FAULT_MOUNTS=() FAULT_FILES=()
}

# Removes what runs killed outright left behind (SIGKILL, a ctest time-out:
# no trap runs): namespaces pvf-...-PID[-N] and work directories
# /tmp/pingvard-faults-PID.* of runs whose process is gone. A name is kept while
# any of its last two numbers is a live process, so a parallel run keeps its own.
fault_sweep_stale() {
    local name numbers n alive
    for name in $( (ip netns list | awk '{ print $1 }' && ls /etc/netns) 2>/dev/null | sort -u); do
        [[ $name =~ ^pvf-.*-([0-9]+)-([0-9]+)$ || $name =~ ^pvf-.*-([0-9]+)$ ]] || continue
        numbers=("${BASH_REMATCH[@]:1}") alive=0
        for n in "${numbers[@]}"; do [[ -d /proc/$n ]] && alive=1; done
        ((alive)) || pv_ns_delete "$name"
    done
    for name in /tmp/pingvard-faults-[0-9]*.*; do
        n=${name#/tmp/pingvard-faults-}
        [[ -d $name && ! -d /proc/${n%%.*} ]] && rm -rf "$name"
    done
    return 0
}

# ns_create NAME: a namespace with only its loopback up, removed by fault_cleanup.
ns_create() { pv_ns_add "$1"; }

# ns_resolver NAME: name resolution inside the namespace goes to a loopback port
# where nothing listens, so every lookup fails at once.
ns_resolver() { pv_ns_resolver "$1"; }

# track PID: killed by fault_cleanup unless it ended before.
track() { FAULT_PIDS+=("$1"); }

# write_ini DIR MAXTIMEOUTS INTERVAL RESETHOST HOST1 HOST2 HOST3 HOST4 [TIMEOUT]
# The default script; slots 1-3 take part in the restart rule, slot 4 does not.
# The guard is off (HoldOff=0, MaxRounds=0): the faults are met by the
# historic program's restarts, one for each time the rule holds.
write_ini() {
    local dir=$1 timeout=${9:-200} slot
    local hosts=("$5" "$6" "$7" "$8") names=(one two three four)
    local entries=("Constants/MaxTimeouts=$2" "Constants/PingInterval=$3" "ResetHost/Hostname=$4"
        ResetHost/ChallengesCount=3 ResetHost/Challenge1=password: ResetHost/Answer1=kelvarno
        "ResetHost/Challenge2=Command>" "ResetHost/Answer2=reset system"
        "ResetHost/Challenge3=(y/n)?" ResetHost/Answer3=y)
    for slot in 1 2 3 4; do
        entries+=("Host$slot/DisplayName=${names[slot - 1]}" "Host$slot/Hostname=${hosts[slot - 1]}"
            "Host$slot/Timeout=$timeout" "Host$slot/TimeoutDoReset=$((slot < 4))")
    done
    pv_write_ini "$dir/pingvard.ini" "${entries[@]}" Guard/HoldOff=0 Guard/MaxRounds=0
}

# start_apsim NS RECORD [apsim options...]: the simulator on 127.0.0.1:23 in NS.
start_apsim() {
    local ns=$1 record=$2
    shift 2
    ip netns exec "$ns" "$APSIM" --listen 127.0.0.1 --port 23 --record "$record" "$@" \
        >"$record.out" 2>&1 &
    APSIM_PID=$!
    track "$APSIM_PID"
    wait_port "$ns" 23 || { [[ " $* " == *" refuse"* || "$*" == *mode*refuse* ]] || return 1; }
}

# wait_port NS PORT: until something listens there (at most 5 s).
listening() { ip netns exec "$1" ss -Hltn "sport = :$2" 2>/dev/null | grep -q .; }
wait_port() { pv_wait_for 5 listening "$1" "$2"; }

# start_pingvard NS DIR: the headless program in NS with DIR as its directory;
# its console lines go to DIR/console.txt.
start_pingvard() {
    ip netns exec "$1" "$PINGVARD" --headless -C "$2" >"$2/console.txt" 2>&1 </dev/null &
    PINGVARD_PID=$!
    track "$PINGVARD_PID"
}

# signals_taken PID: waits up to 5 s until the program has taken SIGTERM into
# its own hands (blocked for its signal thread). Before that, while the program
# is exec'd and its libraries load (about 40 ms), SIGTERM ends it by the
# default action, as it ends any program; systemd counts that as a clean stop.
signals_taken() {
    local mask i
    for ((i = 0; i < 500; i++)); do
        mask=$(awk '/^SigBlk:/ {print $2}' "/proc/$1/status" 2>/dev/null) || return 1
        [[ -n $mask ]] || return 1
        (((0x$mask >> 14) & 1)) && return 0
        sleep 0.01
    done
    return 1
}

# Process figures from /proc: resident and peak memory (kB), open descriptors,
# CPU time in clock ticks (user + system).
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null; }
hwm_kb() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status" 2>/dev/null; }
fd_count() { ls "/proc/$1/fd" 2>/dev/null | wc -l; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null; }
thread_count() { awk '/^Threads:/ {print $2}' "/proc/$1/status" 2>/dev/null; }
clk_tck() { getconf CLK_TCK; }

now_ms() { pv_now_ms; }

# stop_pingvard PID: SIGTERM, then wait; sets STOP to "<exit status> <milliseconds>"
# (no command substitution: the program must stay this shell's child).
# A program still running after 10 s is killed and reported with status 137.
stop_pingvard() {
    local pid=$1 start end status i
    start=$(now_ms)
    kill -TERM "$pid" 2>/dev/null
    for ((i = 0; i < 1000; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.01
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid"
    fi
    wait "$pid"
    status=$?
    end=$(now_ms)
    # shellcheck disable=SC2034 # the cases read it
    STOP="$status $((end - start))"
}

# count_lines FILE PATTERN: lines of FILE containing PATTERN (0 when absent).
count_lines() {
    if [[ -f $1 ]]; then
        grep -c -- "$2" "$1"
    else
        echo 0
    fi
}

# comm_entries FILE: "Step #" entries of a transcript (0 when absent).
comm_steps() { count_lines "$1" "^Step #"; }

# apsim_field RECORD KEY [N]: the value of KEY in the N-th record line (default 1).
apsim_field() {
    awk -v key="$2" -v n="${3:-1}" '/^apsim v=1/ && ++seen == n {
        for (i = 1; i <= NF; i++) if (index($i, key "=") == 1) { print substr($i, length(key) + 2); exit }
    }' "$1"
}
# Sessions in which the device's console read every answer correctly.
apsim_completed() { grep -c " outcome=reset " "$1" 2>/dev/null || echo 0; }
apsim_sessions() { count_lines "$1" "^apsim v=1"; }

# Results: one line per case in $FAULT_RESULTS: NAME|PASS/FAIL|measured text.
# Cases whose failure is a known fault already reported to the owner of the
# code: reported as KNOWN instead of failing the run, so the suite stays a
# regression check for everything else. Remove a name once its fault is fixed.
KNOWN_FAULTS=" "
RESULT_FAILED=0
result() {
    local name=$1 verdict=$2
    shift 2
    if [[ $verdict == FAIL && $KNOWN_FAULTS == *" $name "* ]]; then
        verdict=KNOWN
    fi
    printf '%-28s %-4s %s\n' "$name" "$verdict" "$*"
    printf '%s|%s|%s\n' "$name" "$verdict" "$*" >>"$FAULT_RESULTS"
    # shellcheck disable=SC2034 # for the caller
    [[ $verdict == PASS ]] || RESULT_FAILED=1
}

# check COND-TEXT: accumulate failed expectations of one case in CHECK_FAILS.
expect() {
    local what=$1
    shift
    if ! "$@"; then
        CHECK_FAILS+="; not: $what"
    fi
}
le() { (($1 <= $2)); }
ge() { (($1 >= $2)); }
eq() { [[ $1 == "$2" ]]; }
