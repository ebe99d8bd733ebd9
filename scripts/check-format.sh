#!/usr/bin/env bash
# Checks that every C and C++ source the repository tracks is formatted as .clang-format says.
# Lists each file that differs and exits 1 when there is one; `check-format.sh --fix` formats them
# in place instead. Installs clang-format when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format > /dev/null || bash scripts/install-deps.sh format

mapfile -t files < <(git ls-files -- '*.c' '*.h' '*.cpp' ':!:tests/fuzz/corpus/*')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
unformatted=()
for file in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$file" > /dev/null 2>&1; then
    unformatted+=("$file")
  fi
done
if [ ${#unformatted[@]} -ne 0 ]; then
  echo "Not formatted by .clang-format (scripts/check-format.sh --fix formats them):"
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi
