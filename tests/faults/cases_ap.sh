# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Access-point faults. Each case: three marked hosts that cannot be reached (no
# route inside the namespace, so every echo fails at once), host 4 on loopback,
# MaxTimeouts 2 at 100 ms, so a reset session starts about 0.2 s after start and
# again after each one ends. The simulator on 127.0.0.1:23 plays the fault.

AP_SHORT_SECONDS=66 # one full 60 s session limit plus the start and a margin

# ap_case NAME SECONDS EXPECTED-LOG-TEXT MAX-SESSION-MS apsim-options...
# Runs one case to the end and reports it. EXPECTED-LOG-TEXT is what every
# pingvard.log line must contain.
ap_case() {
    local name=$1 seconds=$2 expected=$3 maxSession=$4
    shift 4
    local ns=pvf-$name-$$ dir=$FAULT_WORK/$name
    mkdir -p "$dir"
    CHECK_FAILS=""
    ns_create "$ns" || { result "$name" FAIL "cannot create namespace"; return; }
    write_ini "$dir" 2 100 127.0.0.1 10.255.255.1 10.255.255.2 10.255.255.3 127.0.0.1
    start_apsim "$ns" "$dir/apsim.rec" "$@" || { result "$name" FAIL "simulator did not start"; return; }
    start_pingvard "$ns" "$dir"
    local pid=$PINGVARD_PID apsim=$APSIM_PID
    sleep 2
    # The history file is opened with the first batch of echoes, which a busy
    # machine may write after the first sample: wait for it, so that the count
    # of descriptors starts with it.
    pv_wait_for 5 test -e "$dir/history.db-shm" || true
    local rss1 cpu1 fd1
    rss1=$(rss_kb "$pid") cpu1=$(cpu_ticks "$pid") fd1=$(fd_count "$pid")
    sleep $((seconds - 2))
    local rss2 cpu2 fd2 hwm
    rss2=$(rss_kb "$pid") cpu2=$(cpu_ticks "$pid") fd2=$(fd_count "$pid") hwm=$(hwm_kb "$pid")
    local stop
    stop_pingvard "$pid"; stop=$STOP
    kill -TERM "$apsim" 2>/dev/null
    wait "$apsim" 2>/dev/null
    local lines wrong sessions cpu longest
    lines=$(count_lines "$dir/pingvard.log" ": ")
    wrong=$(grep -vc -- "$expected" "$dir/pingvard.log" 2>/dev/null || true)
    sessions=$(apsim_sessions "$dir/apsim.rec")
    cpu=$(((${cpu2:-0} - ${cpu1:-0}) * 100 / $(clk_tck) / (seconds - 2)))
    longest=$(awk '/^apsim v=1/ { a = e = 0
        for (i = 1; i <= NF; i++) { split($i, kv, "="); if (kv[1] == "accepted_mono_ms") a = kv[2]; if (kv[1] == "end_mono_ms") e = kv[2] }
        if (e - a > m) m = e - a } END { print m + 0 }' "$dir/apsim.rec" 2>/dev/null)
    longest=${longest:-0}
    expect "exit 0 within 1500 ms (got ${stop})" check_stop "$stop" 1500
    expect "at least one outcome logged" ge "$lines" 1
    expect "every outcome is '$expected'" eq "${wrong:-0}" 0
    expect "no session longer than $maxSession ms (longest $longest)" le "$longest" "$maxSession"
    expect "descriptors flat ($fd1 -> $fd2)" le "${fd2:-0}" "$((${fd1:-0} + 2))"
    expect "peak RSS under 64 MB ($hwm kB)" le "${hwm:-0}" 65536
    ap_extra_checks "$name" "$dir"
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "log=$lines sessions=$sessions longest=${longest}ms stop=${stop#* }ms" \
        "rss=${rss1}->${rss2}kB hwm=${hwm}kB fd=${fd1}->${fd2} cpu=${cpu}%$CHECK_FAILS"
}

check_stop() {
    local status=${1%% *} ms=${1#* }
    [[ $status == 0 ]] && ((ms <= $2))
}

# Per-case transcript checks on the first session's comm.log is not possible
# (later sessions delete it), so the checks use the last one.
ap_extra_checks() {
    local name=$1 dir=$2
    case $name in
    ap-refuse)
        expect "no comm.log after refused connects" test ! -e "$dir/comm.log"
        ;;
    ap-stop-after-1)
        expect "comm.log holds step 1 only" eq "$(comm_steps "$dir/comm.log")" 1
        ;;
    ap-close-mid-script | ap-reset-during-answer)
        # Sessions follow each other within a few hundred ms here, so the SIGTERM
        # may find the transcript deleted by a session that just started.
        expect "comm.log holds at most step 1" le "$(comm_steps "$dir/comm.log")" 1
        ;;
    ap-close-after-negotiation)
        expect "no comm.log entry" eq "$(comm_steps "$dir/comm.log")" 0
        ;;
    ap-stop-after-2)
        expect "comm.log holds steps 1 and 2" eq "$(comm_steps "$dir/comm.log")" 2
        ;;
    ap-ok | ap-split-bytes | ap-iac-storm | ap-console-* | ap-chatter | ap-abort-on-reset)
        local reset ok
        reset=$(apsim_completed "$dir/apsim.rec") ok=$(count_lines "$dir/pingvard.log" "Reset OK")
        # Every "Reset OK" confirmed by the device itself; the session cut short
        # by the SIGTERM may have been confirmed but not logged.
        expect "every 'Reset OK' confirmed at the device ($ok logged, $reset confirmed)" \
            le "$ok" "$reset"
        expect "every device reset logged ($reset confirmed, $ok logged)" le "$reset" "$((ok + 1))"
        ;;
    esac
}

case_ap_ok() { ap_case ap-ok 10 "Reset OK" 5000; }
# A console that reads each answer late: the line is held until it has.
case_ap_console_0() { ap_case ap-console-0 10 "Reset OK" 5000 --console-delay 0; }
case_ap_console_20() { ap_case ap-console-20 10 "Reset OK" 5000 --console-delay 20; }
case_ap_console_200() { ap_case ap-console-200 10 "Reset OK" 5000 --console-delay 200; }
case_ap_console_1000() { ap_case ap-console-1000 15 "Reset OK" 8000 --console-delay 1000; }
# Talks on after the last answer and never hangs up: the hold ends after 4 s.
case_ap_chatter() { ap_case ap-chatter 15 "Reset OK" 6000 --mode chatter; }
# Resets the connection as soon as it has the answer: that is a reset sent.
case_ap_abort_on_reset() { ap_case ap-abort-on-reset 10 "Reset OK" 5000 --mode abort-on-reset; }
case_ap_refuse() {
    ap_case ap-refuse 10 "Unable to reset, cannot connect to 127.0.0.1" 0 --mode refuse
}
case_ap_split_bytes() { ap_case ap-split-bytes 15 "Reset OK" 15000 --mode split-bytes; }
case_ap_iac_storm() { ap_case ap-iac-storm 15 "Reset OK" 15000 --mode iac-storm; }
case_ap_silent() {
    ap_case ap-silent $AP_SHORT_SECONDS "invalid response in step #1" 61500 --mode never-prompt
}
case_ap_stop_after_1() {
    ap_case ap-stop-after-1 $AP_SHORT_SECONDS "invalid response in step #2" 61500 --mode stop-after=1
}
case_ap_stop_after_2() {
    ap_case ap-stop-after-2 $AP_SHORT_SECONDS "invalid response in step #3" 61500 --mode stop-after=2
}
case_ap_close_mid_script() {
    ap_case ap-close-mid-script $AP_SHORT_SECONDS "invalid response in step #2" 61500 \
        --mode close-mid-script=1
}
case_ap_trickle() {
    ap_case ap-trickle $AP_SHORT_SECONDS "invalid response in step #1" 61500 --mode trickle
}
case_ap_flood() {
    ap_case ap-flood $AP_SHORT_SECONDS "invalid response in step #1" 61500 \
        --mode flood --flood-bytes 100000000
}
case_ap_wrong_password() {
    ap_case ap-wrong-password $AP_SHORT_SECONDS "invalid response in step #2" 61500 \
        --mode wrong-password --max-wrong 0
}
case_ap_reset_during_answer() {
    ap_case ap-reset-during-answer $AP_SHORT_SECONDS "invalid response in step #2" 61500 \
        --mode reset-during-answer=1
}
case_ap_close_after_negotiation() {
    ap_case ap-close-after-negotiation 10 "invalid response in step #1" 61500 --mode close-mid-script=0
}
case_ap_close_after_step_2() {
    ap_case ap-close-after-step-2 10 "invalid response in step #3" 61500 --mode close-mid-script=2
}
