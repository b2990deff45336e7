#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. The converter also works without one:"
  echo "  build/bin/trelvo-converter --help"
  exit 0
fi
exec build/bin/trelvo-converter "$@"
