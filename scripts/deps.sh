#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian 12 package Pingvard needs to build, run and test.
# Safe to run again: only missing packages are installed.
#   deps.sh            what scripts/check needs
#   deps.sh --cross    also the arm64 cross toolchain, the arm64 libraries and
#                      qemu-user for scripts/check --cross
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  shellcheck  # every shell script is checked by the test command
  libc-ares-dev  # name lookups that shutdown can abandon (net/host_lookup.cpp)
  qt6-base-dev qt6-qpa-plugins libgtest-dev libgmock-dev
  libxcb1-dev  # the tray looks for an XEmbed notification area itself
  qt6-l10n-tools qt6-tools-dev qt6-translations-l10n  # the English captions; Qt's own Czech texts
  # fuzzing (libFuzzer with ASan/UBSan)
  clang libclang-rt-14-dev
  # network tests and the lab: namespaces, nftables, reference ping tools
  iproute2 procps nftables iputils-ping fping libcap2-bin
  dnsmasq-base  # a real name server for the lookup tests (run in a namespace)
  # desktop end-to-end test: virtual display, tray host, input, screenshots
  xvfb xauth trayer xdotool x11-utils imagemagick fonts-dejavu-core
  # packaging checks: policy tools, and a container to run the service under systemd
  dpkg-dev file lintian desktop-file-utils groff-base systemd-container
  librsvg2-bin  # renders the art in assets/ from its SVG sources
  openbox  # window manager with a close box for the desktop end-to-end test
  # the settings dialog's end-to-end test drives it through the accessibility tree
  at-spi2-core python3-pyatspi
  # recovery actions (SSH, HTTP) and their real servers in the tests
  libssh-dev libcurl4-openssl-dev libssl-dev openssh-server openssh-client openssl
  # history, metrics and systemd notification; the real Prometheus server and
  # the tools its scrape test queries it with (promtool also checks the
  # shipped alerting rules); zlib packs a scrape for a scraper that asks
  libsqlite3-dev prometheus-cpp-dev zlib1g-dev prometheus curl jq
  sqlite3  # the fault suite locks and reads history.db with SQLite's own shell
  # real telnet daemons for the device end-to-end tests, the lab and the
  # benchmarks; they only ever run inside the tests' network namespaces
  inetutils-telnetd inetutils-inetd
  # desktop end-to-end test of the D-Bus tray: a private session bus and a
  # panel whose tray hosts StatusNotifierItems
  dbus-daemon dbus-bin xfce4-panel xfconf
  # desktop notifications test: a real notification daemon (it brings dunstctl)
  dunst
  # status page end-to-end test: a real browser, driven headless
  chromium chromium-driver python3-selenium
  # the notification test: a real mail server (STARTTLS, SASL login, a
  # maildir) behind the simulated uplink; it only ever runs there, with a
  # configuration of the test's own (the package is left unconfigured)
  postfix sasl2-bin
)

# busybox-static has the telnetd applet that Debian's busybox lacks, and the two
# packages conflict: where busybox is installed, take the binary out of the
# busybox-static package instead (tools/telnet_device.sh looks there).
readonly busybox_dir=/usr/local/lib/pingvard-test/busybox-static
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
extract_busybox=0
if installed busybox && ! installed busybox-static; then
  [[ -x $busybox_dir/bin/busybox ]] || extract_busybox=1
else
  packages+=(busybox-static)
fi

# The arm64 build: Debian's cross toolchain, the target's libraries from the
# arm64 multiarch packages (a library linked later needs its :arm64 -dev
# package here), and qemu-user to run the programs and tests.
cross_packages=(
  crossbuild-essential-arm64 qemu-user-static binfmt-support
  libc6:arm64 libstdc++6:arm64 libgcc-s1:arm64 libgtest-dev:arm64 libgmock-dev:arm64
  libc-ares-dev:arm64 libssh-dev:arm64 libcurl4-openssl-dev:arm64 libssl-dev:arm64
  libsqlite3-dev:arm64 zlib1g-dev:arm64
  libprometheus-cpp-core1.0:arm64 libprometheus-cpp-pull1.0:arm64 libcivetweb1:arm64
)
# prometheus-cpp-dev of two architectures cannot be installed together (both
# need the civetweb program of their own): the arm64 one is unpacked beside
# the system instead, and cmake/aarch64-linux-gnu.cmake looks there.
readonly cross_prometheus=/usr/local/lib/pingvard-cross/prometheus-cpp
extract_prometheus=0
cross=no
if [[ ${1:-} == --cross ]]; then
  cross=yes
  packages+=("${cross_packages[@]}")
  [[ -f $cross_prometheus/usr/lib/aarch64-linux-gnu/cmake/prometheus-cpp/prometheus-cpp-config.cmake ]] ||
    extract_prometheus=1
fi

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done

if ((${#missing[@]} || extract_busybox || extract_prometheus)); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "deps.sh: missing packages: ${missing[*]}${missing[*]:+ }$( ((extract_busybox)) && echo busybox-static)" >&2
    echo "deps.sh: run as root (or with sudo) to install them" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [[ $cross == yes ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    dpkg --add-architecture arm64
  fi
  apt-get update -qq
fi
if ((${#missing[@]})); then
  echo "deps.sh: installing ${missing[*]}"
  # No system mail server: only the notification test runs one, in a namespace.
  echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  if [[ " ${missing[*]} " == *" inetutils-telnetd "* ]] && command -v update-inetd >/dev/null; then
    # The package enables telnet in the system's own inetd: only the tests run it.
    update-inetd --disable telnet >/dev/null 2>&1 || true
  fi
fi
if ((extract_busybox)); then
  echo "deps.sh: extracting busybox-static to $busybox_dir (busybox is installed)"
  scratch=$(mktemp -d)
  chmod 755 "$scratch" # apt downloads as its own user
  (cd "$scratch" && apt-get download -qq busybox-static >/dev/null)
  dpkg-deb -x "$scratch"/busybox-static_*.deb "$scratch/root"
  mkdir -p "$busybox_dir/bin"
  install -m 0755 "$scratch/root/bin/busybox" "$busybox_dir/bin/busybox"
  rm -rf "$scratch"
fi

if ((extract_prometheus)); then
  echo "deps.sh: unpacking prometheus-cpp-dev:arm64 to $cross_prometheus"
  scratch=$(mktemp -d)
  chmod 755 "$scratch"
  (cd "$scratch" && apt-get download -qq prometheus-cpp-dev:arm64 >/dev/null)
  rm -rf "$cross_prometheus"
  mkdir -p "$cross_prometheus"
  dpkg-deb -x "$scratch"/prometheus-cpp-dev_*_arm64.deb "$cross_prometheus"
  # Its CMake files name the libraries beside themselves: point those at the
  # installed arm64 libraries.
  for lib in /usr/lib/aarch64-linux-gnu/libprometheus-cpp-*.so.*.*.*; do
    ln -sf "$lib" "$cross_prometheus/usr/lib/aarch64-linux-gnu/${lib##*/}"
  done
  rm -rf "$scratch"
fi

# arm64 programs run through binfmt_misc, also when a test starts them itself.
aarch64_enabled() { [[ $(head -n 1 /proc/sys/fs/binfmt_misc/qemu-aarch64 2>/dev/null) == enabled ]]; }
if [[ $cross == yes ]] && ! aarch64_enabled; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "deps.sh: run as root to let the kernel start arm64 programs with qemu" >&2
    exit 1
  fi
  [[ -e /proc/sys/fs/binfmt_misc/status ]] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  update-binfmts --enable qemu-aarch64
fi
echo "deps.sh: all packages present"
