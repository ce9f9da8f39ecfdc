#!/usr/bin/env bash
# Fails when a C or C++ file is not laid out as .clang-format says; prints the files.
#   tools/check-format.sh            (fix with: tools/check-format.sh --fix)
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -d '' files < <(find app sources tests bench fuzz tools worker \
  \( -name '*.cpp' -o -name '*.hpp' -o -name '*.c' -o -name '*.h' \) -print0 | sort -z)
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
unformatted=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" 2> /dev/null || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "not formatted as .clang-format says (run tools/check-format.sh --fix):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "all ${#files[@]} files formatted"
