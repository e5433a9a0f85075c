#!/usr/bin/env bash
# Fails when a C++ file of the project is not formatted by .clang-format (checks, never rewrites).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' 2>/dev/null || find src tests bench fuzz -name '*.cpp' -o -name '*.h')
[ ${#files[@]} -eq 0 ] && exit 0
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if ! clang-format --dry-run --Werror "${files[@]}" 2>"$report"; then
  grep -E '^[^ ].*: (error|warning):' "$report" | cut -d: -f1 | sort -u | sed 's/^/not formatted: /' >&2
  echo "Run: clang-format -i <file>" >&2
  exit 1
fi
