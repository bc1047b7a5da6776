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
# and exports DISPLAY.
#
# Not -displayfd alone: while it looks for a free number, an X server creates
# each candidate's sockets before it holds that number's lock, and the X
# transport code of some versions unlinks an existing file socket first. A
# client in another network namespace (the program under test) reaches a
# server only through that file. An explicit number takes the server's lock
# first and gives up cleanly when the number is in use; -displayfd then only
# tells when the server is ready.
#
# Needs $work (a directory of this run), the test's wait_for and fail, and
# appends the server's pid to the array pids.
start_virtual_display() {
  local n xvfb
  : "${work:?}"
  for ((n = 100 + $$ % 800; n < 1000; n++)); do
    [[ -e /tmp/.X$n-lock ]] && continue
    : >"$work/display"
    Xvfb ":$n" -displayfd 3 -screen 0 800x600x24 -nolisten tcp \
      3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    # Ready, or gone because another server holds the number.
    wait_for 100 bash -c "test -s '$work/display' || ! kill -0 $xvfb 2>/dev/null"
    if [[ -s $work/display ]]; then
      pids+=("$xvfb")
      export DISPLAY=":$n"
      return 0
    fi
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  done
  fail "Xvfb did not start"
}
