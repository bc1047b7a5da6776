#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual page against the program, both ways, naming what is missing on
# either side:
#  - CONFIGURATION: every section and key the settings model reads from
#    pingvard.ini (as config/ spells them, scripts/ini_names.sh), and no other;
#    FILES names every key pingvard.state holds;
#  - OPTIONS: every option of pingvard --help, and no other (and so the
#    option table of docs/headless.md);
#  - STATUS TEXTS: every status and outcome text the recovery, rounds,
#    monitor and observe code writes (its literals that begin like one), and
#    none that it no longer writes;
#  - FILES: every file the program writes in its directory, and no other;
#  - ENVIRONMENT: every PINGVARD_ variable the program reads;
# and the page renders with groff's warnings on (groff -ww, man -l) silently.
#
#   manpage_check.sh SOURCE_DIR [EMULATOR] PINGVARD_BINARY
set -euo pipefail
cd "${1:?usage: manpage_check.sh SOURCE_DIR [EMULATOR] PINGVARD_BINARY}"
shift
pingvard=("$@") # the program, after the emulator of a cross build
((${#pingvard[@]} > 0)) || { echo "usage: manpage_check.sh SOURCE_DIR [EMULATOR] PINGVARD_BINARY" >&2; exit 2; }
page=packaging/pingvard.1
failures=0
fail() {
    echo "manpage_check: $*" >&2
    failures=$((failures + 1))
}

# The page's .TP terms and .SS headings as "SECTION<TAB>KIND<TAB>TEXT" lines,
# the text as a reader sees it; a placeholder in italics (\fIn\fR,
# \fIname\fR) kept as <n> so that a name can be told from it.
entries=$(perl -ne '
    chomp;
    if (/^\.SH\s+"?([^"]*)"?/) { $sh = $1; next }
    if (/^\.SS\s+"?(.*?)"?$/) { print "$sh\tSS\t", plain($1), "\n"; next }
    if (/^\.T[PQ]/) { $term = 1; next }
    if ($term && !/^\.(PD|IP)/) { $term = 0; print "$sh\tTP\t", plain($_), "\n" }
    sub plain {
        my $t = shift;
        my $macro = $t =~ s/^\.(B|I|BR|RB|BI|IB|IR|RI)\s+// ? $1 : "";
        # Alternating fonts: the words of the macro run together.
        if (length $macro > 1) { my @w = $t =~ /"([^"]*)"|(\S+)/g; $t = join "", grep { defined } @w }
        else { $t =~ s/^"(.*)"$/$1/ }
        $t =~ s/\\fI([a-z]+)\\f[RP]/<$1>/g;
        $t =~ s/\\f[BIRP]//g;
        $t =~ s/\\-/-/g;
        $t =~ s/\\&//g;
        $t =~ s/\\\[[^]]*\]/?/g;
        return $t;
    }' "$page")
terms() { awk -F'\t' -v s="$1" -v k="${2:-TP}" '$1 == s && $2 == k { print $3 }' <<<"$entries"; }
section_text() { awk -v s="$1" '/^\.SH/ { on = index($0, s) > 0; next } on' "$page" | sed 's/\\-/-/g; s/\\f[BIRP]//g'; }
lower() { tr '[:upper:]' '[:lower:]'; }
# compare WHAT CODE_SIDE PAGE_SIDE CODE_LIST PAGE_LIST: both ways.
compare() {
    local name
    while IFS= read -r name; do
        [[ -n $name ]] && fail "$2 $name, which the page's $1 does not name"
    done < <(comm -23 <(sort -u <<<"$4") <(sort -u <<<"$5"))
    while IFS= read -r name; do
        [[ -n $name ]] && fail "the page's $1 names $name, which $3"
    done < <(comm -13 <(sort -u <<<"$4") <(sort -u <<<"$5"))
}

# --- rendering ---------------------------------------------------------------
warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
[[ -z $warnings ]] || fail "groff -ww warns: $warnings"
if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "man -l warns: $warnings"
fi

# --- pingvard.ini ------------------------------------------------------------
# shellcheck source=scripts/ini_names.sh
source scripts/ini_names.sh
code_sections=$(pv_ini_sections | lower)
code_keys=$(pv_ini_keys | lower)
# [Action.<name>] is "action.", [Host1], [Host2] ... each.
page_sections=$(terms CONFIGURATION SS | sed 's/<[a-z]*>//g' | grep -oP '\[\K[A-Za-z][A-Za-z0-9]*\.?(?=\])' | lower)
# A term names keys outside its parentheses and before its placeholders:
# "Challenge<n>, Answer<n> (default empty)" names challenge and answer.
page_keys=$(terms CONFIGURATION | sed 's/ ([^)]*)//g; s/<[a-z]*>//g; s/, */\n/g' | lower)
compare CONFIGURATION "the settings model reads the section" "the settings model does not read" \
    "$code_sections" "$page_sections"
compare CONFIGURATION "the settings model reads the key" "the settings model does not read" \
    "$code_keys" "$page_keys"
files_text=$(section_text FILES)
while IFS= read -r key; do
    grep -qw -- "$key" <<<"$files_text" || fail "pingvard.state holds $key, which FILES does not name"
done < <(pv_ini_state_keys | sort -u)

# --- options -----------------------------------------------------------------
# The options a text names: -X (of -XVALUE too) and --long-name.
options_of() { grep -oP '(?<![\w-])(--[A-Za-z][A-Za-z-]*[A-Za-z]|-[A-Za-z])' | sort -u; }
help=$("${pingvard[@]}" --help) || fail "pingvard --help failed"
compare OPTIONS "pingvard --help offers" "pingvard --help does not offer" \
    "$(options_of <<<"$help")" "$(terms OPTIONS | options_of)"

# The console program's guide has the same options in its table.
compare "docs/headless.md option table" "pingvard --help offers" "pingvard --help does not offer" \
    "$(options_of <<<"$help")" "$(grep -oP '^\| \K`-[^|]*' docs/headless.md | options_of)"

# --- status and outcome texts --------------------------------------------------
# The literals a status, outcome or event text is made of: those handed to
# where such texts go (an outcome, the status line, a report, a constant
# named ...Text), and those that begin like one (a text built in pieces).
stems='Trying to |Running |Reset OK|Power cycle OK|Program OK|Unable to |Restarts? |Restart refused|A restart|This machine|No echo|Pinging works|Settings confirmed|Site (down|back)|History (dropped|lost|not written|written again)|Hook |Metrics not served'
sinks='(Outcome\((true|false),\s*|SetStatusText\(|[Rr]eport\(|\bk\w*Text = )"'
mapfile -t texts < <(git ls-files 'recovery/*.cpp' 'recovery/*.h' 'rounds/*.cpp' 'rounds/*.h' \
    'monitor/*.cpp' 'monitor/*.h' 'observe/*.cpp' 'observe/*.h' | xargs grep -hv '^\s*//' |
    grep -oP "\"\\K(?:$stems)[^\"]*(?=\")|$sinks\\K[^\"]+(?=\")" | sed 's/ *$//' | sort -u)
((${#texts[@]} > 10)) || fail "found only ${#texts[@]} status texts in the code"
page_texts=$(terms 'STATUS TEXTS' | sed 's/<\([a-z]*\)>/\1/g')
for text in "${texts[@]}"; do
    grep -qF -- "$text" <<<"$page_texts" || fail "the program shows \"$text\", which STATUS TEXTS does not name"
done
while IFS= read -r term; do
    known=no
    for text in "${texts[@]}"; do
        [[ $term == "$text"* ]] && known=yes && break
    done
    [[ $known == yes ]] || fail "STATUS TEXTS names \"$term\", which the program does not show"
done <<<"$page_texts"

# --- environment ---------------------------------------------------------------
# The program's own variables that it reads.
env_text=$(section_text ENVIRONMENT)
layers=(net recovery events config logs rounds monitor web observe ui app)
while IFS= read -r name; do
    grep -qw -- "$name" <<<"$env_text" || fail "the program reads \$$name, which ENVIRONMENT does not name"
done < <(git ls-files "${layers[@]/%//*.cpp}" "${layers[@]/%//*.h}" | xargs cat |
    grep -oP 'getenv\("\KPINGVARD_[A-Z_]+(?=")' | sort -u)

# --- files -------------------------------------------------------------------
# The names the program writes in its directory; a database in WAL mode comes
# with its -wal and -shm files.
code_files=$(git ls-files "${layers[@]/%//*.cpp}" "${layers[@]/%//*.h}" | xargs cat |
    grep -oP '"\K[a-z][a-z_-]*\.(ini|log|db|state)(?=")' | sort -u)
if git grep -q 'journal_mode=WAL' -- 'observe/*'; then
    code_files+=$'\n'$(grep '\.db$' <<<"$code_files" | sed 's/$/-wal/; p; s/-wal$/-shm/')
fi
compare FILES "the program writes" "the program does not write" \
    "$code_files" "$(terms FILES | awk '{ print $1 }')"

((failures == 0)) || exit 1
echo "manpage_check: $(wc -w <<<"$code_sections") sections, $(wc -w <<<"$code_keys") keys," \
    "$(options_of <<<"$help" | wc -l) options, ${#texts[@]} status texts and" \
    "$(wc -l <<<"$code_files") files, each on the page and nothing more"
