#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# An access point played by a real telnet daemon from Debian and the console
# program (tools/ap_console.sh) on the pseudo-terminal it gives each
# connection. Runs the daemon in the foreground in the caller's network
# namespace (run it with "ip netns exec NS"); ends with SIGTERM.
#
#   telnet_device.sh KIND ADDRESS PORT WORKDIR RECORD [CONSOLE-OPTION...]
#
# KIND: inetutils (inetutils-inetd starting inetutils-telnetd) or busybox
# (busybox telnetd from busybox-static). WORKDIR gets the daemon's files;
# RECORD is the console's record (see ap_console.sh); CONSOLE-OPTIONs
# (--delay, --on-reset) go to each console.
#
# inetutils telnetd looks up the client's address before it shows anything:
# give the namespace an /etc/netns/NS/hosts with that address and a resolver
# that fails at once, or each connection waits for the DNS time-out.
#
#   telnet_device.sh --check KIND   exit 0 when KIND can run here
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Debian's busybox (without telnetd) and busybox-static conflict; where the
# former is installed, scripts/deps.sh extracts the latter's binary here.
readonly EXTRACTED_BUSYBOX=/usr/local/lib/pingvard-test/busybox-static/bin/busybox

find_busybox() {
    local candidate
    for candidate in "${PINGVARD_BUSYBOX:-}" "$(command -v busybox || true)" "$EXTRACTED_BUSYBOX"; do
        [[ -n $candidate && -x $candidate ]] || continue
        "$candidate" telnetd --help >/dev/null 2>&1 && {
            echo "$candidate"
            return 0
        }
    done
    return 1
}

check() {
    case $1 in
    inetutils) [[ -x /usr/sbin/inetutils-inetd && -x /usr/sbin/telnetd ]] ;;
    busybox) find_busybox >/dev/null ;;
    *) return 1 ;;
    esac
}

if [[ ${1:-} == --check ]]; then
    check "${2:-}"
    exit
fi
(($# >= 5)) || {
    echo "usage: telnet_device.sh inetutils|busybox ADDRESS PORT WORKDIR RECORD [CONSOLE-OPTION...]" >&2
    exit 2
}
kind=$1 address=$2 port=$3 work=$(realpath -m "$4") record=$(realpath -m "$5")
shift 5
check "$kind" || {
    echo "telnet_device.sh: $kind telnet daemon not installed (scripts/deps.sh)" >&2
    exit 1
}
mkdir -p "$work"

# The daemons start their login program without arguments (busybox) or split
# its command line themselves (inetutils), and with an environment of their
# own: one small program per device, with the caller's PATH for --on-reset.
console=$work/console
{
    echo '#!/bin/sh'
    printf 'PATH=%q\nexport PATH\n' "$PATH"
    printf 'exec %q --record %q' "$here/ap_console.sh" "$record"
    (($# == 0)) || printf ' %q' "$@"
    echo
} >"$console"
chmod 755 "$console"

case $kind in
inetutils)
    # -d keeps inetd in the foreground; -h: telnetd shows no host information.
    echo "$address:$port stream tcp nowait root /usr/sbin/telnetd telnetd -h -E $console" >"$work/inetd.conf"
    exec /usr/sbin/inetutils-inetd -d -p "$work/inetd.pid" "$work/inetd.conf"
    ;;
busybox)
    exec "$(find_busybox)" telnetd -F -p "$port" -b "$address" -f /dev/null -l "$console"
    ;;
esac
