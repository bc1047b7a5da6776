#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The shipped dashboard and alerting rules against the real program, whose
# scrape promtool checks as well. The dashboard's JSON parses; each of its queries is valid PromQL (promtool
# checks them as recording rules, Grafana's variables filled in); and every
# metric a query or a rule names is one that a live scrape of the real
# headless program shows, in a network namespace this script creates (its
# loopback only). The rules may also name Prometheus' own `up`, their own
# recorded series, and pingvard_site_state (0 up, 1 degraded, 2 down), which
# the monitor is to export.
#   dashboard_check.sh PINGVARD DASHBOARD RULES   (root; 77 without it or the tools)
set -euo pipefail
pingvard=$(readlink -f "${1:?usage: dashboard_check.sh PINGVARD DASHBOARD RULES}")
dashboard=${2:?} rules=${3:?}
readonly pending_metrics=" pingvard_site_state "

# shellcheck source=scripts/shell_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/shell_lib.sh"
pv_require_tools jq promtool curl ip
work=$(mktemp -d /tmp/pvdash-XXXXXX)
pid=
cleanup() {
    [[ -n $pid ]] && { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }
    pv_ns_cleanup
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Every query: the panels' and the variables' (label_values(SELECTOR, label)
# is Grafana's own; its selector is PromQL).
jq -e '.panels | length > 0' "$dashboard" >/dev/null || fail "$dashboard does not parse or has no panels"
jq -r '[.. | objects | select(has("expr")) | .expr] + [.templating.list[].definition] | .[]' \
    "$dashboard" | sed -E 's/^label_values\((.*), *[a-z_]+\)$/\1/' >"$work/queries"
[[ -s $work/queries ]] || fail "no queries in $dashboard"
{
    printf 'groups:\n  - name: dashboard\n    rules:\n'
    n=0
    while IFS= read -r query; do
        n=$((n + 1))
        query=${query//\$__rate_interval/5m}
        query=${query//\$instance/.+}
        query=${query//\$slot/.+}
        printf '      - record: dashboard:query_%d\n        expr: %s\n' "$n" "$(jq -Rn --arg q "$query" '$q')"
    done <"$work/queries"
} >"$work/dashboard-rules.yml"
promtool check rules "$work/dashboard-rules.yml" >"$work/promtool.log" 2>&1 ||
    fail "the dashboard's queries are not all PromQL: $(cat "$work/promtool.log")"

pv_require_root "for the live scrape (a network namespace); the queries parse"
# The program with every family shown: hosts 1-3 answer, host 4 (the only
# marked one) has no route, so the rule fires and a step fails against a
# reset host where nothing listens.
ns=pvdash-$$-$RANDOM
pv_ns_add "$ns" && pv_ns_resolver "$ns" || fail "cannot create the namespace $ns"
entries=(Constants/MaxTimeouts=2 Constants/PingInterval=200 ResetHost/Hostname=127.0.0.1
    History/Enabled=0 Metrics/Enabled=1 Metrics/Address=127.0.0.1 Metrics/Port=9770)
for n in 1 2 3 4; do
    host=127.0.0.$n mark=0
    ((n == 4)) && host=192.0.2.1 mark=1
    entries+=("Host$n/Hostname=$host" "Host$n/Timeout=300" "Host$n/TimeoutDoReset=$mark")
done
pv_write_ini "$work/pingvard.ini" "${entries[@]}"
ip netns exec "$ns" "$pingvard" --headless -C "$work" >"$work/console.log" 2>&1 </dev/null &
pid=$!
scrape() { ip netns exec "$ns" curl -sf --max-time 2 http://127.0.0.1:9770/metrics >"$work/scrape.txt"; }
every_family() { scrape && grep -q '^pingvard_recovery_outcomes_total{' "$work/scrape.txt"; }
pv_wait_for 30 every_family || fail "no scrape with a recovery outcome: $(tail -5 "$work/console.log")"
promtool check metrics <"$work/scrape.txt" >"$work/check-metrics.log" 2>&1 ||
    fail "promtool check metrics: $(cat "$work/check-metrics.log")"

# The names a query may use: each family, with its histogram's or summary's series.
exported=" "
while read -r _ _ name type; do
    exported+="$name "
    case $type in
    histogram) exported+="${name}_bucket ${name}_sum ${name}_count " ;;
    summary) exported+="${name}_sum ${name}_count " ;;
    esac
done < <(grep '^# TYPE ' "$work/scrape.txt")

# metric_names FILE: every metric a query names: a selector before '{' and
# any name of ours.
metric_names() {
    { grep -oE '[a-zA-Z_:][a-zA-Z0-9_:]*\{' "$1" | tr -d '{' &&
        grep -oE '\b(pingvard|exposer)[_:][a-z0-9_:]*' "$1"; } | sort -u
}
checked=0
for name in $(metric_names "$work/queries"); do
    [[ $exported == *" $name "* ]] || fail "the dashboard queries $name, which the program does not export"
    checked=$((checked + 1))
done
recorded=" $(sed -n 's/^ *- record: //p' "$rules" | tr '\n' ' ') "
grep -vE '^\s*#|^\s*(summary|description):' "$rules" >"$work/rule-exprs"
for name in $(metric_names "$work/rule-exprs"); do
    [[ $exported == *" $name "* || $recorded == *" $name "* || $name == up ||
        $pending_metrics == *" $name "* ]] ||
        fail "the rules name $name, which the program does not export"
    checked=$((checked + 1))
done
echo "PASS: $(wc -l <"$work/queries") dashboard queries parse; $checked metric names, all exported" \
    "(the rules also await:$pending_metrics)"
