#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks every shell script of the tree with shellcheck (warnings and errors):
# the files git knows that end in .sh or start with a shell's #! line.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t scripts < <(
  git ls-files | while read -r file; do
    [[ -f $file ]] || continue
    if [[ $file == *.sh ]] || head -n1 "$file" | grep -qE '^#!.*[/ ](ba|da)?sh$'; then
      echo "$file"
    fi
  done
)
shellcheck -S warning -x "${scripts[@]}"
echo "shellcheck: ${#scripts[@]} scripts clean"
