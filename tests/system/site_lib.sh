# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# The simulated site of the system tests (sourced): three network namespaces
# of the test's own, named after a random id, with nothing reachable beyond
# them:
#
#   inet: PREFIX.11-13 (the three marked hosts) --uplink-- site: pingvard --headless
#   ap:   192.168.168.1 (watched host 4, unmarked; the device on port 23) --lan-- site
#
# The test defines fail (prints and exits), keeps the processes it starts in
# the array pids and its files in $work, and sets its EXIT trap to
# 'site_exit FILES...'. Name lookups in every namespace stay there
# (scripts/shell_lib.sh).

# shellcheck source=scripts/shell_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/shell_lib.sh"

site_id=$(od -An -N4 -tx4 /dev/urandom | tr -d ' \n')
site=pv-$site_id-site inet=pv-$site_id-inet ap=pv-$site_id-ap

# wait_for SECONDS DESCRIPTION COMMAND...: fails the test when COMMAND has not
# succeeded within SECONDS.
wait_for() {
    local limit=$1 what=$2
    shift 2
    pv_wait_for "$limit" "$@" || fail "timed out after ${limit}s waiting for: $what"
}

# site_make PREFIX: the three namespaces and their links; the marked hosts are
# PREFIX.11 to PREFIX.13 (PREFIX as "10.211.0").
site_make() {
    local prefix=$1 ns host
    for ns in "$site" "$inet" "$ap"; do
        pv_ns_add "$ns"
        pv_ns_resolver "$ns"
    done
    # inetutils telnetd looks the client up before its first prompt.
    echo "192.168.168.2 site" >>"/etc/netns/$ap/hosts"
    pv_veth "$site" "u$site_id" "$inet" "U$site_id"
    pv_veth "$site" "a$site_id" "$ap" "A$site_id"
    ip -n "$site" addr add "$prefix.2/24" dev "u$site_id"
    ip -n "$site" addr add 192.168.168.2/24 dev "a$site_id"
    ip -n "$inet" addr add "$prefix.1/24" dev "U$site_id"
    for host in 11 12 13; do
        ip -n "$inet" addr add "$prefix.$host/24" dev "U$site_id"
    done
    ip -n "$ap" addr add 192.168.168.1/24 dev "A$site_id"
    ip -n "$site" link set "u$site_id" up
    ip -n "$site" link set "a$site_id" up
    ip -n "$inet" link set "U$site_id" up
    ip -n "$ap" link set "A$site_id" up
}

# The uplink hangs, and comes back (as after the device's restart).
site_cut_uplink() { ip -n "$inet" link set "U$site_id" down; }
site_restore_uplink() { ip -n "$inet" link set "U$site_id" up; }
site_uplink_up() { ip -n "$inet" -o link show "U$site_id" | grep -q '[<,]UP[,>]'; }
# The device's restart command (its --on-reset): the uplink comes back as soon
# as the device has confirmed. A test that restored it after polling a record
# could be later than the next MaxTimeouts failed rounds on a busy machine,
# and would see a second restart that a real device never causes.
site_restart_command() { printf '%q -n %q link set %q up' "$(command -v ip)" "$inet" "U$site_id"; }

# site_write_ini FILE PREFIX MAXTIMEOUTS INTERVAL TIMEOUT [ENTRY...]: the three
# marked hosts and the device (unmarked) as host 4, which is also the reset
# host, then the ENTRYs (Section/Key=value). Without a Guard/ entry among them
# the guard is off (HoldOff=0, MaxRounds=0), as the historic program was: each
# outage is acted on at once.
site_write_ini() {
    local file=$1 prefix=$2 timeout=$5 slot
    local entries=("Constants/MaxTimeouts=$3" "Constants/PingInterval=$4"
        ResetHost/Hostname=192.168.168.1)
    shift 5
    for slot in 1 2 3; do
        entries+=("Host$slot/DisplayName=inet-$slot" "Host$slot/Hostname=$prefix.1$slot"
            "Host$slot/Timeout=$timeout" "Host$slot/TimeoutDoReset=1")
    done
    entries+=(Host4/DisplayName=AP Host4/Hostname=192.168.168.1 "Host4/Timeout=$timeout"
        Host4/TimeoutDoReset=0 "$@")
    [[ " $* " == *" Guard/"* ]] || entries+=(Guard/HoldOff=0 Guard/MaxRounds=0)
    pv_write_ini "$file" "${entries[@]}"
}

# site_exit FILES...: the EXIT trap. Kills the test's processes and what is
# left in the namespaces (the device's daemons and consoles), deletes the
# namespaces, shows the end of each of FILES when the test failed, and
# removes $work unless PINGVARD_E2E_KEEP=1 keeps it for inspection.
# shellcheck disable=SC2154 # pids and work are the test's
site_exit() {
    local status=$? pid file
    for pid in "${pids[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    pv_ns_cleanup
    if ((status != 0)); then
        echo "--- failed; files of the run:"
        for file in "$@"; do
            [[ -f $file ]] && { echo "--- $file"; tail -n 40 "$file" | cat -v; }
        done
    fi
    if [[ ${PINGVARD_E2E_KEEP:-0} == 1 ]]; then
        echo "kept $work"
    else
        rm -rf "$work"
    fi
    exit "$status"
}
