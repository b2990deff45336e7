#!/usr/bin/env bash
# What a newcomer does first: the README's two commands name scripts that exist, and
# scripts/run.sh builds and starts the program, which stays up under a virtual display.
# The program runs with folders of this check's own, and is ended by its process id.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "first run: $*" >&2; exit 1; }

# The first code block of the README: one command a line, the script first.
mapfile -t commands < <(awk '/^```/ { if (seen++) exit; next } seen' README.md)
((${#commands[@]} == 2)) || fail "the README opens with ${#commands[@]} commands, not 2"
for line in "${commands[@]}"; do
  script=${line%% *}
  [ -x "$script" ] || fail "the README names $script, which is not an executable script"
done

scripts/install-packages.sh xvfb xauth
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24" env -u WAYLAND_DISPLAY \
  XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" \
  XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" bash -c '
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  scripts/run.sh >"$1/run.log" 2>&1 & pid=$!
  # run.sh builds what is missing, then becomes the program: wait for that, then the
  # program must stay up.
  up=0
  for ((i = 0; i < 1200 && !up; ++i)); do
    kill -0 "$pid" 2>/dev/null || break
    [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == */trelvo-converter ]] && up=1 || sleep 0.5
  done
  ((up)) && sleep 5
  if ((!up)) || ! kill -0 "$pid" 2>/dev/null; then
    echo "first run: scripts/run.sh did not keep the program up:" >&2
    cat "$1/run.log" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  kill "$pid"; wait "$pid" || true
' first-run "$work"
echo "first run: the README names ${commands[*]%% *}; scripts/run.sh keeps the window up"
