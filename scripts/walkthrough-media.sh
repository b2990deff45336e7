#!/usr/bin/env bash
# A walk-through of the media side of the real program on a virtual X display: add a
# RealMedia, an AVI and a QuickTime video, export the QuickTime one as WMV, play a
# preview and stop it, look at a glimpse, convert the whole list, then stop a second
# batch during the RealMedia pre-conversion and a third during the WMV export.
# Pictures go to the folder given (default: walkthrough-media/); the outputs are
# judged with ffprobe at the end.
# Needs xvfb-run (package xvfb) and ffmpeg (to make the videos and judge the outputs).
set -euo pipefail
cd "$(dirname "$0")/.."
shots=$(realpath -m "${1:-walkthrough-media}")
program=$(realpath "${TRELVO_PROGRAM:-build/bin/trelvo-walkthrough}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$shots" "$work/videos" "$work/out" "$work/config" "$work/cache"
cache="$work/cache/trelvo-converter"

make_clip() { # name, seconds, extra ffmpeg arguments...
  local name=$1 seconds=$2
  shift 2
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$seconds" \
    -f lavfi -i "sine=frequency=440:duration=$seconds" -shortest "$@" "$work/videos/$name"
}
make_clip holiday.rm 90 -c:v rv20 -c:a ac3 -f rm
make_clip beach.avi 10
make_clip concert.mov 90

cat > "$work/script" <<SCRIPT
add $work/videos/holiday.rm $work/videos/beach.avi $work/videos/concert.mov
wait 500
select 2
click 1064
choose 1050 2
drag-left 40
select 0
drag-left 30
drag-right -30
folder $work/out
rows
shot $shots/01-ready.png

# The preview: pictures that move while it plays, and stand still after Stop.
select 1
click 1054
wait 1000
video $shots/02-play-a.png
wait 700
video $shots/03-play-b.png
click 1055
wait 300
video $shots/04-stopped-a.png
wait 700
video $shots/05-stopped-b.png
# A glimpse at the new end after releasing the right edge.
drag-right -80
video $shots/06-glimpse.png
# The RealMedia source plays too.
select 0
click 1054
wait 800
video $shots/07-play-realmedia-a.png
wait 600
video $shots/08-play-realmedia-b.png
click 1055
rows

# The whole list.
start
wait-text 0 %    Remain
files $cache
rows
shot $shots/11-realmedia-first-half.png
wait-text 0 MB   Remain
rows
shot $shots/12-realmedia-second-half.png
wait-text 1 MB   Remain
rows
children
shot $shots/13-avi.png
wait-text 2 %   Used Time
wait 300
rows
children
shot $shots/14-wmv.png
wait-idle
dismiss
rows
shot $shots/15-finished.png
files $work/out
files $cache

# Stopped during the RealMedia pre-conversion, half-way through it.
start
wait-text 0 ^2[0-9][.][0-9]+%    Remain
files $cache
children
stop
wait 500
dismiss
wait-idle
rows
shot $shots/16-stopped-realmedia.png
files $cache
children

# Stopped during the WMV export, half-way through it.
start
wait-text 2 ^[2-5][0-9] %   Used Time
children
stop
wait 500
dismiss
wait-idle
rows
# The used time of the stopped conversion stays put.
wait 2000
rows
shot $shots/17-stopped-wmv.png
files $cache
children
files $work/out

# Closed during the RealMedia pre-conversion.
start
wait-text 0 ^1[0-9][.][0-9]+%    Remain
files $cache
quit
SCRIPT

XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" TRELVO_WALKTHROUGH="$work/script" \
  timeout 900 xvfb-run -a -s "-screen 0 1024x768x24" "$program" &
wrapper=$!
wait "$wrapper" && status=0 || status=$?
echo "The program ended with status $status"

echo "Preview pictures (same checksum = same picture):"
md5sum "$shots"/0[2-8]-*.png | sed "s|$shots/||"
echo "Left in the cache folder:"
ls -la "$cache" 2>/dev/null || echo "  (no cache folder)"
echo "Output folder:"
for file in "$work/out"/*; do
  echo "== $(basename "$file")"
  ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,duration:format=duration,format_name \
    -of compact=p=0 "$file" || true
done
echo "Pictures in $shots"
