# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Shell helpers shared by the lab, the end-to-end and fault-injection tests and
# the benchmarks (sourced, never run): network namespaces with a resolver of
# their own and their removal, a bounded wait, skipping a test that cannot
# run here, and writing a pingvard.ini.
#
# A namespace made here has only its loopback, and its resolver lives on that
# loopback: nothing here can send a packet off this machine. Links between
# namespaces are the caller's, made with pv_veth inside its own namespaces.

# Milliseconds since 1970.
pv_now_ms() { date +%s%3N; }

# pv_wait_for SECONDS CMD...: runs CMD every 50 ms until it succeeds; status 1
# when it has not after SECONDS.
pv_wait_for() {
    local deadline=$(($(pv_now_ms) + $1 * 1000))
    shift
    until "$@"; do
        (($(pv_now_ms) < deadline)) || return 1
        sleep 0.05
    done
}

# pv_quietly CMD...: CMD with its output dropped.
pv_quietly() { "$@" >/dev/null 2>&1; }

# Skipping a test that cannot run here: the reason on stdout and status 77,
# which ctest counts as skipped (SKIP_RETURN_CODE). The line names the script.
pv_skip() {
    echo "$(basename "$0" .sh): SKIP: $*"
    exit 77
}
# pv_require_root WHAT: skips unless root, saying what needs it.
pv_require_root() { [[ $(id -u) -eq 0 ]] || pv_skip "needs root: $*"; }
# pv_require_tools TOOL...: skips when a tool is not installed.
pv_require_tools() {
    local tool
    for tool; do
        command -v "$tool" >/dev/null || pv_skip "$tool is missing (scripts/deps.sh installs it)"
    done
}

# The namespaces pv_ns_add made in this shell, for pv_ns_cleanup.
PV_NAMESPACES=()

# pv_ns_add NAME: a namespace with only its loopback up.
pv_ns_add() {
    ip netns add "$1" || return 1
    PV_NAMESPACES+=("$1")
    ip -n "$1" link set lo up
}

# pv_ns_resolver NAME [HOSTS-LINE...]: name lookups inside NAME stay there:
# ip netns exec puts /etc/netns/NAME/ over /etc, where resolv.conf names a
# server on the namespace's own loopback (nothing answers unless the caller
# starts one; each try waits PV_RESOLVER_TIMEOUT seconds, 1 by default, two
# tries with PV_RESOLVER_ATTEMPTS=2) and hosts knows localhost and the lines
# given.
pv_ns_resolver() {
    local ns=$1 line
    shift
    mkdir -p "/etc/netns/$ns"
    printf 'nameserver 127.0.0.1\noptions timeout:%s attempts:%s\n' \
        "${PV_RESOLVER_TIMEOUT:-1}" "${PV_RESOLVER_ATTEMPTS:-1}" >"/etc/netns/$ns/resolv.conf"
    {
        echo "127.0.0.1 localhost"
        for line in "$@"; do echo "$line"; done
    } >"/etc/netns/$ns/hosts"
}

# pv_veth NS1 IF1 NS2 IF2: a veth pair with IF1 in NS1 and IF2 in NS2, both
# made inside the namespaces (never in the caller's).
pv_veth() { ip -n "$1" link add "$2" type veth peer name "$4" netns "$3"; }

# pv_ns_delete NAME: kills every process still in NAME, deletes it and its
# /etc/netns entry. Safe to repeat, and for a namespace that never existed.
pv_ns_delete() {
    local pid
    for pid in $(ip netns pids "$1" 2>/dev/null); do
        kill -KILL "$pid" 2>/dev/null || true
    done
    ip netns del "$1" 2>/dev/null || true
    rm -rf "/etc/netns/$1"
}

# pv_ns_cleanup: pv_ns_delete for every namespace pv_ns_add made here.
pv_ns_cleanup() {
    local ns
    for ns in "${PV_NAMESPACES[@]}"; do
        pv_ns_delete "$ns"
    done
    PV_NAMESPACES=()
}

# pv_write_ini FILE ENTRY...: a pingvard.ini of mode 0600 (it may hold the
# device password) from "Section/Key=Value" entries: each section where its
# first entry stands, its keys in the order given.
pv_write_ini() {
    local file=$1 entry section
    local -a sections=()
    local -A keys=()
    shift
    for entry in "$@"; do
        section=${entry%%/*}
        [[ -v "keys[$section]" ]] || sections+=("$section")
        keys[$section]+=${entry#*/}$'\n'
    done
    (
        umask 077
        for section in "${sections[@]}"; do
            printf '[%s]\n%s' "$section" "${keys[$section]}"
        done >"$file"
    )
    chmod 600 "$file"
}

# pv_start_xvfb DIR GEOMETRY: Xvfb on a display number of this run's own; sets
# PV_DISPLAY (the number) and PV_XVFB_PID; status 1 when no server started.
# Writes DIR/display and DIR/xvfb.log. PV_DISPLAYS="FIRST LAST" keeps the
# numbers within a range (a machine shared by several people).
#
# Not -displayfd alone: while it looks for a free number, an X server creates
# each candidate's sockets before it holds that number's lock, and the X
# transport code of some versions unlinks an existing file socket first, so a
# parallel run loses its display. A client in another network namespace (the
# program under test) reaches a server only through that file. An explicit
# number takes the server's lock first and gives up cleanly when the number is
# in use; -displayfd then only tells when the server is ready.
pv_start_xvfb() {
    local dir=$1 geometry=$2 n pid first last
    read -r first last <<<"${PV_DISPLAYS:-$((100 + $$ % 800)) 999}"
    for ((n = first; n <= last; n++)); do
        [[ -e /tmp/.X$n-lock ]] && continue
        : >"$dir/display"
        Xvfb ":$n" -displayfd 3 -screen 0 "$geometry" -nolisten tcp \
            3>"$dir/display" 2>"$dir/xvfb.log" &
        pid=$!
        # Ready, or gone because another server holds the number.
        pv_wait_for 10 eval "test -s '$dir/display' || ! kill -0 $pid 2>/dev/null"
        if [[ -s $dir/display ]]; then
            # shellcheck disable=SC2034 # for the caller
            PV_DISPLAY=$n PV_XVFB_PID=$pid
            return 0
        fi
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    return 1
}

# pv_prometheus_config FILE PORT: a Prometheus configuration that scrapes
# 127.0.0.1:PORT every second.
pv_prometheus_config() {
    cat >"$1" <<YAML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: pingvard
    static_configs:
      - targets: ['127.0.0.1:$2']
YAML
}
