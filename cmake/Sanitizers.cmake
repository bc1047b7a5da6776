# SPDX-License-Identifier: GPL-3.0-or-later
# Sanitizers apply to the whole build so that every library and test is instrumented.
if(PINGVARD_SANITIZE)
    set(_san -fsanitize=${PINGVARD_SANITIZE} -fno-omit-frame-pointer)
    if(PINGVARD_SANITIZE MATCHES "address|undefined")
        list(APPEND _san -fno-sanitize-recover=all)
    endif()
    add_compile_options(${_san})
    add_link_options(${_san})
endif()
