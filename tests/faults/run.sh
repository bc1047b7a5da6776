#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fault-injection suite: runs the headless program and the access-point
# simulator inside network namespaces it creates (and deletes, also on failure
# or interruption) and checks each fault's expected outcome, that nothing the
# design keeps is lost, that nothing hangs beyond the design's bounds and that
# memory stays bounded.
#
#   tests/faults/run.sh [--short | --full | --soak] [--build DIR] [CASE...]
#
# --short (default) takes about five minutes: the slow access-point cases run in
# parallel, each in its own namespaces. --full runs every case with longer
# durations (about 20 minutes); --soak runs the one-hour soak alone (set
# SOAK_SECONDS to change it). CASE names a function of cases_*.sh without its
# "case_" prefix. Results: one line per case on stdout and in
# <work>/results.txt; exit 1 when any case failed, 77 when not run as root.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mode=short
build=$root/build/dev
cases=()
while (($#)); do
    case $1 in
    --short | --full | --soak) mode=${1#--} ;;
    --build) build=$2; shift ;;
    *) cases+=("$1") ;;
    esac
    shift
done

if [[ $(id -u) -ne 0 ]]; then
    echo "faults: skipped: needs root (network namespaces, tmpfs mounts, raw ICMP sockets)"
    exit 77
fi
PINGVARD=$build/app/pingvard
APSIM=$build/tools/pingvard-apsim
HTTP_ABUSE=$build/bench/http_abuse
for exe in "$PINGVARD" "$APSIM" "$HTTP_ABUSE"; do
    [[ -x $exe ]] || { echo "faults: $exe not built" >&2; exit 1; }
done
for tool in ip nft flock ss; do
    command -v "$tool" >/dev/null || { echo "faults: $tool missing (scripts/deps.sh)" >&2; exit 1; }
done

# shellcheck source=tests/faults/lib.sh
source "$here/lib.sh"
for f in "$here"/cases_*.sh; do
    # shellcheck disable=SC1090 # each cases_*.sh is checked on its own
    source "$f"
done

fault_sweep_stale
FAULT_WORK=$(mktemp -d "/tmp/pingvard-faults-$$.XXXXXX")
FAULT_RESULTS=$FAULT_WORK/results.txt
: >"$FAULT_RESULTS"
export FAULT_WORK FAULT_RESULTS PINGVARD APSIM HTTP_ABUSE
trap 'fault_cleanup' EXIT
trap 'exit 130' INT TERM

# run_case NAME: one case in a subshell with its own cleanup.
run_case() {
    (
        # A clean record of what this case makes, for its own fault_cleanup.
        # shellcheck disable=SC2034
        FAULT_PIDS=() PV_NAMESPACES=() FAULT_MOUNTS=() FAULT_FILES=()
        trap 'fault_cleanup' EXIT
        "case_$1"
    )
}

slow_ap=(ap_silent ap_stop_after_1 ap_stop_after_2 ap_close_mid_script ap_trickle ap_flood
    ap_wrong_password ap_reset_during_answer
    ap_console_0 ap_console_20 ap_console_200 ap_console_1000 ap_chatter ap_abort_on_reset)
quick=(ap_ok ap_refuse ap_split_bytes ap_iac_storm ap_close_after_negotiation ap_close_after_step_2
    file_readonly_ini file_log_locked file_comm_log_directory file_tmpfs_full file_log_torn
    config_huge_ini history_locked
    resolve_failing term_connecting term_waiting term_mid_script term_trickle term_flood term_split
    term_random kill_during_save hosts_flapping hosts_all_down hosts_interval_zero)
# Monitoring-core cases (cases_core.sh).
quick+=(resolver_silent_headless resolver_silent_desktop stale_temp_files)
# Listener cases (cases_listener.sh).
quick+=(listener_idle listener_slowloris listener_burst listener_module_missing)

echo "faults: $mode run, work directory $FAULT_WORK"
started=$(date +%s)
if ((${#cases[@]})); then
    for c in "${cases[@]}"; do
        run_case "$c"
    done
elif [[ $mode == soak ]]; then
    run_case soak
else
    if [[ $mode == full ]]; then
        export INTERVAL0_SECONDS=600 ALLDOWN_SECONDS=300 TERM_RUNS=50 KILL_RUNS=100
    else
        export INTERVAL0_SECONDS=30 ALLDOWN_SECONDS=30 TERM_RUNS=10 KILL_RUNS=20
    fi
    # The 60-second access-point cases wait for the session limit: run them side
    # by side while the other cases run one after another.
    pids=()
    for c in "${slow_ap[@]}"; do
        run_case "$c" &
        pids+=($!)
    done
    for c in "${quick[@]}"; do
        run_case "$c"
    done
    for p in "${pids[@]}"; do
        wait "$p"
    done
fi

total=$(wc -l <"$FAULT_RESULTS")
failed=$(grep -c '|FAIL|' "$FAULT_RESULTS")
took=$(($(date +%s) - started))
if ((failed == 0)) && ! grep -q '|KNOWN|' "$FAULT_RESULTS"; then
    # The details only matter when something failed (or the run was cut short,
    # which skips this line and keeps them).
    rm -rf "$FAULT_WORK"
    echo "faults: $total cases, none failed, $took s"
    exit 0
fi
echo "faults: $total cases, $failed failed, $took s; details kept in $FAULT_WORK"
((failed == 0)) # a known fault alone does not fail the run
