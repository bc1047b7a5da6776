#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages from a finished build and checks what a user's
# apt and Debian's own tools would see: the file lists, the dependencies, the
# maintainer scripts, the service unit and its security rating, the manual
# pages, the copyright file and changelog, the menu entry, and lintian.
# Leaves the packages in OUT_DIR for install_check.sh and service_check.sh.
#   check_package.sh BUILD_DIR OUT_DIR [--desktop]   (--desktop: expect pingvard-desktop)
set -euo pipefail

build=$1 out=$2 desktop=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# The libraries a console package must never depend on.
readonly desktop_stack='qt|gtk|mesa|libgl[1xuv-]|libegl|libx11|libxcb|wayland'

cpack -G DEB -B "$work/cpack" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2 && exit 1; }
rm -rf "$out" && mkdir -p "$out"
mv "$work"/cpack/*.deb "$out/"
console=$(ls "$out"/pingvard_*.deb)
version=$(dpkg-deb -f "$console" Version)
debs=("$console")
if [[ $desktop == --desktop ]]; then
    debs+=("$(ls "$out"/pingvard-desktop_*.deb)")
elif compgen -G "$out/pingvard-desktop_*.deb" >/dev/null; then
    fail "a build without the desktop program made pingvard-desktop"
fi
for deb in "${debs[@]}"; do
    echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
    dpkg-deb -x "$deb" "$work/$(dpkg-deb -f "$deb" Package)"
done
unpacked() { ls -d "$work/$1/$2" >/dev/null 2>&1; }

# has PACKAGE PATH...: each path is in the package.
has() {
    local package=$1 path
    shift
    for path in "$@"; do unpacked "$package" "$path" || fail "$package lacks $path"; done
}
has pingvard usr/bin/pingvard usr/bin/pingvard-apsim usr/lib/systemd/system/pingvard.service \
    usr/share/man/man1/pingvard.1.gz usr/share/man/man1/pingvard-apsim.1.gz \
    usr/share/doc/pingvard/copyright usr/share/doc/pingvard/changelog.gz \
    usr/lib/pingvard/pingvard-metrics.so usr/share/doc/pingvard/examples/prometheus/pingvard-rules.yml \
    usr/share/doc/pingvard/examples/grafana/pingvard.json
for path in usr/bin/pingvard-desktop usr/share/applications usr/share/icons; do
    unpacked pingvard "$path" && fail "pingvard holds $path, which belongs to pingvard-desktop"
done
if [[ $desktop == --desktop ]]; then
    has pingvard-desktop usr/bin/pingvard-desktop usr/share/applications/pingvard.desktop \
        usr/share/doc/pingvard-desktop/examples/pingvard-autostart.desktop \
        usr/share/man/man1/pingvard-desktop.1.gz usr/share/doc/pingvard-desktop/copyright \
        usr/share/doc/pingvard-desktop/changelog.gz
    [[ -e $work/pingvard-desktop/usr/share/icons/hicolor/48x48/apps/pingvard.png ]] ||
        fail "pingvard-desktop has no 48x48 icon"
fi

# Ownership and modes: root's files, nothing set-id.
for deb in "${debs[@]}"; do
    dpkg-deb -c "$deb" | awk '$2 != "root/root" || $1 ~ /s/ { print "FAIL: owner or set-id bit: " $0 }' |
        grep . >&2 && fail "ownership or modes in $(basename "$deb")"
done

# Dependencies: the run-time libraries found by dpkg-shlibdeps and the tools
# of the maintainer scripts.
depends_on() { # depends_on DEB NAME...
    local deb=$1 depends dep
    depends=", $(dpkg-deb -f "$1" Depends),"
    shift
    for dep in "$@"; do
        [[ $depends == *", $dep"[\ ,]* ]] || fail "$(basename "$deb") does not depend on $dep"
    done
}
depends_on "$console" libc6 libstdc++6 libcap2-bin passwd libprometheus-cpp-core1.0 libssh-4 libcurl4
# The metrics, SSH and HTTP client libraries are the modules' alone: the
# programs load them only when metrics are on or such an action runs, and
# the HTTP listener and the service notification are the program's own.
for program in usr/bin/pingvard ${desktop:+usr/bin/pingvard-desktop}; do
    package=pingvard
    [[ $program == *desktop ]] && package=pingvard-desktop
    needed=$(objdump -p "$work/$package/$program" | awk '$1 == "NEEDED" { print $2 }')
    grep -Eq 'prometheus|civetweb|libssh|libcurl|libsystemd' <<<"$needed" &&
        fail "$program links $(grep -E 'prometheus|civetweb|libssh|libcurl|libsystemd' <<<"$needed" | tr '\n' ' ')"
done
for entry in metrics:pingvard_metrics_create ssh:pingvard_ssh_create http:pingvard_http_create \
    notify:pingvard_notify_create; do
    # Not grep -q: objdump would die of SIGPIPE and fail the pipeline.
    objdump -T "$work/pingvard/usr/lib/pingvard/pingvard-${entry%%:*}.so" | grep " ${entry#*:}$" >/dev/null ||
        fail "pingvard-${entry%%:*}.so does not export ${entry#*:}"
done
if dpkg-deb -f "$console" Depends | tr ',' '\n' | grep -Eq "$desktop_stack"; then
    fail "pingvard depends on a desktop library"
fi
if [[ $desktop == --desktop ]]; then
    depends_on "${debs[1]}" "pingvard (= $version)" libqt6widgets6 qt6-qpa-plugins libcap2-bin
fi

# Maintainer scripts: present, executable, valid shell, doing their job.
dpkg-deb -e "$console" "$work/control"
for script in postinst prerm postrm; do
    [[ -x $work/control/$script ]] || fail "$script missing or not executable"
    sh -n "$work/control/$script" || fail "$script is not valid sh"
done
grep -q 'setcap cap_net_raw+ep /usr/bin/pingvard ' "$work/control/postinst" || fail "postinst sets no capability"
grep -q 'ping_group_range' "$work/control/postinst" || fail "postinst names no fallback"
grep -q 'useradd --system' "$work/control/postinst" || fail "postinst creates no service user"
if [[ $desktop == --desktop ]]; then
    dpkg-deb -e "${debs[1]}" "$work/control-desktop"
    grep -q 'setcap cap_net_raw+ep /usr/bin/pingvard-desktop ' "$work/control-desktop/postinst" ||
        fail "pingvard-desktop's postinst sets no capability"
fi

# The service unit, as installed, and how systemd rates its exposure (0 is
# best, 10 worst).
unit=$work/pingvard/usr/lib/systemd/system/pingvard.service
for line in 'User=pingvard' 'WorkingDirectory=/var/lib/pingvard' 'StateDirectory=pingvard' \
    'AmbientCapabilities=CAP_NET_RAW' 'CapabilityBoundingSet=CAP_NET_RAW' 'ProtectSystem=strict' \
    'Restart=on-failure' 'ExecStart=pingvard --headless' 'ExecReload=/bin/kill -HUP $MAINPID' \
    'TimeoutStopSec=6'; do
    grep -qx "$line" "$unit" || fail "unit lacks $line"
done
if command -v systemd-analyze >/dev/null; then
    rating=$(systemd-analyze security --offline=true "$unit" 2>/dev/null | sed -n 's/.*Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
    echo "systemd-analyze security pingvard.service: ${rating:-none}"
    awk -v r="${rating:-99}" 'BEGIN { exit !(r <= 2.5) }' || fail "exposure ${rating:-unknown} is above 2.5"
fi

# Manual pages: render without warnings; pingvard's names every key,
# pingvard-apsim's every option of its --help, pingvard-desktop's is pingvard's.
man1=$work/pingvard/usr/share/man/man1
for page in "$man1"/*.1.gz; do
    warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)
    [[ -z $warnings ]] || fail "$(basename "$page"): $warnings"
done
pingvard_page=$(zcat "$man1/pingvard.1.gz" | sed 's/\\-/-/g')
for key in MaxTimeouts PingInterval Hostname ChallengesCount Challenge Answer DisplayName \
    Timeout TimeoutDoReset 'EXIT STATUS' headless directory lang Language pingvard-desktop \
    pingvard.state arm SIGHUP HoldOff MaxRounds; do
    grep -q -- "$key" <<<"$pingvard_page" || fail "pingvard.1 lacks $key"
done
apsim_page=$(zcat "$man1/pingvard-apsim.1.gz" | sed 's/\\-/-/g')
for option in $("$work/pingvard/usr/bin/pingvard-apsim" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    grep -q -- "$option" <<<"$apsim_page" || fail "pingvard-apsim.1 does not document $option"
done
if [[ $desktop == --desktop ]]; then
    [[ $(zcat "$work/pingvard-desktop/usr/share/man/man1/pingvard-desktop.1.gz") == '.so man1/pingvard.1' ]] ||
        fail "pingvard-desktop.1 is not a link to pingvard.1"
fi

# Copyright in the machine-readable format; the changelog names this version.
for package in pingvard ${desktop:+pingvard-desktop}; do
    doc=$work/$package/usr/share/doc/$package
    head -n 1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "$package: copyright is not machine-readable"
    zcat "$doc/changelog.gz" >"$work/changelog"
    [[ $(dpkg-parsechangelog -l "$work/changelog" -S Version) == "$version" ]] ||
        fail "$package: changelog.gz does not start with version $version"
done

# The menu entry and the autostart example.
if [[ $desktop == --desktop ]] && command -v desktop-file-validate >/dev/null; then
    for entry in usr/share/applications/pingvard.desktop \
        usr/share/doc/pingvard-desktop/examples/pingvard-autostart.desktop; do
        messages=$(desktop-file-validate "$work/pingvard-desktop/$entry" 2>&1) || true
        [[ -z $messages ]] || fail "desktop-file-validate $entry: $messages"
    done
fi

# lintian: no error and no warning. Informational tags are listed; those that
# stay are explained in docs/packaging.md.
if command -v lintian >/dev/null; then
    # lintian leaves its caches (mldbm-*) in TMPDIR: keep them in ours.
    TMPDIR=$work lintian --display-info --fail-on error,warning "${debs[@]}" 2>&1 |
        grep -v '^N:\|^running with root privileges' >"$work/lintian" || true
    grep -q '^[EW]: ' "$work/lintian" && fail "lintian: $(grep '^[EW]: ' "$work/lintian")"
    echo "lintian: $(grep -c '^[EW]: ' "$work/lintian" || true) errors and warnings;" \
        "informational tags: $(sed -n 's/^I: [^ ]* \([^ ]*\).*/\1/p' "$work/lintian" | sort -u | tr '\n' ' ')"
else
    fail "lintian is not installed (scripts/deps.sh installs it)"
fi

((failures == 0)) || exit 1
echo "package checks passed"
