#!/usr/bin/env bash
# A walk-through of the real program as a user would do it, on a virtual X display:
# try to add a letter named like a video (refused), add three videos (one of which
# vanishes before it is converted), drop a fourth onto the list, look into the Add
# dialog, trim one, set a title, choose the output folder, start, watch the Progress
# cells (the controls greyed meanwhile), stop, start again and let it finish, then add
# a fifth and start once more, converting only what is not converted yet; then once
# more with the shutdown ticked, to see its countdown and the walk-through's own
# refusal to power the machine off. On the way, by keys alone: add a video with Insert
# and remove it with Delete on the list, trim with the slider's arrows and Tab on to a
# setting. Then, a fixed MP4 Profile and a WMV profile show what they write in the
# greyed settings; early on, a setting's list is pictured open.
# Last, the program starts again: the kept list comes back (a restored row, and the row
# whose source vanished), "Open with" starts it once more with a file, which the open
# window takes; a portrait phone video shows upright, and a film's sound tracks and its
# forced subtitles fill the Audio and Subtitles boxes, its Blu-ray subtitles chosen show
# in the preview; last, the window is maximised.
# Pictures of the window, the Add dialog and the closing messages go to the folder
# given (default: walkthrough/).
# Needs xvfb-run (package xvfb) and ffmpeg (to make the videos).
set -euo pipefail
cd "$(dirname "$0")/.."
shots=$(realpath -m "${1:-walkthrough}")
program=$(realpath "${TRELVO_PROGRAM:-build/bin/trelvo-walkthrough}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$shots" "$work/videos" "$work/out" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"

make_clip() { # name, seconds
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$2" \
    -f lavfi -i "sine=frequency=440:duration=$2" -shortest "$work/videos/$1"
}
make_clip beach.avi 20
make_clip birthday.mov 15
make_clip concert.mpg 12
make_clip gone.avi 3
make_clip late.avi 3
make_clip extra.avi 4
printf 'Dear Zune,\nthis is not a film.\n' > "$work/videos/letter.avi"
# A phone video held upright: landscape pictures that the display matrix turns.
ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=4" "$work/flat.mp4"
ffmpeg -v error -y -i "$work/flat.mp4" -c copy -metadata:s:v:0 rotate=90 "$work/videos/phone.mp4"
# shellcheck source=make-sup.bash
. scripts/make-sup.bash
# A film with two languages, English subtitles forced and French ones from a Blu-ray.
printf '1\n00:00:00,500 --> 00:00:05,000\nHELLO THERE\n' > "$work/film.srt"
make_sup "$work/film.sup" 0 5 320 240 40 150 240 24
ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=6" \
  -f lavfi -i "sine=frequency=440:duration=6" -f lavfi -i "sine=frequency=880:duration=6" \
  -i "$work/film.srt" -i "$work/film.sup" -map 0 -map 1 -map 2 -map 3 -map 4 -c:v mpeg4 \
  -c:a ac3 -ac:a:0 6 -c:s:0 srt -c:s:1 copy \
  -metadata:s:a:0 language=eng -metadata:s:a:1 language=jpn -metadata:s:a:1 title=Dub \
  -metadata:s:s:0 language=eng -disposition:s:0 forced -metadata:s:s:1 language=fre \
  "$work/videos/film.mkv"

cat > "$work/script" <<SCRIPT
add $work/videos/letter.avi $work/videos/gone.avi
wait 300
shot-dialog $shots/0-refused.png
dismiss
add $work/videos/beach.avi $work/videos/birthday.mov
drop $work/videos/concert.mpg
wait 500
delete $work/videos/gone.avi
select 2
drag-right -60
title Birthday party
folder $work/out
rows
shot $shots/1-ready.png
open-list 1030
wait 300
shot-screen $shots/1b-open-list.png
close-list 1030
open-add
wait 800
shot-dialog $shots/2-add-dialog.png
cancel-dialog
start
wait-progress 1
wait 700
rows
shot $shots/3-converting.png
stop
wait 500
shot-dialog $shots/4-stopped-message.png
dismiss
wait-idle
rows
shot $shots/5-failed-and-stopped.png
start
wait-progress 3
rows
shot $shots/6-last-row.png
wait-idle
wait 500
shot-dialog $shots/7-finished-message.png
dismiss
rows
shot $shots/8-finished.png
add $work/videos/late.avi
start
wait 500
shot-dialog $shots/9-start-question.png
answer Only the Others
wait-idle
wait 500
dismiss
rows
shot $shots/10-only-the-others.png
pick $work/videos/concert.mpg
focus 1011
key Insert
wait 500
rows
key Delete
rows
focus 1054
key Tab 2
key Right 40
key Shift+Left 30
wait 1600
rows
shot $shots/11-keys-trim.png
key Tab 5
shot $shots/12-keys-setting.png
click 1059
shutdown-after 3000
start
wait 500
answer Convert All Again
wait 300
wait-idle
wait 1200
shot-dialog $shots/13-shutdown-countdown.png
wait 2500
shot-dialog $shots/14-cannot-shutdown.png
dismiss
select 1
choose 1024 4
shot $shots/15-fixed-profile.png
click 1064
choose 1050 3
shot $shots/16-wmv-settings.png
open-list 1050
wait 300
shot-screen $shots/17-wmv-profiles-whole.png
close-list 1050
quit
SCRIPT

cat > "$work/script2" <<SCRIPT
wait 800
select 1
wait 800
rows
shot $shots/18-restored.png
select 0
wait 500
rows
shot $shots/19-missing-source.png
second-start $work/videos/extra.avi
wait-rows 6
wait 800
rows
shot $shots/20-second-start.png
add $work/videos/phone.mp4
wait 1500
rows
shot $shots/22-portrait.png
add $work/videos/film.mkv
wait 1500
rows
shot $shots/23-tracks.png
open-list 1071
wait 300
shot-screen $shots/24-audio-list.png
close-list 1071
choose 1073 2
click 1054
wait 1500
shot $shots/26-picture-subtitles.png
click 1055
maximise
rows
shot $shots/25-maximised.png
quit
SCRIPT

export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" \
  XDG_RUNTIME_DIR="$work/runtime"
TRELVO_WALKTHROUGH="$work/script" xvfb-run -a -s "-screen 0 1024x768x24" "$program"
TRELVO_WALKTHROUGH="$work/script2" xvfb-run -a -s "-screen 0 1024x768x24" "$program"
echo "Output folder:"
ls -l "$work/out"
echo "Pictures in $shots"
