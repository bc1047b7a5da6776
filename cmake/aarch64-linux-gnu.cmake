# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build for 64-bit ARM (Debian arm64) with Debian's cross toolchain
# (crossbuild-essential-arm64). Libraries come from Debian's arm64 multiarch
# packages in /usr/lib/aarch64-linux-gnu (dpkg --add-architecture arm64;
# libgtest-dev:arm64, ...), which dpkg-shlibdeps also reads for the package's
# Depends. Programs and tests run under qemu-user: the emulator below for the
# test discovery, binfmt_misc (qemu-user-static, binfmt-support) for programs
# that tests start themselves. scripts/check --cross sets this up.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
# The build's tools are the host's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# pkg-config must read the arm64 .pc files only: the host's ones name include
# directories (/usr/include/x86_64-linux-gnu) that break a cross compile.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
# prometheus-cpp's arm64 development files, unpacked by scripts/deps.sh --cross.
set(prometheus-cpp_DIR /usr/local/lib/pingvard-cross/prometheus-cpp/usr/lib/aarch64-linux-gnu/cmake/prometheus-cpp
    CACHE PATH "")
