#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs each Debian package on its own with apt into a clean, minimal root
# and checks what apt pulls in and what the package does there:
#  - pingvard alone pulls no Qt, GTK, Mesa or X11 library, sets up the service
#    user and the capability, and an ordinary user pings with it;
#  - pingvard-desktop pulls pingvard and Qt, and the tray program starts with
#    its capability when pingvard hands over to it;
#  - purging leaves no file behind.
# Offline: the root is built from this machine's own installed files (see
# minimal_root.sh). What apt would pull from Debian (Recommends included) is
# worked out against Debian's package lists on this machine, without
# downloading; for the install itself, the Depends apt resolves among the
# packages of this machine are copied in from it, and apt installs and
# configures Pingvard's packages.
#   install_check.sh DEB_DIR     (root; mounts in a private mount namespace)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [[ ${1:-} != --inside ]]; then
    debs=$(readlink -f "${1:?usage: install_check.sh DEB_DIR}")
    if [[ $(id -u) -ne 0 ]]; then
        echo "SKIP: needs root: mounts a throw-away root and installs into it"
        exit 77
    fi
    for tool in unshare ip; do
        command -v "$tool" >/dev/null || { echo "SKIP: needs $tool" && exit 77; }
    done
    top=$(mktemp -d /tmp/pingvard-install.XXXXXX)
    status=0
    unshare --mount --propagation private "$0" --inside "$debs" "$top" || status=$?
    rm -rf "$top"
    exit $status
fi

debs=$2 top=$3 # every mount below ends with this private mount namespace
# shellcheck source=tests/packaging/minimal_root.sh
source "$here/minimal_root.sh"
mount -t tmpfs tmpfs "$top"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# Names of the libraries a console package must never bring.
readonly desktop_stack='qt|gtk|mesa|^libgl[1xuv-]|^libglapi|^libegl|^libgbm|^libdrm|wayland|vulkan|^libllvm|^libx(11|cb|au|dmcp|ext|render|i[0-9]|randr|fixes|cursor|kb|composite|damage|inerama|tst|shmfence|xf86)|^x11-|^xkb-data|^libice|^libsm6'

started=$(date +%s)
make_base_root "$top/base"
echo "minimal root: $(wc -l <"$top/base.packages") packages, $(du -sm "$top/base" | cut -f1) MiB," \
    "built in $(($(date +%s) - started)) s"
mkdir -p "$top/universe"
status_index >"$top/universe/Packages"
deb_of() { ls "$debs/$1"_*.deb; }

# new_root NAME: a fresh copy-on-write root over the minimal one.
new_root() {
    local dir=$top/$1
    mkdir -p "$dir"/{upper,work,root}
    mount -t overlay overlay -o "lowerdir=$top/base,upperdir=$dir/upper,workdir=$dir/work" "$dir/root"
    mount -t proc proc "$dir/root/proc"
    mount --rbind /dev "$dir/root/dev"
    mount -t tmpfs tmpfs "$dir/root/run" # no systemd in here: the scripts must not need it
    mkdir -p "$dir/root/srv/universe"
    mount --bind "$top/universe" "$dir/root/srv/universe"
    root=$dir/root
}
in_root() { chroot "$root" env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"; }
use_sources() { # use_sources LINE: the root's only apt source
    rm -f "$root"/etc/apt/sources.list.d/* "$root"/var/lib/apt/lists/*_*
    printf '%s\n' "$1" >"$root/etc/apt/sources.list.d/local.list"
    in_root apt-get update -q >"$top/update.log" 2>&1 || { cat "$top/update.log" >&2 && return 1; }
}
use_debian_lists() { # Debian's lists as this machine has them; false when there are none
    compgen -G '/var/lib/apt/lists/*_Packages*' >/dev/null || return 1
    rm -f "$root"/etc/apt/sources.list.d/*
    cp /etc/apt/sources.list.d/*.sources "$root/etc/apt/sources.list.d/" 2>/dev/null || true
    cp /etc/apt/sources.list.d/*.list "$root/etc/apt/sources.list.d/" 2>/dev/null || true
    [[ -f /etc/apt/sources.list ]] && cp /etc/apt/sources.list "$root/etc/apt/"
    find /var/lib/apt/lists -maxdepth 1 -type f -name '*_*' -exec cp {} "$root/var/lib/apt/lists/" \;
}
# pulled ARGS...: the packages apt-get would newly install, one per line (an
# upgrade of a package the root has, "Inst NAME [OLD] (NEW ...)", is none).
pulled() { in_root apt-get install -s "$@" 2>&1 | awk '/^Inst / && $3 !~ /^\[/ { print $2 }' | sort; }
# size_of FILE: download and installed size of the packages named in FILE,
# from the index the root uses.
size_of() {
    # shellcheck disable=SC2046 # one name per word
    in_root apt-cache show --no-all-versions $(cat "$1") 2>/dev/null | awk '
        /^Size:/ { bytes += $2 } /^Installed-Size:/ { kib += $2 }
        END { printf "%.1f MB to download, %.1f MB installed", bytes / 1e6, kib * 1024 / 1e6 }'
}

# install_alone PACKAGE DEB...: what `apt install ./DEB...` pulls into a clean
# root, then that install: the Depends apt resolves are put in place from this
# machine, and apt installs and configures the packages themselves.
install_alone() {
    local package=$1 debian="the packages installed on this machine" deb files=() names=()
    shift
    new_root "$package"
    mkdir -p "$root/tmp/debs"
    for deb in "$@"; do
        cp "$deb" "$root/tmp/debs/"
        files+=("/tmp/debs/$(basename "$deb")")
        names+=("$(dpkg-deb -f "$deb" Package)")
    done

    use_debian_lists && debian="Debian's package lists" || use_sources "deb [trusted=yes] file:/srv/universe ./"
    pulled "${files[@]}" | grep -v -x -F -f <(printf '%s\n' "${names[@]}") >"$top/$package.all" || true
    echo "$package: apt would add $(wc -l <"$top/$package.all") packages from $debian," \
        "Recommends included ($(size_of "$top/$package.all")):"
    fmt -w 100 "$top/$package.all" | sed 's/^/    /'

    use_sources "deb [trusted=yes] file:/srv/universe ./"
    pulled --no-install-recommends "${files[@]}" >"$top/$package.deps"
    grep -v -x -F -f <(printf '%s\n' "${names[@]}") "$top/$package.deps" >"$top/$package.seed" || true
    copy_packages "$root" "$top/$package.seed"
    if ! in_root apt-get install -y -q --no-install-recommends "${files[@]}" >"$top/$package.apt.log" 2>&1; then
        cat "$top/$package.apt.log" >&2
        fail "$package: apt could not install it"
        return 1
    fi
    local set_up
    set_up=$(awk '/^Setting up / { print $3 }' "$top/$package.apt.log" | sort | tr '\n' ' ')
    [[ $set_up == "$(printf '%s\n' "${names[@]}" | sort | tr '\n' ' ')" ]] ||
        fail "$package: apt set up more than the packages given: $set_up"
    echo "$package: installed with apt (its Depends, $(wc -l <"$top/$package.seed") packages, copied in)"
}

# As an ordinary user in a fresh network namespace, where the ICMP datagram
# socket is not allowed (ping_group_range "1 0"): only the capability helps.
# run_as_nobody SECONDS "ENV..." PROGRAM ARGS...
run_as_nobody() {
    local seconds=$1 environment=$2
    shift 2
    unshare --net /bin/sh -c "ip link set lo up && exec chroot '$root' setpriv --reuid=nobody \
        --regid=nogroup --clear-groups env HOME=/tmp $environment timeout -s TERM $seconds \
        $* -C /tmp/pv" || true
}
write_ini() {
    rm -rf "$root/tmp/pv" && mkdir -p "$root/tmp/pv"
    printf '[Constants]\nPingInterval=200\n[ResetHost]\nHostname=127.0.0.1\n' >"$root/tmp/pv/pingvard.ini"
    for n in 1 2 3 4; do printf '[Host%s]\nHostname=127.0.0.1\n' "$n" >>"$root/tmp/pv/pingvard.ini"; done
    chown -R 65534:65534 "$root/tmp/pv"
}
has_capability() { [[ $(in_root getcap "$1") == *cap_net_raw=ep* ]]; }

purge_leaves_nothing() {
    in_root apt-get purge -y -q "$@" >"$top/purge.log" 2>&1 || fail "purge: $(cat "$top/purge.log")"
    local left
    left=$(cd "$root" && ls -d usr/bin/pingvard* var/lib/pingvard usr/share/doc/pingvard* \
        usr/lib/systemd/system/pingvard.service usr/share/applications/pingvard.desktop 2>/dev/null || true)
    [[ -z $left ]] || fail "purging $* left $left"
}

check_console_package() {
    install_alone pingvard "$(deb_of pingvard)" || return 0
    local forbidden
    forbidden=$(grep -E "$desktop_stack" "$top/pingvard.all" | tr '\n' ' ' || true)
    [[ -z $forbidden ]] || fail "pingvard would pull desktop libraries: $forbidden"
    forbidden=$(in_root dpkg-query -W -f='${Package}\n' | grep -E "$desktop_stack" | tr '\n' ' ' || true)
    [[ -z $forbidden ]] || fail "the root holds desktop libraries after installing pingvard: $forbidden"

    has_capability /usr/bin/pingvard || fail "no cap_net_raw on /usr/bin/pingvard"
    in_root getent passwd pingvard | grep -q ':/var/lib/pingvard:/usr/sbin/nologin$' || fail "no service user"
    [[ $(in_root stat -c %U:%a /var/lib/pingvard) == pingvard:750 ]] || fail "state directory"
    in_root pingvard-apsim --version | grep -q '^pingvard-apsim ' || fail "pingvard-apsim does not run"

    # A display in the environment but no desktop package: the console program.
    write_ini
    run_as_nobody 3 "DISPLAY=:99" /usr/bin/pingvard >"$top/headless.out" 2>&1
    grep -Eq ' host 1 ping=[0-9]+ms' "$top/headless.out" ||
        fail "an ordinary user cannot ping with pingvard alone: $(head -5 "$top/headless.out")"
    purge_leaves_nothing pingvard
}

check_desktop_package() {
    install_alone pingvard-desktop "$(deb_of pingvard)" "$(deb_of pingvard-desktop)" || return 0
    grep -qx libqt6widgets6 "$top/pingvard-desktop.deps" || fail "pingvard-desktop does not pull Qt"
    has_capability /usr/bin/pingvard-desktop || fail "no cap_net_raw on /usr/bin/pingvard-desktop"
    in_root pingvard-desktop --help | grep -q '^Usage: pingvard-desktop ' || fail "pingvard-desktop --help"

    # The tray program must start with its file capability (Qt refuses some
    # set-id situations) and be able to ping: without a socket it would name
    # setcap on stderr.
    write_ini
    run_as_nobody 4 "QT_QPA_PLATFORM=offscreen" /usr/bin/pingvard-desktop >"$top/desktop.out" 2>&1
    if grep -Eiq 'fatal|abort|setuid|segmentation|setcap' "$top/desktop.out"; then
        fail "the desktop program does not run with the capability: $(head -5 "$top/desktop.out")"
    fi
    grep -q '^MaxTimeouts=5' "$root/tmp/pv/pingvard.ini" ||
        fail "the desktop program did not start up: $(head -5 "$top/desktop.out")"
    purge_leaves_nothing pingvard-desktop pingvard
}

check_console_package
compgen -G "$debs/pingvard-desktop_*.deb" >/dev/null && check_desktop_package

((failures == 0)) || exit 1
echo "install checks passed in $(($(date +%s) - started)) s"
