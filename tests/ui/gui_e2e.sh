#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end check of the tray application as a user meets it: a virtual X
# display with a window manager and a notification area (trayer), and the real
# pingvard inside a network namespace of its own that has only loopback, so no
# echo can leave the machine. It clicks the tray icon and reads the X window
# tree to check what the user would see, chooses the menus' items and the
# dialogs' buttons by their accessible names (AT-SPI, on a private session
# bus), and saves screenshots on the way.
#
# Usage: gui_e2e.sh PINGVARD_BINARY [SCREENSHOT_DIR]
# Exit status: 0 passed, 1 failed, 77 skipped (not root or a tool missing).
set -euo pipefail

pingvard=${1:?usage: gui_e2e.sh PINGVARD_BINARY [SCREENSHOT_DIR]}
shots=${2:-}

# shellcheck source=tests/ui/desktop_e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/desktop_e2e_lib.sh"
pv_require_root "it creates a network namespace"
pv_require_tools Xvfb trayer xdotool import convert compare openbox xwininfo xprop ip nft dbus-daemon
require_accessibility
begin_run pingvard-gui "$pingvard"
bus="$work/bus"
program_pid=

failure_shot=failure.png
cleanup() {
  end_own_processes
  pv_ns_delete "$ns"
  rm -rf "$work"
}
on_exit cleanup


# --- the desktop ------------------------------------------------------------
mkdir "$work/run"
start_desktop
# A session bus for the accessibility tree alone: with no StatusNotifierWatcher
# on it, Qt uses the XEmbed notification area that trayer offers.
start_session_bus
start_accessibility_bus
panel_window() { xdotool search --classname '^panel$' | head -n1 | grep .; }
# trayer comes after a first start of the program, as a panel at login may.
start_trayer() {
  trayer --edge top --align right --widthtype request --height 24 >"$work/trayer.log" 2>&1 &
  pids+=($!)
  wait_for 10 panel_window || fail "trayer did not start"
}
client_list() { xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -o '0x[0-9a-f]*' || true; }
start_window_manager

# --- the program, in a namespace with only loopback -------------------------
program_namespace "$ns" || fail "cannot create the namespace $ns"
# Drop a third of the echoes to two of the hosts, so the figures keep moving.
ip netns exec "$ns" nft -f - <<'EOF'
table ip pingvard_gui_e2e {
  chain out {
    type filter hook output priority 0;
    ip daddr { 127.0.0.3, 127.0.0.4 } icmp type echo-request numgen random mod 3 == 0 drop
  }
}
EOF
cat >"$work/run/pingvard.ini" <<'EOF'
[Constants]
MaxTimeouts=5
PingInterval=300
[ResetHost]
Hostname=127.0.0.9
[Host1]
DisplayName=gateway (lo)
Hostname=127.0.0.1
TimeoutDoReset=1
[Host2]
DisplayName=resolver (lo)
Hostname=127.0.0.2
TimeoutDoReset=1
[Host3]
DisplayName=portal (lo)
Hostname=127.0.0.3
TimeoutDoReset=0
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
[Notifications]
RuleFired=0
ActionOutcome=0
EOF
# The Czech captions whatever the caller's locale; on the session bus unless
# told "no-bus".
run_program() { # directory, output file [no-bus]
  local on_bus=("DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS")
  [[ ${3:-} != no-bus ]] || on_bus=()
  ip netns exec "$ns" env -u DBUS_SESSION_BUS_ADDRESS DISPLAY="$DISPLAY" \
    XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" "${on_bus[@]}" "$pingvard" --lang cs -C "$1" >"$2" 2>&1 &
  pids+=($!)
}

# --- what the X server shows ------------------------------------------------
# The tray icon: pingvard's window embedded in trayer's panel. Prints
# "X Y W H" of its absolute geometry.
icon_geometry() {
  xinfo -tree -id "$(panel_window)" |
    awk '/"Pingvard"/ { split($(NF-1), s, /[x+]/); split($NF, p, /\+/); print p[2], p[3], s[1], s[2]; exit }' |
    grep .
}
dialog_window() { xdotool search --onlyvisible --name "^$1\$" | head -n1 | grep .; }
managed_by_wm() {
  local id
  for id in $(client_list); do
    xprop -id "$id" WM_CLASS 2>/dev/null | grep -q '"Pingvard"' && return 0
  done
  return 1
}
# From /proc, not kill -0: a process that has ended but is not reaped yet
# (PID 1 here never reaps the orphans it adopts) still takes signals.
running() { # pid
  local state
  state=$(awk '/^State:/ { print $2 }' "/proc/$1/status" 2>/dev/null) &&
    [[ -n $state && $state != Z && $state != X ]]
}
alive() { running "$program_pid"; }
# Waits at most 10 s for the program with that pid to end; its status in $status.
wait_end() { # pid
  wait_for 10 not running "$1" || fail "pingvard (pid $1) did not end"
  status=0
  wait "$1" || status=$?
}
# The window manager's frame around a client window: its child of the root.
frame_of() {
  local id=$1 parent
  while parent=$(xinfo -tree -id "$id" | awk '/Parent window id/ { print $4 }') &&
    [[ $(xinfo -tree -id "$parent" | awk '/Parent window id/ { print $4 }') != 0x0 ]]; do
    id=$parent
  done
  echo "$id"
}
save() { # name, then import's options
  local name=$1
  shift
  import "$@" "$work/$name" || fail "cannot take the screenshot $name"
  [[ -z $shots ]] || cp "$work/$name" "$shots/$name"
}
save_file() { # name, then a command that writes it as its last argument
  local name=$1
  shift
  "$@" "$work/$name" || fail "cannot make $name"
  [[ -z $shots ]] || cp "$work/$name" "$shots/$name"
}
click_icon() { # button
  read -r ix iy iw ih < <(icon_geometry) || fail "the tray icon is gone"
  xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click "$1"
  # Keep clicks apart, so two of them never make a double click.
  sleep 0.6
}
[[ -z $shots ]] || mkdir -p "$shots"

step "started before the notification area: the window shows; trayer comes: the window hides"
# Without a session bus: the XEmbed tray is taken at once, with no wait for a
# D-Bus watcher that may come with it.
run_program "$work/run" "$work/early.out" no-bus
early_pid=${pids[-1]}
wait_for 15 main_window || fail "without a notification area the window did not show"
start_trayer
wait_for 10 icon_geometry || fail "the icon did not dock when trayer came"
wait_for 5 not main_window || fail "the window did not go back to hiding"
wait_for 2 not managed_by_wm || fail "the hidden window kept its taskbar entry"
kill -TERM "$early_pid"
wait_end "$early_pid"
((status == 0)) || fail "SIGTERM ended the program with status $status"
wait_for 5 not icon_geometry || fail "the icon stayed after the program ended"

step "an unwritable pingvard.ini: an error box, then status 3"
mkdir "$work/readonly"
cp "$work/run/pingvard.ini" "$work/readonly/"
chmod 0444 "$work/readonly/pingvard.ini"
run_program "$work/readonly" "$work/readonly.out"
readonly_pid=${pids[-1]}
ui press 'push button' OK 'AP Pingvard' || fail "no error box to answer for an unwritable pingvard.ini"
grep -q "Unable to write to $work/readonly/pingvard.ini" "$work/readonly.out" ||
  fail "the write error is not on stderr"
wait_end "$readonly_pid"
((status == 3)) || fail "an unwritable pingvard.ini ended the program with status $status"

step "a first start: the fresh pingvard.ini, and the settings dialog before anything else"
mkdir "$work/first"
run_program "$work/first" "$work/first.out"
first_pid=${pids[-1]}
ui window dialog 'Nastavení' || fail "a first start did not open the settings dialog"
cmp -s "$work/first/pingvard.ini" "$(dirname "${BASH_SOURCE[0]}")/../data/fresh_pingvard.ini" ||
  fail "a first start did not write the fresh pingvard.ini"
sleep 0.5
save first-run-settings.png -frame -window "$(frame_of "$(dialog_window 'Nastavení')")"
# The key itself under test: Esc discards the dialog.
xdotool windowactivate --sync "$(dialog_window 'Nastavení')" key Escape
ui closed dialog 'Nastavení' || fail "Esc did not close the first start's dialog"
running "$first_pid" || fail "Storno on the first start's dialog ended the program"
kill -TERM "$first_pid"
wait_end "$first_pid"
((status == 0)) || fail "SIGTERM after the first start ended the program with status $status"

run_program "$work/run" "$work/pingvard.out"
program_pid=${pids[-1]}

step "start: only the icon, no window, no taskbar entry"
wait_for 15 icon_geometry || fail "no tray icon appeared"
wait_for 2 alive || fail "pingvard ended at start"
sleep 1
main_window >/dev/null && fail "a window is shown at start"
managed_by_wm && fail "pingvard has a taskbar entry at start"
read -r ix iy iw ih < <(icon_geometry)
import -window root -crop 120x40+680+0 +repage "$work/tray-top.png"
save_file tray-icon.png convert "$work/tray-top.png" -scale 300%
colours=$(import -window root -crop "${iw}x${ih}+${ix}+${iy}" +repage -format '%k' info:)
((colours > 8)) || fail "the tray icon looks empty ($colours colours)"

step "the marked hosts down: the fourth image, and the tooltip over the icon"
# What the icon shows now, as the index of the tray image it looks like.
icon_shows() { # index
  local x y w h
  read -r x y w h < <(icon_geometry) || return 1
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$work/icon.png" &&
    [[ $(nearest_tray_image "$work/icon.png" 24) == "$1" ]]
}
# Qt's tooltip: a window of the program's own, beside the icon, tall enough
# for the lines of the site's state.
tooltip_geometry() {
  local id info x y w h
  for id in $(xdotool search --onlyvisible --class '^Pingvard$' 2>/dev/null); do
    info=$(xinfo -id "$id") || continue
    grep -q 'Override Redirect State: yes' <<<"$info" || continue
    read -r x y w h < <(geometry_of "$id")
    ((h >= 40 && w > 60)) && echo "$x $y $w $h" && return 0
  done
  return 1
}
icon_shows 0 || fail "the icon does not show the normal image at start"
ip netns exec "$ns" nft -f - <<'NFT'
table ip pingvard_gui_down {
  chain out {
    type filter hook output priority 0;
    ip daddr { 127.0.0.1, 127.0.0.2 } icmp type echo-request drop
  }
}
NFT
wait_for 15 icon_shows 3 || fail "the icon never showed the site down"
save_file tray-site-down.png convert "$work/icon.png" -scale 300%
read -r ix iy iw ih < <(icon_geometry)
xdotool mousemove $((ix + iw / 2 - 2)) $((iy + ih / 2)) sleep 0.2 mousemove $((ix + iw / 2)) $((iy + ih / 2))
wait_for 5 tooltip_geometry || fail "no tooltip of several lines over the icon"
read -r tx ty tw th < <(tooltip_geometry)
save tray-tooltip.png -window root -crop "${tw}x${th}+${tx}+${ty}" +repage
xdotool mousemove 10 500
ip netns exec "$ns" nft delete table ip pingvard_gui_down
wait_for 10 icon_shows 0 || fail "the icon did not go back to normal when the hosts answered"

step "left click: the window with four rows of figures"
click_icon 1
wait_for 5 main_window || fail "a left click did not show the window"
wait_for 2 managed_by_wm || fail "the shown window has no taskbar entry"
win=$(main_window)
sleep 1
import -window "$win" "$work/rows-1.png"
sleep 2
import -window "$win" "$work/rows-2.png"
changed=$(compare -metric AE "$work/rows-1.png" "$work/rows-2.png" null: 2>&1 || true)
[[ $changed =~ ^[0-9]+$ ]] && ((changed > 0)) || fail "the figures did not change ($changed)"
save main-window.png -frame -window "$(frame_of "$win")"

step "second left click: hidden again"
click_icon 1
wait_for 5 not main_window || fail "a second left click did not hide the window"
wait_for 2 not managed_by_wm || fail "the hidden window kept its taskbar entry"

step "double click: toggles exactly once; middle click: nothing"
read -r ix iy iw ih < <(icon_geometry)
xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click --repeat 2 --delay 120 1
sleep 1
main_window >/dev/null || fail "a double click did not show the window (toggled twice?)"
click_icon 2
sleep 0.5
main_window >/dev/null || fail "a middle click changed the window"
click_icon 1
wait_for 5 not main_window || fail "a left click did not hide the window"

# The program's visible popup menus.
menus() { menus_of '^Pingvard$'; }
# Exactly one menu, opened at the pointer: its top edge at the pointer and
# the pointer above it (Qt shifts it left where the screen ends).
one_menu_at_pointer() {
  local lines X Y x y w h
  lines=$(menus)
  [[ $(grep -c . <<<"$lines") -eq 1 ]] || return 1
  eval "$(xdotool getmouselocation --shell | grep -E '^[XY]=')"
  read -r x y w h <<<"$lines"
  ((y == Y && x <= X && X < x + w))
}

step "right click: exactly one menu, at the pointer; Skrýt/Zobrazit shows the window"
click_icon 3
wait_for 2 one_menu_at_pointer || fail "not exactly one menu at the pointer: $(menus | tr '\n' ';')"
# The menu with the icon it belongs to, whatever its items.
read -r mx my mw mh <<<"$(menus)"
read -r ix _ iw _ < <(icon_geometry)
crop_x=$(((mx < ix ? mx : ix) - 6))
((crop_x >= 0)) || crop_x=0
crop_right=$(((mx + mw > ix + iw ? mx + mw : ix + iw) + 6))
save tray-menu.png -window root -crop "$((crop_right - crop_x))x$((my + mh + 6))+$crop_x+0" +repage
ui popup 'Skrýt/Zobrazit' || fail "the tray menu has no Skrýt/Zobrazit"
wait_for 5 main_window || fail "Skrýt/Zobrazit did not show the window"

step "close box: hides to the tray"
win=$(main_window)
read -r fx fy fw _ < <(geometry_of "$(frame_of "$win")")
xdotool mousemove $((fx + fw - 10)) $((fy + 9)) click 1
wait_for 5 not main_window || fail "the close box did not hide the window"
sleep 0.5
alive || fail "the close box ended the program"

step "settings and about dialogs"
click_icon 1
wait_for 5 main_window || fail "the window did not come back"
win=$(main_window)
# open_from_menu TITLE WHAT: the Orvane menu's item TITLE... opens the dialog TITLE.
open_from_menu() {
  xdotool windowactivate --sync "$win" key --clearmodifiers alt+o
  [[ -e $work/menu.png ]] || save_orvane_menu
  ui click 'menu item' "$1..." 'Orvane AP Pingvard' || fail "the Orvane menu has no $1..."
  ui window dialog "$1" || fail "$1... did not open the $2"
}
menu_shown() { [[ -n $(menus) ]]; }
# The window with its open Orvane menu, once: menu.png.
save_orvane_menu() {
  local fx fy fw mx my mw mh
  wait_for 2 menu_shown || fail "alt+o opened no menu"
  read -r fx fy fw _ < <(geometry_of "$(frame_of "$win")")
  read -r mx my mw mh <<<"$(menus)"
  local right=$((mx + mw > fx + fw ? mx + mw : fx + fw))
  save menu.png -window root -crop "$((right - fx))x$((my + mh + 4 - fy))+$fx+$fy" +repage
}
# The dialog TITLE: its screenshot SHOT, and its BUTTON closes it (Esc the
# about box, which has no button).
check_dialog() { # title what shot [button]
  open_from_menu "$1" "$2"
  sleep 0.5
  save "$3" -frame -window "$(frame_of "$(dialog_window "$1")")"
  if [[ -n ${4:-} ]]; then
    ui press 'push button' "$4" "$1" || fail "the $2 has no $4"
  else
    xdotool key Escape
  fi
  ui closed dialog "$1" || fail "${4:-Esc} did not close the $2"
}
check_dialog 'Nastavení' 'settings dialog' settings-dialog.png Storno
check_dialog 'O programu' 'about box' about-box.png

step "Ukončit from the tray menu with the settings dialog open and the window hidden"
open_from_menu 'Nastavení' 'settings dialog'
click_icon 1
wait_for 5 not main_window || fail "the tray icon did not hide the window behind the dialog"
ui window dialog 'Nastavení' || fail "hiding the window closed the settings dialog"
click_icon 3
ui popup 'Ukončit' || fail "the tray menu has no Ukončit"
wait_for 10 not alive || fail "Ukončit did not end the program"
wait_end "$program_pid"
((status == 0)) || fail "pingvard ended with status $status"
icon_geometry >/dev/null && fail "the tray icon stayed after the exit"
echo "gui_e2e: PASS"
