#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks what a user's
# apt would see: the file list, the dependencies, the maintainer scripts, the
# service unit and the manual page; as root it then installs the package into
# a throw-away root (install_check.sh).
#   check_package.sh BUILD_DIR [EXPECTED_PATH...] [-- EXPECTED_DEPENDENCY...]
set -euo pipefail

build=$1
shift
expected_paths=() expected_deps=()
while (($#)) && [[ $1 != -- ]]; do expected_paths+=("$1") && shift; done
(($#)) && shift && expected_deps=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2 && exit 1; }
debs=("$work"/pingvard_*_*.deb)
[[ -f ${debs[0]} ]] || { echo "FAIL: no pingvard_*.deb" >&2 && exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

# File list: every expected path, everything root-owned, nothing setuid.
dpkg-deb -c "$deb" >"$work/contents"
for path in "${expected_paths[@]}"; do
    grep -q " \./$path\$" "$work/contents" || fail "missing $path"
done
awk '$2 != "root/root" { print "FAIL: not root-owned: " $0 }' "$work/contents" | grep . >&2 && fail "ownership"
awk '$1 ~ /s/ { print "FAIL: setuid/setgid: " $0 }' "$work/contents" | grep . >&2 && fail "special bits"

# Dependencies: the run-time libraries found by dpkg-shlibdeps and the
# maintainer scripts' tools.
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for dep in "${expected_deps[@]}"; do
    [[ ", $depends," == *", $dep"[\ ,]* ]] || fail "Depends lacks $dep"
done

# Maintainer scripts: present, executable, valid shell, doing their job.
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
    [[ -x $work/control/$script ]] || fail "$script missing or not executable"
    sh -n "$work/control/$script" || fail "$script is not valid sh"
done
grep -q 'setcap cap_net_raw+ep' "$work/control/postinst" || fail "postinst sets no capability"
grep -q 'ping_group_range' "$work/control/postinst" || fail "postinst names no fallback"
grep -q 'useradd --system' "$work/control/postinst" || fail "postinst creates no service user"

# The service unit, as installed.
dpkg-deb -x "$deb" "$work/root"
unit=$work/root/usr/lib/systemd/system/pingvard.service
for line in 'User=pingvard' 'WorkingDirectory=/var/lib/pingvard' 'AmbientCapabilities=CAP_NET_RAW' \
    'Restart=on-failure' 'ExecStart=pingvard --headless' 'TimeoutStopSec=6'; do
    grep -qx "$line" "$unit" || fail "unit lacks $line"
done
grep -q '^User=root' "$unit" && fail "unit runs as root"

# The manual page: renders without warnings and names every configuration key.
man=$work/root/usr/share/man/man1/pingvard.1.gz
if command -v groff >/dev/null; then
    warnings=$(zcat "$man" | groff -man -Tutf8 -ww -z 2>&1)
    [[ -z $warnings ]] || fail "manual page warnings: $warnings"
fi
for key in MaxTimeouts PingInterval Hostname ChallengesCount Challenge Answer DisplayName \
    Timeout TimeoutDoReset 'EXIT STATUS' headless directory; do
    zcat "$man" | grep -q -- "$key" || fail "manual page lacks $key"
done

((failures == 0)) || exit 1
echo "package checks passed"

# Installing needs root (mounts, chroot); without it the inspection above is all.
if [[ $(id -u) -eq 0 ]] && command -v unshare >/dev/null; then
    "$(dirname "$0")/install_check.sh" "$deb"
else
    echo "install check skipped: needs root"
fi
