#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every relative link of README.md and the pages under docs/ leads somewhere:
# the file exists, and a #fragment names a heading of the Markdown file it
# points to (as the forge makes anchors of headings: lower case, punctuation
# dropped, blanks as hyphens).
#
#   links_check.sh SOURCE_DIR
set -euo pipefail
cd "${1:?usage: links_check.sh SOURCE_DIR}"
failures=0 links=0
# anchors FILE: the anchors of FILE's headings, one a line.
anchors() {
    perl -ne 'next unless s/^#+\s+//; chomp; $_ = lc; s/[^\w\- ]//g; s/ /-/g; print "$_\n"' "$1"
}
for doc in README.md docs/*.md; do
    while IFS= read -r link; do
        links=$((links + 1))
        path=${link%%#*} fragment=
        [[ $link == *'#'* ]] && fragment=${link#*#}
        target=$doc
        [[ -n $path ]] && target=$(realpath -m --relative-to=. "$(dirname "$doc")/$path")
        if [[ ! -e $target ]]; then
            echo "links_check: $doc links to $link: no $target" >&2
            failures=$((failures + 1))
        elif [[ -n $fragment && $target == *.md ]] && ! grep -qxF -- "$fragment" <<<"$(anchors "$target")"; then
            echo "links_check: $doc links to $link: $target has no heading #$fragment" >&2
            failures=$((failures + 1))
        fi
    done < <(grep -oP '\]\(\K(?!https?:|mailto:)[^)\s]+' "$doc" || true)
done
((failures == 0)) || exit 1
echo "links_check: $links links, each to a file and heading that exist"
