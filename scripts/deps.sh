#!/usr/bin/env bash
# Installs every Debian 12 package Pingvard needs to build, run and test.
# Safe to run again: only missing packages are installed.
#   deps.sh            what scripts/check needs
#   deps.sh --cross    also the arm64 cross toolchain, the arm64 libraries and
#                      qemu-user for scripts/check --cross
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  qt6-base-dev qt6-qpa-plugins libgtest-dev libgmock-dev
  # fuzzing (libFuzzer with ASan/UBSan)
  clang libclang-rt-14-dev
  # network tests and the lab: namespaces, nftables, reference ping tools
  iproute2 procps nftables iputils-ping fping libcap2-bin
  # desktop end-to-end test: virtual display, tray host, input, screenshots
  xvfb xauth trayer xdotool x11-utils imagemagick fonts-dejavu-core
  # packaging checks: policy tools, and a container to run the service under systemd
  dpkg-dev file lintian desktop-file-utils groff-base systemd-container
  librsvg2-bin  # renders the art in assets/ from its SVG sources
  openbox  # window manager with a close box for the desktop end-to-end test
)

# The arm64 build: Debian's cross toolchain, the target's libraries from the
# arm64 multiarch packages (a library linked later needs its :arm64 -dev
# package here), and qemu-user to run the programs and tests.
cross_packages=(
  crossbuild-essential-arm64 qemu-user-static binfmt-support
  libc6:arm64 libstdc++6:arm64 libgcc-s1:arm64 libgtest-dev:arm64 libgmock-dev:arm64
)
cross=no
if [[ ${1:-} == --cross ]]; then
  cross=yes
  packages+=("${cross_packages[@]}")
fi

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
  if [[ $cross == yes ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    dpkg --add-architecture arm64
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
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
