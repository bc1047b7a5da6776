# Warnings for the project's own targets; link pingvard_warnings privately.
add_library(pingvard_warnings INTERFACE)
target_compile_options(pingvard_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror
                       -Wshadow=local -Wnon-virtual-dtor -Wold-style-cast)
