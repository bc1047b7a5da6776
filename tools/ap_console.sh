#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The management console of an access point, as its firmware runs it on the
# pseudo-terminal that a telnet daemon gives each connection: a banner, the
# password prompt (without echo), the command prompt, the "(y/n)?"
# confirmation, then the restart. It plays the default script of pingvard.ini
# and appends one line to the record for each confirmed restart, the moment it
# has read the "y", before anything else can fail:
#
#   console v=1 event=confirmed pid=PID real_us=MICROSECONDS
#
# (CLOCK_REALTIME). A session that starts writes "event=started" first, so a
# record with more starts than confirmations shows answers that the console
# never read (the daemon hung up the terminal first).
#
#   ap_console.sh --record FILE [--delay MS] [--on-reset COMMAND]
#
# --delay: the console is busy this many milliseconds before it reads each
# answer (a slow device). --on-reset: run COMMAND with /bin/sh in a session of
# its own after a confirmation, without waiting for it (the lab uses it to
# take the uplink down as a restart does).
set -u

record=
delay=0
on_reset=
while (($#)); do
    case $1 in
    --record) record=$2 && shift ;;
    --delay) delay=$(printf '%d.%03d' $(($2 / 1000)) $(($2 % 1000))) && shift ;;
    --on-reset) on_reset=$2 && shift ;;
    *) echo "ap_console.sh: unknown option $1" >&2 && exit 2 ;;
    esac
    shift
done
[[ -n $record ]] || { echo "usage: ap_console.sh --record FILE [--delay MS] [--on-reset CMD]" >&2 && exit 2; }

note() { printf 'console v=1 event=%s pid=%d real_us=%s\n' "$1" $$ "${EPOCHREALTIME/./}" >>"$record"; }

# ask PROMPT: shows the prompt and reads one line into $reply (the line
# discipline turns the client's CR LF into one line end).
ask() {
    printf '%s' "$1"
    [[ $delay == 0 ]] || sleep "$delay"
    IFS= read -r reply || exit 0 # hung up
    reply=${reply%$'\r'}
}

note started
printf '\r\nWireless Access Point\r\nManagement console\r\n\r\n'
for ((tries = 0; ; tries++)); do
    ((tries < 3)) || { printf '\r\nToo many attempts\r\n' && exit 0; }
    stty -echo 2>/dev/null
    ask 'Enter password:'
    stty echo 2>/dev/null
    [[ $reply == kelvarno ]] && break
    printf '\r\nInvalid response\r\n'
done
printf '\r\nLogin OK\r\n\r\n'
while :; do
    ask 'Command>'
    case $reply in
    'reset system') ;;
    '') continue ;;
    *) printf '\r\nUnknown command\r\n\r\n' && continue ;;
    esac
    ask $'\r\nRestart the access point now (y/n)?'
    [[ $reply == y ]] && break
    printf '\r\nCancelled\r\n\r\n'
done
note confirmed
# The device is committed now: its restart must outlive this console, whose
# end the daemon answers with a hang-up (busybox) or by killing its process
# group (inetutils). So the command runs in a session of its own, which
# setsid -f enters right after its fork, long before this console has ended.
trap '' HUP
[[ -z $on_reset ]] || setsid -f /bin/sh -c "$on_reset" </dev/null >/dev/null 2>&1
printf '\r\nSystem is restarting...\r\n'
