#!/usr/bin/env bash
# Runs every benchmark against the build in build/ (run scripts/setup.sh first).
set -uo pipefail
cd "$(dirname "$0")/.."
for script in bench/*/*.sh; do
  echo "== $script"
  "$script" || echo "(failed: $script)"
done
for program in build/bench/*; do
  [ -x "$program" ] || continue
  echo "== $program"
  "$program" || echo "(failed: $program)"
done
