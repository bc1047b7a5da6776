#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source, script and CMake file written for Pingvard names its licence
# in its first line (the second, after a #! line). Data, translations, art,
# fixtures and generated files are exempt.
#   spdx.sh            lists the files that lack the line; status 1 if any
#   spdx.sh --add      adds the line where it is missing
set -euo pipefail
cd "$(dirname "$0")/.."
readonly id="SPDX-License-Identifier: GPL-3.0-or-later"

# covered FILE: whether FILE is one the project wrote as source or script.
covered() {
  case $1 in
  *.cpp | *.h | *.sh | *.py | *.cmake | */CMakeLists.txt | CMakeLists.txt | *.service) return 0 ;;
  tests/data/* | fuzz/corpus/* | fuzz/dict/*) return 1 ;;
  esac
  [[ -f $1 ]] && head -n1 "$1" | grep -qE '^#!'
}

# comment FILE: the comment leader of FILE's language.
comment() {
  case $1 in
  *.cpp | *.h) echo "//" ;;
  *) echo "#" ;;
  esac
}

# has_line FILE: the identifier stands in line 1, or line 2 after a #! line.
has_line() {
  local lines
  lines=$(head -n2 "$1")
  if [[ $lines == '#!'* ]]; then
    sed -n 2p "$1" | grep -qF "$id"
  else
    head -n1 "$1" | grep -qF "$id"
  fi
}

add_line() {
  local file=$1 line
  line="$(comment "$file") $id"
  if head -n1 "$file" | grep -qE '^#!'; then
    sed -i "1a $line" "$file"
  else
    sed -i "1i $line" "$file"
  fi
}

mode=${1:-check}
missing=0 count=0
while read -r file; do
  [[ -f $file ]] && covered "$file" || continue
  count=$((count + 1))
  has_line "$file" && continue
  if [[ $mode == --add ]]; then
    add_line "$file"
  else
    echo "spdx: $file lacks \"$id\"" >&2
    missing=$((missing + 1))
  fi
done < <(git ls-files --cached --others --exclude-standard)
((missing == 0)) || exit 1
echo "spdx: $count files carry the licence line"
