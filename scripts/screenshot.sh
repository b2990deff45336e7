#!/usr/bin/env bash
# Opens the program on a virtual X display (Xvfb) and takes a picture of the screen.
# Usage: scripts/screenshot.sh [picture.png] [seconds to wait before taking it]
# Needs xvfb-run (package xvfb) and import (package imagemagick).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-screenshot.png}")
wait_seconds=${2:-4}
program=$(realpath "${TRELVO_PROGRAM:-build/bin/trelvo-converter}")
for tool in xvfb-run import; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing" >&2; exit 1; }
done
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" & pid=$!
  sleep "$2"
  import -window root "$3"
  kill "$pid"; wait "$pid" || true
' screenshot "$program" "$wait_seconds" "$out"
echo "$out"
