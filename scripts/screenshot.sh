#!/usr/bin/env bash
# Opens the program on a virtual X display (Xvfb) and takes a picture of the screen.
# Usage: scripts/screenshot.sh [picture.png] [seconds to wait before taking it]
# Installs xvfb and imagemagick when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-screenshot.png}")
wait_seconds=${2:-4}
program=$(realpath "${TRELVO_PROGRAM:-build/bin/trelvo-converter}")
if ! command -v xvfb-run >/dev/null || ! command -v import >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    xvfb xauth imagemagick >/dev/null
fi
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" & pid=$!
  sleep "$2"
  import -window root "$3"
  kill "$pid"; wait "$pid" || true
' screenshot "$program" "$wait_seconds" "$out"
echo "$out"
