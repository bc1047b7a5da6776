#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every tr() text of the desktop program has its English text. lupdate reads
# the sources into a copy of ui/translations/pingvard_en.ts; a text that is
# new there, or whose Czech source changed, has no finished translation.
# Prints each such text; `cmake --build --preset dev --target
# update_translations` puts them into the real file (docs/translations.md).
set -euo pipefail
lupdate=${1:?usage: translations_check.sh LUPDATE SOURCE_DIR}
src=${2:?usage: translations_check.sh LUPDATE SOURCE_DIR}
work=$(mktemp -d "/tmp/pingvard-ts-$$.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$src/ui/translations/pingvard_en.ts" "$work/pingvard_en.ts"
mapfile -t sources < <(find "$src/ui" -name '*.cpp' -o -name '*.h' | sort)
"$lupdate" -silent -I "$src" -locations none -source-language cs_CZ "${sources[@]}" \
  -ts "$work/pingvard_en.ts"
# A message is its <source> (possibly over several lines) and then its
# <translation>; an unfinished one has not been translated yet.
missing=$(awk '
  /<source>/ { text = ""; collecting = 1 }
  collecting { text = text (text == "" ? "" : "\\n") $0 }
  /<\/source>/ { collecting = 0; sub(/^ *<source>/, "", text); sub(/<\/source>$/, "", text) }
  /<translation type="unfinished"/ { print "  " text }
' "$work/pingvard_en.ts")
if [[ -n $missing ]]; then
  echo "translations_check: FAIL: Czech texts without an English one in ui/translations/pingvard_en.ts:" >&2
  echo "$missing" >&2
  echo "translations_check: run 'cmake --build --preset dev --target update_translations' and" \
    "fill in each <translation type=\"unfinished\"> (docs/translations.md)" >&2
  exit 1
fi
echo "translations_check: every text has its English translation"
