#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what clang-format (.clang-format at
# the root) makes of it, naming each such file. `scripts/format-check.sh --fix` formats them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh clang-format git
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if ((${#bad[@]})); then
  echo "Not formatted (run scripts/format-check.sh --fix):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "All ${#files[@]} C++ files are formatted."
