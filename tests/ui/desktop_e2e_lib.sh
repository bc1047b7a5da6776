# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Sourced by the desktop end-to-end tests.

# shellcheck source=scripts/shell_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/shell_lib.sh"

# wait_for TENTHS CMD...: CMD, its output dropped, until it succeeds; status 1
# when it has not within TENTHS tenths of a second (rounded up to seconds).
wait_for() {
  local tenths=$1
  shift
  pv_wait_for $(((tenths + 9) / 10)) pv_quietly "$@"
}
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

# Processes a test on a private session bus started, also those its children
# left behind: this machine's PID 1 adopts orphans without reaping them, so a
# process is found by the bus address ($bus) in its environment (which nothing
# else has) and counted as gone once it is a zombie.
own_processes() {
  # shellcheck disable=SC2154 # the sourcing test sets bus
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
