#!/usr/bin/env bash
# Formats every C and C++ file of the repository with its .clang-format.
#   scripts/format.sh          rewrite the files in place
#   scripts/format.sh --check  change nothing; list the files that differ and fail if any does
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh clang-format

mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--check" ]; then
  status=0
  for f in "${files[@]}"; do
    if ! clang-format --style=file "$f" | cmp -s - "$f"; then
      echo "not formatted: $f (run scripts/format.sh)"
      status=1
    fi
  done
  [ $status -eq 0 ] && echo "format: ${#files[@]} files as clang-format writes them"
  exit $status
fi
clang-format --style=file -i "${files[@]}"
