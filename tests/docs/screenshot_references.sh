#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The pictures of the documentation cannot go stale unnoticed: every
# docs/screenshots/ file that README.md or a page under docs/ shows has a line
# in docs/screenshots/manifest and is there; every file there and every line
# of the manifest belongs to a test that exists (a tests/ CMakeLists.txt adds
# it), so scripts/screenshots can make it again.
#
#   screenshot_references.sh SOURCE_DIR
set -euo pipefail
cd "${1:?usage: screenshot_references.sh SOURCE_DIR}"
manifest=docs/screenshots/manifest
failures=0
fail() {
    echo "screenshot_references: $*" >&2
    failures=$((failures + 1))
}

declare -A producer
while read -r file test _; do
    [[ -n ${producer[$file]:-} ]] && fail "$manifest names $file twice"
    producer[$file]=$test
done < <(grep -v '^\s*\(#\|$\)' "$manifest")
((${#producer[@]} > 0)) || fail "$manifest names no file"

# The tests the CMake files add, by name.
declare -A known_test
while read -r test; do
    known_test[$test]=1
done < <(grep -rhoP 'add_test\(\s*NAME\s+\K[^\s)]+|pingvard_(ui_)?test\(\s*\K[A-Za-z0-9_]+' \
    --include=CMakeLists.txt tests)
for file in "${!producer[@]}"; do
    [[ -n ${known_test[${producer[$file]}]:-} ]] ||
        fail "$manifest: $file is made by ${producer[$file]}, which no tests/ CMakeLists.txt adds"
done

# Every picture a document shows: Markdown images and HTML img tags, their
# path taken from the document's folder.
for doc in README.md docs/*.md; do
    while IFS= read -r ref; do
        path=$(realpath -m --relative-to=. "$(dirname "$doc")/$ref")
        [[ $path == docs/screenshots/* ]] || continue
        file=${path#docs/screenshots/}
        if [[ -z ${producer[$file]:-} ]]; then
            fail "$doc shows $ref, which $manifest does not name"
        elif [[ ! -s $path ]]; then
            fail "$doc shows $ref, which is missing (scripts/screenshots makes it with ${producer[$file]})"
        fi
    done < <(grep -oP '!\[[^]]*\]\(\K[^) ]+|<img [^>]*src="\K[^"]+' "$doc" || true)
done

# Nothing in the folder that no test makes again.
for path in docs/screenshots/*.png; do
    [[ -e $path ]] || continue
    [[ -n ${producer[$(basename "$path")]:-} ]] ||
        fail "$path is in no line of $manifest (no test makes it again)"
done

((failures == 0)) || exit 1
echo "screenshot_references: ${#producer[@]} screenshots in the manifest, each one the documents show among them"
