# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Sourced by the desktop end-to-end tests.

# shellcheck source=scripts/shell_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/shell_lib.sh"

# The test's name in its lines: the script's.
test_name=$(basename "$0" .sh)
step() { echo "$test_name: $*"; }

# fail MESSAGE: ends the test as failed, with what helps to see why on stderr:
# the message, every log and output file of $work, and a screenshot of the
# display, kept in $shots as $failure_shot when the test sets both.
fail() {
  : "${work:?}"
  echo "$test_name: FAIL: $*" >&2
  if [[ -n ${failure_shot:-} && -n ${shots:-} ]] &&
    import -window root "$work/failure.png" 2>/dev/null; then
    mkdir -p "$shots" && cp "$work/failure.png" "$shots/$failure_shot"
  fi
  local log
  for log in "$work"/*.log "$work"/*.out; do
    [[ -f $log ]] && sed "s|^|$(basename "$log"): |" "$log" >&2
  done
  exit 1
}

# on_exit CMD: CMD when the test ends, also by SIGTERM or SIGINT.
on_exit() {
  # shellcheck disable=SC2064 # CMD is a name, expanded now on purpose
  trap "$1" EXIT
  trap 'exit 143' TERM
  trap 'exit 130' INT
}

# wait_for SECONDS CMD...: CMD, its output dropped, until it succeeds; status 1
# when it has not within SECONDS.
wait_for() { pv_wait_for "$1" pv_quietly "${@:2}"; }
not() { ! "$@"; }

# xwininfo for a given window, never without one: given no id (or 0) it waits
# for a mouse click on the window to describe, that is for ever.
xinfo() { # [options] -id ID
  [[ -n ${!#} && ${!#} != 0x0 ]] || return 1
  xwininfo "$@"
}

# program_namespace NAME: a network namespace with only loopback for the
# program under test, where a name lookup stays too (the defaults of a first
# start name public hosts).
program_namespace() {
  pv_ns_add "$1" && pv_ns_resolver "$1"
}

# Removes what runs killed outright left behind (SIGKILL skips their
# cleanup): network namespaces PREFIX-PID and work directories
# /tmp/PREFIX-PID.* of runs whose process is gone.
sweep_stale_runs() { # prefix
  local name pid
  for name in $(ip netns list | awk '{ print $1 }' | grep -E "^$1-[0-9]+\$"); do
    pid=${name##*-}
    [[ -d /proc/$pid ]] || ip netns del "$name" 2>/dev/null || true
  done
  for name in /tmp/"$1"-[0-9]*.*; do
    [[ -d $name ]] || continue
    pid=${name#/tmp/"$1"-}
    pid=${pid%%.*}
    [[ -d /proc/$pid ]] || rm -rf "$name"
  done
}

# begin_run PREFIX FILE [WHAT]: the run of a test whose FILE (WHAT it is, the
# program by default) must be there: what killed runs of PREFIX left is
# removed (as root), then this run's directory $work and namespace name $ns,
# both PREFIX-PID, and its empty list of processes, pids.
begin_run() {
  [[ -x $2 ]] || {
    echo "$test_name: FAIL: no ${3:-program} at $2" >&2
    exit 1
  }
  [[ $(id -u) -ne 0 ]] || sweep_stale_runs "$1"
  work=$(mktemp -d "/tmp/$1-$$.XXXXXX")
  ns="$1-$$"
  pids=()
}

# start_virtual_display starts Xvfb on a display number of this run's own
# (pv_start_xvfb) and exports DISPLAY.
#
# Needs $work (a directory of this run) and the test's fail, and appends the
# server's pid to the array pids.
start_virtual_display() {
  : "${work:?}"
  pv_start_xvfb "$work" 800x600x24 || fail "Xvfb did not start"
  pids+=("$PV_XVFB_PID")
  export DISPLAY=":$PV_DISPLAY"
}

# start_desktop: a desktop session of this run's own under $work: a private
# runtime directory, a home and a configuration directory, and the virtual
# display (start_virtual_display, with its needs).
start_desktop() {
  mkdir -m 700 "$work/runtime"
  mkdir -p "$work/home" "$work/config"
  start_virtual_display
  export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config"
  # Under AddressSanitizer: libxkbcommon-x11 hands strndup a string without its
  # terminator, which the strict string check reports inside Qt's start-up.
  if [[ -n ${ASAN_OPTIONS:-} ]]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
  fi
}

# start_window_manager: openbox, ready once it says what it supports
# (xdotool activates windows only then). It may find the display not yet
# open to clients, and then ends: tried again.
start_window_manager() {
  local _
  for _ in 1 2 3; do
    openbox >>"$work/openbox.log" 2>&1 &
    pids+=($!)
    wait_for 5 wm_ready && return 0
  done
  fail "openbox did not start on $DISPLAY"
}
wm_ready() { xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_ACTIVE_WINDOW; }

# start_session_bus: a private session bus on the filesystem socket $bus (an
# abstract socket belongs to one network namespace, and the program may run in
# one of its own), exported as the session bus. It has no service directories,
# so it starts no process of its own: the services there are the ones the
# test starts. Needs $work, $bus and the test's fail; appends the daemon's pid
# to the array pids.
start_session_bus() {
  : "${work:?}" "${bus:?}"
  cat >"$work/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$bus"
  dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile >"$work/dbus.log" 2>&1 &
  pids+=($!)
  wait_for 5 test -S "$bus" || fail "the session bus did not start"
}
# The accessibility tree: at-spi2-core's bus launcher, and Debian's own
# interpreter, which has python3-pyatspi (not one earlier on PATH).
readonly atspi_launcher=/usr/libexec/at-spi-bus-launcher atspi_python=/usr/bin/python3
# require_accessibility: skips the test without them.
require_accessibility() {
  [[ -x $atspi_launcher ]] || pv_skip "at-spi-bus-launcher is missing (scripts/deps.sh installs at-spi2-core)"
  "$atspi_python" -I -c 'import pyatspi' 2>/dev/null || pv_skip "python3-pyatspi is missing (scripts/deps.sh)"
}
# start_accessibility_bus: the accessibility bus, on the session bus of
# start_session_bus, and Qt's bridge on for the programs started after it.
start_accessibility_bus() {
  "$atspi_launcher" --launch-immediately >"$work/atspi.log" 2>&1 &
  pids+=($!)
  wait_for 10 bus_has org.a11y.Bus || fail "the accessibility bus did not start"
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
  # Its registry starts on the first call, which a program's start would
  # otherwise wait for: called now, while the test goes on.
  local address
  address=$(bus_call org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress | sed -n 's/^ *string "\(.*\)"$/\1/p')
  dbus-send --bus="$address" --print-reply --dest=org.a11y.atspi.Registry /org/a11y/atspi/registry \
    org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 &
  pids+=($!)
}
# ui COMMAND...: a step on the accessibility tree, by role and accessible
# name (the commands of atspi_lib.py); why one failed goes to ui.out.
ui() { "$atspi_python" "$(dirname "${BASH_SOURCE[0]}")/atspi_lib.py" "$@" 2>>"$work/ui.out"; }
# bus_call DESTINATION PATH METHOD [ARGS...]: a call on the session bus; prints
# the reply.
bus_call() { dbus-send --session --print-reply --dest="$1" "$2" "$3" "${@:4}"; }
# bus_has NAME: whether NAME has an owner on the session bus.
bus_has() {
  bus_call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner \
    "string:$1" | grep -q 'boolean true'
}

# The program's main window, when shown.
main_window() { xdotool search --onlyvisible --name '^Orvane AP Pingvard$' | head -n1 | grep .; }
# "X Y W H" of a window on the screen.
geometry_of() {
  xinfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }'
}
# menus_of CLASS: the visible popup menus of windows of that class (unmanaged
# top-level windows wider than an icon), one "X Y W H" line each.
menus_of() {
  local id info x y w h
  for id in $(xdotool search --onlyvisible --class "$1" 2>/dev/null); do
    info=$(xinfo -id "$id") || continue
    grep -q 'Override Redirect State: yes' <<<"$info" || continue
    read -r x y w h < <(geometry_of "$id")
    ((w > 40)) && echo "$x $y $w $h"
  done
}

# Processes a test on a private session bus started, also those its children
# left behind: this machine's PID 1 adopts orphans without reaping them, so a
# process is found by the bus address ($bus) in its environment (which nothing
# else has) and counted as gone once it is a zombie.
own_processes() {
  [[ -n ${bus:-} ]] || return 0 # no bus of its own: nothing to find by it
  grep -lsF "DBUS_SESSION_BUS_ADDRESS=unix:path=$bus" /proc/[0-9]*/environ 2>/dev/null |
    cut -d/ -f3 | grep -vx "$$" || true
}
gone() { # pid
  local state
  state=$(awk '/^State:/ { print $2 }' "/proc/$1/status" 2>/dev/null) || return 0
  [[ -z $state || $state == Z || $state == X ]]
}
# Ends what the test started ($pids, newest first) and what carries its bus:
# SIGTERM, up to 3 s to go, then SIGKILL.
end_own_processes() {
  local pid i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
  done
  for pid in $(own_processes); do
    kill "$pid" 2>/dev/null || true
  done
  for ((i = 0; i < 30; i++)); do
    for pid in "${pids[@]}" $(own_processes); do
      gone "$pid" || {
        sleep 0.1
        continue 2
      }
    done
    break
  done
  for pid in "${pids[@]}" $(own_processes); do
    gone "$pid" || kill -KILL "$pid" 2>/dev/null || true
  done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    wait "${pids[i]}" 2>/dev/null || true
  done
}

# nearest_tray_image IMAGE SIZE: which tray image of that size
# (assets/trayN-SIZE.png, N 0 to 3) IMAGE shows, as the index of the one
# that differs from it in the fewest pixels, both laid on the colour of
# IMAGE's top left pixel (a panel draws the icon on a background of its own;
# the art's corners are transparent). Needs $work.
nearest_tray_image() {
  local image=$1 size=$2 assets background i differ best=0 least=-1
  assets="$(dirname "${BASH_SOURCE[0]}")/../../assets"
  background=$(convert "$image" -format '%[pixel:p{0,0}]' info:) || return 1
  convert "$image" -background "$background" -flatten -resize "${size}x${size}!" \
    "$work/nearest-shown.png" || return 1
  for i in 0 1 2 3; do
    convert "$assets/tray$i-$size.png" -background "$background" -flatten "$work/nearest-$i.png"
    differ=$(compare -metric AE -fuzz 12% "$work/nearest-shown.png" "$work/nearest-$i.png" \
      null: 2>&1 || true)
    differ=${differ%%.*}
    if ((least < 0 || differ < least)); then
      least=$differ best=$i
    fi
  done
  echo "$best"
}
