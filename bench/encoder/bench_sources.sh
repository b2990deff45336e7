#!/bin/bash
# Today's sources through trelvo-encoder and through ffmpeg doing the same: a portrait
# 1080p H.264 phone video (turned by its display matrix), a 4K HEVC 10-bit one and a 1080p
# film with Blu-ray subtitles burned in, each to 320x240 H.264 768 kbit/s + AAC 128 kbit/s.
# ffmpeg turns the picture with its own autorotate and gets the filters the encoder uses
# (fitting with bars; for the 10-bit source, zscale's error-diffusion dithering once
# small; the subtitles scaled with the picture and laid over it). Prints wall time and
# peak memory, and ours over ffmpeg's as ratios.
#
# usage: bench_sources.sh [path/to/trelvo-encoder] [seconds]
# BENCH_RUNS (default 3) sets how many times each side runs; the best time counts.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
encoder=${1:-$here/../../build/bin/app/trelvo-encoder}
seconds=${2:-5}

bench=bench_sources
# shellcheck source=measure.bash
. "$here/measure.bash"
# shellcheck source=../../scripts/make-sup.bash
. "$here/../../scripts/make-sup.bash"

# The phone video: stored landscape, its matrix turning it upright.
ffmpeg -nostdin -hide_banner -loglevel error -y \
  -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=$seconds" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" \
  -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$work/landscape.mp4"
ffmpeg -nostdin -hide_banner -loglevel error -y -i "$work/landscape.mp4" -c copy \
  -metadata:s:v:0 rotate=90 "$work/phone1080.mp4"
ffmpeg -nostdin -hide_banner -loglevel error -y \
  -f lavfi -i "testsrc2=size=3840x2160:rate=30:duration=$seconds" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" \
  -c:v libx265 -preset ultrafast -pix_fmt yuv420p10le -x265-params log-level=none \
  -c:a aac "$work/hevc2160p10.mkv"
# The film: a subtitle shown for all but its last second.
make_sup "$work/film.sup" 0 $((seconds - 1)) 1920 1080 120 900 1680 90
ffmpeg -nostdin -hide_banner -loglevel error -y -i "$work/landscape.mp4" -i "$work/film.sup" \
  -map 0 -map 1 -c copy "$work/pgs1080.mkv"

# name, source, the encoder's choice of subtitles (- for none), ffmpeg's filter graph
# after its autorotate (the encoder's fitting: the upright 1080x1920 picture is 136x240 in
# the frame, bars at its sides).
cases=(
  "phone1080 $work/phone1080.mp4 - [0:v]scale=136:240,pad=320:240:92:0:black,setsar=1/1"
  "hevc4k10 $work/hevc2160p10.mkv - [0:v]scale=320:180,zscale=d=error_diffusion,format=yuv420p,pad=320:240:0:30:black,setsar=1/1"
  "pgs1080 $work/pgs1080.mkv 1 [0:v]scale=320:180[v];[0:s]scale=320:180[s];[v][s]overlay,pad=320:240:0:30:black,setsar=1/1"
)

printf '%-10s %9s %9s %10s %12s %14s %10s\n' source ours_s ffmpeg_s time_ratio ours_peak_MB ffmpeg_peak_MB mem_ratio
for entry in "${cases[@]}"; do
  read -r name source subtitles filters <<<"$entry"
  choice=(); [[ $subtitles == - ]] || choice=(-subtitles "$subtitles")
  ours_wall=; ff_wall=; ours_kb=0; ff_kb=0
  for ((run = 0; run < runs; run++)); do
    rm -f "$work/ours.mp4" "$work/ffmpeg.mp4"
    read -r wall kb < <(measure "$work/ours.log" "$encoder" -i "$source" \
      -vcodec h264 -coder 0 -vlevel 13 -bufsize 256 -g 250 -s 320x240 -r 29.97 -b 768 \
      -aspect 4:3 -ac 2 -ab 128 -ar 48000 -vol 256 -acodec aac -f mp4 "$work/ours.mp4" \
      "${choice[@]}")
    ours_wall=$(best "$ours_wall" "$wall"); ours_kb=$((kb > ours_kb ? kb : ours_kb))
    read -r wall kb < <(measure "$work/ffmpeg.log" ffmpeg -nostdin -hide_banner -loglevel error \
      -y -i "$source" -filter_complex "$filters" -map 0:a -c:v libx264 -preset medium -profile:v baseline -level 13 \
      -coder 0 -bf 0 -g 250 -r 30000/1001 -aspect 4:3 -b:v 768k -maxrate 768k -bufsize 256k \
      -c:a aac -b:a 128k -ac 2 -ar 48000 -movflags +faststart -f mp4 "$work/ffmpeg.mp4")
    ff_wall=$(best "$ff_wall" "$wall"); ff_kb=$((kb > ff_kb ? kb : ff_kb))
  done
  awk -v s="$name" -v ow="$ours_wall" -v fw="$ff_wall" -v ok="$ours_kb" -v fk="$ff_kb" \
    'BEGIN { printf "%-10s %9.2f %9.2f %10.2f %12.1f %14.1f %10.2f\n", s, ow, fw, ow/fw, ok/1024, fk/1024, ok/fk }'
done
