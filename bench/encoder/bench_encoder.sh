#!/bin/bash
# The same job through trelvo-encoder and through ffmpeg: a 640x480 source to 320x240
# H.264 768 kbit/s + AAC 128 kbit/s. Prints wall time, their ratio and peak memory,
# for each source length given (default 60 and 180 seconds), so that memory growth
# with the length shows.
#
# usage: bench_encoder.sh [path/to/trelvo-encoder] [seconds...]
# BENCH_RUNS (default 3) sets how many times each side runs; the best time counts.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
encoder=${1:-$here/../../build/bin/app/trelvo-encoder}
shift || true
lengths=("$@")
[ ${#lengths[@]} -eq 0 ] && lengths=(60 180)

bench=bench_encoder
# shellcheck source=measure.bash
. "$here/measure.bash"

printf '%-8s %10s %10s %7s %13s %15s %14s\n' source ours_s ffmpeg_s ratio ours_peak_MB ffmpeg_peak_MB progress_per_s
for seconds in "${lengths[@]}"; do
  source=$work/source$seconds.avi
  ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=640x480:rate=30:duration=$seconds" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$seconds" \
    -c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 128k "$source"

  # Best of $runs, the two taking turns, so that other load on the machine hurts both alike.
  ours_wall=; ff_wall=; ours_kb=0; ff_kb=0
  for ((run = 0; run < runs; run++)); do
    rm -f "$work/ours$seconds.mp4" "$work/ffmpeg$seconds.mp4"
    read -r wall kb < <(measure "$work/ours.log" "$encoder" -i "$source" \
      -vcodec h264 -coder 0 -vlevel 13 -bufsize 256 -g 250 -s 320x240 -r 29.97 -b 768 \
      -aspect 4:3 -ac 2 -ab 128 -ar 48000 -vol 256 -acodec aac -f mp4 "$work/ours$seconds.mp4")
    ours_wall=$(best "$ours_wall" "$wall"); ours_kb=$((kb > ours_kb ? kb : ours_kb))
    read -r wall kb < <(measure "$work/ffmpeg.log" ffmpeg -nostdin -hide_banner -loglevel error \
      -y -i "$source" -c:v libx264 -preset medium -profile:v baseline -level 13 -coder 0 -bf 0 \
      -g 250 -s 320x240 -r 30000/1001 -aspect 4:3 -b:v 768k -maxrate 768k -bufsize 256k \
      -c:a aac -b:a 128k -ac 2 -ar 48000 -movflags +faststart -f mp4 "$work/ffmpeg$seconds.mp4")
    ff_wall=$(best "$ff_wall" "$wall"); ff_kb=$((kb > ff_kb ? kb : ff_kb))
  done

  # The program that runs the encoder wants a progress line at least twice a second.
  lines=$(grep -c 'size=' "$work/ours.log" || true)
  awk -v s="${seconds}s" -v ow="$ours_wall" -v fw="$ff_wall" -v ok="$ours_kb" -v fk="$ff_kb" -v l="$lines" \
    'BEGIN { printf "%-8s %10.2f %10.2f %7.2f %13.1f %15.1f %14.1f\n", s, ow, fw, ow/fw, ok/1024, fk/1024, l/ow }'
  rm -f "$source" "$work/ours$seconds.mp4" "$work/ffmpeg$seconds.mp4"
done
