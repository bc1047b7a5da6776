#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Desktop notifications reaching a real notification daemon: dunst on a
# virtual X display and a private session bus. The fixture publishes one of
# each monitor event from a thread of its own through the real notifier; the
# daemon's own history must then hold exactly the notifications the
# [Notifications] settings allow, with their texts, the failure as critical,
# the host's "up" in place of its "down", and markup characters escaped for a
# daemon that reads markup. Without the daemon on the bus the tray's balloon
# must stand in, said once.
#
# Then the real pingvard-desktop, in a network namespace of this run with only
# its loopback, watches one marked host without a route: the site going down
# must reach dunst, once.
#
# Usage: notify_e2e.sh NOTIFY_FIXTURE [SCREENSHOT_DIR] [PINGVARD_DESKTOP]
# Exit status: 0 passed, 1 failed, 77 skipped (a tool missing).
set -euo pipefail

fixture=${1:?usage: notify_e2e.sh NOTIFY_FIXTURE [SCREENSHOT_DIR]}
shots=${2:-}
desktop=${3:-}

# shellcheck source=tests/ui/desktop_e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/desktop_e2e_lib.sh"
pv_require_tools Xvfb dunst dunstctl dbus-daemon dbus-send dbus-monitor jq trayer
begin_run pingvard-notify "$fixture" fixture
bus="$work/bus"

cleanup() {
  end_own_processes
  rm -rf "$work"
}
on_exit cleanup

# --- display, bus, daemon, bus recorder ----------------------------------------
start_desktop
unset WAYLAND_DISPLAY
# The daemon below is the only notification service there is.
start_session_bus

dbus-monitor --session >"$work/monitor.log" 2>&1 &
pids+=($!)
# dunst reads no configuration of the user's here: the packaged defaults.
dunst >"$work/dunst.log" 2>&1 &
dunst_pid=$!
pids+=("$dunst_pid")
wait_for 10 bus_has org.freedesktop.Notifications || fail "dunst did not take the notification service"

# The daemon's own record: what it holds, newest first, as summary|body lines.
history_lines() {
  dunstctl close-all
  wait_for 2 test "$(dunstctl count displayed)" = 0 || fail "dunst kept notifications shown"
  dunstctl history | jq -r '.data[0][] | .summary.data + "|" + .body.data'
}
ini() { # RuleFired ActionOutcome HostDown HostUp
  printf '[Notifications]\nRuleFired=%s\nActionOutcome=%s\nHostDown=%s\nHostUp=%s\n' "$@" \
    >"$work/pingvard.ini"
}
run_fixture() { # name [--tray]; in UTC, the zone of the fixture's incident times
  TZ=UTC timeout 60 "$fixture" "$work/pingvard.ini" "${@:2}" >"$work/$1.out" 2>"$work/$1.log" ||
    fail "the fixture failed ($1)"
}

# --- every kind switched on ------------------------------------------------------
step "every kind on"
ini 1 1 1 1
run_fixture all
[[ $(grep -c '^delivered ' "$work/all.out") == 8 ]] || fail "not 8 notifications delivered"
grep -q '^balloon ' "$work/all.out" && fail "a balloon although the service is there"
down_id=$(awk '/^delivered .* neodpovídá$/ { print $2 }' "$work/all.out")
up_id=$(awk '/^delivered .* opět odpovídá$/ { print $2 }' "$work/all.out")
[[ -n $down_id && $down_id == "$up_id" ]] || fail "the host's up ($up_id) did not replace its down ($down_id)"
if [[ -n $shots ]]; then
  mkdir -p "$shots"
  import -window root -crop 330x240+465+40 "$shots/notification.png" 2>/dev/null || true
fi
history_lines >"$work/history-all.txt"
expected_all=$(
  cat <<'EOF'
www.geant.org opět odpovídá|Host 203.0.113.30 znovu odpovídá na ozvěny.
Obnova plug (http) proběhla|Power cycle OK (plug) &lt;off 10 s&gt; &amp; on
Obnova telnet selhala|Unable to reset, invalid response in step #2
Výpadek sítě (uplink)|Neodpovídá: 203.0.113.11, 203.0.113.12
Spouští se obnova telnet|Mimo provoz od 03:12: uplink
Restarty pozastaveny do 14:05|Mimo provoz od 03:12: uplink
Síť opět funguje po 6 min (obnovil plug)|Příčina: uplink, kroků obnovy: 2
EOF
)
# dunst lists its history newest first, but orders notifications of the same
# second as it likes: compare as sets.
diff <(sort "$work/history-all.txt") <(sort <<<"$expected_all") >&2 ||
  fail "dunst's history is not the seven notifications expected (the down replaced by the up)"
# The failure asked to be critical; the rest normal.
notify_has() { # summary pattern: the Notify call with that summary has the pattern
  awk -v summary="string \"$1\"" -v pattern="$2" '
    /member=Notify$/ { block = "" }
    { block = block $0 "\n" }
    /int32 -1$/ && index(block, summary) && block ~ pattern { found = 1 }
    END { exit !found }' "$work/monitor.log"
}
notify_has "Obnova telnet selhala" "byte 2" || fail "the failed recovery was not sent as critical"
notify_has "Výpadek sítě (uplink)" "byte 2" || fail "the site down was not sent as critical"
[[ $(grep -c 'variant  *byte 1' "$work/monitor.log") == 5 ]] || fail "not five normal notifications"

# --- two kinds switched off ------------------------------------------------------
step "outcomes and host down off"
ini 1 0 0 1
run_fixture some
[[ $(grep -c '^delivered ' "$work/some.out") == 4 ]] || fail "not 4 notifications delivered"
history_lines >"$work/history-some.txt"
head -n 4 "$work/history-some.txt" | sort >"$work/new.txt"
sort >"$work/expected-some.txt" <<'EOF'
Výpadek sítě (uplink)|Neodpovídá: 203.0.113.11, 203.0.113.12
Restarty pozastaveny do 14:05|Mimo provoz od 03:12: uplink
www.geant.org opět odpovídá|Host 203.0.113.30 znovu odpovídá na ozvěny.
Síť opět funguje po 6 min (obnovil plug)|Příčina: uplink, kroků obnovy: 2
EOF
diff "$work/new.txt" "$work/expected-some.txt" >&2 ||
  fail "switched-off kinds reached dunst, or switched-on ones did not"
[[ $(wc -l <"$work/history-some.txt") == 11 ]] || fail "dunst's history did not grow by exactly 4"
[[ $(grep -c 'member=Notify$' "$work/monitor.log") == 12 ]] || fail "not 12 Notify calls on the bus"

# --- the real program -----------------------------------------------------------------
if [[ -n $desktop && $(id -u) -eq 0 ]]; then
  step "pingvard-desktop's site down reaches dunst, once"
  # shellcheck source=scripts/shell_lib.sh
  source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/shell_lib.sh"
  ns=pvnotify-$$-$RANDOM
  pv_ns_add "$ns" && pv_ns_resolver "$ns" || fail "cannot create the namespace $ns"
  trap 'pv_ns_cleanup; cleanup' EXIT
  mkdir -p "$work/real"
  entries=(Constants/MaxTimeouts=2 Constants/PingInterval=200 ResetHost/Hostname=127.0.0.1
    Notifications/RuleFired=1 Notifications/ActionOutcome=0 History/Enabled=0)
  for n in 1 2 3 4; do
    entries+=("Host$n/Hostname=127.0.0.$n" "Host$n/Timeout=300" "Host$n/TimeoutDoReset=0")
  done
  entries[-1]=Host4/TimeoutDoReset=1
  entries[-3]=Host4/Hostname=192.0.2.1
  pv_write_ini "$work/real/pingvard.ini" "${entries[@]}"
  before=$(dunstctl count history)
  ip netns exec "$ns" "$desktop" --lang cs -C "$work/real" >"$work/real.log" 2>&1 &
  pids+=($!)
  rule_shown() { [[ $(dunstctl count history) -gt $before || $(dunstctl count displayed) -gt 0 ]]; }
  wait_for 15 rule_shown || fail "no notification from pingvard-desktop reached dunst"
  sleep 2 # ten more intervals: the rule holds on, the incident is said once
  history_lines >"$work/history-real.txt"
  [[ $(grep -cx 'Výpadek sítě (uplink)|Neodpovídá: 192.0.2.1' "$work/history-real.txt") == 1 ]] ||
    fail "pingvard-desktop did not say the site going down once: $(cat "$work/history-real.txt")"
  [[ $(wc -l <"$work/history-real.txt") == $((before + 1)) ]] ||
    fail "pingvard-desktop said more than the site going down: $(cat "$work/history-real.txt")"
  kill "${pids[-1]}"
  wait "${pids[-1]}" 2>/dev/null || true
  unset 'pids[-1]'
fi

# --- no notification service: the balloon -----------------------------------------
step "no service on the bus: Qt's balloon in trayer's notification area"
kill "$dunst_pid"
wait "$dunst_pid" 2>/dev/null || true
wait_for 5 not bus_has org.freedesktop.Notifications || fail "dunst still holds the service"
trayer --edge top --align right --widthtype request --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)
ini 1 1 1 1
run_fixture none --tray
[[ $(grep -c '^balloon-shown ' "$work/none.out") == 8 ]] || fail "not 8 balloons shown without the service"
grep -q '^delivered ' "$work/none.out" && fail "delivered without a service"
[[ $(grep -c '^diagnostic no desktop notification service' "$work/none.out") == 1 ]] ||
  fail "the fallback was not said exactly once"

step "PASS: notifications reached dunst as the settings chose; the balloon stood in without it"
