#!/usr/bin/env bash
# Fails when clang-format would change any C++ file that git tracks.
set -euo pipefail
cd "$1"
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if ! out=$(clang-format --dry-run --Werror "${files[@]}" 2>&1); then
  echo "$out" | grep -E 'warning|error' | cut -d: -f1 | sort -u | sed 's/^/not formatted: /'
  exit 1
fi
echo "${#files[@]} files formatted"
