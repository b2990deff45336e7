#!/usr/bin/env bash
# A walk-through of the real program as a user would do it, on a virtual X display:
# add two videos, drop a third onto the list, trim one, set a title, choose the output
# folder, start, watch the Progress cells, stop, start again and let it finish.
# Pictures of the window go to the folder given (default: walkthrough/).
# Needs xvfb-run (package xvfb) and ffmpeg (to make the three videos).
set -euo pipefail
cd "$(dirname "$0")/.."
shots=$(realpath -m "${1:-walkthrough}")
program=$(realpath "${TRELVO_PROGRAM:-build/bin/trelvo-walkthrough}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$shots" "$work/videos" "$work/out" "$work/config"

make_clip() { # name, seconds
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$2" \
    -f lavfi -i "sine=frequency=440:duration=$2" -shortest "$work/videos/$1"
}
make_clip beach.avi 20
make_clip birthday.mov 15
make_clip concert.mpg 12

cat > "$work/script" <<SCRIPT
add $work/videos/beach.avi $work/videos/birthday.mov
drop $work/videos/concert.mpg
wait 500
select 1
drag-right -60
title Birthday party
folder $work/out
rows
shot $shots/1-ready.png
start
wait-progress 0
wait 700
rows
shot $shots/2-converting.png
stop
wait 300
dismiss
wait-idle
rows
shot $shots/3-stopped.png
start
wait-progress 2
rows
shot $shots/4-last-row.png
wait-idle
dismiss
rows
shot $shots/5-finished.png
quit
SCRIPT

XDG_CONFIG_HOME="$work/config" TRELVO_WALKTHROUGH="$work/script" \
  xvfb-run -a -s "-screen 0 1024x768x24" "$program"
echo "Output folder:"
ls -l "$work/out"
echo "Pictures in $shots"
