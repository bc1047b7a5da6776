#!/usr/bin/env bash
# Installs a pingvard .deb with apt into a throw-away root made from this
# machine's own files (an overlay over / in a private mount namespace, so
# nothing reaches the real system), then checks what the maintainer scripts
# did and that an ordinary user can ping, with the console and with Qt.
#   install_check.sh PACKAGE.deb     (root; run by check_package.sh)
set -euo pipefail

deb=$(readlink -f "$1")
if [[ ${2:-} != --inside ]]; then
    top=$(mktemp -d)
    status=0
    unshare --mount --propagation private "$0" "$deb" --inside "$top" || status=$?
    rmdir "$top"
    exit $status
fi

top=$3 # every mount below ends with this private mount namespace
mount -t tmpfs tmpfs "$top"
mkdir -p "$top"/{upper,work,root}
mount -t overlay overlay -o "lowerdir=/,upperdir=$top/upper,workdir=$top/work" "$top/root"
root=$top/root
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/run" # no systemd in here: the scripts must not need it
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" "$@"; }
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
    "/tmp/$(basename "$deb")" >"$top/apt.log" 2>&1 || { cat "$top/apt.log" >&2 && exit 1; }
echo "apt installed $(basename "$deb")"

for binary in /usr/bin/pingvard /usr/bin/pingvard-desktop; do
    [[ $binary == */pingvard || -e $root$binary ]] || continue
    [[ $(in_root getcap $binary) == *cap_net_raw=ep* ]] || fail "no cap_net_raw on $binary"
done
in_root getent passwd pingvard | grep -q ':/var/lib/pingvard:/usr/sbin/nologin$' || fail "no service user"
[[ $(in_root stat -c %U:%a /var/lib/pingvard) == pingvard:750 ]] || fail "state directory"

# An ordinary user pings from a fresh network namespace, where the datagram
# ICMP socket is not allowed (ping_group_range "1 0"): only the capability helps.
run_as_nobody() { # run_as_nobody SECONDS "ENV..." "ARGS...": pingvard in a private netns
    chroot "$root" unshare --net /bin/sh -c "ip link set lo up && exec setpriv --reuid=nobody \
        --regid=nogroup --clear-groups env HOME=/tmp $2 timeout -s TERM $1 /usr/bin/pingvard \
        -C /tmp/pv $3" || true
}
write_ini() {
    mkdir -p "$root/tmp/pv"
    printf '[Constants]\nPingInterval=200\n[ResetHost]\nHostname=127.0.0.1\n' >"$root/tmp/pv/pingvard.ini"
    for n in 1 2 3 4; do printf '[Host%s]\nHostname=127.0.0.1\n' "$n" >>"$root/tmp/pv/pingvard.ini"; done
    chown -R 65534:65534 "$root/tmp/pv"
}
write_ini
run_as_nobody 3 "" --headless >"$top/headless.out" 2>&1
grep -Eq ' host 1 ping=[0-9]+ms' "$top/headless.out" ||
    fail "an ordinary user cannot ping with the installed binary: $(head -5 "$top/headless.out")"

# Qt refuses some set-id situations; file capabilities must not be one of them.
if in_root dpkg-query -W -f='${Depends}' pingvard | grep -q libqt6widgets6; then
    write_ini
    run_as_nobody 4 "DISPLAY=:99 QT_QPA_PLATFORM=offscreen" "" >"$top/desktop.out" 2>&1
    if grep -Eiq 'fatal|abort|setuid|segmentation' "$top/desktop.out"; then
        fail "the desktop program does not run with the capability: $(head -5 "$top/desktop.out")"
    fi
    grep -q '^MaxTimeouts=5' "$root/tmp/pv/pingvard.ini" ||
        fail "the desktop program did not start up: $(head -5 "$top/desktop.out")"
fi

in_root apt-get purge -y -q pingvard >"$top/purge.log" 2>&1 || fail "purge: $(cat "$top/purge.log")"
[[ ! -e $root/usr/bin/pingvard && ! -e $root/var/lib/pingvard ]] || fail "purge left files"

((failures == 0)) || exit 1
echo "install checks passed"
