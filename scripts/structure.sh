#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Two rules of the layout, over the production sources: the C++ files of the
# layer folders (net recovery events config logs rounds monitor web observe
# ui app) and their subfolders. Tests, docs, the simulators (tools/), lab/,
# bench/, fuzz/ and packaging/ are exempt.
#
# 1. Only config/ spells a name of pingvard.ini. The names are the sections
#    and keys of the fresh file (tests/data/fresh_pingvard.ini) and those that
#    config/ reads and writes: the literal section of Section(...) and of the
#    file's Read.../Write.../Erase... calls, a constant named after the
#    section it holds (kResetHost = "ResetHost"), and the literal key of a
#    section reader's Text, Number, Flag, Choice, List, Value, Has or Problem
#    and of the file's calls. A file
#    outside config/ spells a name when one of its string literals (comment
#    lines aside) holds
#      - a section in the file's brackets: "[Metrics]", "see [Action.",
#      - a key with its "=": "HostKey=",
#      - as its whole text, a name that can be nothing else: words run
#        together ("MaxTimeouts", "ResetHost"), or ending in a digit or a dot
#        ("Host1", "Action."). A single plain word ("Metrics", "Port") is the
#        word it is and counts only in the two forms above.
#    Messages that name a setting take the name from config/ (for example
#    kActionsSetting in config/recovery_settings.h).
# 2. No folder holds more than 3000 lines of production code of its own
#    (its .cpp and .h files, every line; its subfolders count for
#    themselves).
#
#   structure.sh     prints each breach; status 1 if any
set -euo pipefail
cd "$(dirname "$0")/.."
readonly layers=(net recovery events config logs rounds monitor web observe ui app)
readonly max_lines=3000

# The production sources, as git knows them.
mapfile -t sources < <(git ls-files "${layers[@]/%//*.cpp}" "${layers[@]/%//*.h}")
# alternation WORD...: a regular expression matching any of the words.
alternation() { printf '%s\n' "$@" | sed 's/[.]/\\./g' | paste -sd'|'; }

# shellcheck source=scripts/ini_names.sh
source scripts/ini_names.sh
# Every name config/ spells, pingvard.state's among them.
export PV_INI_WITH_STATE=1
mapfile -t sections < <(pv_ini_sections)
mapfile -t keys < <(pv_ini_keys)
((${#sections[@]} > 5 && ${#keys[@]} > 10)) || {
    echo "structure: found only ${#sections[@]} sections and ${#keys[@]} keys in config/" >&2
    exit 1
}
# Names that can be nothing else: words run together, or a digit or a dot at the end.
mapfile -t distinct < <(printf '%s\n' "${sections[@]}" "${keys[@]}" |
    grep -E '^[A-Z][a-z0-9]+[A-Z]|[0-9.]$' | sort -u)
spelling="\"((?:$(alternation "${distinct[@]}"))\"|[^\"]*\\[(?:$(alternation "${sections[@]}"))"
spelling+="|[^\"]*\\b(?:$(alternation "${keys[@]}"))=)"

breaches=0
for file in "${sources[@]}"; do
    [[ $file == config/* ]] && continue
    while IFS= read -r line; do
        echo "structure: $file:$line: spells a name of pingvard.ini (only config/ may)"
        breaches=$((breaches + 1))
    done < <(grep -nv '^\s*\(//\|\*\|/\*\)' "$file" | grep -P "$spelling" || true)
done

# lines DIR per folder, the largest first.
folder_lines() {
    local file
    for file in "${sources[@]}"; do
        printf '%s %s\n' "$(dirname "$file")" "$(wc -l <"$file")"
    done | awk '{ n[$1] += $2 } END { for (d in n) print n[d], d }' | sort -rn
}
mapfile -t folders < <(folder_lines)
for entry in "${folders[@]}"; do
    read -r lines dir <<<"$entry"
    if ((lines > max_lines)); then
        echo "structure: $dir/ holds $lines lines of production code of its own (at most $max_lines)"
        breaches=$((breaches + 1))
    fi
done
read -r largest largest_dir <<<"${folders[0]}"

if ((breaches > 0)); then
    echo "structure: $breaches breaches" >&2
    exit 1
fi
echo "structure: ${#sources[@]} files, no name of pingvard.ini (${#sections[@]} sections," \
    "${#keys[@]} keys) outside config/; the largest folder $largest_dir/ holds $largest lines"
