# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# The names of pingvard.ini as config/ spells them (sourced, never run; run
# from the top of the source tree). scripts/structure.sh keeps them inside
# config/, and the manual page's check (tests/docs/manpage_check.sh) wants each
# of them described.
#
# A section is the literal of Section(...) and of the file's Read.../Write.../
# Erase... calls, or a constant named after the section it holds
# (kResetHost = "ResetHost"); a key is the literal of a section reader's Text,
# Number, Flag, Choice, List, Value, Has or Problem, or the key of the file's
# Read.../Write... calls. Both also come from the file a first start writes
# (tests/data/fresh_pingvard.ini).
#
# config/program_state.* read and write pingvard.state, whose sections and
# keys are the program's own memory and no setting: pv_ini_state_keys gives
# them, pv_ini_sections and pv_ini_keys leave them out unless asked
# (PV_INI_WITH_STATE=1).

pv_ini_code() { grep -hv '^\s*\(//\|\*\|/\*\)' "$@"; }

# pv_ini_sources: the config/ sources that read or write pingvard.ini.
pv_ini_sources() {
    local file
    for file in config/*.cpp config/*.h config/*/*.cpp config/*/*.h; do
        [[ ${PV_INI_WITH_STATE:-0} == 1 || $file != config/program_state.* ]] && echo "$file"
    done
}

# pv_ini_names FRESH CODE...: what the pattern FRESH finds in the fresh file
# and the patterns CODE in the sources, once each.
pv_ini_names() {
    local pattern sources
    mapfile -t sources < <(pv_ini_sources)
    {
        grep -oP "$1" tests/data/fresh_pingvard.ini
        for pattern in "${@:2}"; do
            pv_ini_code "${sources[@]}" | grep -oP "$pattern" || true
        done
    } | sort -u
}

readonly PV_INI_SECTION_PATTERNS=('(\bSection|\b(Read|Write|Erase)\w*)\(\s*"\K[A-Za-z][A-Za-z0-9]*\.?(?=")'
    '\bk([A-Z][A-Za-z]+) = "\K\1(?=";)')
readonly PV_INI_KEY_PATTERNS=('\.(Text|Number|Flag|Choice|List|Value|Has|Problem)\(\s*"\K[A-Za-z]+(?=")'
    '\b(Read|Write)\w*\((?:[^,()]+,\s*)+?"\K[A-Za-z]+(?=")')

# Sections ("Action." and "Hook." stand for [Action.NAME] and [Hook.NAME]).
pv_ini_sections() { pv_ini_names '^\[\K[^]]+' "${PV_INI_SECTION_PATTERNS[@]}"; }
# Keys ("Challenge", "Answer" and "Arg" stand for Challenge1, Arg1...).
pv_ini_keys() { pv_ini_names '^[A-Za-z]+(?=[0-9]*=)' "${PV_INI_KEY_PATTERNS[@]}"; }
# The keys of pingvard.state.
pv_ini_state_keys() {
    pv_ini_code config/program_state.* | grep -oP "${PV_INI_KEY_PATTERNS[0]}" | sort -u
    pv_ini_code config/program_state.* | grep -oP '\{"\K[A-Za-z]+(?=", )' | sort -u
}
