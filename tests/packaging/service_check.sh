#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the installed pingvard.service, exactly as packaged and hardened, under
# systemd: boots a container (systemd-nspawn, a copy-on-write root over this
# machine's own, with only a loopback network) with the pingvard package
# installed and checks, from a unit inside it (service_check_inside.sh), that
# the service pings, restarts the access point, is restarted after a crash and
# stops cleanly, and that removing the package stops it. Nothing leaves the
# container's network namespace.
#   service_check.sh DEB_DIR     (root)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [[ ${1:-} != --inside ]]; then
    debs=$(readlink -f "${1:?usage: service_check.sh DEB_DIR}")
    if [[ $(id -u) -ne 0 ]]; then
        echo "SKIP: needs root: boots a container"
        exit 77
    fi
    if ! command -v systemd-nspawn >/dev/null || [[ ! -x /lib/systemd/systemd ]]; then
        echo "SKIP: needs systemd and systemd-nspawn (packages systemd, systemd-container)"
        exit 77
    fi
    top=$(mktemp -d /tmp/pingvard-service.XXXXXX)
    status=0
    unshare --mount --propagation private "$0" --inside "$debs" "$top" || status=$?
    rm -rf "$top"
    exit $status
fi

debs=$2 top=$3
id=$(basename "$top" | tr -dc 'a-zA-Z0-9')
machine=pv-service-$id
mount -t tmpfs tmpfs "$top"
mkdir -p "$top"/{upper,work,root}
mount -t overlay overlay -o "lowerdir=/,upperdir=$top/upper,workdir=$top/work" "$top/root"
root=$top/root
mount -t tmpfs tmpfs "$root/run" # no systemd yet: the maintainer scripts must not call it
mount -t tmpfs tmpfs "$root/tmp"

cp "$debs"/pingvard_*.deb "$root/tmp/"
chroot "$root" sh -c 'dpkg -i /tmp/pingvard_*.deb' >"$top/dpkg.log" 2>&1 || {
    cat "$top/dpkg.log" >&2
    exit 1
}
# The service's own configuration: every watched host and the access point on
# the container's loopback, short intervals; host 2 by a name the C library
# looks up under the service's restrictions (from /etc/hosts: no packet).
echo '127.0.0.1 pingvard-watched-host' >>"$root/etc/hosts"
{
    printf '[Constants]\nMaxTimeouts=3\nPingInterval=200\n[ResetHost]\nHostname=127.0.0.1\n'
    for n in 1 2 3 4; do
        host=127.0.0.1
        ((n == 2)) && host=pingvard-watched-host
        printf '[Host%s]\nHostname=%s\nTimeout=300\n' "$n" "$host"
    done
    printf '[Metrics]\nEnabled=1\nAddress=127.0.0.1\nPort=9770\n'
} >"$root/var/lib/pingvard/pingvard.ini"
chroot "$root" chown pingvard:pingvard /var/lib/pingvard/pingvard.ini
chmod 0600 "$root/var/lib/pingvard/pingvard.ini"

# Boot only what a server needs, then the check, then power off. A container
# image's policy-rc.d, which forbids maintainer scripts to touch services,
# has no place on a booted system.
rm -f "$root/usr/sbin/policy-rc.d"
units=$root/etc/systemd/system
for unit in $(cd "$units" && find . -path './*.wants/*' -printf '%f\n'); do
    [[ $unit == pingvard* ]] || ln -sf /dev/null "$units/$unit"
done
install -m 0755 "$here/service_check_inside.sh" "$root/usr/local/sbin/pingvard-service-check"
mkdir -p "$root/pv-check"
cat >"$units/pingvard-service-check.service" <<'EOF'
[Unit]
Description=Check pingvard.service
After=multi-user.target
SuccessAction=poweroff-force
FailureAction=poweroff-force

[Service]
Type=oneshot
ExecStart=/usr/local/sbin/pingvard-service-check /pv-check
TimeoutStartSec=150
StandardOutput=journal+console
EOF
mkdir -p "$units/multi-user.target.wants"
ln -sf ../pingvard-service-check.service "$units/multi-user.target.wants/"

# systemd-nspawn keeps to the control group it is started in: one of our own
# in each hierarchy systemd uses, removed afterwards.
cgroups=()
while read -r _ mountpoint type options _; do
    if [[ $type == cgroup2 || ($type == cgroup && $options == *name=systemd*) ]]; then
        cgroups+=("$mountpoint/$machine")
    fi
done </proc/mounts
remove_cgroups() {
    local group
    for group in "${cgroups[@]}"; do
        [[ -d $group ]] && find "$group" -depth -type d -exec rmdir {} + 2>/dev/null || true
    done
}
trap remove_cgroups EXIT

started=$(date +%s)
status=0
(
    for group in "${cgroups[@]}"; do
        mkdir -p "$group"
        echo "$BASHPID" >"$group/cgroup.procs"
    done
    exec timeout -k 10 240 systemd-nspawn --quiet --directory="$root" --machine="$machine" --boot \
        --private-network --register=no --keep-unit --link-journal=no --resolv-conf=off \
        --timezone=off --console=pipe
) </dev/null >"$top/boot.log" 2>&1 || status=$?
echo "container ran $(($(date +%s) - started)) s (exit status $status)"

if [[ ! -f $root/pv-check/status ]]; then
    echo "FAIL: the check did not finish; the container's console:" >&2
    tail -n 60 "$top/boot.log" >&2
    exit 1
fi
cat "$root/pv-check/log"
[[ $(cat "$root/pv-check/status") == 0 ]]
