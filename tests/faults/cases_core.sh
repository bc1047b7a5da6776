# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Monitoring-core faults: a resolver that never answers, and temporary files
# that killed configuration writes leave behind.

# ns_silent_resolver NS: name lookups in NS go to a name server on its own
# loopback whose queries are dropped on arrival (no answer, no ICMP error), as
# when the link to the resolver is down; the usual five seconds per try and two
# tries, so a lookup that nothing abandons hangs for ten seconds or more.
ns_silent_resolver() {
    local ns=$1
    PV_RESOLVER_TIMEOUT=5 PV_RESOLVER_ATTEMPTS=2 pv_ns_resolver "$ns"
    ip netns exec "$ns" nft add table inet pvdns &&
        ip netns exec "$ns" nft add chain inet pvdns in '{ type filter hook input priority 0; }' &&
        ip netns exec "$ns" nft add rule inet pvdns in udp dport 53 drop &&
        ip netns exec "$ns" nft add rule inet pvdns in tcp dport 53 drop
}

# Three watched hosts and the device are names nobody answers; host 4 answers.
# MaxTimeouts 1: the first failed round starts a reset session, whose connect
# then waits for the device's name too.
write_named_ini() {
    write_ini "$1" 1 100 ap.pingvard.invalid h1.pingvard.invalid h2.pingvard.invalid \
        h3.pingvard.invalid 127.0.0.1 300
}

# resolver_term NS DIR MODE EARLY [VAR=VALUE...]: starts the program in MODE
# (headless or desktop) with those variables twice, SIGTERM once EARLY seconds
# after the start (in the start-up lookups) and once with every worker and the
# session waiting for the resolver. Sets TERM_EARLY, TERM_LATE ("<status>
# <ms>"), FIRST_ROW_MS (headless: first figures of host 1, 0 when none) and
# RUNNING_EXE.
resolver_term() {
    local ns=$1 dir=$2 mode=$3 early=$4 pid t0 i
    shift 4
    local run=(ip netns exec "$ns" env "$@" "$PINGVARD" -C "$dir")
    [[ $mode == headless ]] && run+=(--headless)
    "${run[@]}" >"$dir/early.txt" 2>&1 </dev/null &
    pid=$!
    track "$pid"
    sleep "$early"
    stop_pingvard "$pid"
    TERM_EARLY=$STOP
    t0=$(now_ms)
    "${run[@]}" >"$dir/console.txt" 2>&1 </dev/null &
    pid=$!
    track "$pid"
    FIRST_ROW_MS=0
    for ((i = 0; i < 60; i++)); do
        if grep -q " host 1 ping=-" "$dir/console.txt"; then
            FIRST_ROW_MS=$(($(now_ms) - t0))
            break
        fi
        sleep 0.05
    done
    sleep 3
    RUNNING_EXE=$(readlink "/proc/$pid/exe")
    stop_pingvard "$pid"
    TERM_LATE=$STOP
}

check_early_stop() {
    [[ ${1%% *} == 0 || ${1%% *} == 143 ]] && ((${1#* } <= 1500))
}

case_resolver_silent_headless() {
    local name=resolver-silent-headless dir=$FAULT_WORK/resolver-headless ns=pvf-sdns-$$
    mkdir -p "$dir"
    CHECK_FAILS=""
    ns_create "$ns" && ns_silent_resolver "$ns" || { result "$name" FAIL "namespace"; return; }
    write_named_ini "$dir"
    resolver_term "$ns" "$dir" headless 0.2
    # Start-up waits 500 ms for the names, the first echo 100 ms later, and
    # the echo (its lookup included) takes its Timeout of 300 ms.
    expect "first figures of host 1 within 1500 ms ($FIRST_ROW_MS ms)" test "$FIRST_ROW_MS" -gt 0 -a "$FIRST_ROW_MS" -le 1500
    expect "a reset session was started" grep -q "status Trying to reset" "$dir/console.txt"
    expect "exit 0 within 1500 ms of SIGTERM during start-up ($TERM_EARLY)" check_stop "$TERM_EARLY" 1500
    expect "exit 0 within 1500 ms of SIGTERM in the lookups ($TERM_LATE)" check_stop "$TERM_LATE" 1500
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "first figures after ${FIRST_ROW_MS}ms; stop during start-up: status ${TERM_EARLY% *} after ${TERM_EARLY#* }ms, in the lookups: status ${TERM_LATE% *} after ${TERM_LATE#* }ms$CHECK_FAILS"
}

case_resolver_silent_desktop() {
    local name=resolver-silent-desktop dir=$FAULT_WORK/resolver-desktop ns=pvf-sdnsd-$$
    mkdir -p "$dir"
    CHECK_FAILS=""
    if [[ ! -x ${PINGVARD%/*}/pingvard-desktop ]] || ! command -v Xvfb >/dev/null; then
        result "$name" PASS "skipped: no pingvard-desktop or Xvfb"
        return
    fi
    ns_create "$ns" && ns_silent_resolver "$ns" || { result "$name" FAIL "namespace"; return; }
    write_named_ini "$dir"
    # A display of its own (the program reaches it through its socket file).
    pv_start_xvfb "$dir" 640x480x24 || { result "$name" FAIL "Xvfb did not start"; return; }
    track "$PV_XVFB_PID"
    local display=$PV_DISPLAY
    mkdir -m 700 "$dir/runtime"
    FAULT_FILES+=("/tmp/.X11-unix/X$display" "/tmp/.X$display-lock")
    resolver_term "$ns" "$dir" desktop 0.5 DISPLAY=":$display" QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY= \
        DBUS_SESSION_BUS_ADDRESS= XDG_RUNTIME_DIR="$dir/runtime"
    expect "the desktop program ran ($RUNNING_EXE)" eq "${RUNNING_EXE##*/}" pingvard-desktop
    # Before Qt is up the signal's default action ends it (status 143): as quick.
    expect "exit within 1500 ms of SIGTERM during start-up ($TERM_EARLY)" check_early_stop "$TERM_EARLY"
    expect "exit 0 within 1500 ms of SIGTERM in the lookups ($TERM_LATE)" check_stop "$TERM_LATE" 1500
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "stop during start-up: status ${TERM_EARLY% *} after ${TERM_EARLY#* }ms, in the lookups: status ${TERM_LATE% *} after ${TERM_LATE#* }ms$CHECK_FAILS"
}

# Leftovers of killed writes next to pingvard.ini: the next start removes the
# store's own old ones and nothing else.
case_stale_temp_files() {
    local name=stale-temp-files dir=$FAULT_WORK/stale-temp ns=pvf-stale-$$
    mkdir -p "$dir"
    CHECK_FAILS=""
    ns_create "$ns" || { result "$name" FAIL "namespace"; return; }
    write_ini "$dir" 2 100 127.0.0.1 127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4
    local f
    for f in .pingvard.ini.Ab12Cd .pingvard.ini.zz99ZZ .pingvard.ini.Fresh1 .pingvard.ini.Ab12C \
        .pingvard.ini.Ab12Cde .pingvard.log.Ab12Cd; do
        printf '[Constants]\nMaxTim' >"$dir/$f"
    done
    touch -d '-2 minutes' "$dir"/.pingvard.ini.Ab12Cd "$dir"/.pingvard.ini.zz99ZZ \
        "$dir"/.pingvard.ini.Ab12C "$dir"/.pingvard.ini.Ab12Cde "$dir"/.pingvard.log.Ab12Cd
    start_pingvard "$ns" "$dir"
    local pid=$PINGVARD_PID i
    for ((i = 0; i < 100; i++)); do
        grep -q " host 4 " "$dir/console.txt" && break
        sleep 0.05
    done
    stop_pingvard "$pid"
    local left=""
    for f in "$dir"/.pingvard*; do
        [[ -e $f ]] && left+="${f##*/} "
    done
    expect "only the old leftovers of the pattern removed ($left)" \
        eq "$left" ".pingvard.ini.Ab12C .pingvard.ini.Ab12Cde .pingvard.ini.Fresh1 .pingvard.log.Ab12Cd "
    local verdict=PASS
    [[ -z $CHECK_FAILS ]] || verdict=FAIL
    result "$name" "$verdict" "kept: $left$CHECK_FAILS"
}
