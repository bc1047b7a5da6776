#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The settings dialog end to end through the accessibility tree: the real
# pingvard-desktop in a network namespace with only loopback, Qt's AT-SPI
# bridge on, at-spi2-core's bus launcher on the test's private session bus,
# and python3-pyatspi finding each control by its role and accessible name.
#
#  1. An http action made in the recovery page (preset shelly2, the plug
#     simulator's host and port, a password); Test: the simulator records
#     the request and the page shows the outcome. OK: pingvard.ini holds the
#     section, the password with the file private (0600). The hosts cut: the
#     running monitor power cycles the plug at its next round.
#     The same for an ssh action against OpenSSH's sshd: Fetch key shows
#     the server's fingerprint, pinned once confirmed; Test runs the command.
#  2. An interval out of range refused with the field and its range named;
#     a name that does not resolve marked, kept only once confirmed; a long
#     display name cut with "…" and whole in its tooltip.
#  3. At scale factor 2 on a 1024x768 screen (English), the observers and
#     recovery windows lie within the screen.
# Screenshots of the pages, Czech and English, go to SCREENSHOT_DIR.
#
# Usage: settings_atspi_e2e.sh PINGVARD_DESKTOP PLUGSIM [SCREENSHOT_DIR]
# Exit status: 0 passed, 1 failed, 77 skipped (not root or a tool missing).
set -euo pipefail

desktop=${1:?usage: settings_atspi_e2e.sh PINGVARD_DESKTOP PLUGSIM [SCREENSHOT_DIR]}
plugsim=${2:?usage: settings_atspi_e2e.sh PINGVARD_DESKTOP PLUGSIM [SCREENSHOT_DIR]}
shots=${3:-}
[[ -z $shots ]] || mkdir -p "$shots"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# shellcheck source=tests/ui/desktop_e2e_lib.sh
source "$here/desktop_e2e_lib.sh"
pv_require_root "it creates a network namespace"
pv_require_tools Xvfb openbox dbus-daemon dbus-send xdotool xwininfo xdpyinfo xprop import ip nft
require_accessibility
[[ -x $plugsim ]] || fail "no plug simulator at $plugsim"
begin_run pingvard-a11y "$desktop"
bus="$work/bus"
failure_shot=failure-atspi.png
cleanup() {
  end_own_processes
  pv_ns_delete "$ns"
  rm -rf "$work"
}
on_exit cleanup

mkdir -m 700 "$work/runtime"
mkdir -p "$work/home" "$work/config" "$work/run"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config"
# Under AddressSanitizer: libxkbcommon-x11 hands strndup a string without its
# terminator, which the strict string check reports inside Qt's start-up.
if [[ -n ${ASAN_OPTIONS:-} ]]; then
  export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
pv_start_xvfb "$work" 1024x768x24 || fail "Xvfb did not start"
pids+=("$PV_XVFB_PID")
export DISPLAY=":$PV_DISPLAY" GSETTINGS_BACKEND=memory
start_session_bus
start_accessibility_bus
# A window manager: dialogs placed and framed as on a desktop, and the
# keyboard going to the active window.
start_window_manager

program_namespace "$ns" || fail "cannot create the namespace $ns"
cat >"$work/run/pingvard.ini" <<'EOF2'
[Constants]
MaxTimeouts=5
PingInterval=500
[ResetHost]
Hostname=127.0.0.9
[Host1]
DisplayName=gateway router in the server room, 2nd floor
Hostname=127.0.0.1
[Host2]
Hostname=127.0.0.2
[Host3]
Hostname=127.0.0.3
[Host4]
DisplayName=AP
Hostname=127.0.0.4
TimeoutDoReset=0
[Recovery]
Actions=ok
[Action.ok]
Kind=program
Program=/bin/true
Verify=2
[Guard]
HoldOff=0
[Notifications]
RuleFired=0
ActionOutcome=0
EOF2
chmod 644 "$work/run/pingvard.ini"

ip netns exec "$ns" "$plugsim" --api shelly2 --listen 127.0.0.1:8080 --password 'plug secret' \
  --record "$work/plug.rec" >"$work/plugsim.log" 2>&1 &
pids+=($!)

program_pid=
run_program() { # language, then any environment
  ip netns exec "$ns" env "DISPLAY=$DISPLAY" "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" \
    "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" "HOME=$HOME" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    "${@:2}" "$desktop" --lang "$1" -C "$work/run" >"$work/program-$1.log" 2>&1 &
  program_pid=$!
  pids+=("$program_pid")
  wait_for 15 main_window || fail "the main window did not show"
}
drive() { # stage
  step "$1"
  (cd "$here" && "$atspi_python" "$here/settings_atspi_e2e.py" "$1" "$work" "$shots") >"$work/drive-$1.out" 2>&1 ||
    fail "$1: $(tail -n1 "$work/drive-$1.out")"
  sed "s|^|$test_name: $1: |" "$work/drive-$1.out"
}
requests() { [[ -f $work/plug.rec ]] && grep -c . "$work/plug.rec" || echo 0; }
[[ -z $shots ]] || mkdir -p "$shots"

# --- 1. a plug action made, tested, written and used --------------------------
run_program cs
drive plug
((${requests:-$(requests)} >= 1)) || fail "the simulator recorded no request from Test"
tested=$(requests)
step "the simulator recorded $tested request line(s) from Test"
ini=$work/run/pingvard.ini
for want in '^Actions=plug,ok' '^Kind=http' '^Preset=shelly2' '^Host=127.0.0.1' '^Port=8080' \
  '^Password=plug secret'; do
  grep -q "$want" "$ini" || fail "pingvard.ini lacks $want: $(cat "$ini")"
done
[[ $(stat -c %a "$ini") == 600 ]] || fail "pingvard.ini holds a password but is $(stat -c %a "$ini")"
step "pingvard.ini holds [Action.plug] and is 0600"
ip netns exec "$ns" nft -f - <<'NFT'
table ip pingvard_a11y_down {
  chain out {
    type filter hook output priority 0;
    ip daddr { 127.0.0.1, 127.0.0.2, 127.0.0.3 } icmp type echo-request drop
  }
}
NFT
# Test is a dry run and writes no pingvard.log: this line is the monitor's.
used() { grep -q 'Power cycle OK (plug)' "$work/run/pingvard.log"; }
wait_for 30 used || fail "the monitor did not use the new plug action: $(tail -n5 "$work/run/pingvard.log" 2>&1)"
step "the running monitor power cycled the plug at its next round ($(requests) request line(s) recorded)"
ip netns exec "$ns" nft delete table ip pingvard_a11y_down

# --- 1b. an ssh action against OpenSSH's sshd: Fetch key, confirm, Test --------------
# A test account in bind-mounted copies of /etc/passwd, /etc/shadow and
# /etc/group inside private mount and PID namespaces: the machine's own
# accounts, configuration and host keys are never touched.
if [[ -x /usr/sbin/sshd ]]; then
  ssh_dir=$work/ssh
  mkdir -p "$ssh_dir/home"
  chmod 755 "$work" "$ssh_dir" # the account runs its reboot from there
  uid=$((61000 + $$ % 3000))
  while getent passwd "$uid" >/dev/null; do uid=$((uid + 1)); done
  chown "$uid:$uid" "$ssh_dir/home"
  ssh-keygen -q -t ed25519 -N '' -C pv -f "$ssh_dir/host"
  fingerprint=$(ssh-keygen -l -E sha256 -f "$ssh_dir/host.pub" | awk '{ print $2 }')
  { cat /etc/passwd; echo "pvreboot:x:$uid:$uid::$ssh_dir/home:/bin/sh"; } >"$ssh_dir/passwd"
  { cat /etc/group; echo "pvreboot:x:$uid:"; } >"$ssh_dir/group"
  { cat /etc/shadow; echo "pvreboot:$(openssl passwd -6 'router secret'):19000:0:99999:7:::"; } >"$ssh_dir/shadow"
  chmod 640 "$ssh_dir/shadow"
  # The device's reboot: recorded, then the account's processes die at once.
  printf '#!/bin/sh\necho reboot >> %s/home/record\nkill -KILL -1\n' "$ssh_dir" >"$ssh_dir/reboot"
  chmod 755 "$ssh_dir/reboot"
  cat >"$ssh_dir/sshd_config" <<EOF2
Port 2222
ListenAddress 127.0.0.1
HostKey $ssh_dir/host
PidFile $ssh_dir/sshd.pid
StrictModes no
UsePAM no
PasswordAuthentication yes
KbdInteractiveAuthentication no
PermitRootLogin no
AllowUsers pvreboot
EOF2
  chmod 600 "$ssh_dir/sshd_config"
  ip netns exec "$ns" unshare --mount --propagation private --pid --fork --kill-child /bin/sh -c \
    "mount --bind $ssh_dir/passwd /etc/passwd && mount --bind $ssh_dir/shadow /etc/shadow &&
     mount --bind $ssh_dir/group /etc/group && mount -t tmpfs tmpfs /run && mkdir -m 755 /run/sshd &&
     exec /usr/sbin/sshd -D -e -f $ssh_dir/sshd_config" >"$work/sshd.log" 2>&1 &
  pids+=($!)
  wait_for 10 ip netns exec "$ns" bash -c 'exec 3<>/dev/tcp/127.0.0.1/2222' || fail "sshd did not start"
  export PV_SSH_FINGERPRINT=$fingerprint PV_SSH_REBOOT=$ssh_dir/reboot
  drive ssh
  grep -q reboot "$ssh_dir/home/record" || fail "Test did not run the command on the server"
  grep -q "^HostKey=$fingerprint" "$ini" || fail "pingvard.ini lacks the pinned key: $(cat "$ini")"
  grep -q '^Password=router secret' "$ini" || fail "pingvard.ini lacks the router's password"
  step "ssh: the key $fingerprint fetched, confirmed and pinned; Test rebooted the server"
else
  step "ssh: skipped, no /usr/sbin/sshd (scripts/deps.sh installs openssh-server)"
fi

# --- 2. refusals, the cut name ------------------------------------------------------
drive elided
drive refusals
grep -q '^Hostname=printer.invalid' "$ini" || fail "the confirmed name was not kept"
step "an unresolvable name kept only once confirmed"
kill "$program_pid"
wait_for 10 gone "$program_pid" || fail "the program did not end"

# --- 3. within the screen at scale factor 2, English -------------------------------
run_program en QT_SCALE_FACTOR=2
drive fit-en
kill "$program_pid"
wait_for 10 gone "$program_pid" || fail "the program did not end"
run_program cs
drive fit-cs
step "passed"
