# SPDX-License-Identifier: GPL-3.0-or-later
# The hardening Debian's own packages get from dpkg-buildflags: checked buffer
# functions in optimised builds (they need the optimiser), a stack protector,
# and relocations made read-only before main. The installed binaries hold
# cap_net_raw, so they get it too. Sanitizer and fuzz builds bring their own
# checks and stay as they are.
if(NOT PINGVARD_SANITIZE AND NOT PINGVARD_FUZZ)
    add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
    add_compile_options(-fstack-protector-strong)
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
