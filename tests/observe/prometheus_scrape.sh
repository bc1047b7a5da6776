#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real Prometheus server scrapes the metrics listener inside a network
# namespace this script creates (only its loopback, so nothing leaves the
# machine); promtool checks the exposition text, and every figure the fixture
# fed in must come back through Prometheus' query API. Needs root; skips with
# status 77 without it or without the Prometheus tools.
set -euo pipefail
fixture=${1:?usage: prometheus_scrape.sh METRICS_FIXTURE}

# shellcheck source=scripts/shell_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/shell_lib.sh"
pv_require_root "creates a network namespace"
pv_require_tools prometheus promtool curl jq ip
ns=pvobs-$$-$RANDOM
work=$(mktemp -d /tmp/pvobs-prom-XXXXXX)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    pv_ns_cleanup
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log; do
        [[ -s $log ]] && { echo "--- $log"; tail -20 "$log"; } >&2
    done
    exit 1
}

pv_ns_add "$ns" && pv_ns_resolver "$ns" || fail "cannot create the namespace $ns"
in_ns() { ip netns exec "$ns" "$@"; }

in_ns "$fixture" 127.0.0.1 9770 >"$work/expected" 2>"$work/fixture.log" &
pids+=($!)
pv_wait_for 10 grep -qx ready "$work/expected" || fail "the metrics fixture did not start"

in_ns curl -sf http://127.0.0.1:9770/metrics >"$work/metrics.txt" || fail "no /metrics"
promtool check metrics <"$work/metrics.txt" >"$work/promtool.log" 2>&1 ||
    fail "promtool check metrics found problems"

pv_prometheus_config "$work/prometheus.yml" 9770
in_ns prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address=127.0.0.1:9090 >"$work/prometheus.log" 2>&1 &
pids+=($!)

query() { # PROMQL -> the summed value of its result, or empty
    in_ns curl -sf http://127.0.0.1:9090/api/v1/query --data-urlencode "query=sum($1)" |
        jq -r '.data.result[0].value[1] // empty'
}
scraped() { [[ $(query 'up{job="pingvard"}' 2>/dev/null) == 1 ]]; }
pv_wait_for 30 scraped || fail "Prometheus did not scrape the listener"

checked=0
while IFS=$'\t' read -r promql value; do
    [[ $promql == ready ]] && continue
    got=$(query "$promql")
    [[ $got == "$value" ]] || fail "$promql: Prometheus says '${got}', the fixture fed $value"
    checked=$((checked + 1))
done <"$work/expected"
echo "PASS: Prometheus scraped the listener; promtool is content; $checked figures agree"
