#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end check of the tray icon on the D-Bus path, as today's panels host
# it: a StatusNotifierItem with its menu exported over D-Bus (dbusmenu). A
# virtual X display, a private session bus on a filesystem socket (an
# abstract socket belongs to one network namespace, and the program runs in
# a namespace of its own that has only loopback), and xfce4-panel with only
# its systray plugin, configured by an xfconf file this test writes.
#
# First the program starts before the panel (as from the autostart entry):
# its window shows; when the panel comes, the icon registers on the bus and
# the window goes back to hiding. Then a second start with the panel there:
# hidden at start, activation toggles the window, the exported menu lists
# its items; the marked hosts down (their echoes dropped): the item's image
# is the fourth, "site down", and its ToolTip says how many hosts answer,
# since when the site is down and why; back to normal once they answer; a
# right click on the icon in the panel opens that menu, and "Ukončit",
# chosen there by its accessible name (the panel's, over AT-SPI), ends the
# program with status 0 and unregisters the item.
#
# Usage: gui_dbus_e2e.sh PINGVARD_BINARY [SCREENSHOT_DIR]
# Exit status: 0 passed, 1 failed, 77 skipped (not root or a tool missing).
set -euo pipefail

pingvard=${1:?usage: gui_dbus_e2e.sh PINGVARD_BINARY [SCREENSHOT_DIR]}
shots=${2:-}
readonly xfconfd=/usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd

# shellcheck source=tests/ui/desktop_e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/desktop_e2e_lib.sh"
pv_require_root "it creates a network namespace"
pv_require_tools Xvfb xfce4-panel dbus-daemon dbus-send xdotool xwininfo import convert compare ip nft perl
require_accessibility
[[ -x $xfconfd ]] || pv_skip "xfconfd is missing (scripts/deps.sh installs xfconf)"
begin_run pingvard-sni "$pingvard"
bus="$work/bus"

failure_shot=failure-dbus.png
cleanup() {
  end_own_processes
  pv_ns_delete "$ns"
  rm -rf "$work"
}
on_exit cleanup


# --- the desktop: display, bus, settings store, panel -------------------------
mkdir -p "$work/run" "$work/config/xfce4/xfconf/xfce-perchannel-xml"
start_desktop
export XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
# No settings daemon: nothing for the bus to start.
export GSETTINGS_BACKEND=memory
# The services the panel needs, xfconfd and the accessibility bus that shows
# its menu's items, are started here.
start_session_bus
start_accessibility_bus

"$xfconfd" >"$work/xfconfd.log" 2>&1 &
pids+=($!)
wait_for 5 bus_has org.xfce.Xfconf || fail "xfconfd did not start"

# One top panel, 32 px, with the systray plugin alone.
cat >"$work/config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=400;y=16"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="length" type="uint" value="100"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
EOF

start_panel() {
  xfce4-panel --disable-wm-check >"$work/panel.log" 2>&1 &
  pids+=($!)
  wait_for 15 bus_has org.kde.StatusNotifierWatcher || fail "the panel's tray did not start"
}

# --- the program, in a namespace with only loopback ----------------------------
program_namespace "$ns" || fail "cannot create the namespace $ns"
# A restart that goes well and leaves the site down (the fourth image). No
# desktop notifications: without a notification service on this bus they
# would come as the tray's balloon, which on the D-Bus path takes the item's
# ToolTip while it shows.
cat >"$work/run/pingvard.ini" <<'EOF'
[Constants]
MaxTimeouts=5
PingInterval=500
[ResetHost]
Hostname=127.0.0.9
[Host1]
DisplayName=gateway (lo)
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
[Notifications]
RuleFired=0
ActionOutcome=0
EOF
program_pid=
run_program() { # output file; the Czech captions whatever the caller's locale
  ip netns exec "$ns" env "DISPLAY=$DISPLAY" "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" \
    "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" "HOME=$HOME" "$pingvard" --lang cs -C "$work/run" >"$1" 2>&1 &
  program_pid=$!
  pids+=("$program_pid")
}
alive() { ! gone "$program_pid"; }
# Waits at most 10 s for the program to end; its status in $status.
wait_program() {
  wait_for 10 not alive || fail "the program did not end"
  status=0
  wait "$program_pid" || status=$?
}

# --- what the bus and the display show -----------------------------------------
watcher() { # method or property call on the watcher
  bus_call org.kde.StatusNotifierWatcher /StatusNotifierWatcher "$@"
}
# The item the program registered, as the watcher lists it: SERVICE/PATH,
# where the service is the connection of the program's own process.
item() {
  local entry pid
  for entry in $(watcher org.freedesktop.DBus.Properties.Get \
    string:org.kde.StatusNotifierWatcher string:RegisteredStatusNotifierItems |
    sed -n 's/^ *string "\(.*\)"$/\1/p'); do
    pid=$(bus_call org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.GetConnectionUnixProcessID "string:${entry%%/*}" |
      awk '/uint32/ { print $2 }')
    [[ $pid == "$program_pid" ]] && echo "$entry" && return 0
  done
  return 1
}
# Whether the watcher still lists the item $item_name.
listed() {
  local items
  items=$(watcher org.freedesktop.DBus.Properties.Get \
    string:org.kde.StatusNotifierWatcher string:RegisteredStatusNotifierItems)
  grep -qF "\"$item_name\"" <<<"$items"
}
item_property() { # name
  bus_call "${item_name%%/*}" "/${item_name#*/}" org.freedesktop.DBus.Properties.Get \
    string:org.kde.StatusNotifierItem "string:$1"
}
item_call() { # method [args]
  bus_call "${item_name%%/*}" "/${item_name#*/}" "org.kde.StatusNotifierItem.$1" "${@:2}"
}
panel_window() { xdotool search --onlyvisible --classname '^xfce4-panel$' | head -n1 | grep .; }

step "started before the panel: the window shows"
run_program "$work/first.out"
wait_for 30 main_window || fail "without a notification area the window did not show"
grep -q "no notification area" "$work/first.out" || fail "no notification area was not said"

step "the panel comes: the icon registers on the bus, the window hides"
start_panel
wait_for 10 item || fail "the item did not register when the panel came"
item_name=$(item)
wait_for 5 not main_window || fail "the window did not go back to hiding"
alive || fail "the program ended"
kill -TERM "$program_pid"
wait_program
((status == 0)) || fail "SIGTERM ended the program with status $status"
wait_for 5 not listed || fail "the item stayed registered after the program ended"

step "start with the panel there: registered, hidden"
run_program "$work/second.out"
wait_for 30 item || fail "the item did not register"
item_name=$(item)
sleep 0.5
main_window >/dev/null && fail "a window is shown at start"
title=$(item_property Title | grep -o '"[^"]*"' | tr -d '"')
[[ $title == Pingvard ]] || fail "the item's title is '$title'"
# Every panel size drawn from art of its own: (width, height, bytes) each.
pixmaps=$(item_property IconPixmap | awk '/int32/ { printf "%s%s", sep, $2; sep = (++n % 2) ? "x" : " " }')
[[ $pixmaps == "16x16 22x22 24x24 32x32 48x48 64x64" ]] || fail "the item's pixmaps: $pixmaps"
menu_path=$(item_property Menu | grep -o '/[A-Za-z/]*' | head -n1)
[[ $menu_path != /NO_DBUSMENU ]] || fail "the item exports no menu"

step "activation toggles the window"
item_call Activate int32:10 int32:10 >/dev/null
wait_for 5 main_window || fail "Activate did not show the window"
sleep 0.6 # apart, so the two are not one double click
item_call Activate int32:10 int32:10 >/dev/null
wait_for 5 not main_window || fail "a second Activate did not hide the window"
sleep 0.6 # and the next click apart from this one

step "the exported menu lists Skrýt/Zobrazit and Ukončit"
layout=$(bus_call "${item_name%%/*}" "$menu_path" com.canonical.dbusmenu.GetLayout int32:0 int32:-1 \
  array:string:label)
grep -q 'Skrýt/Zobrazit' <<<"$layout" || fail "the menu has no Skrýt/Zobrazit: $layout"
grep -q 'Ukončit' <<<"$layout" || fail "the menu has no Ukončit: $layout"

step "the marked hosts down: the fourth image, the tooltip says so"
# The item's 16x16 pixmap (ARGB, network order) as a PNG.
item_image() { # output file
  item_property IconPixmap | perl -e '
    my @bytes; my $in = 0;
    while (<STDIN>) { # to the end: dbus-send must not meet a closed pipe
      if (!@bytes && /array of bytes \[/) { $in = 1; next }
      if ($in && /\]/) { $in = 0 }
      push @bytes, map { hex } /\b([0-9a-f]{2})\b/g if $in;
    }
    my $rgba = "";
    for (my $i = 0; $i + 3 < @bytes; $i += 4) {
      $rgba .= pack("C4", @bytes[$i + 1, $i + 2, $i + 3, $i]);
    }
    print $rgba;' >"$work/item.rgba" &&
    [[ $(stat -c %s "$work/item.rgba") == 1024 ]] &&
    convert -size 16x16 -depth 8 "rgba:$work/item.rgba" "$1"
}
item_shows() { # image index
  item_image "$work/item.png" && [[ $(nearest_tray_image "$work/item.png" 16) == "$1" ]]
}
item_shows 0 || fail "the item does not show the normal image at start"
ip netns exec "$ns" nft -f - <<'NFT'
table ip pingvard_sni_down {
  chain out {
    type filter hook output priority 0;
    ip daddr { 127.0.0.1, 127.0.0.2, 127.0.0.3 } icmp type echo-request drop
  }
}
NFT
wait_for 15 item_shows 3 || fail "the item never showed the site down (image $(nearest_tray_image "$work/item.png" 16))"
tooltip=$(item_property ToolTip)
for want in '1 ze 4 hostů odpovídá' 'Mimo provoz od [0-9:]*: uplink' 'Naposledy: Program OK (ok)'; do
  grep -q "$want" <<<"$tooltip" || fail "the item's ToolTip lacks \"$want\": $tooltip"
done
[[ -z $shots ]] || { mkdir -p "$shots" && cp "$work/item.png" "$shots/tray-site-down-dbus.png"; }
ip netns exec "$ns" nft delete table ip pingvard_sni_down
wait_for 10 item_shows 0 || fail "the item did not go back to normal when the hosts answered"
grep -q '4 ze 4 hostů odpovídá' <<<"$(item_property ToolTip)" ||
  fail "the ToolTip did not follow the hosts back: $(item_property ToolTip)"

step "a left click on the icon in the panel shows the window"
# The systray plugin is a window of its own inside the panel; with one item
# the icon fills it.
plugin_window() { xdotool search --onlyvisible --classname '^wrapper-2.0$' | head -n1 | grep .; }
click_icon() { # button
  local x y w h
  read -r x y w h < <(geometry_of "$(plugin_window)")
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click "$1"
  sleep 0.6 # apart, so two clicks never make a double click
}
click_icon 1
wait_for 5 main_window || fail "a left click on the icon did not show the window"
click_icon 1
wait_for 5 not main_window || fail "a second left click on the icon did not hide the window"

step "a right click on the icon opens the exported menu, once, at the pointer"
# The panel draws the exported menu itself, just below the icon under the
# pointer (the host places it, not the program); the program shows none.
host_menu_at_pointer() {
  local lines X Y x y w h
  lines=$(menus_of '^Wrapper-2.0$')
  [[ $(grep -c . <<<"$lines") -eq 1 ]] || return 1
  eval "$(xdotool getmouselocation --shell | grep -E '^[XY]=')"
  read -r x y w h <<<"$lines"
  ((x <= X && X < x + w && y > Y && y <= Y + 32))
}
click_icon 3
wait_for 3 host_menu_at_pointer || fail "no single menu at the icon: $(menus_of '^Wrapper-2.0$')"
[[ -z $(menus_of '^Pingvard$') ]] || fail "the program opened a menu of its own as well"
if [[ -n $shots ]]; then
  mkdir -p "$shots"
  # The panel's corner with the whole menu below it, whatever its items.
  read -r mx my mw mh < <(menus_of '^Wrapper-2.0$')
  import -window root -crop "$((mx + mw + 6))x$((my + mh + 6))+0+0" +repage "$work/panel.png"
  convert "$work/panel.png" -scale 200% "$shots/tray-menu-panel.png" ||
    fail "cannot save the screenshot"
fi

step "Ukončit in that menu ends the program with status 0 and unregisters the item"
# The item by its name in the panel's menu, wherever the panel puts it.
ui --app wrapper popup Ukončit || fail "the panel's menu has no Ukončit"
wait_for 10 not alive || fail "Ukončit did not end the program"
wait_program
((status == 0)) || fail "Ukončit ended the program with status $status"
wait_for 5 not listed || fail "the item stayed registered after the exit"
echo "gui_dbus_e2e: PASS"
