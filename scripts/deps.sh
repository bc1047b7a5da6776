#!/usr/bin/env bash
# Installs every Debian 12 package Pingvard needs to build, run and test.
# Safe to run again: only missing packages are installed.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  qt6-base-dev qt6-qpa-plugins libgtest-dev libgmock-dev
  libxcb1-dev  # the tray looks for an XEmbed notification area itself
  # fuzzing (libFuzzer with ASan/UBSan)
  clang libclang-rt-14-dev
  # network tests and the lab: namespaces, nftables, reference ping tools
  iproute2 procps nftables iputils-ping fping libcap2-bin
  # desktop end-to-end test: virtual display, tray host, input, screenshots
  xvfb xauth trayer xdotool x11-utils imagemagick fonts-dejavu-core
  # packaging checks
  dpkg-dev file
  librsvg2-bin  # renders the art in assets/ from its SVG sources
  openbox  # window manager with a close box for the desktop end-to-end test
  # desktop end-to-end test of the D-Bus tray: a private session bus and a
  # panel whose tray hosts StatusNotifierItems
  dbus-daemon dbus-bin xfce4-panel xfconf
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "deps.sh: missing packages: ${missing[*]}" >&2
    echo "deps.sh: run as root (or with sudo) to install them" >&2
    exit 1
  fi
  echo "deps.sh: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "deps.sh: all packages present"
