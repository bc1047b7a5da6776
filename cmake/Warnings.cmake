# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings for the project's own targets; link pingvard_warnings privately.
add_library(pingvard_warnings INTERFACE)
target_compile_options(pingvard_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror
                       -Wnon-virtual-dtor -Wold-style-cast
                       $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
                       $<$<CXX_COMPILER_ID:Clang>:-Wshadow-uncaptured-local>)
